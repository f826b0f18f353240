// The one shape of a study that every way in builds: the result files of a
// classic run, a table, Python's lists.
//
//   Source     what was read (model/source.h);
//   Study      the settings of the analysis, nm and h of every grid (its Th
//              is left empty here: the values are the columns');
//   GridTable  log10(h) and r21 of every grid, built once for the study;
//   Columns    the variables, every value of every column in one block.
//
// core/analysis.h analyses one column of it, or a list of them on the
// threads.
#ifndef MORVANTIDE_MODEL_STUDY_H_
#define MORVANTIDE_MODEL_STUDY_H_

#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/source.h"
#include "model/state.h"

namespace morvantide {

// The values of one column on grids 1..nm, read in place.
class GridValues {
 public:
  GridValues() = default;
  GridValues(const real* first, int32_t n) : first_(first), n_(n) {}
  int32_t size() const { return n_; }
  real operator()(int32_t i) const {
    assert(i >= 1 && i <= n_);
    return first_[i - 1];
  }
  // The values as a list of their own.
  RealList list() const {
    RealList out;
    out.resize(n_);
    for (int32_t i = 1; i <= n_; ++i) out(i) = first_[i - 1];
    return out;
  }

 private:
  const real* first_ = nullptr;
  int32_t n_ = 0;
};

// The variables of a study as columns: the values of column c on grids
// 1..nm stand one after another, and the columns one after another, in one
// block; each column has its number (its place after h) and, where a header
// names every column, its name.  A million columns cost their values and a
// number each, no string.
class Columns {
 public:
  // One column, read in place (valid while the Columns are unchanged).
  struct Column {
    int32_t number;
    std::string_view name;  // empty when none
    GridValues Th;
  };

  // Makes one column per entry of `numbers`, nm values each, all zero,
  // named by `names` (one per column, or none).  Throws std::bad_alloc.
  void assign(int32_t nm, std::vector<int32_t> numbers, std::vector<std::string> names = {}) {
    assert(names.empty() || names.size() == numbers.size());
    values_.assign(numbers.size() * static_cast<size_t>(nm > 0 ? nm : 0), real(0));
    nm_ = nm;
    numbers_ = std::move(numbers);
    names_ = std::move(names);
  }
  void clear() { assign(0, {}); }

  int32_t nm() const { return nm_; }
  size_t size() const { return numbers_.size(); }
  bool empty() const { return numbers_.empty(); }
  Column operator[](size_t c) const {
    assert(c < size());
    return {numbers_[c], names_.empty() ? std::string_view() : std::string_view(names_[c]),
            GridValues(values_.data() + c * static_cast<size_t>(nm_), nm_)};
  }
  Column front() const { return (*this)[0]; }
  Column back() const { return (*this)[size() - 1]; }
  // The value of column c on grid i, to be set.
  real& value(size_t c, int32_t i) {
    assert(c < size() && i >= 1 && i <= nm_);
    return values_[c * static_cast<size_t>(nm_) + static_cast<size_t>(i - 1)];
  }

 private:
  int32_t nm_ = 0;
  std::vector<real> values_;
  std::vector<int32_t> numbers_;
  std::vector<std::string> names_;
};

// A study, whichever way it came in.
struct GridStudy {
  Source source;
  Study study;      // the settings, nm and h; Th empty
  GridTable table;  // of study.h
  Columns columns;
};

}  // namespace morvantide

#endif  // MORVANTIDE_MODEL_STUDY_H_
