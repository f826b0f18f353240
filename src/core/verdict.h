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
// - the uncertainty of Th(i) the verdict stands by, and whether it is a
//   dependable bound (see finest_uncertainty);
// - order ratio P(i) = pU_Th(i) / pL, where pU_Th(i) was computed;
// - GCI ratio A(i) = UGCI_Th(i-1) / (r21(i)^pGCI(i) UGCI_Th(i)), where both
//   indices carry the factor 1.25 (i >= 4, both computed);
// - asymptotic range when |P - 1| <= 0.1 and |A - 1| <= 0.1, not yet
//   asymptotic when both exist and one is further, undetermined otherwise;
// - for a target uncertainty U (absolute, or a fraction of |Th(i)|):
//     h* = h(i) (U / UGCI_Th(i))^(1 / pGCI(i)),  refinement factor h(i) / h*,
//   and whether UGCI_Th(i) <= U already.
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

// Where the uncertainty U of a grid comes from: the listing's UGCI_Th, or
// the same formula where the listing has none but the convergence test for
// a variable ratio finds convergence.
enum class UncertaintySource { kNone, kUGCI, kConvergenceTest };

struct GridVerdict {
  Convergence convergence = Convergence::kUndetermined;
  real t = kSentinel;  // ln(r32) / ln(r21)
  real U = kSentinel;
  UncertaintySource U_source = UncertaintySource::kNone;
  bool gci_dependable = false;  // U is a dependable bound
  real order_ratio = kSentinel;  // P
  real gci_ratio = kSentinel;    // A
  Asymptotic asymptotic = Asymptotic::kUndetermined;
  real target = kSentinel;      // U in the variable's units
  real h_target = kSentinel;    // h*
  real refinement = kSentinel;  // h / h*
  bool within_target = false;   // UGCI_Th <= U
};

// "monotonic convergence", ..., "undetermined".
const char* convergence_words(Convergence c);
// "asymptotic range", "not yet asymptotic", "undetermined".
const char* asymptotic_words(Asymptotic a);

// "UGCI", "convergence test", "" for none.
const char* uncertainty_source_words(UncertaintySource s);

// t = ln(r32) / ln(r21); kSentinel when it is not a positive finite number
// (a ratio of 1, or ratios on both sides of 1).  Equal ratios give exactly 1.
real ratio_exponent(real r21, real r32);

// The type for the ratio psi at grids of ratio exponent t.
Convergence convergence_type(real psi, real t = 1);

// U of a grid, decided in this one place:
// - the listing's UGCI_Th where it has one; dependable only under monotonic
//   convergence;
// - where it has none and the type is a convergence, the same formula
//   1.25 |Th(i) - Th(i-1)| / (r21^pGCI - 1) with pGCI = min(pU_Th, pL)
//   (pU_Th positive), dependable under monotonic convergence;
// - else none.
struct Uncertainty {
  real U = kSentinel;
  UncertaintySource source = UncertaintySource::kNone;
  bool dependable = false;
};
Uncertainty finest_uncertainty(Convergence c, real UGCI_Th, real Th, real Th_before, real r21,
                               real pU_Th, real pL);

// The order ratio P = pU_Th / pL of a grid; kSentinel where pU_Th is not
// computed, pL is 0 or P is not finite.
real order_ratio(real pU_Th, real pL);

// The GCI ratio A = UGCI_Th(i-1) / (r21(i)^pGCI(i) UGCI_Th(i)); kSentinel
// where one of them is not computed or A is not finite.
real gci_ratio(real UGCI_before, real UGCI, real r21, real pGCI);

// The asymptotic-range check from P and A (either kSentinel: undetermined).
Asymptotic asymptotic_check(real order_ratio, real gci_ratio);

// The warning on grids out of order: "" when h decreases from grid 1 to nm.
std::string grid_order_warning(const RealList& h);

// The verdict at every grid 1..study.nm.
// REQUIRES: e = estimativa(study), g = tabela_malhas(study.h).
GridList<GridVerdict> verdict(const Study& study, const Estimates& e, const GridTable& g,
                              const Target& target);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_VERDICT_H_
