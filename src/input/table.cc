#include "input/table.h"

#include <algorithm>
#include <new>
#include <numeric>

#include "common/decimal.h"
#include "common/files.h"
#include "common/platform.h"
#include "common/text.h"
#include "input/freeformat.h"
#include "input/separator.h"

namespace morvantide {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Where a row is, for messages.
std::string place(const Table& table, const TableRow& row) {
  if (!row.place.empty()) return row.place;
  return printable(table.source) + ":" + std::to_string(row.line) + ":" +
         std::to_string(row.first_column);
}

struct Field {
  std::string text;  // without its quotes
  int64_t column;    // 1-based
  bool quoted = false;
};

class Parser {
 public:
  Parser(const std::string& source, Table* table) : source_(source), table_(table) {
    table_->source = source_;
  }

  Status error(int64_t line, int64_t column, const std::string& what) const {
    return Status::Error(printable(source_) + ":" + std::to_string(line) + ":" +
                         std::to_string(column) + ": " + what);
  }

  // Splits one line (without its line end) into fields; a '#' outside quotes
  // ends it.  An unterminated quote is an error.
  Status split(std::string_view line, int64_t number, Separator sep, std::vector<Field>* fields) {
    fields->clear();
    const char mark = sep == Separator::kTab ? '\t' : sep == Separator::kSemicolon ? ';' : ',';
    size_t i = 0;
    const size_t n = line.size();
    auto skip_blanks = [&] {
      while (i < n && (sep == Separator::kTab ? line[i] == ' ' || line[i] == '\r'
                                               : is_field_blank(line[i]))) {
        ++i;
      }
    };
    while (true) {
      skip_blanks();
      if (i >= n || line[i] == '#') {
        // The end of the row: after a separator it leaves an empty field.
        if (!fields->empty() && sep != Separator::kBlanks) {
          fields->push_back({std::string(), static_cast<int64_t>(i) + 1});
        }
        return Status::Ok();
      }
      Field f;
      f.column = static_cast<int64_t>(i) + 1;
      if (line[i] == '"') {
        f.quoted = true;
        ++i;
        while (true) {
          if (i >= n) return error(number, f.column, "a quoted field has no closing quote");
          if (line[i] == '"') {
            if (i + 1 < n && line[i + 1] == '"') {
              f.text += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          f.text += line[i++];
        }
        // Blanks after the closing quote separate the next field of a
        // blank-separated row: they are checked for below, not passed over.
        if (sep != Separator::kBlanks) skip_blanks();
      } else {
        const size_t start = i;
        while (i < n && line[i] != '#' &&
               (sep == Separator::kBlanks ? !is_field_blank(line[i]) : line[i] != mark)) {
          ++i;
        }
        f.text = trim_right(line.substr(start, i - start));
        if (sep != Separator::kBlanks) {
          while (!f.text.empty() && f.text.back() == '\r') f.text.pop_back();
        }
      }
      fields->push_back(std::move(f));
      if (sep == Separator::kBlanks) {
        if (i < n && !is_field_blank(line[i]) && line[i] != '#') {
          return error(number, static_cast<int64_t>(i) + 1,
                       "expected a blank after a quoted field, found " + shown(line.substr(i, 1)));
        }
        continue;
      }
      if (i >= n || line[i] == '#') return Status::Ok();
      if (line[i] != mark) {
        return error(number, static_cast<int64_t>(i) + 1,
                     "expected a separator after a quoted field, found " +
                         shown(line.substr(i, 1)));
      }
      ++i;  // past the separator; a field follows, empty or not
      skip_blanks();
      if (i >= n || line[i] == '#') {
        fields->push_back({std::string(), static_cast<int64_t>(i) + 1});
        return Status::Ok();
      }
    }
  }

  // A number written with a decimal comma: digits, one comma, digits.
  static bool decimal_comma(const std::string& text, std::string* with_dot) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) return false;
    std::string dotted = text;
    dotted[comma] = '.';
    real ignored;
    if (parse_real(dotted, &ignored) != RealText::kOk) return false;
    *with_dot = dotted;
    return true;
  }

  // One line of the text, without its line end (LF, or CR LF).
  Status line(std::string_view line, int64_t number) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t visible = line.find_first_not_of(" \t\r");
    if (visible == std::string_view::npos || line[visible] == '#') return Status::Ok();
    if (first_row_) sep_ = detect_separator(line);
    const Separator sep = sep_;
    std::vector<Field>& fields = fields_;
    MORVANTIDE_RETURN_IF_ERROR(split(line, number, sep, &fields));

    if (sep == Separator::kSemicolon) {
      for (const Field& f : fields) {
        std::string dotted;
        if (!f.quoted && decimal_comma(f.text, &dotted)) {
          return error(number, f.column,
                       "found " + shown(f.text) +
                           " in a file separated by semicolons: the decimal mark is a dot (" +
                           dotted + ")");
        }
      }
    }

    if (first_row_) {
      first_row_ = false;
      table_->columns = static_cast<int32_t>(fields.size());
      if (fields.size() < 2) {
        return error(number, fields.empty() ? 1 : fields[0].column,
                     "a row needs h and the value of at least one variable, found " +
                         std::to_string(fields.size()) + " field");
      }
      // A row of numbers is data, quoted or not (a spreadsheet may quote
      // every field); a header has a field that is no number.
      bool header = false;
      for (const Field& f : fields) {
        real ignored;
        if (parse_real(f.text, &ignored) == RealText::kMalformed) header = true;
      }
      if (header) {
        for (Field& f : fields) table_->names.push_back(std::move(f.text));
        return Status::Ok();
      }
    }

    if (static_cast<int32_t>(fields.size()) != table_->columns) {
      const int64_t column = fields.size() > static_cast<size_t>(table_->columns)
                                 ? fields[table_->columns].column
                                 : static_cast<int64_t>(line.size()) + 1;
      return error(number, column,
                   "the row has " + std::to_string(fields.size()) + " fields, the " +
                       (table_->names.empty() ? "first row has " : "header has ") +
                       std::to_string(table_->columns));
    }
    // Refused at the first row too many, before the rest is read.
    if (table_->rows.size() == static_cast<size_t>(kMaxGrids)) {
      return Status::Error(printable(source_) + ":" + std::to_string(number) +
                           ": more grids than a run takes (at most " +
                           std::to_string(kMaxGrids) + ")");
    }
    TableRow row;
    row.line = number;
    row.first_column = fields[0].column;
    row.values.resize(fields.size());
    for (size_t k = 0; k < fields.size(); ++k) {
      const Field& f = fields[k];
      if (f.text.empty()) return error(number, f.column, "empty field: a number is expected");
      switch (parse_real(f.text, &row.values[k])) {
        case RealText::kOk:
          break;
        case RealText::kTooLarge:
          return error(number, f.column, "the number does not fit a binary128 real: " +
                                             shown(f.text));
        case RealText::kMalformed:
          return error(number, f.column, "expected a number, found " + shown(f.text));
      }
    }
    table_->rows.push_back(std::move(row));
    return Status::Ok();
  }

  // After the last line.
  Status end() const {
    if (table_->rows.empty()) {
      return Status::Error(printable(source_) +
                           ": no data rows (a row per grid: h, then the value of each variable)");
    }
    return Status::Ok();
  }

  // The text of a file with no LF whose lines end with CR alone (a classic
  // Mac file), which would read as one row: refused as the result files
  // are, naming the line ends.
  Status cr_only(std::string_view text) const {
    for (size_t i = text.find('\r'); i != std::string_view::npos; i = text.find('\r', i + 1)) {
      if (text.find_first_not_of(" \t\r", i + 1) != std::string_view::npos) {
        return Status::Error(printable(source_) +
                             ": lines end with CR only; save it with LF or CR LF line ends");
      }
    }
    return Status::Ok();
  }

 private:
  const std::string& source_;
  Table* table_;
  bool first_row_ = true;
  Separator sep_ = Separator::kBlanks;
  std::vector<Field> fields_;
};

// Feeds the parser the lines of a text that arrives in pieces; the lines
// already parsed are not kept.
class LineFeeder {
 public:
  explicit LineFeeder(Parser* parser) : parser_(parser) {}

  Status add(std::string_view piece) {
    pending_.append(piece);
    if (!started_) {
      if (pending_.size() < kByteOrderMark.size() &&
          kByteOrderMark.substr(0, pending_.size()) == pending_) {
        return Status::Ok();  // perhaps the start of a byte-order mark
      }
      started_ = true;
      if (pending_.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0) {
        pending_.erase(0, kByteOrderMark.size());
      }
    }
    size_t from = 0;
    for (size_t end = pending_.find('\n'); end != std::string::npos;
         end = pending_.find('\n', from)) {
      MORVANTIDE_RETURN_IF_ERROR(
          parser_->line(std::string_view(pending_).substr(from, end - from), ++number_));
      from = end + 1;
    }
    pending_.erase(0, from);
    return Status::Ok();
  }

  Status finish() {
    if (!started_ && pending_.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0) {
      pending_.clear();
    }
    if (!pending_.empty()) {
      if (number_ == 0) MORVANTIDE_RETURN_IF_ERROR(parser_->cr_only(pending_));
      MORVANTIDE_RETURN_IF_ERROR(parser_->line(pending_, ++number_));
    }
    return parser_->end();
  }

 private:
  Parser* parser_;
  std::string pending_;
  int64_t number_ = 0;
  bool started_ = false;
};

Status out_of_memory(const std::string& source) {
  return Status::Error(printable(source) + ": not enough memory for the table");
}

}  // namespace

Status parse_table(const std::string& source, std::string_view text, Table* table) {
  *table = Table();
  try {
    Parser parser(source, table);
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
      text.remove_prefix(kByteOrderMark.size());
    }
    if (text.find('\n') == std::string_view::npos) {
      MORVANTIDE_RETURN_IF_ERROR(parser.cr_only(text));
    }
    int64_t number = 0;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      MORVANTIDE_RETURN_IF_ERROR(parser.line(text.substr(pos, end - pos), ++number));
      pos = end + 1;
    }
    return parser.end();
  } catch (const std::bad_alloc&) {
    *table = Table();
    return out_of_memory(source);
  }
}

Status read_table(const std::string& source, InputFile& in, Table* table) {
  *table = Table();
  try {
    Parser parser(source, table);
    LineFeeder feeder(&parser);
    std::string block;
    for (;;) {
      block.clear();
      bool end = false;
      MORVANTIDE_RETURN_IF_ERROR(in.read_block(&block, &end));
      if (end) break;
      MORVANTIDE_RETURN_IF_ERROR(feeder.add(block));
    }
    return feeder.finish();
  } catch (const std::bad_alloc&) {
    *table = Table();
    return out_of_memory(source);
  }
}

TableSettings::TableSettings() {
  pL = 2;
  dp = 1;
  itmax = 50;
  {
    const CLocaleScope c_locale;  // made in any thread, whatever its locale
    parse_real("1.0E-12", &tol);  // as the parameter file reads it
  }
  pU_min = 0.5Q;
  pU_max = 5;
}

real h_of_cells(real n, int32_t dimensions) {
  switch (dimensions) {
    case 1:
      return 1 / n;
    case 2:
      return 1 / sqrtq(n);
    case 3:
      return 1 / cbrtq(n);
    default:
      return q_pow(n, -1 / q_from_int(dimensions));
  }
}

namespace {

// The distance of two positive finite binary128 numbers in units in the
// last place: their bit patterns are ordered as the numbers are.
unsigned __int128 ulps_apart(real a, real b) {
  unsigned __int128 x = 0, y = 0;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x > y ? x - y : y - x;
}

bool within_ulps(real a, real b) {
  return a > 0 && b > 0 && !q_isinf(a) && !q_isinf(b) && ulps_apart(a, b) <= kRatioUlps;
}

// The largest |r(i) / r(1) - 1| over the ratios h(i-1)/h(i).
real ratio_spread(const RealList& h) {
  real spread = 0;
  const real first = h(1) / h(2);
  for (int32_t i = 3; i <= h.size(); ++i) {
    const real d = q_abs((h(i - 1) / h(i)) / first - 1);
    if (d > spread) spread = d;
  }
  return spread;
}

// Whole numbers above 1 that grow down the table: cell counts, likely.
bool looks_like_cell_counts(const Table& table) {
  real before = 1;
  for (const TableRow& row : table.rows) {
    const real n = row.values[0];
    if (!(n > before) || n != floorq(n)) return false;
    before = n;
  }
  return table.rows.size() >= 2;
}

}  // namespace

bool constant_ratio(const RealList& h) {
  if (h.size() < 3) return true;
  const real first = h(1) / h(2);
  for (int32_t i = 3; i <= h.size(); ++i) {
    if (!same_bits(h(i - 1) / h(i), first) && !within_ulps(h(i - 1) / h(i), first)) return false;
  }
  return true;
}

Status study_from_table(const Table& table, const TableSettings& settings, TableStudy* out) {
  const std::string where = printable(table.source) + ":";
  const std::string h_name = settings.cells > 0 ? "the cell count" : "h";
  const size_t n = table.rows.size();
  if (n > static_cast<size_t>(kMaxGrids)) {
    return Status::Error(where + " " + std::to_string(n) + " grids are more than a run takes (at most " +
                         std::to_string(kMaxGrids) + ")");
  }
  std::vector<real> h(n);
  for (size_t k = 0; k < n; ++k) {
    const TableRow& row = table.rows[k];
    const real first = row.values[0];
    const std::string at = place(table, row) + ": ";
    if (!(first > 0)) {
      return Status::Error(at + h_name + " must be a positive number, found " +
                           shortest_decimal(first));
    }
    h[k] = settings.cells > 0 ? h_of_cells(first, settings.cells) : first;
    if (!(h[k] > 0) || q_isinf(h[k])) {
      return Status::Error(at + "h must be a positive finite number, found " +
                           shortest_decimal(h[k]));
    }
  }
  // Coarse to fine; rows of equal h stay in the order of the text.
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return h[a] > h[b]; });
  for (size_t k = 1; k < n; ++k) {
    if (h[order[k]] == h[order[k - 1]]) {
      const TableRow& a = table.rows[order[k - 1]];
      const TableRow& b = table.rows[order[k]];
      const std::string value = " (" + shortest_decimal(b.values[0]) + ")";
      const std::string rest = ": each grid needs an h of its own";
      if (!b.place.empty()) {
        return Status::Error(b.place + ": the same " + h_name + " as " + a.place + value + rest);
      }
      return Status::Error(where + std::to_string(b.line) + ": the same " + h_name + " as line " +
                           std::to_string(a.line) + value + rest);
    }
  }

  if (n < 2) {
    return Status::Error(where + " " + std::to_string(n) +
                         " grid: a study needs at least two grids");
  }
  TableStudy result;
  Study& s = result.study.study;
  static_cast<Settings&>(s) = settings;
  s.nm = static_cast<int32_t>(n);
  s.h.resize(s.nm);
  result.lines.resize(n);
  for (size_t k = 0; k < n; ++k) {
    s.h(static_cast<int32_t>(k) + 1) = h[order[k]];
    result.lines[k] = table.rows[order[k]].line;
  }
  s.cells = settings.cells;
  // The ratio as the user meant it: cell counts compared before any root.
  bool constant = constant_ratio(s.h);
  if (settings.cells > 0) {
    constant = true;
    for (size_t k = 2; k < n; ++k) {
      const real later = table.rows[order[k]].values[0] / table.rows[order[k - 1]].values[0];
      const real first = table.rows[order[1]].values[0] / table.rows[order[0]].values[0];
      if (!same_bits(later, first)) constant = false;
    }
  }
  switch (settings.ratio) {
    case RatioChoice::kConstant: s.tipo_r = 1; break;
    case RatioChoice::kVariable: s.tipo_r = 2; break;
    case RatioChoice::kDetect: s.tipo_r = constant ? 1 : 2; break;
  }
  if (settings.ratio == RatioChoice::kConstant && !constant) {
    result.notes.push_back("--ratio constant: the ratios h(i-1)/h(i) differ from the first (" +
                           shortest_decimal(s.h(1) / s.h(2)) + ") by up to " +
                           decimal_digits(ratio_spread(s.h), 3) +
                           " of it; each grid keeps its own ratio");
  }
  if (s.tipo_r == 1 && settings.order_range_given) {
    result.notes.push_back("--order-range is unused: the ratio is constant, so the observed "
                           "order has a closed form");
  }
  if (settings.cells == 0 && looks_like_cell_counts(table)) {
    result.notes.push_back("the first column holds whole numbers that grow down the table; if "
                           "they are cell counts, give --cells D (D = 1, 2 or 3 dimensions)");
  }
  Columns& columns = result.study.columns;
  try {
    std::vector<int32_t> numbers;
    for (int32_t v = 1; v < table.columns; ++v) numbers.push_back(v);
    std::vector<std::string> names;
    for (int32_t v = 1; v < table.columns && !table.names.empty(); ++v) {
      names.push_back(table.names[v]);
    }
    columns.assign(s.nm, std::move(numbers), std::move(names));
  } catch (const std::bad_alloc&) {
    return Status::Error(where + " not enough memory for the variables");
  }
  for (int32_t v = 1; v < table.columns; ++v) {
    for (size_t k = 0; k < n; ++k) {
      columns.value(static_cast<size_t>(v - 1), static_cast<int32_t>(k) + 1) =
          table.rows[order[k]].values[v];
    }
  }
  *out = std::move(result);
  return Status::Ok();
}

}  // namespace morvantide
