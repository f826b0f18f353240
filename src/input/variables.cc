// Reads: modo, nm, arq and the result files.  Writes nothing of the state:
// the columns it returns are the report's own.
#include "input/variables.h"

#include <algorithm>
#include <memory>
#include <new>

#include "common/text.h"
#include "input/freeformat.h"
#include "input/input.h"

namespace morvantide {

namespace {

// Lists of more values than this are checked against the files before
// their columns are made.
constexpr size_t kValuesReadBeforeCheck = size_t{1} << 16;

std::string variable(int32_t k) { return " of variable " + std::to_string(k); }

// A reader of the file that reads only as far as its reads go.
Status open_reader(ResultFiles& files, const std::string& name,
                   std::unique_ptr<FreeFormatReader>* in) {
  std::unique_ptr<InputFile> file;
  MORVANTIDE_RETURN_IF_ERROR(files.open(name, &file));
  *in = std::make_unique<FreeFormatReader>(name, std::move(file));
  return Status::Ok();
}

// The first `lines` lines of the file (fewer when it is shorter), read no
// further than the block that ends them.
Status first_lines(ResultFiles& files, const std::string& name, int lines, std::string* text) {
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

// What the reads of one file have taken from it so far.
struct ResultFiles::Kept {
  std::unique_ptr<InputFile> file;
  std::string text;
  bool end = false;
  Status error = Status::Ok();
};

// One read of a kept file: the kept bytes first, then the file's next
// blocks, kept for the reads after it.
class ResultFiles::Reader : public InputFile {
 public:
  explicit Reader(std::shared_ptr<Kept> kept) : kept_(std::move(kept)) {}
  Status read_block(std::string* buffer, bool* end) override {
    Kept& k = *kept_;
    if (at_ == k.text.size() && !k.end) {
      if (!k.error.ok()) return k.error;
      k.error = k.file->read_block(&k.text, &k.end);
      if (!k.error.ok()) return k.error;
      if (k.end) k.file.reset();
    }
    const size_t n = std::min(kBlockSize, k.text.size() - at_);
    *end = n == 0;
    buffer->append(k.text, at_, n);
    at_ += n;
    return Status::Ok();
  }

 private:
  std::shared_ptr<Kept> kept_;
  size_t at_ = 0;
};

Status ResultFiles::open(const std::string& name, std::unique_ptr<InputFile>* in) {
  std::shared_ptr<Kept>& kept = kept_[name];
  if (!kept) {
    auto fresh = std::make_shared<Kept>();
    Status opened = files_.open(name, &fresh->file);
    if (!opened.ok()) {
      kept_.erase(name);
      return opened;
    }
    kept = std::move(fresh);
  }
  *in = std::make_unique<Reader>(kept);
  return Status::Ok();
}

Status count_variables(const State& s, Files& files, int32_t* count,
                       std::vector<std::string>* names) {
  ResultFiles results(files);
  return count_variables(s, results, count, names);
}

Status count_variables(const State& s, ResultFiles& files, int32_t* count,
                       std::vector<std::string>* names) {
  names->clear();
  const std::string name = trim(s.arq(1));
  std::unique_ptr<FreeFormatReader> reader;
  MORVANTIDE_RETURN_IF_ERROR(open_reader(files, name, &reader));
  FreeFormatReader& in = *reader;
  if (s.modo == 0) {
    MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("h" + of_grid(1), nullptr)}));
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
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("h" + of_grid(1), nullptr)}));
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

namespace {

// One wanted variable: its number and its place in the list of columns.
struct Wanted {
  int32_t number;
  size_t column;
};

// What every read of the result files shares: the variables wanted, what
// grid 1 was found to hold (`present` values and their header `names`,
// none when not looked at), where h goes.
struct ColumnPlan {
  std::vector<int32_t> wanted;
  int32_t present = 0;
  std::vector<std::string> names;
  RealList* h = nullptr;
};

// Opens the result file of grid m (the one file in layout 1).  A failure
// names the parameter file and the line where the name stands.
Status open_result(const State& s, ResultFiles& files, int32_t m,
                   std::unique_ptr<FreeFormatReader>* reader) {
  const std::string name = trim(s.arq(m));
  if (name.empty()) {
    return Status::Error(printable(parameter_file_name(s)) + ": the result file name" +
                         (s.modo == 0 ? of_grid(m) : std::string()) + " is empty");
  }
  Status opened = open_reader(files, name, reader);
  const int32_t line = m <= s.arq_line.size() ? s.arq_line(m) : 0;
  if (opened.ok() || line <= 0) return opened;
  return opened.retold(printable(parameter_file_name(s)) + ":" + std::to_string(line) + ": " +
                       opened.message());
}

Status read_planned(const State& s, ResultFiles& files, const ColumnPlan& plan,
                    Columns* columns) {
  columns->clear();
  const std::vector<int32_t>& wanted = plan.wanted;
  const int32_t last = wanted.empty() ? 0 : *std::max_element(wanted.begin(), wanted.end());
  const std::string first_name = trim(s.arq(1));
  // A header that names each column of the first row makes the table's
  // width plain: a variable beyond it is missing, not on a following line.
  if (s.modo == 1 && !plan.names.empty() && last > plan.present) {
    return Status::Error(first_name + ":1: variable " + std::to_string(last) +
                         " is not in the table: its header names " + std::to_string(plan.present) +
                         " variables after h");
  }
  // The wanted variables by number; a number listed twice fills both columns.
  std::vector<Wanted> by_number;
  for (size_t c = 0; c < wanted.size(); ++c) by_number.push_back({wanted[c], c});
  std::stable_sort(by_number.begin(), by_number.end(),
                   [](const Wanted& a, const Wanted& b) { return a.number < b.number; });

  // One pass over the result files; values are kept only once the columns
  // exist.  Every value of a grid's variables passes through one place, so
  // a variable whose value is left out (a null value, or a slash that ends
  // the read before it) takes the value read last before it on that grid,
  // or 0 when there is none.
  auto read_pass = [&](bool keep) -> Status {
    const real unread = nanq("");
    auto take = [&](size_t& at, int32_t number, int32_t m, real value) {
      for (; at < by_number.size() && by_number[at].number == number; ++at) {
        if (keep) columns->value(by_number[at].column, m) = value;
      }
    };
    auto h_of = [&](int32_t m) -> real* {
      return keep && plan.h != nullptr ? &(*plan.h)(m) : nullptr;
    };
    std::unique_ptr<FreeFormatReader> reader;
    if (s.modo == 0) {
      for (int32_t m = 1; m <= s.study.nm; ++m) {
        MORVANTIDE_RETURN_IF_ERROR(open_result(s, files, m, &reader));
        FreeFormatReader& in = *reader;
        MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("h" + of_grid(m), h_of(m))}));
        real current = 0;
        size_t at = 0;
        for (int32_t k = 1; k <= last; ++k) {
          const std::string var = variable(k) + of_grid(m);
          real value = unread;
          MORVANTIDE_RETURN_IF_ERROR(in.read(
              {Item::Integer("the number" + var, nullptr), Item::Real("the value" + var, &value)}));
          if (!q_isnan(value)) current = value;
          take(at, k, m, current);
        }
      }
      return Status::Ok();
    }
    MORVANTIDE_RETURN_IF_ERROR(open_result(s, files, 1, &reader));
    FreeFormatReader& in = *reader;
    MORVANTIDE_RETURN_IF_ERROR(in.read({}));  // the header line
    // A row's items: h, then for each wanted number the run of variables
    // before it (one item standing for them all) and the variable itself.
    std::vector<Item> row;
    std::vector<real> values;  // the value each item after h stored last
    std::vector<int32_t> item_number;  // the variable an item gives, 0 for a run before one
    for (int32_t m = 1; m <= s.study.nm; ++m) {
      row.clear();
      item_number.clear();
      const std::string what = "the value of variable {}" + of_grid(m);
      row.push_back(Item::Real("h" + of_grid(m), h_of(m)));
      int32_t previous = 0;
      for (const Wanted& w : by_number) {
        if (w.number == previous) continue;
        if (w.number - previous > 1) {
          row.push_back(Item::Reals(what, nullptr, w.number - previous - 1, previous + 1));
          item_number.push_back(0);
        }
        row.push_back(Item::Reals(what, nullptr, 1, w.number));
        item_number.push_back(w.number);
        previous = w.number;
      }
      values.assign(item_number.size(), unread);
      for (size_t i = 0; i < values.size(); ++i) row[i + 1].number = &values[i];
      Status status = in.read(row);
      if (!status.ok() && plan.present > 0 && last > plan.present) {
        // Rows may run over several lines, so the read went on past the first
        // line of each row; say which variable sent it there.
        return Status::Error(status.message() + " (variable " + std::to_string(last) +
                             " is not on the first line of grid 1, which holds " +
                             std::to_string(plan.present) + " values after h)");
      }
      MORVANTIDE_RETURN_IF_ERROR(status);
      real current = 0;
      size_t at = 0;
      for (size_t i = 0; i < values.size(); ++i) {
        if (!q_isnan(values[i])) current = values[i];
        if (item_number[i] != 0) take(at, item_number[i], m, current);
      }
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
    std::vector<std::string> names;
    if (!plan.names.empty()) {
      for (int32_t number : wanted) {
        names.push_back(static_cast<size_t>(number) <= plan.names.size() ? plan.names[number - 1]
                                                                         : std::string());
      }
    }
    columns->assign(s.study.nm, wanted, std::move(names));
  } catch (const std::bad_alloc&) {
    columns->clear();
    return Status::Error("not enough memory for " + std::to_string(wanted.size()) +
                         " variables of nm = " + std::to_string(s.study.nm) + " grids");
  }
  return read_pass(true);
}

}  // namespace

Status read_columns(const State& s, ResultFiles& files, const std::vector<int32_t>& numbers,
                    const ColumnRead& how, Columns* columns) {
  ColumnPlan plan;
  plan.wanted = numbers;
  plan.h = how.h;
  if (how.header_checks && s.modo == 1 &&
      !count_variables(s, files, &plan.present, &plan.names).ok()) {
    plan.names.clear();  // only the names were wanted: the rows are read below
  }
  return read_planned(s, files, plan, columns);
}

Status read_variables(const State& s, Files& files, bool all, const std::vector<int32_t>& numbers,
                      Columns* columns) {
  ResultFiles results(files);
  return read_variables(s, results, all, numbers, columns);
}

Status read_variables(const State& s, ResultFiles& files, bool all,
                      const std::vector<int32_t>& numbers, Columns* columns) {
  if (!all) return read_columns(s, files, numbers, ColumnRead(), columns);
  columns->clear();
  ColumnPlan plan;
  MORVANTIDE_RETURN_IF_ERROR(count_variables(s, files, &plan.present, &plan.names));
  for (int32_t k = 1; k <= plan.present; ++k) plan.wanted.push_back(k);
  return read_planned(s, files, plan, columns);
}

}  // namespace morvantide
