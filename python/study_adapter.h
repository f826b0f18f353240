// What the Python module asks of the program: a study built from grid sizes
// and values given in any order, its analysis, and the JSON and summary of
// the result.  Every call into the input, analysis and report code of the
// program is in study_adapter.cc; the module itself only converts Python
// objects.  Nothing here touches Python, so the module runs all of it with
// the interpreter's lock released.
//
//   Settings s = default_settings();
//   std::vector<Result> results;
//   analyse_grids({h1, h2, h3}, {"h[0]", "h[1]", "h[2]"}, {{{T1, T2, T3}, ""}}, s, &results);
//   results[0].json()     -> the variable's object of --json
//   results[0].summary()  -> the text of --summary for it
#ifndef MORVANTIDE_PYTHON_STUDY_ADAPTER_H_
#define MORVANTIDE_PYTHON_STUDY_ADAPTER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/quad.h"
#include "common/status.h"
#include "model/state.h"
#include "report/results.h"
#include "report/verdict.h"

namespace morvantide::python {

// The analysis settings, with the defaults of a direct run on a table.
struct Settings {
  int32_t cells = 0;   // D when h holds cell counts of a D-dimensional grid, else 0
  real pL = 2;         // order
  real dp = 1;         // order_step
  int32_t ratio = 0;   // tipo_r: 1 constant, 2 variable, 0 detected from h
  int32_t itmax = 50;
  real tol = 0;        // 1e-12, read as the parameter file's text is
  real pU_min = 0.5Q;  // order_range
  real pU_max = 5;
  Target target;
  bool least_squares = true;
};

Settings default_settings();

// Reads one number as the result files' numbers are read (binary128,
// correctly rounded; D exponents allowed; NaN, Inf and overflow refused),
// from text with nothing else in it but blanks around.  `what` names it in
// the message:
//   read_number("0.1", "h[0]", &x)   -> ok, x = 0.1 in binary128
//   read_number("abc", "h[0]", &x)   -> expected a real number for h[0], found "abc"
//   read_number("1 2", "h[0]", &x)   -> expected a real number for h[0], found "1 2"
Status read_number(const std::string& text, const std::string& what, real* out);
// The same for a whole number that fits 32 bits ("itmax").
Status read_integer(const std::string& text, const std::string& what, int32_t* out);
// A target as --target takes it: "1e-6" or "0.1%".
Status read_target(const std::string& text, Target* out);

// One variable of a study: its values in the order of h, and its name.
struct Column {
  std::vector<real> values;
  std::string name;
};

// One analysed variable, with what its JSON and summary need.
class Result {
 public:
  Result(const Study& study, const GridTable& g, VariableResult v, Target target)
      : study_(study), grids_(g), v_(std::move(v)), target_(std::move(target)) {}
  // The variable's object as --json writes it (CR LF line ends).
  std::string json() const;
  // The text --summary prints for it, lines ending in LF.
  std::string summary() const;
  // The grid sizes, coarsest first.
  std::vector<real> h() const { return grid_sizes(study_); }

 private:
  Study study_;
  GridTable grids_;
  VariableResult v_;
  Target target_;
};

// Sorts the grids coarse to fine (h holds cell counts when settings.cells
// is set), checks them, detects the refinement ratio unless the settings
// give it, and analyses every column.  `where[i]` names grid i of the
// input in messages ("h[3]", "study.csv:5").
// REQUIRES: where.size() == h.size().
Status analyse_grids(const std::vector<real>& h, const std::vector<std::string>& where,
                     const std::vector<Column>& columns, const Settings& settings,
                     std::vector<Result>* out);

// A table as a direct run reads it: the first column h, one variable per
// further column, an optional header row of names, # comments, blank lines,
// CSV, TSV or blanks, CR LF or LF, a UTF-8 byte-order mark.  `where` gets
// "file:line" of each row.
Status read_table(const std::string& path, std::vector<real>* h, std::vector<std::string>* where,
                  std::vector<Column>* columns);

// Makes a child process made by fork() run its loops on its own thread: the
// pool's threads are not copied into it.
void single_thread_after_fork();

}  // namespace morvantide::python

#endif  // MORVANTIDE_PYTHON_STUDY_ADAPTER_H_
