// The one table of the per-grid columns of an Analysis that the JSON, the
// CSV and their tests loop over.  A new per-grid quantity is one more row of
// a table below.
#ifndef MORVANTIDE_REPORT_RESULTS_H_
#define MORVANTIDE_REPORT_RESULTS_H_

#include <cstdint>
#include <span>

#include "common/quad.h"
#include "core/analysis.h"

namespace morvantide {

// One entry of a per-grid column: missing (a grid before the column's first,
// or not computed: the sentinel in a list the estimation starts with it), a
// real, a word or a yes/no.
struct Cell {
  enum class Kind { kMissing, kReal, kText, kFlag, kWhole };
  Kind kind = Kind::kMissing;
  real number = 0;
  int64_t whole = 0;
  const char* text = nullptr;
  bool flag = false;

  static Cell Real(real x) {
    Cell c;
    if (x != kSentinel) {
      c.kind = Kind::kReal;
      c.number = x;
    }
    return c;
  }
  // A value that is always real data, the sentinel's value included.
  static Cell Value(real x) {
    Cell c;
    c.kind = Kind::kReal;
    c.number = x;
    return c;
  }
  static Cell Text(const char* t) {
    Cell c;
    c.kind = Kind::kText;
    c.text = t;
    return c;
  }
  static Cell Whole(int64_t n) {
    Cell c;
    c.kind = Kind::kWhole;
    c.whole = n;
    return c;
  }
  static Cell Flag(bool f) {
    Cell c;
    c.kind = Kind::kFlag;
    c.flag = f;
    return c;
  }
};

struct ReportColumn {
  const char* name;  // the JSON key and the CSV heading
  int32_t first;     // the first grid where it can exist
  Cell (*at)(const Analysis& v, int32_t grid);
};

// The quantities: the four tables of the listing in their order (observed
// orders, convergence ratios, solutions, error estimates), then the other
// lists of the estimation that the tables build on, then the least-squares
// uncertainty (U_LS, p_LS, T0_LS, sigma_LS, Delta_LS, model_LS, Fs_LS).
extern const std::span<const ReportColumn> kQuantityColumns;
// The verdict of each grid.
extern const std::span<const ReportColumn> kVerdictColumns;

// One figure of the finest grid (Analysis::finest), in the JSON's
// "finest" object.  A column with `fields` is an object of those figures,
// present where `at` gives a cell (the target's, where there is a target).
struct FinestColumn {
  const char* name;
  Cell (*at)(const Finest& f);
  const std::span<const FinestColumn>* fields = nullptr;
};
extern const std::span<const FinestColumn> kFinestColumns;

// The cell of a column at a grid: missing before the column's first grid.
inline Cell cell(const ReportColumn& column, const Analysis& v, int32_t grid) {
  return grid < column.first ? Cell() : column.at(v, grid);
}

}  // namespace morvantide

#endif  // MORVANTIDE_REPORT_RESULTS_H_
