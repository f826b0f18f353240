// The verdict on one variable of a study: what kind of convergence each grid
// shows, whether the grids are in the asymptotic range, and how fine a grid
// an uncertainty target needs.  Computed from the lists the estimation left;
// a pure computation.
//
// At grid i (grid 1 the coarsest):
// - convergence type, from psi_Th(i) at grids i >= 3:
//     psi > 1            monotonic convergence
//     psi < -1           oscillatory convergence
//     0 < psi <= 1       monotonic divergence
//     -1 <= psi < 0      oscillatory divergence
//     0, missing, inf, NaN   undetermined
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

struct GridVerdict {
  Convergence convergence = Convergence::kUndetermined;
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

Convergence convergence_type(real psi);

// The verdict at every grid 1..study.nm.
// REQUIRES: e = estimativa(study), g = tabela_malhas(study.h).
GridList<GridVerdict> verdict(const Study& study, const Estimates& e, const GridTable& g,
                              const Target& target);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_VERDICT_H_
