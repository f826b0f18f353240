#include "report/json.h"

#include <cstdio>
#include <utility>

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

JsonField null_field(const char* key) {
  JsonField f;
  f.key = key;
  return f;
}

JsonField real_field(const char* key, real x) {
  JsonField f = null_field(key);
  f.kind = JsonField::Kind::kReal;
  f.number = x;
  return f;
}

// null for the sentinel.
JsonField real_or_null_field(const char* key, real x) {
  return x == kSentinel ? null_field(key) : real_field(key, x);
}

JsonField whole_field(const char* key, int64_t n) {
  JsonField f = null_field(key);
  f.kind = JsonField::Kind::kWhole;
  f.whole = n;
  return f;
}

JsonField text_field(const char* key, std::string text) {
  JsonField f = null_field(key);
  f.kind = JsonField::Kind::kText;
  f.text = std::move(text);
  return f;
}

JsonField flag_field(const char* key, bool flag) {
  JsonField f = null_field(key);
  f.kind = JsonField::Kind::kFlag;
  f.flag = flag;
  return f;
}

// The value of a field, an object on one line.
std::string json_value(const JsonField& f) {
  switch (f.kind) {
    case JsonField::Kind::kNull:
      break;
    case JsonField::Kind::kReal:
      return json_number(f.number);
    case JsonField::Kind::kWhole:
      return std::to_string(f.whole);
    case JsonField::Kind::kText:
      return json_string(f.text);
    case JsonField::Kind::kFlag:
      return f.flag ? "true" : "false";
    case JsonField::Kind::kObject: {
      std::string out = "{";
      for (const JsonField& inner : f.fields) {
        if (out.size() > 1) out += ", ";
        out += json_string(inner.key) + ": " + json_value(inner);
      }
      return out + "}";
    }
  }
  return "null";
}

// The finest grid's object, a field a line.
std::string finest(const Analysis& v, const std::string& indent) {
  const std::vector<JsonField> fields = finest_fields(v);
  std::string out = "{" + std::string(kEnd);
  const std::string in = indent + "  ";
  for (size_t k = 0; k < fields.size(); ++k) {
    out += in + json_string(fields[k].key) + ": " + json_value(fields[k]) +
           (k + 1 < fields.size() ? "," : "") + std::string(kEnd);
  }
  return out + indent + "}";
}

}  // namespace

std::vector<JsonField> finest_fields(const Analysis& v) {
  const Study& s = v.study;
  const int32_t n = s.nm;
  const GridVerdict& g = v.verdict(n);
  std::vector<JsonField> out;
  out.push_back(whole_field("grid", n));
  out.push_back(real_field("h", s.h(n)));
  out.push_back(real_field("Th", v.study.Th(n)));
  out.push_back(real_or_null_field("UGCI_Th", v.e.UGCI_Th(n)));
  out.push_back(text_field("convergence", n >= kFirstRatioTh
                                              ? convergence_words(g.convergence)
                                              : convergence_words(Convergence::kUndetermined)));
  out.push_back(text_field("asymptotic", asymptotic_words(g.asymptotic)));
  out.push_back(real_or_null_field("U", g.U));
  out.push_back(g.U_source == UncertaintySource::kNone
                    ? null_field("U_source")
                    : text_field("U_source", uncertainty_source_words(g.U_source)));
  out.push_back(real_or_null_field("U_relative", g.U_relative));
  out.push_back(g.U_note == UncertaintyNote::kNone
                    ? null_field("U_note")
                    : text_field("U_note", uncertainty_note_words(g.U_note)));
  out.push_back(flag_field("gci_dependable", g.gci_dependable));
  out.push_back(real_or_null_field("p_observed", g.p_observed));
  out.push_back(real_or_null_field("p_U", g.p_U));
  out.push_back(real_or_null_field("pU_Th", n >= kFirstRatioTh ? v.e.pU_Th(n) : kSentinel));
  out.push_back(real_or_null_field("pGCI", n >= kFirstDifference ? v.e.pGCI(n) : kSentinel));
  out.push_back(real_or_null_field("Umc_Th", n >= kFirstDifference ? v.e.Umc_Th(n) : kSentinel));
  out.push_back(real_or_null_field("Um_Tm1", n >= kFirstDifference ? v.e.Um_Tm1(n) : kSentinel));
  out.push_back(real_or_null_field("Uc_Tc", v.e.Uc_Tc(n)));
  out.push_back(n >= kFirstDifference ? real_field("Tm1", v.e.Tm1(n)) : null_field("Tm1"));
  out.push_back(real_or_null_field("Ti_pU", n >= kFirstRatioTh ? v.e.Ti_pU(n) : kSentinel));
  const LeastSquaresGrid ls = n >= 1 && n <= static_cast<int32_t>(v.ls.size())
                                  ? v.ls[n - 1]
                                  : LeastSquaresGrid();
  out.push_back(real_or_null_field("U_LS", ls.U_LS));
  out.push_back(ls.model == kNoModel
                    ? null_field("model_LS")
                    : text_field("model_LS", least_squares_model_text(ls.model, ls.weighted)));
  out.push_back(real_or_null_field("Fs_LS", ls.Fs_LS));
  JsonField target = null_field("target");
  if (g.target != kSentinel) {
    target.kind = JsonField::Kind::kObject;
    target.fields = {real_field("U", g.target), real_or_null_field("h_target", g.h_target),
                     real_or_null_field("refinement_factor", g.refinement),
                     g.U == kSentinel ? null_field("within_target")
                                      : flag_field("within_target", g.within_target)};
  }
  out.push_back(std::move(target));
  const std::string order = grid_order_warning(v.study.h);
  out.push_back(order.empty() ? null_field("grid_order_warning")
                              : text_field("grid_order_warning", order));
  return out;
}

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
  const std::string title = s.given_title.empty() ? trim(s.titulo) : s.given_title;
  out += "  \"title\": " + json_string(report_text(title)) + "," + e;
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
                   [&](int32_t i) {
                     return json_string(report_text(s.given_file.empty() ? trim(s.arq(i))
                                                                         : s.given_file));
                   }) +
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
      "      \"name\": " +
      (v.name.empty() ? std::string("null") : json_string(report_text(v.name))) +
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
