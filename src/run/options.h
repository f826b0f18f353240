// The command line: GNU-style long options, each `--name VALUE` or
// `--name=VALUE` for options with a value.  With no options a run is exactly
// the classic one.  Parsing happens before anything is read or written; a
// bad command line is one message (for the one line on standard error) and
// exit status 2.
//
//   --no-edit              never start the editor
//   --no-plot              write the plot scripts, do not start the plotter
//   --plot-least-squares   a third script and data file: the four estimates
//                          and the least-squares uncertainty U_LS against h
//   --summary              print each variable's verdict on standard output
//   --json FILE            every per-grid quantity as JSON ("-": stdout)
//   --csv FILE             the same as CSV ("-": stdout)
//   --target U | P%        the grid needed for an uncertainty U (absolute)
//                          or P percent of |Th| on the finest grid
//   --variables LIST       variables to analyse: "1,3-5" or "all" (with a
//                          data file also header names: "u,p")
//   --help (-h), --version
//
// A data file (an argument that is not an option; "-" for standard input)
// asks for an analysis of that table instead of the folder's control file
// (input/table.h).  These options go with it only:
//   --cells D              the first column holds cell counts of a D-dimensional
//                          grid (1, 2 or 3): h = N^(-1/D)
//   --ratio constant|variable   overrides the detected refinement ratio
//   --order P, --order-step D, --order-range A:B, --itmax N, --tol T
//                          pL, dp, pU_min:pU_max, itmax, tol
//   --output-dir DIR       the classic files of the first variable in DIR
//
// --field FILE analyses a whole field point by point (docs/field.md), with
// --cells, --ratio and the analysis settings above and its own options:
//   --h H1,H2,...          the grid sizes of the value columns
//   --output FILE          the per-point figures, .npz or .csv
//   --least-squares        U_LS of every point
//   --digits N             significant digits of the CSV
//   --json FILE|-          the field's summary as JSON
//
// Worked examples:
//   {"--target=0.1%"}        -> target relative, value 0.001
//   {"--target", "2.5e-6"}   -> target absolute, value 2.5e-6
//   {"--variables", "3-5,1"} -> variables 3, 4, 5, 1 (in that order)
//   {"--variables=2,2"}      -> variable 2 once
//   {"--jsn", "x"}           -> error "unknown option '--jsn'"
//   {"--target", "-1"}       -> error "bad value for --target: "-1" (...)"
#ifndef MORVANTIDE_RUN_OPTIONS_H_
#define MORVANTIDE_RUN_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/quad.h"
#include "common/status.h"
#include "input/table.h"
#include "input/variables.h"
#include "core/verdict.h"

namespace morvantide {

// File name that stands for standard output.
inline constexpr const char* kStandardOutput = "-";

struct VariableChoice {
  // kNv: the variable nv of the parameter file (with a data file: all);
  // kText: a list that names a data file's columns by their header names,
  // resolved once the header is read.
  enum class Kind { kNv, kList, kAll, kText };
  Kind kind = Kind::kNv;
  std::vector<int32_t> numbers;  // kList: each named once, in the order first named
  std::string text;              // kText: the value as given
};

struct Options {
  bool help = false;
  bool version = false;
  bool no_edit = false;
  bool no_plot = false;
  bool plot_least_squares = false;
  bool summary = false;
  std::string json_file;  // empty: none
  std::string csv_file;   // empty: none
  Target target;
  VariableChoice variables;

  // With a data file.
  bool has_data = false;
  std::string data;        // the file, "-" for standard input
  TableSettings table;     // --cells, --ratio and the analysis settings
  std::string output_dir;  // empty: none
  // A field run (--field FILE): field/field_input.h.
  bool has_field = false;
  std::string field;
  std::vector<real> field_h;               // --h; empty: from the table's header
  std::vector<std::string> field_h_text;   // as given
  std::string field_output;                // --output: .npz or .csv; empty: none
  bool field_least_squares = false;        // --least-squares
  int field_digits = 0;                    // --digits; 0: float64's shortest

  // True when a report (summary, JSON or CSV) is asked for.
  bool report() const { return summary || !json_file.empty() || !csv_file.empty(); }
};

// Parses the arguments after the program name.  Error messages start with
// "morvantide: ".  A later option of the same name replaces the earlier.
Status parse_options(const std::vector<std::string>& args, Options* options);

// What a --variables value may hold, for its messages.
extern const std::string kVariablesExpected;

// The --help text: usage, then one line per option.
std::string help_text();

// Parses a --target value: a positive finite real, with a trailing % for a
// percentage of |Th| on the finest grid.
bool parse_target(const std::string& text, Target* target);

// Parses a --variables value: "all", or numbers and ranges A-B (A <= B)
// separated by commas, each between 1 and kMaxVariables.
bool parse_variables(const std::string& text, VariableChoice* choice);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_OPTIONS_H_
