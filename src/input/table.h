// A grid refinement study typed as a table, as spreadsheets and scripts
// write it: a row per grid, h (or the grid's cell count) in the first column
// and the value of each variable in the columns after it.  Parsing works on
// a text with a name (for messages), never on a path; building the study
// needs no file and no option, so every front end (the command line, the
// Python module) gets the same grids from the same text.
//
// The table:
// - fields are separated by tabs, by semicolons, by commas (blanks around a
//   field are dropped) or by runs of blanks, whichever the first row that is
//   not a comment uses, in that order of precedence;
// - a field may be quoted with double quotes ("" inside stands for one);
// - lines end with LF or CR LF (a text whose lines end with CR alone is
//   refused); a UTF-8 byte-order mark at the start is
//   passed over; blank lines and lines whose first visible character is '#'
//   are passed over, and a '#' outside quotes ends a row's fields;
// - the first row is a header of names when any of its fields is not a
//   number (a row of numbers is data, quoted or not); every other row is
//   data, at most kMaxGrids of them;
// - numbers read exactly as in the result files (parse_real: binary128,
//   correctly rounded, E or D exponents).
//
// Errors are one line, "SOURCE:LINE:COLUMN: what was found" (the column is
// the byte where the field starts, 1-based):
//   study.csv:5:7: expected a number, found "abc"
//   study.csv:5:12: the row has 4 fields, the first row has 3
//   study.csv:3:9: found "0,05" in a file separated by semicolons: the
//     decimal mark is a dot (0.05)
//   study.csv:4:1: h must be a positive number, found -0.1
//   study.csv:7: the same h as line 3 (0.1): each grid needs an h of its own
//
// Worked example:
//   "h,u\n0.1,1.2\n0.4,1.9\n0.2,1.4\n"  ->  names {"h","u"}, rows at lines
//   2, 3, 4; the study: nm 3, h 0.4, 0.2, 0.1 (coarse to fine), variable 1
//   "u" with Th 1.9, 1.4, 1.2, tipo_r 1 (the ratio 2 every time).
//   "--cells 2" with "N u\n100 1.5\n400 1.1\n" -> h 0.1, 0.05.
#ifndef MORVANTIDE_INPUT_TABLE_H_
#define MORVANTIDE_INPUT_TABLE_H_

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.h"
#include "common/quad.h"
#include "common/status.h"
#include "input/variables.h"
#include "model/state.h"
#include "model/study.h"

namespace morvantide {

struct TableRow {
  int64_t line = 0;          // its line in the text, 1-based
  int64_t first_column = 1;  // the byte column where its first field starts
  std::vector<real> values;  // one per column, h or the cell count first
  // How messages name the row when it was not read from a text (a table
  // built from lists, "h[3]"); empty: "SOURCE:LINE:COLUMN".
  std::string place;
};

struct Table {
  std::string source;              // the name messages give the text
  std::vector<std::string> names;  // the header's names; empty when there is none
  int32_t columns = 0;             // the fields of every row
  std::vector<TableRow> rows;      // the data rows in the order of the text
};

// Parses the text; errors as above.  A table needs a data row and at
// least two columns (h and one variable).
Status parse_table(const std::string& source, std::string_view text, Table* table);

// The same table read from a file a block at a time: only the data rows
// are kept, so a table of more grids than a run takes is refused at the
// first row too many ("SOURCE:LINE: more grids than a run takes (at most
// 11000)") without reading the rest, and one too large for memory is "not
// enough memory for the table"; read errors as the file gives them.
Status read_table(const std::string& source, InputFile& in, Table* table);

enum class RatioChoice { kDetect, kConstant, kVariable };

// How a table becomes a study: the study's settings (tipo_r decided by
// `ratio` and the grids), with the defaults of the bundled example's
// parameter file: pL 2, dp 1, itmax 50, tol 1.0E-12, the order bracket 0.5
// to 5.0.
struct TableSettings : Settings {
  int32_t cells = 0;  // 1, 2 or 3: the first column holds cell counts N of a
                      // grid of that dimension, h = N^(-1/D) (h_of_cells:
                      // 8, 64, 512 cells in 3-D give 0.5, 0.25, 0.125, a
                      // constant ratio); 0: it holds h
  RatioChoice ratio = RatioChoice::kDetect;
  bool order_range_given = false;  // pU_min, pU_max set by the user

  TableSettings();
};

// A table as a study: `study.study` holds the settings, tipo_r, nm and h
// from the coarsest grid to the finest; `study.columns` the columns after
// the first, numbered from 1, named by the header when there is one, their
// values in the grids' order; `lines` the line of each grid (lines[i-1] for
// grid i).  The source and the grid table are the caller's to fill.
struct TableStudy {
  GridStudy study;
  // What the reader noticed and a user should hear of, one line each
  // without a line end (the study is sound all the same): a --cells hint,
  // --order-range unused, ratios taken as constant that are not.
  std::vector<std::string> notes;
  std::vector<int64_t> lines;
};

// The grids sorted from coarse to fine (h decreasing).  Refused: fewer than
// two grids, an h (or a cell count) that is not positive, an h that is not
// finite, two grids with the same h (naming both lines, or both places),
// more than kMaxGrids grids.  tipo_r is 1 when the ratio is constant, else
// 2, unless settings.ratio says which: with cell counts, when every ratio
// N(i)/N(i-1) is the same binary128 value (before any root: 1e6, 2e6, 4e6
// cells in 3-D are a constant ratio though their cube roots differ in the
// last bits); with h, when every h(i-1)/h(i) is within kRatioUlps units in
// the last place of h(1)/h(2).
Status study_from_table(const Table& table, const TableSettings& settings, TableStudy* out);

// The size h of a grid of n cells in `dimensions` dimensions (1, 2 or 3):
// 1/n, 1/sqrt(n), 1/cbrt(n): the root of a whole square or cube is exact,
// so k^D cells give 1/k rounded once.
//   h_of_cells(64, 3) == 0.25   h_of_cells(100, 2) == 0.1 (rounded once)
real h_of_cells(real n, int32_t dimensions);

// How far (in binary128 units in the last place) a ratio h(i-1)/h(i) may
// stand from the first and the ratio still be constant.
inline constexpr int kRatioUlps = 8;

// Every ratio h(i-1)/h(i) is within kRatioUlps of h(1)/h(2).
bool constant_ratio(const RealList& h);

}  // namespace morvantide

#endif  // MORVANTIDE_INPUT_TABLE_H_
