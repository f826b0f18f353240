#include "core/verdict.h"

namespace morvantide {

namespace {

bool computed(real x) { return x != kSentinel && !q_isnan(x) && !q_isinf(x); }

// The safety factor of the index from three grids on.
constexpr real kSafety = 1.25Q;

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

const char* uncertainty_source_words(UncertaintySource s) {
  switch (s) {
    case UncertaintySource::kUGCI:
      return "UGCI";
    case UncertaintySource::kConvergenceTest:
      return "convergence test";
    case UncertaintySource::kNone:
      break;
  }
  return "";
}

real ratio_exponent(real r21, real r32) {
  if (!computed(r21) || !computed(r32)) return kSentinel;
  const real t = r21 == r32 ? real(1) : q_log(r32) / q_log(r21);
  return computed(t) && t > 0 ? t : kSentinel;
}

Convergence convergence_type(real psi, real t) {
  if (!computed(psi) || psi == 0 || !computed(t) || !(t > 0)) return Convergence::kUndetermined;
  if (psi > t) return Convergence::kMonotonicConvergence;
  if (psi < -t) return Convergence::kOscillatoryConvergence;
  if (psi > 0) return Convergence::kMonotonicDivergence;
  return Convergence::kOscillatoryDivergence;
}

Uncertainty finest_uncertainty(Convergence c, real UGCI_Th, real Th, real Th_before, real r21,
                               real pU_Th, real pL) {
  Uncertainty u;
  const bool monotonic = c == Convergence::kMonotonicConvergence;
  if (computed(UGCI_Th)) {
    u.U = UGCI_Th;
    u.source = UncertaintySource::kUGCI;
    u.dependable = monotonic;
    return u;
  }
  if (!monotonic && c != Convergence::kOscillatoryConvergence) return u;
  if (!computed(pU_Th) || !(pU_Th > 0) || !computed(Th) || !computed(Th_before)) return u;
  const real p = q_min(pU_Th, pL);
  const real U = kSafety * q_abs((Th - Th_before) / (q_pow(r21, p) - 1));
  if (!computed(U)) return u;
  u.U = U;
  u.source = UncertaintySource::kConvergenceTest;
  u.dependable = monotonic;
  return u;
}

real order_ratio(real pU_Th, real pL) {
  if (!computed(pU_Th) || pL == 0) return kSentinel;
  const real P = pU_Th / pL;
  return computed(P) ? P : kSentinel;
}

real gci_ratio(real UGCI_before, real UGCI, real r21, real pGCI) {
  if (!computed(UGCI_before) || !computed(UGCI) || !computed(pGCI)) return kSentinel;
  const real A = UGCI_before / (q_pow(r21, pGCI) * UGCI);
  return computed(A) ? A : kSentinel;
}

Asymptotic asymptotic_check(real order_ratio, real gci_ratio) {
  if (order_ratio == kSentinel || gci_ratio == kSentinel) return Asymptotic::kUndetermined;
  const bool near = q_abs(order_ratio - 1) <= kAsymptoticTolerance &&
                    q_abs(gci_ratio - 1) <= kAsymptoticTolerance;
  return near ? Asymptotic::kAsymptotic : Asymptotic::kNotYet;
}

std::string grid_order_warning(const RealList& h) {
  for (int32_t i = 2; i <= h.size(); ++i) {
    if (!(h(i) < h(i - 1))) {
      return "h does not decrease from grid " + std::to_string(i - 1) + " to grid " +
             std::to_string(i) +
             ": the grids must run from coarse to fine (grid 1 the coarsest); the results "
             "assume that order";
    }
  }
  return "";
}

GridList<GridVerdict> verdict(const Study& study, const Estimates& e, const GridTable& g,
                              const Target& target) {
  GridList<GridVerdict> out;
  out.resize(study.nm);
  for (int32_t i = 1; i <= study.nm; ++i) {
    GridVerdict& v = out(i);
    if (i >= kFirstRatioTh) {
      v.t = ratio_exponent(g.r21(i), g.r21(i - 1));
      v.convergence = convergence_type(e.psi_Th(i), v.t);
    }
    if (i >= kFirstDifference) {
      const Uncertainty u = finest_uncertainty(
          v.convergence, e.UGCI_Th(i), study.Th(i), study.Th(i - 1), g.r21(i),
          i >= kFirstRatioTh ? e.pU_Th(i) : kSentinel, study.pL);
      v.U = u.U;
      v.U_source = u.source;
      v.gci_dependable = u.dependable;
    }
    if (i >= kFirstRatioTh) v.order_ratio = order_ratio(e.pU_Th(i), study.pL);
    if (i >= kFirstGciRatio) {
      v.gci_ratio = gci_ratio(e.UGCI_Th(i - 1), e.UGCI_Th(i), g.r21(i), e.pGCI(i));
    }
    v.asymptotic = asymptotic_check(v.order_ratio, v.gci_ratio);

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
