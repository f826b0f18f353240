#include "core/verdict.h"

namespace morvantide {

namespace {

bool computed(real x) { return x != kSentinel && !q_isnan(x) && !q_isinf(x); }

// The grid from which both indices of the GCI ratio carry the factor 1.25:
// the index of grid 2 uses 3.
constexpr int32_t kFirstGciRatio = 4;

}  // namespace

const char* convergence_words(Convergence c) {
  switch (c) {
    case Convergence::kMonotonicConvergence:
      return "monotonic convergence";
    case Convergence::kOscillatoryConvergence:
      return "oscillatory convergence";
    case Convergence::kMonotonicDivergence:
      return "monotonic divergence";
    case Convergence::kOscillatoryDivergence:
      return "oscillatory divergence";
    case Convergence::kUndetermined:
      break;
  }
  return "undetermined";
}

const char* asymptotic_words(Asymptotic a) {
  switch (a) {
    case Asymptotic::kAsymptotic:
      return "asymptotic range";
    case Asymptotic::kNotYet:
      return "not yet asymptotic";
    case Asymptotic::kUndetermined:
      break;
  }
  return "undetermined";
}

Convergence convergence_type(real psi) {
  if (!computed(psi) || psi == 0) return Convergence::kUndetermined;
  if (psi > 1) return Convergence::kMonotonicConvergence;
  if (psi < -1) return Convergence::kOscillatoryConvergence;
  if (psi > 0) return Convergence::kMonotonicDivergence;
  return Convergence::kOscillatoryDivergence;
}

GridList<GridVerdict> verdict(const Study& study, const Estimates& e, const GridTable& g,
                              const Target& target) {
  GridList<GridVerdict> out;
  out.resize(study.nm);
  for (int32_t i = 1; i <= study.nm; ++i) {
    GridVerdict& v = out(i);
    if (i >= kFirstRatioTh) v.convergence = convergence_type(e.psi_Th(i));
    if (i >= kFirstRatioTh && computed(e.pU_Th(i)) && study.pL != 0) {
      const real P = e.pU_Th(i) / study.pL;
      if (computed(P)) v.order_ratio = P;
    }
    if (i >= kFirstGciRatio && computed(e.UGCI_Th(i - 1)) && computed(e.UGCI_Th(i)) &&
        computed(e.pGCI(i))) {
      const real A = e.UGCI_Th(i - 1) / (q_pow(g.r21(i), e.pGCI(i)) * e.UGCI_Th(i));
      if (computed(A)) v.gci_ratio = A;
    }
    if (v.order_ratio != kSentinel && v.gci_ratio != kSentinel) {
      const bool near = q_abs(v.order_ratio - 1) <= kAsymptoticTolerance &&
                        q_abs(v.gci_ratio - 1) <= kAsymptoticTolerance;
      v.asymptotic = near ? Asymptotic::kAsymptotic : Asymptotic::kNotYet;
    }

    if (target.kind == Target::Kind::kNone) continue;
    const real U =
        target.kind == Target::Kind::kAbsolute ? target.value : target.value * q_abs(study.Th(i));
    if (!computed(U)) continue;
    v.target = U;
    const real gci = e.UGCI_Th(i);
    const real p = e.pGCI(i);
    if (!computed(gci) || !computed(p)) continue;
    v.within_target = gci <= U;
    if (U > 0 && gci > 0 && p > 0) {
      const real h_star = study.h(i) * q_pow(U / gci, 1 / p);
      const real factor = study.h(i) / h_star;
      if (computed(h_star) && computed(factor)) {
        v.h_target = h_star;
        v.refinement = factor;
      }
    }
  }
  return out;
}

}  // namespace morvantide
