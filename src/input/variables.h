// The one reader of the result files' columns.  The run's variable nv (the
// listing's Th, input.h) is the list {nv} read with h and without the
// header checks; the report reads any set of variables by the same rules,
// from the same files, so its column nv is the listing's Th bit for bit.
//
// On every grid the values of variables 1, 2, ... pass through one place:
// a variable whose value is left out (a null value, or a slash that ends
// the read before it) takes the value read last before it on that grid, or
// 0 when there is none.  A file that cannot be opened is named with the
// parameter file's line that names it:
//   param1.txt:11: resultados.txt: cannot open (No such file or directory)
//
// "All the variables" are those present on grid 1:
// - layout 0: the consecutive lines after h that each read as a number and
//   a real (anything after the value is a comment, as everywhere), up to the
//   first line that does not, or the end of the file;
// - layout 1: the values on the first line of the first row after h (the
//   first line after the header that holds a value).
// Where the layout-1 header line holds exactly one name per column (h and
// each variable on that first line), variable k is named by the header's
// word k + 1; otherwise variables have no name.
//
// A variable missing on some grid is an error naming the file, the line and
// the variable:
//   g3.txt:4: file ends before the number of variable 3 of grid 3 could be read
#ifndef MORVANTIDE_INPUT_VARIABLES_H_
#define MORVANTIDE_INPUT_VARIABLES_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/status.h"
#include "model/state.h"
#include "model/study.h"

namespace morvantide {

// How a message names a value of grid m: " of grid 3".
inline std::string of_grid(int32_t m) { return " of grid " + std::to_string(m); }

// The most variables one run reads, and the highest number --variables
// may name.
inline constexpr int32_t kMaxVariables = 100000;

// The result files of one run, each opened once however many reads go over
// it: the listing's variable, the count of "all the variables" and the
// report's columns read the same bytes.  What one read took from a file is
// kept for the next; a file is read no further than the furthest read of it
// went.
class ResultFiles {
 public:
  explicit ResultFiles(Files& files) : files_(files) {}
  // A read of `name` from its start; the same errors as Files::open.
  // REQUIRES: this object outlives *in.
  Status open(const std::string& name, std::unique_ptr<InputFile>* in);

 private:
  struct Kept;
  class Reader;
  Files& files_;
  std::map<std::string, std::shared_ptr<Kept>> kept_;
};

// How many variables grid 1 holds (the rule above), and their names from
// the layout-1 header (empty when the header does not name each column).
// REQUIRES: the control and parameter files were read (modo, nm, arq).
Status count_variables(const State& s, ResultFiles& files, int32_t* count,
                       std::vector<std::string>* names);
Status count_variables(const State& s, Files& files, int32_t* count,
                       std::vector<std::string>* names);

// How read_columns reads.
struct ColumnRead {
  // Layout 1: take the names from the header, refuse a variable beyond a
  // header that names each column of the first row, and say so when a
  // short row sent the read past the first line.  Off for the listing's
  // variable nv, whose messages name only the value that was missing.
  bool header_checks = true;
  // Given: receives h of every grid (REQUIRES: nm entries).
  RealList* h = nullptr;
};

// Reads the variables `numbers` (each at least 1, in the order given) of
// every grid, each file only as far as the last value used.
// REQUIRES: the control and parameter files were read (modo, nm, arq).
Status read_columns(const State& s, ResultFiles& files, const std::vector<int32_t>& numbers,
                    const ColumnRead& how, Columns* columns);

// Reads the variables `numbers` (each at least 1, in the order given) of
// every grid, or all of them (`all`, the numbers then ignored).
// REQUIRES: the control and parameter files were read (modo, nm, arq).
Status read_variables(const State& s, ResultFiles& files, bool all,
                      const std::vector<int32_t>& numbers, Columns* columns);
Status read_variables(const State& s, Files& files, bool all, const std::vector<int32_t>& numbers,
                      Columns* columns);

}  // namespace morvantide

#endif  // MORVANTIDE_INPUT_VARIABLES_H_
