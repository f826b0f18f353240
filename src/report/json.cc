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
    case Cell::Kind::kWhole:
      return std::to_string(c.whole);
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

// The finest grid's figures, one line each; an object's on its one line.
std::string finest(const Finest& f, const std::string& indent) {
  std::string out = "{";
  const std::string in = indent + "  ";
  for (const FinestColumn& column : kFinestColumns) {
    const Cell c = column.at(f);
    std::string value = cell_value(c);
    if (column.fields != nullptr && c.kind != Cell::Kind::kMissing) {
      value = "{";
      for (const FinestColumn& field : *column.fields) {
        if (value.size() > 1) value += ", ";
        value += json_string(field.name) + ": " + cell_value(field.at(f));
      }
      value += "}";
    }
    if (out.size() > 1) out += ",";
    out += std::string(kEnd) + in + json_string(column.name) + ": " + value;
  }
  return out + std::string(kEnd) + indent + "}";
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

std::string json_start(const Source& source, const Study& study, const GridTable& g,
                       const Target& target) {
  const std::string e(kEnd);
  std::string out = "{" + e;
  out += "  \"program\": \"morvantide " + std::string(kVersion) + "\"," + e;
  out += "  \"title\": " + json_string(source.title) + "," + e;
  out += "  \"settings\": {";
  if (source.kind == Source::Kind::kResultFiles) {
    out += "\"layout\": " + std::to_string(source.layout) + ", \"nv\": " +
           std::to_string(source.nv) + ", ";
  }
  out += "\"pL\": " + json_number(study.pL) +
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
  out += list_line("    ", "result_files", static_cast<int32_t>(source.files.size()),
                   [&](int32_t i) { return json_string(source.files[i - 1]); }) +
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
  out += "        \"finest\": " + finest(v.finest, "        ") + e;
  out += "      }" + e;
  out += "    }";
  return out;
}

std::string json_end() {
  return std::string(kEnd) + "  ]" + std::string(kEnd) + "}" + std::string(kEnd);
}

}  // namespace morvantide
