#include "study_adapter.h"

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <numeric>
#include <sstream>

#include "common/decimal.h"
#include "common/parallel.h"
#include "common/text.h"
#include "core/estimation.h"
#include "input/freeformat.h"
#include "report/json.h"
#include "report/summary.h"
#include "run/options.h"

namespace morvantide::python {

namespace {

// The blanks that may stand around a number given alone.
constexpr const char* kBlanks = " \t\r\n";

// Characters that separate or qualify values in a result file: a number
// given alone must not hold any of them.
constexpr const char* kNotInNumber = " \t\r\n,/'\"*";

// The text of one value fed to the result files' reader; its message
// without the reader's "name:line: " prefix.
Status read_alone(const std::string& text, const Item& item, const std::string& what) {
  const size_t first = text.find_first_not_of(kBlanks);
  const std::string token =
      first == std::string::npos ? std::string()
                                 : text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
  const bool integer = item.kind == Item::Kind::kInteger;
  if (token.empty() || token.find_first_of(kNotInNumber) != std::string::npos) {
    return Status::Error(std::string("expected ") + (integer ? "an integer" : "a real number") +
                         " for " + what + ", found \"" + printable(text) + "\"");
  }
  const std::string name = "value";
  FreeFormatReader reader(name, token);
  Status status = reader.read({item});
  if (status.ok()) return status;
  const std::string prefix = name + ":1: ";
  const std::string& message = status.message();
  return Status::Error(message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message);
}

// h = N^(-1/D) of a grid of N cells in D dimensions, as 1 / N^(1/D): the
// square and cube roots are those of libquadmath, so that N = k^D gives
// 1/k exactly (64 cells in 3-D: 0.25, not a power by -1/3 rounded).
real cells_to_h(real n, int32_t dimensions) {
  switch (dimensions) {
    case 1:
      return 1 / n;
    case 2:
      return 1 / sqrtq(n);
    case 3:
      return 1 / cbrtq(n);
    default:
      return 1 / q_pow(n, 1 / q_from_int(dimensions));
  }
}

// 1 (constant) when every h(i-1)/h(i) is the same binary128 value, else 2.
int32_t detect_ratio(const RealList& h) {
  for (int32_t i = 3; i <= h.size(); ++i) {
    if (!same_bits(h(i - 1) / h(i), h(1) / h(2))) return 2;
  }
  return 1;
}

}  // namespace

Settings default_settings() {
  Settings s;
  s.tol = 1.0E-12Q;
  return s;
}

Status read_number(const std::string& text, const std::string& what, real* out) {
  return read_alone(text, Item::Real(what, out), what);
}

Status read_integer(const std::string& text, const std::string& what, int32_t* out) {
  return read_alone(text, Item::Integer(what, out), what);
}

Status read_target(const std::string& text, Target* out) {
  if (!parse_target(text, out)) {
    return Status::Error("bad value for target: \"" + printable(text) +
                         "\" (a positive number, or a percentage such as 0.1%)");
  }
  return Status::Ok();
}

std::string Result::json() const {
  State s;
  static_cast<Study&>(s) = study_;
  static_cast<GridTable&>(s) = grids_;
  return json_variable(s, v_, true);
}

std::string Result::summary() const { return morvantide::summary(v_, target_, "\n"); }

Status analyse_grids(const std::vector<real>& h, const std::vector<std::string>& where,
                     const std::vector<Column>& columns, const Settings& settings,
                     std::vector<Result>* out) {
  const size_t n = h.size();
  if (n == 0) return Status::Error("no grids: a study needs at least one");
  if (n > static_cast<size_t>(kMaxGrids)) {
    return Status::Error(std::to_string(n) + " grids are more than a run takes (at most " +
                         std::to_string(kMaxGrids) +
                         ": the estimation time grows with the square of the number of grids)");
  }
  for (const Column& c : columns) {
    if (c.values.size() != n) {
      return Status::Error("h has " + std::to_string(n) + " entries and " +
                           (c.name.empty() ? std::string("values") : c.name) + " " +
                           std::to_string(c.values.size()) + ": each grid needs one value");
    }
  }
  if (settings.cells < 0) {
    return Status::Error("cells (the dimensions of the grid) must be at least 1, found " +
                         std::to_string(settings.cells));
  }
  std::vector<real> sizes(n);
  for (size_t i = 0; i < n; ++i) {
    if (!(h[i] > 0) || q_isinf(h[i])) {
      return Status::Error(where[i] + (settings.cells > 0 ? " (a cell count)" : "") +
                           " must be positive and finite, found " + shortest_decimal(h[i]));
    }
    sizes[i] = settings.cells > 0 ? cells_to_h(h[i], settings.cells) : h[i];
  }
  // Coarse to fine; rows of equal h keep their order, for the message.
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return sizes[a] > sizes[b]; });
  for (size_t k = 1; k < n; ++k) {
    if (sizes[order[k]] == sizes[order[k - 1]]) {
      return Status::Error(where[order[k - 1]] + " and " + where[order[k]] +
                           " have the same h = " + shortest_decimal(sizes[order[k]]) +
                           ": each grid needs a size of its own");
    }
  }

  Study study;
  study.pL = settings.pL;
  study.dp = settings.dp;
  study.itmax = settings.itmax;
  study.tol = settings.tol;
  study.pU_min = settings.pU_min;
  study.pU_max = settings.pU_max;
  study.nm = static_cast<int32_t>(n);
  study.h.resize(study.nm);
  for (int32_t i = 1; i <= study.nm; ++i) study.h(i) = sizes[order[i - 1]];
  study.tipo_r = settings.ratio != 0 ? settings.ratio : detect_ratio(study.h);
  const GridTable g = tabela_malhas(study.h);

  std::unique_ptr<LeastSquaresPlan> plan;
  if (settings.least_squares) plan = std::make_unique<LeastSquaresPlan>(grid_sizes(study));
  out->clear();
  out->reserve(columns.size());
  for (size_t c = 0; c < columns.size(); ++c) {
    RealList Th;
    Th.resize(study.nm);
    for (int32_t i = 1; i <= study.nm; ++i) Th(i) = columns[c].values[order[i - 1]];
    const int32_t number = static_cast<int32_t>(c) + 1;
    VariableResult v;
    if (plan) {
      v = analyse(study, g, *plan, number, columns[c].name, Th, settings.target);
    } else {
      v.number = number;
      v.name = columns[c].name;
      v.study = study;
      v.study.Th = Th;
      v.e = estimativa(v.study);
      v.verdict = verdict(v.study, v.e, g, settings.target);
      v.ls.assign(n, LeastSquaresGrid());
    }
    out->emplace_back(study, g, std::move(v), settings.target);
  }
  return Status::Ok();
}

namespace {

// The fields of a table row split at `separator` (' ' for runs of blanks).
std::vector<std::string> split_row(const std::string& line, char separator) {
  std::vector<std::string> fields;
  if (separator == ' ') {
    std::istringstream in(line);
    for (std::string f; in >> f;) fields.push_back(f);
    return fields;
  }
  size_t start = 0;
  for (;;) {
    const size_t end = line.find(separator, start);
    std::string f = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t a = f.find_first_not_of(" \t");
    fields.push_back(a == std::string::npos ? std::string()
                                            : f.substr(a, f.find_last_not_of(" \t") + 1 - a));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

}  // namespace

Status read_table(const std::string& path, std::vector<real>* h, std::vector<std::string>* where,
                  std::vector<Column>* columns) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return Status::Error(printable(path) + ": cannot open (" + std::strerror(errno) + ")");
  }
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  const std::string name = printable(path);
  h->clear();
  where->clear();
  columns->clear();
  char separator = 0;
  size_t width = 0;
  size_t line_number = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    const std::string at = name + ":" + std::to_string(line_number);
    if (separator == 0) {
      if (line.find(';') != std::string::npos) {
        return Status::Error(at + ": fields separated by semicolons; a table is CSV, TSV or "
                                  "blank-separated, with a dot as the decimal mark");
      }
      separator = line.find(',') != std::string::npos    ? ','
                  : line.find('\t') != std::string::npos ? '\t'
                                                         : ' ';
    }
    const std::vector<std::string> fields = split_row(line, separator);
    if (width == 0) {
      width = fields.size();
      if (width < 2) {
        return Status::Error(at + ": a table needs h and at least one variable, found " +
                             std::to_string(width) + " column");
      }
      columns->resize(width - 1);
      bool header = false;
      for (const std::string& f : fields) {
        real x;
        header = header || !read_number(f, "", &x).ok();
      }
      if (header) {
        for (size_t c = 1; c < width; ++c) (*columns)[c - 1].name = fields[c];
        continue;
      }
    }
    if (fields.size() != width) {
      return Status::Error(at + ": " + std::to_string(fields.size()) + " fields where the first row has " +
                           std::to_string(width));
    }
    std::vector<real> row(width);
    for (size_t c = 0; c < width; ++c) {
      const std::string what = c == 0 ? "h" : "variable " + std::to_string(c);
      Status read = read_number(fields[c], what, &row[c]);
      if (!read.ok()) return Status::Error(at + ":" + std::to_string(c + 1) + ": " + read.message());
    }
    h->push_back(row[0]);
    where->push_back(at);
    for (size_t c = 1; c < width; ++c) (*columns)[c - 1].values.push_back(row[c]);
    if (h->size() > static_cast<size_t>(kMaxGrids)) break;  // analyse_grids says why
  }
  if (h->empty()) return Status::Error(name + ": no grids: a study needs at least one");
  return Status::Ok();
}

void single_thread_after_fork() {
  pthread_atfork(nullptr, nullptr, +[] { set_thread_count(1); });
}

}  // namespace morvantide::python
