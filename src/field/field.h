// A whole field: the finest grid's figures of every point of a solution
// field, each point a column of values of one quantity on the same N >= 3
// grids.
//
// Each point's figures are the bits analyse() (core/analysis.h) gives for a
// study of that point's values on the same grids and settings, at the
// finest grid: Th, the observed order, the order behind U, Ti_pU, Tm1, U,
// U relative to |Th|, the convergence type, the asymptotic-range check (4
// grids or more) and, when asked, U_LS.  FieldGrids forms once what every
// point shares (ratios, their logarithms, the powers of the ratios with the
// true orders); analyse_point() then runs, for one point, the operations of
// the estimation and the verdict that lead to those figures, in the same
// order, through the same functions, and nothing else.
//
// The values of a piece of the field are one contiguous block, point by
// point, each point's values from the coarsest grid to the finest:
// values[k * nm + (i - 1)] is point k on grid i.  The figures are columns of
// the same length (FieldColumns), so that a million points cost a few
// blocks of numbers and no object each.
//
// Worked example: h = 0.4, 0.2, 0.1 (pL 2) and a point 1.16, 1.04, 1.01
// (1 + h^2): psi = 4, the observed order 2, Ti_pU = Tm1 = 1, U = 1.25 *
// 0.03 / 3 = 0.0125, U relative to |Th| 0.0124, monotonic convergence.
#ifndef MORVANTIDE_FIELD_FIELD_H_
#define MORVANTIDE_FIELD_FIELD_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "common/quad.h"
#include "common/status.h"
#include "core/least_squares.h"
#include "core/repeated_extrapolation.h"
#include "core/verdict.h"
#include "model/state.h"

namespace morvantide {

// The fewest grids a field needs: the convergence type needs three.
inline constexpr int32_t kFieldMinGrids = 3;

// What every point of a field shares: the settings, the grids' h and what
// is formed from them once.
class FieldGrids {
 public:
  // `study`: the settings (pL, dp, tipo_r, the order search), nm and h
  // from the coarsest grid to the finest; its Th is not read.
  // `least_squares`: whether U_LS is computed for every point.
  // REQUIRES: study.nm >= kFieldMinGrids, h as study_from_table gives it.
  FieldGrids(const Study& study, bool least_squares);
  ~FieldGrids();

  const Study& study() const { return study_; }
  int32_t grids() const { return study_.nm; }
  bool least_squares() const { return plan_ != nullptr; }

 private:
  friend struct FieldPointWork;
  Study study_;
  std::vector<real> r21_;        // by grid, 1-based (r21_[0] unused)
  std::vector<real> log10_r21_;  // q_log10(r21) by grid
  real t_ = kSentinel;           // the ratio exponent at the finest grid
  std::unique_ptr<FinestRepeatedExtrapolation> repeated_;
  std::unique_ptr<LeastSquaresPlan> plan_;
};

// The figures of one point (missing: kSentinel, as in the estimates).
struct FieldPoint {
  real Th = kSentinel;
  real p_observed = kSentinel;  // the verdict's observed order
  real p_U = kSentinel;         // the order behind U
  real Ti_pU = kSentinel;
  real Tm1 = kSentinel;
  real U = kSentinel;
  real U_relative = kSentinel;  // U / |Th|
  real U_LS = kSentinel;
  Convergence convergence = Convergence::kUndetermined;
  Asymptotic asymptotic = Asymptotic::kUndetermined;
  bool dependable = false;  // U is a dependable bound
};

// The finest grid's figures of the point whose values on grids 1..nm are
// values[0..nm-1].
FieldPoint analyse_point(const FieldGrids& grids, const real* values);

// The verdict's observed order for a convergence ratio psi at grid i >= 3
// of the study, as a point's (kSentinel where psi shows no convergence).
real field_order(const Study& study, int32_t i, real psi);

// The figures of many points as columns (index k: point k).
struct FieldColumns {
  std::vector<real> Th, p_observed, p_U, Ti_pU, Tm1, U, U_relative, U_LS;
  std::vector<uint8_t> convergence;  // Convergence as its number
  std::vector<uint8_t> asymptotic;   // Asymptotic as its number
  std::vector<uint8_t> dependable;   // 1 or 0
  void resize(int64_t points);
  int64_t size() const { return static_cast<int64_t>(Th.size()); }
  void set(int64_t k, const FieldPoint& p);
};

// The words of each convergence number (0 undetermined, 1 monotonic
// convergence, ...) and of each asymptotic-range number.
std::vector<const char*> convergence_names();
std::vector<const char*> asymptotic_names();

}  // namespace morvantide

#endif  // MORVANTIDE_FIELD_FIELD_H_
