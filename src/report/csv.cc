#include "report/csv.h"

#include "common/decimal.h"
#include "common/text.h"
#include "report/utf8.h"

namespace morvantide {

namespace {

const char* const kLeadingColumns[] = {"variable", "name", "grid", "h", "log10_h", "r21", "file"};

std::string cell_text(const Cell& c) {
  switch (c.kind) {
    case Cell::Kind::kReal:
      return shortest_decimal(c.number);
    case Cell::Kind::kText:
      return csv_field(c.text);
    case Cell::Kind::kFlag:
      return c.flag ? "true" : "false";
    case Cell::Kind::kWhole:
      return std::to_string(c.whole);
    case Cell::Kind::kMissing:
      break;
  }
  return "";
}

}  // namespace

std::string csv_field(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string csv_header() {
  std::string out;
  for (const char* name : kLeadingColumns) out += (out.empty() ? "" : ",") + std::string(name);
  for (const ReportColumn& column : kQuantityColumns) out += "," + std::string(column.name);
  for (const ReportColumn& column : kVerdictColumns) out += "," + std::string(column.name);
  return out + std::string(kCrLf);
}

std::string csv_rows(const Source& source, const Analysis& v) {
  const std::string number = std::to_string(v.number);
  const std::string name = csv_field(report_text(v.name));
  std::string out;
  for (int32_t i = 1; i <= v.study.nm; ++i) {
    out += number + "," + name + "," + std::to_string(i) + "," +
           shortest_decimal(v.study.h(i)) + "," + shortest_decimal(v.grids.log10_h(i)) + "," +
           (i >= kFirstDifference ? shortest_decimal(v.grids.r21(i)) : std::string()) + "," +
           csv_field(source.file_of(i));
    for (const ReportColumn& column : kQuantityColumns) out += "," + cell_text(cell(column, v, i));
    for (const ReportColumn& column : kVerdictColumns) out += "," + cell_text(cell(column, v, i));
    out += kCrLf;
  }
  return out;
}

}  // namespace morvantide
