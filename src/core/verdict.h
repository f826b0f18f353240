// The verdict on one variable of a study: what kind of convergence each grid
// shows, whether the grids are in the asymptotic range, and how fine a grid
// an uncertainty target needs.  Computed from the lists the estimation left;
// a pure computation.
//
// At grid i (grid 1 the coarsest):
// - convergence type, from psi_Th(i) at grids i >= 3 and the ratio
//   exponent t = ln(r32) / ln(r21) of the grids i-2, i-1, i (t = 1 for a
//   constant ratio).  For Th = T0 + C h^p, psi(p) = r21^p (r32^p - 1) /
//   (r21^p - 1) grows with p and tends to t as p -> 0+, so:
//     psi > t            monotonic convergence    (p > 0)
//     psi < -t           oscillatory convergence
//     0 < psi <= t       monotonic divergence     (p <= 0)
//     -t <= psi < 0      oscillatory divergence
//     0, missing, inf, NaN, or no positive finite t   undetermined
//   (the listing's UGCI keeps its own gate |psi| > 1);
// - the verdict's own observed order (observed_order: over the whole
//   positive line, not only the listing's search range);
// - the uncertainty of Th(i) the verdict stands by, and whether it is a
//   dependable bound (see finest_uncertainty);
// - order ratio P(i) = p / pL with the observed order p, or pU_Th(i) where
//   there is none and the listing has it;
// - GCI ratio A(i) = UGCI_Th(i-1) / (r21(i)^pGCI(i) UGCI_Th(i)), where both
//   indices carry the factor 1.25 (i >= 4, both computed);
// - asymptotic range when |P - 1| <= 0.1 and |A - 1| <= 0.1, not yet
//   asymptotic when both exist and one is further, undetermined otherwise;
// - for a target uncertainty U* (absolute, or a fraction of |Th(i)|):
//     h* = h(i) (U* / U(i))^(1 / pU(i)),  refinement factor h(i) / h*,
//   with the verdict's U and its order, and whether U(i) <= U* already.
// Values that cannot be formed are the sentinel, as in the estimates.
//
// Worked example: Th = 1 + h^2 on h = 0.4, 0.2, 0.1, 0.05 (pL = 2):
//   psi_Th(4) = 4, P(4) = 1, A(4) = 1: monotonic convergence, asymptotic
//   range; UGCI_Th(4) = 1.25 * 0.0075 / 3 = 0.003125; target 0.0001953125
//   gives h* = 0.05 * (1/16)^(1/2) = 0.0125, refinement factor 4.
#ifndef MORVANTIDE_CORE_VERDICT_H_
#define MORVANTIDE_CORE_VERDICT_H_

#include <cstdint>
#include <string>

#include "common/quad.h"
#include "core/obter_pu.h"
#include "model/state.h"

namespace morvantide {

// The uncertainty a user aims at (--target).
struct Target {
  enum class Kind { kNone, kAbsolute, kRelative };
  Kind kind = Kind::kNone;
  real value = 0;    // the uncertainty, or the fraction of |Th| (0.1% -> 0.001)
  std::string text;  // as the user wrote it ("0.1%"), for the summary
};

enum class Convergence {
  kUndetermined,
  kMonotonicConvergence,
  kOscillatoryConvergence,
  kMonotonicDivergence,
  kOscillatoryDivergence,
};

enum class Asymptotic { kUndetermined, kAsymptotic, kNotYet };

// How far P and A may stand from 1 in the asymptotic range.
inline constexpr real kAsymptoticTolerance = 0.1Q;

// Where the uncertainty U of a grid comes from: the listing's UGCI_Th (the
// same bits), the two-grid index (safety factor 3, order pL), or the
// formula with the verdict's own observed order where the listing's index
// differs from it or is missing.
enum class UncertaintySource { kNone, kUGCI, kTwoGrids, kObservedOrder };

// Why U is not the listing's UGCI, or why there is none.
enum class UncertaintyNote {
  kNone,
  kBelowSearchRange,  // the observed order lies below the listing's search range
  kAboveSearchRange,  // ... above it
  kSearchFoundNone,   // inside the range, but the listing's search found no order
  kSearchTolerance,   // the listing's order stops at the search's tolerance
  kAbsoluteRatio,     // oscillatory: the order of |psi|; the listing assumes pL
  kNoListingIndex,    // the listing has no UGCI at the grid (|psi| <= 1)
  kNoObservedOrder,   // a convergence, but no positive order solves psi(p) = psi
  kDivergence,        // the grids diverge: no U
};

// Where a grid stands against the target uncertainty: no target, no U to
// judge (U or the target missing), within it (U <= target), or outside.
enum class TargetReach { kNoTarget, kNoU, kWithin, kOutside };

struct GridVerdict {
  Convergence convergence = Convergence::kUndetermined;
  real t = kSentinel;  // ln(r32) / ln(r21)
  // The verdict's own observed order (see observed_order): the sentinel
  // where the grids do not converge or none exists.
  real p_observed = kSentinel;
  real U = kSentinel;
  real p_U = kSentinel;         // the order U is formed with
  real U_relative = kSentinel;  // U / |Th|
  UncertaintySource U_source = UncertaintySource::kNone;
  UncertaintyNote U_note = UncertaintyNote::kNone;
  bool gci_dependable = false;  // U is a dependable bound
  real order_ratio = kSentinel;  // P
  real gci_ratio = kSentinel;    // A
  Asymptotic asymptotic = Asymptotic::kUndetermined;
  real target = kSentinel;      // U in the variable's units
  real h_target = kSentinel;    // h*
  real refinement = kSentinel;  // h / h*
  TargetReach reach = TargetReach::kNoTarget;  // where U stands against the target
};

// "monotonic convergence", ..., "undetermined".
const char* convergence_words(Convergence c);
// "asymptotic range", "not yet asymptotic", "undetermined".
const char* asymptotic_words(Asymptotic a);

// "UGCI", "two-grid UGCI", "observed order", "" for none.
const char* uncertainty_source_words(UncertaintySource s);
// "observed order below the search range", ..., "divergence"; "" for none.
const char* uncertainty_note_words(UncertaintyNote n);

// t = ln(r32) / ln(r21); kSentinel when it is not a positive finite number
// (a ratio of 1, or ratios on both sides of 1).  Equal ratios give exactly 1.
real ratio_exponent(real r21, real r32);

// The type for the ratio psi at grids of ratio exponent t.
Convergence convergence_type(real psi, real t = 1);

// The verdict's observed order at a grid of type c, convergence ratio psi
// and ratios r21, r32: the order p > 0 with psi(p) = psi (|psi| for an
// oscillatory convergence) over the whole positive line.  A constant ratio
// (tipo_r 1) takes the closed form log10(|psi|) / log10(r21), the listing's
// own pU_Th; any other kind order_on_positive_line.  The sentinel for a
// divergence or an undetermined type.
//   tipo_r 1, r21 = 2, psi = 4        -> 2
//   tipo_r 2, h = 1, 0.6, 0.35, T = 1 + h^0.3 -> 0.3 (below the search range)
real observed_order(Convergence c, int32_t tipo_r, real psi, real r21, real r32);

// U of a grid, decided in this one place:
// - a divergence has none (kDivergence);
// - two grids (i = 2): the listing's two-grid index (kTwoGrids);
// - a convergence with an observed order p: 1.25 |Th(i) - Th(i-1)| /
//   (r21^pU - 1) with pU = min(p, pL), the listing's UGCI_Th (kUGCI) when
//   the two are the same bits, else kObservedOrder with a note saying why
//   the listing differs; dependable under monotonic convergence;
// - otherwise the listing's UGCI_Th where it has one, never dependable
//   unless the type is a monotonic convergence.
struct Uncertainty {
  real U = kSentinel;
  real p = kSentinel;  // the order it is formed with
  UncertaintySource source = UncertaintySource::kNone;
  UncertaintyNote note = UncertaintyNote::kNone;
  bool dependable = false;
};
// What the uncertainty reads of a grid i >= 2.
struct UncertaintyInputs {
  int32_t grid = 0;
  Convergence convergence = Convergence::kUndetermined;
  real p_observed = kSentinel;
  real UGCI_Th = kSentinel, pGCI = kSentinel, pU_Th = kSentinel;
  real Th = 0, Th_before = 0, r21 = kSentinel;
  real pL = 0, pU_min = 0, pU_max = 0;
};
Uncertainty finest_uncertainty(const UncertaintyInputs& in);

// U relative to |Th|, U / |Th|; kSentinel where U is missing, Th is 0 or
// the quotient is not finite.
real relative_uncertainty(real U, real Th);

// The order the asymptotic-range check compares with pL: the observed order
// under monotonic convergence where there is one, else the listing's pU_Th.
real asymptotic_order(Convergence c, real p_observed, real pU_Th);

// The order ratio P = p / pL of a grid; kSentinel where p is not computed,
// pL is 0 or P is not finite.
real order_ratio(real p, real pL);

// The GCI ratio A = UGCI_Th(i-1) / (r21(i)^pGCI(i) UGCI_Th(i)); kSentinel
// where one of them is not computed or A is not finite.
real gci_ratio(real UGCI_before, real UGCI, real r21, real pGCI);

// The asymptotic-range check from P and A (either kSentinel: undetermined).
Asymptotic asymptotic_check(real order_ratio, real gci_ratio);

// The warning on grids out of order: "" when h decreases from grid 1 to nm.
std::string grid_order_warning(const RealList& h);

// The verdict at grids first_grid..study.nm (study.nm entries; those
// before first_grid keep the defaults of a grid not judged).  Each grid's
// verdict reads that grid's figures only: the same bits whatever first_grid.
// REQUIRES: e = estimativa(study), g = tabela_malhas(study.h).
GridList<GridVerdict> verdict(const Study& study, const Estimates& e, const GridTable& g,
                              const Target& target, int32_t first_grid = 1);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_VERDICT_H_
