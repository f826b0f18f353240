// What the Python module asks of the program: a table (read from a file, or
// built from lists of grid sizes and values) made a study by the table
// front end, each variable analysed by analyse(), and the JSON and summary
// of the result.  Every call into the program's code is in study_adapter.cc;
// the module itself only converts Python objects.  Nothing here touches
// Python, so the module runs all of it with the interpreter's lock released.
//
//   Settings s;                                   // a direct run's defaults
//   std::vector<Result> results;
//   analyse_lists({h1, h2, h3}, {{{T1, T2, T3}, ""}}, s, &results);
//   results[0].json()     -> the variable's object of --json
//   results[0].summary()  -> the text of --summary for it
//   results[0].at(kQuantityColumns[k], i), results[0].finest()
//                         -> the same object field by field, no text between
#ifndef MORVANTIDE_PYTHON_STUDY_ADAPTER_H_
#define MORVANTIDE_PYTHON_STUDY_ADAPTER_H_

#include <atomic>
#include <string>
#include <vector>

#include "common/quad.h"
#include "common/status.h"
#include "core/analysis.h"
#include "input/table.h"
#include "core/verdict.h"
#include "report/json.h"
#include "report/results.h"

namespace morvantide::python {

// The settings of a direct run: the table's (cells, ratio, order, search),
// the target, and whether least squares runs (on every grid, as --json).
struct Settings {
  TableSettings table;
  Target target;
  bool least_squares = true;
  // When given and set (by another thread), the analyses stop at once and
  // the call fails with kStopped.
  const std::atomic<bool>* stop = nullptr;
};

// The message of a call stopped through Settings::stop.
inline constexpr const char* kStopped = "stopped";

// Reads one number as a table's field is read (binary128, correctly
// rounded, E or D exponents), from text with nothing else in it but blanks
// around.  `what` names it in the message:
//   read_number("0.1", "h[0]", &x)     -> ok, x = 0.1 in binary128
//   read_number("abc", "h[0]", &x)     -> h[0]: expected a number, found "abc"
//   read_number("1e5000", "tol", &x)   -> tol: the number does not fit a binary128 real: "1e5000"
Status read_number(const std::string& text, const std::string& what, real* out);

// One variable of a study: its values in the order of h, and its name.
struct Column {
  std::vector<real> values;
  std::string name;
};

// One analysed variable.
class Result {
 public:
  Result(Analysis a, Target target) : a_(std::move(a)), target_(std::move(target)) {}
  // The variable's object as --json writes it (CR LF line ends).
  std::string json() const;
  // The text --summary prints for it, lines ending in LF.
  std::string summary() const;
  // The grid sizes, coarsest first.
  std::vector<real> h() const { return grid_sizes(a_.study); }
  // The object of json() field by field: its number, its name (UTF-8 as
  // the report writes it; empty: none, null), the entry of a per-grid list
  // (kQuantityColumns, kVerdictColumns) at grid 1..grids(), and the fields
  // of the verdict's "finest".
  int64_t number() const { return a_.number; }
  std::string name() const;
  int32_t grids() const { return a_.study.nm; }
  Cell at(const ReportColumn& column, int32_t grid) const { return cell(column, a_, grid); }
  const Finest& finest() const { return a_.finest; }
  // The study's settings as --json's "settings" writes them: pL, dp,
  // refinement, itmax, tol, pU_min, pU_max (one line, JSON).
  std::string settings_json() const;

 private:
  Analysis a_;
  Target target_;
};

// The grids of h (any order; cell counts when settings.table.cells is set)
// and one column per variable, analysed as a direct run analyses a table of
// them.  Grid i is "h[i]" in messages.
Status analyse_lists(const std::vector<real>& h, const std::vector<Column>& columns,
                     const Settings& settings, std::vector<Result>* out);

// The table in the file `path`, read and analysed as `morvantide PATH` does,
// with its messages.
Status analyse_file(const std::string& path, const Settings& settings, std::vector<Result>* out);

// Makes a child process made by fork() run its loops on its own thread: the
// pool's threads are not copied into it.
void single_thread_after_fork();

}  // namespace morvantide::python

#endif  // MORVANTIDE_PYTHON_STUDY_ADAPTER_H_
