#include "field/field_input.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "common/parallel.h"
#include "common/text.h"
#include "field/field.h"
#include "field/npy.h"
#include "input/freeformat.h"
#include "input/separator.h"

namespace morvantide {

namespace {

// 10^k exactly, for 0 <= k <= 48 (5^48 < 2^113).
const std::vector<real>& powers_of_ten() {
  static const std::vector<real> powers = [] {
    std::vector<real> p(49);
    p[0] = 1;
    for (size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
    return p;
  }();
  return powers;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool read_decimal(std::string_view s, real* out) {
  // The short plain forms, -?D+(.D+)?([eEdD][+-]?D+)?, with at most 19
  // digits and a scale within 10^+-48: the digits and the power of ten are
  // exact in binary128, so one product or quotient is the correctly rounded
  // value.  Anything else is read by parse_real itself.
  size_t k = 0;
  const size_t n = s.size();
  const bool negative = k < n && s[k] == '-';
  if (negative) ++k;
  uint64_t digits = 0;
  int count = 0;
  int scale = 0;
  const size_t first = k;
  while (k < n && is_digit(s[k])) {
    if (count > 0 || s[k] != '0') ++count;
    digits = digits * 10 + static_cast<uint64_t>(s[k] - '0');
    ++k;
  }
  bool plain = k > first && count <= 19;
  if (plain && k < n && s[k] == '.') {
    const size_t start = ++k;
    while (k < n && is_digit(s[k])) {
      if (count > 0 || s[k] != '0') ++count;
      digits = digits * 10 + static_cast<uint64_t>(s[k] - '0');
      --scale;
      ++k;
    }
    plain = k > start && count <= 19;
  }
  if (plain && k < n && (s[k] == 'e' || s[k] == 'E' || s[k] == 'd' || s[k] == 'D')) {
    ++k;
    const bool minus = k < n && s[k] == '-';
    if (k < n && (s[k] == '-' || s[k] == '+')) ++k;
    const size_t start = k;
    int e = 0;
    while (k < n && is_digit(s[k]) && e < 100000) e = e * 10 + (s[k++] - '0');
    plain = k > start;
    scale += minus ? -e : e;
  }
  if (plain && k == n && scale >= -48 && scale <= 48) {
    const real d = static_cast<real>(digits);
    const std::vector<real>& p = powers_of_ten();
    const real v =
        scale >= 0 ? d * p[static_cast<size_t>(scale)] : d / p[static_cast<size_t>(-scale)];
    *out = negative ? -v : v;
    return true;
  }
  return parse_real(s, out) == RealText::kOk;
}

void append_csv_field(std::string_view text, std::string* out) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out->append(text);
    return;
  }
  *out += '"';
  for (char c : text) {
    if (c == '"') *out += '"';
    *out += c;
  }
  *out += '"';
}

Status field_study(const std::vector<real>& sizes, const std::vector<std::string>& places,
                   const TableSettings& settings, Study* study,
                   std::vector<int32_t>* grid_of_column) {
  if (static_cast<int32_t>(sizes.size()) < kFieldMinGrids) {
    return Status::Error("morvantide: a field needs at least " + std::to_string(kFieldMinGrids) +
                         " grids, found " + std::to_string(sizes.size()));
  }
  // The sizes as a data table of one dummy variable: the same checks,
  // order and ratio detection as a data run.
  Table table;
  table.source = "field";
  table.columns = 2;
  for (size_t c = 0; c < sizes.size(); ++c) {
    TableRow row;
    row.line = static_cast<int64_t>(c) + 1;
    row.values = {sizes[c], 0};
    row.place = places[c];
    table.rows.push_back(std::move(row));
  }
  TableStudy out;
  MORVANTIDE_RETURN_IF_ERROR(study_from_table(table, settings, &out));
  *study = out.study.study;
  grid_of_column->assign(sizes.size(), 0);
  for (size_t g = 0; g < out.lines.size(); ++g) {
    (*grid_of_column)[static_cast<size_t>(out.lines[g] - 1)] = static_cast<int32_t>(g) + 1;
  }
  return Status::Ok();
}

namespace {

// A file read line by line from its blocks.
class LineSource {
 public:
  LineSource(const std::string& source, std::unique_ptr<InputFile> in, std::string start)
      : source_(source), in_(std::move(in)), buffer_(std::move(start)) {}

  // The next line without its end (LF or CR LF); false at the end.
  Status next(std::string_view* line, bool* got) {
    while (true) {
      const size_t end = buffer_.find('\n', pos_);
      if (end == std::string::npos && number_ == 0) MORVANTIDE_RETURN_IF_ERROR(cr_only());
      if (end != std::string::npos || eof_) {
        if (end == std::string::npos && pos_ >= buffer_.size()) {
          *got = false;
          return Status::Ok();
        }
        const size_t stop = end == std::string::npos ? buffer_.size() : end;
        size_t length = stop - pos_;
        if (length > 0 && buffer_[pos_ + length - 1] == '\r') --length;
        *line = std::string_view(buffer_).substr(pos_, length);
        pos_ = end == std::string::npos ? buffer_.size() : end + 1;
        ++number_;
        if (number_ == 1 && line->substr(0, 3) == "\xEF\xBB\xBF") {
          line->remove_prefix(3);
          bom_ = 3;
        } else if (number_ > 1) {
          bom_ = 0;
        }
        *got = true;
        return Status::Ok();
      }
      if (pos_ > 0) {
        buffer_.erase(0, pos_);
        pos_ = 0;
      }
      bool end_of_file = false;
      MORVANTIDE_RETURN_IF_ERROR(in_->read_block(&buffer_, &end_of_file));
      if (end_of_file) eof_ = true;
    }
  }
  int64_t number() const { return number_; }
  int64_t bom() const { return bom_; }  // bytes before the line's column 1

 private:
  // No LF yet, but a CR with more text after it: a file whose lines end
  // with CR alone (a classic Mac file), refused as the data run refuses it
  // rather than read whole as one line.
  Status cr_only() const {
    for (size_t i = buffer_.find('\r'); i != std::string::npos; i = buffer_.find('\r', i + 1)) {
      if (buffer_.find_first_not_of(" \t\r", i + 1) != std::string::npos) {
        return Status::Error(printable(source_) +
                             ": lines end with CR only; save it with LF or CR LF line ends");
      }
    }
    return Status::Ok();
  }

  const std::string& source_;
  std::unique_ptr<InputFile> in_;
  std::string buffer_;
  size_t pos_ = 0;
  bool eof_ = false;
  int64_t number_ = 0;
  int64_t bom_ = 0;
};

struct Cell {
  std::string_view text;  // into the line, or into `quoted` storage
  int64_t column;
};

// A row is skipped when it is blank or its first visible character is '#'.
bool skipped(std::string_view line) {
  for (char c : line) {
    if (is_field_blank(c)) continue;
    return c == '#';
  }
  return true;
}

class TableFieldReader : public FieldReader {
 public:
  TableFieldReader(std::string source, std::unique_ptr<InputFile> in, std::string start)
      : source_(std::move(source)), lines_(source_, std::move(in), std::move(start)) {}

  Status error(int64_t line, int64_t column, const std::string& what) const {
    return Status::Error(printable(source_) + ":" + std::to_string(line) + ":" +
                         std::to_string(column) + ": " + what);
  }

  // Splits a line into cells by the table's rules; quoted cells are copied
  // into `quoted_` (kept until the next split).
  Status split(std::string_view line, int64_t number, std::vector<Cell>* cells) {
    cells->clear();
    quoted_.clear();
    quoted_.reserve(line.size());
    const Separator sep = separator_;
    const char mark = sep == Separator::kTab ? '\t' : sep == Separator::kSemicolon ? ';' : ',';
    const size_t n = line.size();
    size_t i = 0;
    const int64_t offset = lines_.bom() + 1;
    auto skip_blanks = [&] {
      while (i < n && (sep == Separator::kTab ? line[i] == ' ' || line[i] == '\r'
                                               : is_field_blank(line[i]))) {
        ++i;
      }
    };
    while (true) {
      skip_blanks();
      if (i >= n || line[i] == '#') {
        if (!cells->empty() && sep != Separator::kBlanks) {
          cells->push_back({std::string_view(), static_cast<int64_t>(i) + offset});
        }
        return Status::Ok();
      }
      const int64_t column = static_cast<int64_t>(i) + offset;
      if (line[i] == '"') {
        const size_t start = quoted_.size();
        ++i;
        while (true) {
          if (i >= n) return error(number, column, "a quoted field has no closing quote");
          if (line[i] == '"') {
            if (i + 1 < n && line[i + 1] == '"') {
              quoted_ += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          quoted_ += line[i++];
        }
        cells->push_back({std::string_view(quoted_).substr(start), column});
        skip_blanks();
        if (sep == Separator::kBlanks) continue;
        if (i >= n || line[i] == '#') return Status::Ok();
        if (line[i] != mark) {
          return error(
              number, static_cast<int64_t>(i) + offset,
              "expected a separator after a quoted field, found " + shown(line.substr(i, 1)));
        }
        ++i;
        skip_blanks();
        if (i >= n || line[i] == '#') {
          cells->push_back({std::string_view(), static_cast<int64_t>(i) + offset});
          return Status::Ok();
        }
        continue;
      }
      const size_t start = i;
      while (i < n && line[i] != '#' &&
             (sep == Separator::kBlanks ? !is_field_blank(line[i]) : line[i] != mark)) {
        ++i;
      }
      std::string_view text = line.substr(start, i - start);
      while (!text.empty() && is_field_blank(text.back())) text.remove_suffix(1);
      cells->push_back({text, column});
      if (sep == Separator::kBlanks) continue;
      if (i >= n || line[i] == '#') return Status::Ok();
      ++i;
      skip_blanks();
      if (i >= n || line[i] == '#') {
        cells->push_back({std::string_view(), static_cast<int64_t>(i) + offset});
        return Status::Ok();
      }
    }
  }

  Status open(const FieldInputSettings& settings) {
    std::string_view line;
    bool got = false;
    while (true) {
      MORVANTIDE_RETURN_IF_ERROR(lines_.next(&line, &got));
      if (!got) return Status::Error(printable(source_) + ": the field has no rows");
      if (!skipped(line)) break;
    }
    separator_ = detect_separator(line);
    std::vector<Cell> cells;
    MORVANTIDE_RETURN_IF_ERROR(split(line, lines_.number(), &cells));
    columns_ = static_cast<int32_t>(cells.size());
    std::vector<real> numbers(cells.size());
    std::vector<bool> is_number(cells.size());
    bool all_numbers = true;
    for (size_t c = 0; c < cells.size(); ++c) {
      is_number[c] = read_decimal(cells[c].text, &numbers[c]);
      all_numbers = all_numbers && is_number[c];
    }
    std::vector<real> sizes;
    std::vector<std::string> places;
    if (!settings.h.empty()) {
      grids_ = static_cast<int32_t>(settings.h.size());
      if (columns_ < grids_) {
        return error(lines_.number(), cells.empty() ? 1 : cells.front().column,
                     "the row has " + std::to_string(columns_) + " fields, fewer than the " +
                         std::to_string(grids_) + " grid sizes of --h");
      }
      sizes = settings.h;
      for (size_t k = 0; k < sizes.size(); ++k) {
        places.push_back("--h value " + std::to_string(k + 1) +
                         (k < settings.h_text.size() ? " (" + settings.h_text[k] + ")" : ""));
      }
      if (!all_numbers) {
        for (int32_t c = 0; c < columns_ - grids_; ++c) {
          coordinate_names_.emplace_back(cells[static_cast<size_t>(c)].text);
        }
      } else {
        coordinate_names_.assign(static_cast<size_t>(columns_ - grids_), std::string());
        pending_ = std::string(line);
        has_pending_ = true;
        pending_line_ = lines_.number();
      }
    } else {
      // The header: the coordinates' names, then the grids' sizes.
      size_t c = 0;
      while (c < cells.size() && !is_number[c]) {
        coordinate_names_.emplace_back(cells[c].text);
        ++c;
      }
      if (c == cells.size()) {
        return error(lines_.number(), cells.empty() ? 1 : cells.front().column,
                     "the first row names no grid sizes: after the names of the coordinate "
                     "columns give each grid's h (or cell count with --cells), or give them "
                     "with --h");
      }
      for (; c < cells.size(); ++c) {
        if (!is_number[c]) {
          return error(lines_.number(), cells[c].column,
                       "expected a grid size (a number) after the first, found " +
                           shown(cells[c].text));
        }
        sizes.push_back(numbers[c]);
        places.push_back(printable(source_) + ":" + std::to_string(lines_.number()) + ":" +
                         std::to_string(cells[c].column));
      }
      grids_ = static_cast<int32_t>(sizes.size());
    }
    MORVANTIDE_RETURN_IF_ERROR(
        field_study(sizes, places, settings.table, &study_, &grid_of_column_));
    return Status::Ok();
  }

  Status row(std::string_view line, int64_t number, std::vector<real>* values,
             CoordinateTexts* coordinates) {
    MORVANTIDE_RETURN_IF_ERROR(split(line, number, &cells_));
    if (static_cast<int32_t>(cells_.size()) != columns_) {
      const int64_t column = static_cast<int32_t>(cells_.size()) > columns_
                                 ? cells_[static_cast<size_t>(columns_)].column
                                 : (cells_.empty() ? 1 : cells_.back().column);
      return error(number, column,
                   "the row has " + std::to_string(cells_.size()) + " fields, the first row has " +
                       std::to_string(columns_));
    }
    const int32_t first = columns_ - grids_;
    const size_t base = values->size();
    values->resize(base + static_cast<size_t>(grids_));
    for (int32_t c = first; c < columns_; ++c) {
      const Cell& cell = cells_[static_cast<size_t>(c)];
      real v = 0;
      if (!read_decimal(cell.text, &v)) {
        return error(number, cell.column,
                     cell.text.empty() ? std::string("expected a number, found an empty field")
                                       : "expected a number, found " + shown(cell.text));
      }
      (*values)[base + static_cast<size_t>(grid_of_column_[static_cast<size_t>(c - first)]) - 1] =
          v;
    }
    if (coordinates != nullptr) {
      for (int32_t c = 0; c < first; ++c) {
        append_csv_field(cells_[static_cast<size_t>(c)].text, &coordinates->text);
        coordinates->text += ',';
      }
      coordinates->offsets.push_back(coordinates->text.size());
    }
    return Status::Ok();
  }

  Status next(int64_t most, std::vector<real>* values, CoordinateTexts* coordinates,
              int64_t* count) override {
    values->clear();
    if (coordinates != nullptr) coordinates->clear();
    *count = 0;
    if (has_pending_) {
      has_pending_ = false;
      const std::string line = pending_;
      MORVANTIDE_RETURN_IF_ERROR(row(line, pending_line_, values, coordinates));
      ++*count;
    }
    while (*count < most) {
      std::string_view line;
      bool got = false;
      MORVANTIDE_RETURN_IF_ERROR(lines_.next(&line, &got));
      if (!got) break;
      if (skipped(line)) continue;
      MORVANTIDE_RETURN_IF_ERROR(row(line, lines_.number(), values, coordinates));
      ++*count;
    }
    return Status::Ok();
  }

 private:
  std::string source_;
  LineSource lines_;
  Separator separator_ = Separator::kComma;
  int32_t columns_ = 0;
  int32_t grids_ = 0;
  std::string quoted_;
  std::vector<Cell> cells_;
  std::string pending_;  // a first row that is data
  bool has_pending_ = false;
  int64_t pending_line_ = 0;
};

class NpyFieldReader : public FieldReader {
 public:
  NpyFieldReader(std::string source, std::unique_ptr<InputFile> in, std::string start)
      : source_(std::move(source)), in_(std::move(in)), buffer_(std::move(start)) {}

  Status fill(size_t bytes) {
    while (buffer_.size() - pos_ < bytes && !eof_) {
      if (pos_ > 0 && pos_ >= buffer_.size() / 2) {
        buffer_.erase(0, pos_);
        pos_ = 0;
      }
      bool end = false;
      MORVANTIDE_RETURN_IF_ERROR(in_->read_block(&buffer_, &end));
      if (end) eof_ = true;
    }
    return Status::Ok();
  }

  Status open(const FieldInputSettings& settings) {
    MORVANTIDE_RETURN_IF_ERROR(fill(12));
    size_t length = 0;
    if (buffer_.size() >= 10 && buffer_[6] == '\x01') {
      length = 10 + (static_cast<unsigned char>(buffer_[8]) | static_cast<unsigned char>(buffer_[9])
                                                                  << 8);
    } else if (buffer_.size() >= 12) {
      length = 12;
      for (int b = 3; b >= 0; --b) {
        length += (static_cast<size_t>(static_cast<unsigned char>(buffer_[8 + b])) << (8 * b));
      }
    }
    if (length > (size_t{1} << 24))
      return Status::Error(printable(source_) + ": not a NumPy .npy array: a header of " +
                           std::to_string(length) + " bytes");
    MORVANTIDE_RETURN_IF_ERROR(fill(length));
    NpyHeader header;
    MORVANTIDE_RETURN_IF_ERROR(parse_npy_header(source_, buffer_, &header));
    const std::string what = printable(source_) + ": ";
    if (header.descr != "<f8" && header.descr != "=f8") {
      return Status::Error(what + "the array holds '" + printable(header.descr) +
                           "' values; a field is read from float64 ('<f8')");
    }
    if (header.shape.size() != 2) {
      return Status::Error(what + "the array has " + std::to_string(header.shape.size()) +
                           " dimensions; a field is a 2-D array, points by grids");
    }
    points_ = header.shape[0];
    grids_ = header.shape[1];
    fortran_ = header.fortran_order;
    if (settings.h.empty()) {
      return Status::Error(what + "the grid sizes of a .npy field are given with --h (" +
                           std::to_string(grids_) + " of them, one per column)");
    }
    if (static_cast<int64_t>(settings.h.size()) != grids_) {
      return Status::Error(what + "the array has " + std::to_string(grids_) +
                           " columns (grids) and --h gives " + std::to_string(settings.h.size()) +
                           " sizes");
    }
    std::vector<std::string> places;
    for (size_t k = 0; k < settings.h.size(); ++k) {
      places.push_back("--h value " + std::to_string(k + 1) +
                       (k < settings.h_text.size() ? " (" + settings.h_text[k] + ")" : ""));
    }
    MORVANTIDE_RETURN_IF_ERROR(
        field_study(settings.h, places, settings.table, &study_, &grid_of_column_));
    // Sizes no file can hold (their bytes would not fit a 64-bit count).
    if (points_ > (int64_t{1} << 56) / grids_) {
      return Status::Error(what + "a shape of " + std::to_string(points_) + " x " +
                           std::to_string(grids_) + " values is more than a file holds");
    }
    pos_ = static_cast<size_t>(header.data_offset);
    total_points_ = points_;
    if (fortran_) {
      // Column after column: the whole array is read before the first point.
      const size_t bytes = static_cast<size_t>(points_ * grids_) * 8;
      MORVANTIDE_RETURN_IF_ERROR(fill(bytes));
      if (buffer_.size() - pos_ < bytes) return short_file();
    }
    return Status::Ok();
  }

  Status short_file() const {
    return Status::Error(printable(source_) + ": the file ends before the " +
                         std::to_string(points_) + " x " + std::to_string(grids_) +
                         " values its header announces");
  }

  Status next(int64_t most, std::vector<real>* values, CoordinateTexts* coordinates,
              int64_t* count) override {
    if (coordinates != nullptr) coordinates->clear();
    int64_t n = std::min(most, points_ - done_);
    *count = 0;
    if (n <= 0) return Status::Ok();
    size_t bytes = static_cast<size_t>(n * grids_) * 8;
    // A file cut short: the whole points before the cut are checked first,
    // so that the first fault in the file is the one named, whatever the
    // size of the pieces.
    bool cut_short = false;
    if (!fortran_) {
      MORVANTIDE_RETURN_IF_ERROR(fill(bytes));
      if (buffer_.size() - pos_ < bytes) {
        cut_short = true;
        n = static_cast<int64_t>((buffer_.size() - pos_) / (static_cast<size_t>(grids_) * 8));
        bytes = static_cast<size_t>(n * grids_) * 8;
      }
    }
    values->assign(static_cast<size_t>(n * grids_), 0);
    const char* data = buffer_.data() + pos_;
    const int64_t first = done_;
    const int64_t g = grids_;
    const int64_t total = points_;
    const bool fortran = fortran_;
    parallel_for(0, n, 4096, [&](int64_t b, int64_t e) {
      for (int64_t p = b; p < e; ++p) {
        for (int64_t c = 0; c < g; ++c) {
          double x;
          const int64_t at = fortran ? c * total + first + p : p * g + c;
          std::memcpy(&x, data + at * 8, 8);
          const size_t to =
              static_cast<size_t>(p * g + grid_of_column_[static_cast<size_t>(c)] - 1);
          if (!std::isfinite(x)) {
            (*values)[to] = 0;
            continue;
          }
          (*values)[to] = real_from_double(x);
        }
      }
    });
    // A value that is not finite is named by its place, the first one.
    for (int64_t p = 0; p < n; ++p) {
      for (int64_t c = 0; c < g; ++c) {
        const int64_t at = fortran ? c * total + first + p : p * g + c;
        double x;
        std::memcpy(&x, data + at * 8, 8);
        if (!std::isfinite(x)) {
          return Status::Error(printable(source_) + ": point " + std::to_string(first + p) +
                               " (row " + std::to_string(first + p) + " from 0), column " +
                               std::to_string(c) + ": " + (std::isnan(x) ? "NaN" : "an infinity") +
                               " is not a value");
        }
      }
    }
    if (cut_short) return short_file();
    if (!fortran_) pos_ += bytes;
    done_ += n;
    *count = n;
    return Status::Ok();
  }

 private:
  std::string source_;
  std::unique_ptr<InputFile> in_;
  std::string buffer_;
  size_t pos_ = 0;
  bool eof_ = false;
  int64_t points_ = 0;
  int64_t grids_ = 0;
  bool fortran_ = false;
  int64_t done_ = 0;
};

bool ends_with_npy(const std::string& name) {
  if (name.size() < 4) return false;
  std::string end = name.substr(name.size() - 4);
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".npy";
}

}  // namespace

Status open_field(const std::string& name, Files& files, const FieldInputSettings& settings,
                  std::unique_ptr<FieldReader>* reader) {
  std::unique_ptr<InputFile> in;
  MORVANTIDE_RETURN_IF_ERROR(files.open(name, &in));
  std::string start;
  bool end = false;
  MORVANTIDE_RETURN_IF_ERROR(in->read_block(&start, &end));
  if (ends_with_npy(name) || start.compare(0, 6, "\x93NUMPY") == 0) {
    auto r = std::make_unique<NpyFieldReader>(name, std::move(in), std::move(start));
    MORVANTIDE_RETURN_IF_ERROR(r->open(settings));
    *reader = std::move(r);
    return Status::Ok();
  }
  auto r = std::make_unique<TableFieldReader>(name, std::move(in), std::move(start));
  MORVANTIDE_RETURN_IF_ERROR(r->open(settings));
  *reader = std::move(r);
  return Status::Ok();
}

}  // namespace morvantide
