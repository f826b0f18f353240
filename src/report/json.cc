#include "report/json.h"

#include <cstdio>

#include "common/decimal.h"
#include "common/text.h"
#include "common/version.h"
#include "report/utf8.h"

namespace morvantide {

namespace {

constexpr std::string_view kEnd = kCrLf;

std::string cell_value(const Cell& c) {
  switch (c.kind) {
    case Cell::Kind::kReal:
      return json_number(c.number);
    case Cell::Kind::kText:
      return json_string(c.text);
    case Cell::Kind::kFlag:
      return c.flag ? "true" : "false";
    case Cell::Kind::kMissing:
      break;
  }
  return "null";
}

std::string real_or_null(real x) { return x == kSentinel ? "null" : json_number(x); }

// "name": [v1, v2, ...] over the grids, on one line.
std::string list_line(const std::string& indent, const std::string& name, int32_t nm,
                      const auto& value_at) {
  std::string out = indent + json_string(name) + ": [";
  for (int32_t i = 1; i <= nm; ++i) {
    if (i > 1) out += ", ";
    out += value_at(i);
  }
  return out + "]";
}

const char* refinement_kind(int32_t tipo_r) {
  return tipo_r == 1 ? "constant" : tipo_r == 2 ? "variable" : "none";
}

std::string finest(const Analysis& v, const std::string& indent) {
  const Study& s = v.study;
  const int32_t n = s.nm;
  const GridVerdict& g = v.verdict(n);
  std::string out = "{" + std::string(kEnd);
  const std::string in = indent + "  ";
  auto field = [&](const char* key, const std::string& value, bool last = false) {
    out += in + json_string(key) + ": " + value + (last ? "" : ",") + std::string(kEnd);
  };
  field("grid", std::to_string(n));
  field("h", json_number(s.h(n)));
  field("Th", json_number(v.study.Th(n)));
  field("UGCI_Th", real_or_null(v.e.UGCI_Th(n)));
  field("convergence",
        json_string(n >= kFirstRatioTh ? convergence_words(g.convergence)
                                       : convergence_words(Convergence::kUndetermined)));
  field("asymptotic", json_string(asymptotic_words(g.asymptotic)));
  field("U", real_or_null(g.U));
  field("U_source", g.U_source == UncertaintySource::kNone
                        ? std::string("null")
                        : json_string(uncertainty_source_words(g.U_source)));
  field("U_relative", real_or_null(g.U_relative));
  field("U_note", g.U_note == UncertaintyNote::kNone
                      ? std::string("null")
                      : json_string(uncertainty_note_words(g.U_note)));
  field("gci_dependable", g.gci_dependable ? "true" : "false");
  field("p_observed", real_or_null(g.p_observed));
  field("p_U", real_or_null(g.p_U));
  field("pU_Th", real_or_null(n >= kFirstRatioTh ? v.e.pU_Th(n) : kSentinel));
  field("pGCI", real_or_null(n >= kFirstDifference ? v.e.pGCI(n) : kSentinel));
  field("Umc_Th", real_or_null(n >= kFirstDifference ? v.e.Umc_Th(n) : kSentinel));
  field("Um_Tm1", real_or_null(n >= kFirstDifference ? v.e.Um_Tm1(n) : kSentinel));
  field("Uc_Tc", real_or_null(v.e.Uc_Tc(n)));
  field("Tm1", n >= kFirstDifference ? json_number(v.e.Tm1(n)) : std::string("null"));
  field("Ti_pU", real_or_null(n >= kFirstRatioTh ? v.e.Ti_pU(n) : kSentinel));
  const LeastSquaresGrid ls = n >= 1 && n <= static_cast<int32_t>(v.ls.size())
                                  ? v.ls[n - 1]
                                  : LeastSquaresGrid();
  field("U_LS", real_or_null(ls.U_LS));
  field("model_LS", ls.model == kNoModel
                        ? std::string("null")
                        : json_string(least_squares_model_text(ls.model, ls.weighted)));
  field("Fs_LS", real_or_null(ls.Fs_LS));
  std::string target = "null";
  if (g.target != kSentinel) {
    target = "{\"U\": " + json_number(g.target) + ", \"h_target\": " + real_or_null(g.h_target) +
             ", \"refinement_factor\": " + real_or_null(g.refinement) + ", \"within_target\": " +
             (g.U == kSentinel ? "null"
              : g.within_target           ? "true"
                                          : "false") +
             "}";
  }
  field("target", target);
  const std::string order = grid_order_warning(v.study.h);
  field("grid_order_warning", order.empty() ? std::string("null") : json_string(order), true);
  return out + indent + "}";
}

}  // namespace

std::string json_string(std::string_view utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\u%04x", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string json_number(real x) {
  if (q_isnan(x) || q_isinf(x)) return "\"" + shortest_decimal(x) + "\"";
  return shortest_decimal(x);
}

std::string json_start(const State& s, const GridTable& g, const Target& target) {
  const Study& study = s.study;
  const std::string e(kEnd);
  std::string out = "{" + e;
  out += "  \"program\": \"morvantide " + std::string(kVersion) + "\"," + e;
  out += "  \"title\": " + json_string(to_utf8(trim(s.titulo))) + "," + e;
  out += "  \"settings\": {\"layout\": " + std::to_string(s.modo) +
         ", \"nv\": " + std::to_string(s.nv) + ", \"pL\": " + json_number(study.pL) +
         ", \"dp\": " + json_number(study.dp) + ", \"tipo_r\": " + std::to_string(study.tipo_r) +
         ", \"refinement\": " + json_string(refinement_kind(study.tipo_r)) +
         ", \"itmax\": " + std::to_string(study.itmax) + ", \"tol\": " + json_number(study.tol) +
         ", \"pU_min\": " + json_number(study.pU_min) +
         ", \"pU_max\": " + json_number(study.pU_max) +
         ", \"nm\": " + std::to_string(study.nm) + "}," + e;
  std::string t = "null";
  if (target.kind != Target::Kind::kNone) {
    t = std::string("{\"kind\": ") +
        (target.kind == Target::Kind::kAbsolute ? "\"absolute\"" : "\"relative\"") +
        ", \"value\": " + json_number(target.value) + "}";
  }
  out += "  \"target\": " + t + "," + e;
  out += "  \"grids\": {" + e;
  out += list_line("    ", "h", study.nm, [&](int32_t i) { return json_number(study.h(i)); }) +
         "," + e;
  out += list_line("    ", "log10_h", study.nm,
                   [&](int32_t i) { return json_number(g.log10_h(i)); }) +
         "," + e;
  out += list_line("    ", "r21", study.nm,
                   [&](int32_t i) {
                     return i < kFirstDifference ? std::string("null") : json_number(g.r21(i));
                   }) +
         "," + e;
  out += list_line("    ", "result_files", s.arq.size(),
                   [&](int32_t i) { return json_string(to_utf8(trim(s.arq(i)))); }) +
         e;
  out += "  }," + e;
  out += "  \"variables\": [";
  return out;
}

std::string json_variable(const Analysis& v, bool first) {
  const Study& s = v.study;
  const std::string e(kEnd);
  std::string out = first ? e : "," + e;
  out += "    {" + e;
  out += "      \"number\": " + std::to_string(v.number) + "," + e;
  out +=
      "      \"name\": " + (v.name.empty() ? std::string("null") : json_string(to_utf8(v.name))) +
      "," + e;
  for (const ReportColumn& column : kQuantityColumns) {
    out += list_line("      ", column.name, s.nm,
                     [&](int32_t i) { return cell_value(cell(column, v, i)); }) +
           "," + e;
  }
  out += "      \"verdict\": {" + e;
  for (const ReportColumn& column : kVerdictColumns) {
    out += list_line("        ", column.name, s.nm,
                     [&](int32_t i) { return cell_value(cell(column, v, i)); }) +
           "," + e;
  }
  out += "        \"finest\": " + finest(v, "        ") + e;
  out += "      }" + e;
  out += "    }";
  return out;
}

std::string json_end() {
  return std::string(kEnd) + "  ]" + std::string(kEnd) + "}" + std::string(kEnd);
}

}  // namespace morvantide
