// Reads: modo, nm, arq and the result files.  Writes nothing of the state:
// the columns it returns are the report's own.
#include "input/variables.h"

#include <algorithm>
#include <memory>
#include <new>

#include "common/text.h"
#include "input/freeformat.h"

namespace morvantide {

namespace {

// Lists of more values than this are checked against the files before
// their columns are made.
constexpr size_t kValuesReadBeforeCheck = size_t{1} << 16;

std::string grid(int32_t m) { return " of grid " + std::to_string(m); }
std::string variable(int32_t k) { return " of variable " + std::to_string(k); }

// A reader of the file that reads only as far as its reads go.
Status open_reader(Files& files, const std::string& name, std::unique_ptr<FreeFormatReader>* in) {
  std::unique_ptr<InputFile> file;
  MORVANTIDE_RETURN_IF_ERROR(files.open(name, &file));
  *in = std::make_unique<FreeFormatReader>(name, std::move(file));
  return Status::Ok();
}

// The first `lines` lines of the file (fewer when it is shorter), read no
// further than the block that ends them.
Status first_lines(Files& files, const std::string& name, int lines, std::string* text) {
  text->clear();
  std::unique_ptr<InputFile> file;
  MORVANTIDE_RETURN_IF_ERROR(files.open(name, &file));
  int found = 0;
  size_t scanned = 0;
  for (bool end = false; found < lines;) {
    MORVANTIDE_RETURN_IF_ERROR(file->read_block(text, &end));
    if (end) break;
    for (; scanned < text->size() && found < lines; ++scanned) found += (*text)[scanned] == '\n';
  }
  return Status::Ok();
}

// Line n (1-based) of text, without its line end.
std::string line_of(const std::string& text, int n) {
  size_t start = 0;
  for (int k = 1; k < n && start != std::string::npos; ++k) {
    start = text.find('\n', start);
    if (start != std::string::npos) ++start;
  }
  if (start == std::string::npos || start > text.size()) return std::string();
  size_t end = text.find('\n', start);
  if (end == std::string::npos) end = text.size();
  if (end > start && text[end - 1] == '\r') --end;
  return text.substr(start, end - start);
}

// At most how many values a line can hold: one per byte, unless a repeat
// count (r*v) stands for many.
size_t value_bound(const std::string& line) {
  const size_t bound =
      line.find('*') == std::string::npos ? line.size() : size_t{kMaxVariables};
  return std::min(bound, size_t{kMaxVariables});
}

// How many reals follow the first one on `line` alone: the read stops at the
// line end, a slash, a null value or a value that is not a real.
int32_t reals_after_first(const std::string& line) {
  const size_t bound = value_bound(line);
  const real unset = nanq("");
  std::vector<real> values(bound, unset);
  std::vector<Item> items{Item::Real("h", nullptr)};
  items.reserve(bound + 1);
  for (size_t k = 0; k < bound; ++k) items.push_back(Item::Real("v", &values[k]));
  FreeFormatReader one("", line);
  (void)one.read(items);  // ends in an error at the line end; values read are kept
  int32_t count = 0;
  while (static_cast<size_t>(count) < bound && !q_isnan(values[count])) ++count;
  return count;
}

// The words of a header line (texts by the free-format rules).
std::vector<std::string> words_of(const std::string& line) {
  const size_t bound = std::min(line.size(), size_t{kMaxVariables} + 1);
  const std::string unset = "\x01";
  constexpr size_t kLongestName = 256;
  std::vector<std::string> words(bound, unset);
  std::vector<Item> items;
  items.reserve(bound);
  for (size_t k = 0; k < bound; ++k) items.push_back(Item::Text("w", &words[k], kLongestName));
  FreeFormatReader one("", line);
  (void)one.read(items);
  size_t count = 0;
  while (count < bound && words[count] != unset) ++count;
  words.resize(count);
  // Names reach the terminal (the summary): control bytes are spelled out.
  for (std::string& w : words) w = control_bytes_shown(trim_right(w));
  return words;
}

}  // namespace

Status count_variables(const State& s, Files& files, int32_t* count,
                       std::vector<std::string>* names) {
  names->clear();
  const std::string name = trim(s.arq(1));
  std::unique_ptr<FreeFormatReader> reader;
  MORVANTIDE_RETURN_IF_ERROR(open_reader(files, name, &reader));
  FreeFormatReader& in = *reader;
  if (s.modo == 0) {
    MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("h" + grid(1), nullptr)}));
    int32_t n = 0;
    int stop_line = 0;  // the line that holds no variable
    while (n < kMaxVariables) {
      const int32_t unset_number = -1;
      int32_t number = unset_number;
      real value = nanq("");
      if (!in.read({Item::Integer("n", &number), Item::Real("v", &value)}).ok()) {
        stop_line = in.last_line() + 1;
        break;
      }
      if (number == unset_number || q_isnan(value)) {  // a slash or a null value
        stop_line = in.last_line();
        break;
      }
      ++n;
    }
    if (n == 0) {
      return Status::Error(name + ":" + std::to_string(stop_line) +
                           ": no line after h holds a variable's number and value");
    }
    *count = n;
    return Status::Ok();
  }

  MORVANTIDE_RETURN_IF_ERROR(in.read({}));  // the header line
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("h" + grid(1), nullptr)}));
  const int first_row = in.last_line();
  std::string text;
  MORVANTIDE_RETURN_IF_ERROR(first_lines(files, name, first_row, &text));
  const int32_t n = reals_after_first(line_of(text, first_row));
  if (n == 0) {
    return Status::Error(name + ":" + std::to_string(first_row) +
                         ": no value follows h on the first line of grid 1");
  }
  std::vector<std::string> words = words_of(line_of(text, 1));
  if (words.size() == static_cast<size_t>(n) + 1) names->assign(words.begin() + 1, words.end());
  *count = n;
  return Status::Ok();
}

Status read_variables(const State& s, Files& files, bool all, const std::vector<int32_t>& numbers,
                      std::vector<VariableColumn>* columns) {
  columns->clear();
  int32_t present = 0;
  std::vector<std::string> names;
  if (all) {
    MORVANTIDE_RETURN_IF_ERROR(count_variables(s, files, &present, &names));
  } else if (s.modo == 1 && !count_variables(s, files, &present, &names).ok()) {
    names.clear();  // only the names were wanted: the rows are read below
  }

  std::vector<int32_t> wanted;
  if (all) {
    for (int32_t k = 1; k <= present; ++k) wanted.push_back(k);
  } else {
    wanted = numbers;
  }
  const int32_t last = wanted.empty() ? 0 : *std::max_element(wanted.begin(), wanted.end());
  const std::string first_name = trim(s.arq(1));
  // A header that names each column of the first row makes the table's
  // width plain: a variable beyond it is missing, not on a following line.
  if (s.modo == 1 && !names.empty() && last > present) {
    return Status::Error(first_name + ":1: variable " + std::to_string(last) +
                         " is not in the table: its header names " + std::to_string(present) +
                         " variables after h");
  }
  // column_of[k]: the column of variable k, -1 when not wanted.
  std::vector<int32_t> column_of;

  // One pass over the result files; values are kept only once the columns
  // exist.
  auto read_pass = [&](bool keep) -> Status {
    auto destination = [&](int32_t k, int32_t m) -> real* {
      const int32_t c = keep ? column_of[k] : -1;
      return c < 0 ? nullptr : &(*columns)[c].Th(m);
    };
    std::unique_ptr<FreeFormatReader> reader;
    if (s.modo == 0) {
      for (int32_t m = 1; m <= s.study.nm; ++m) {
        MORVANTIDE_RETURN_IF_ERROR(open_reader(files, trim(s.arq(m)), &reader));
        FreeFormatReader& in = *reader;
        MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("h" + grid(m), nullptr)}));
        for (int32_t k = 1; k <= last; ++k) {
          const std::string var = variable(k) + grid(m);
          MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer("the number" + var, nullptr),
                                              Item::Real("the value" + var, destination(k, m))}));
        }
      }
      return Status::Ok();
    }
    MORVANTIDE_RETURN_IF_ERROR(open_reader(files, first_name, &reader));
    FreeFormatReader& in = *reader;
    MORVANTIDE_RETURN_IF_ERROR(in.read({}));  // the header line
    std::vector<Item> row;
    for (int32_t m = 1; m <= s.study.nm; ++m) {
      row.clear();
      row.push_back(Item::Real("h" + grid(m), nullptr));
      for (int32_t k = 1; k <= last; ++k) {
        row.push_back(Item::Real("the value" + variable(k) + grid(m), destination(k, m)));
      }
      Status status = in.read(row);
      if (!status.ok() && present > 0 && last > present) {
        // Rows may run over several lines, so the read went on past the first
        // line of each row; say which variable sent it there.
        return Status::Error(status.message() + " (variable " + std::to_string(last) +
                             " is not on the first line of grid 1, which holds " +
                             std::to_string(present) + " values after h)");
      }
      MORVANTIDE_RETURN_IF_ERROR(status);
    }
    return Status::Ok();
  };

  // A long list is read once without keeping anything before its columns
  // are made, so that a variable missing from the files is named before
  // the list takes any memory.
  if (wanted.size() * static_cast<size_t>(s.study.nm) > kValuesReadBeforeCheck) {
    MORVANTIDE_RETURN_IF_ERROR(read_pass(false));
  }

  try {
    column_of.assign(static_cast<size_t>(last) + 1, -1);
    columns->resize(wanted.size());
    for (size_t c = 0; c < wanted.size(); ++c) {
      VariableColumn& column = (*columns)[c];
      column.number = wanted[c];
      if (static_cast<size_t>(wanted[c]) <= names.size()) column.name = names[wanted[c] - 1];
      column.Th.resize(s.study.nm, 0);
      column_of[wanted[c]] = static_cast<int32_t>(c);
    }
  } catch (const std::bad_alloc&) {
    columns->clear();
    return Status::Error("not enough memory for " + std::to_string(wanted.size()) +
                         " variables of nm = " + std::to_string(s.study.nm) + " grids");
  }
  return read_pass(true);
}

}  // namespace morvantide
