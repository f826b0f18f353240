#include "core/verdict.h"

#include <algorithm>

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
    case UncertaintySource::kTwoGrids:
      return "two-grid UGCI";
    case UncertaintySource::kObservedOrder:
      return "observed order";
    case UncertaintySource::kNone:
      break;
  }
  return "";
}

const char* uncertainty_note_words(UncertaintyNote n) {
  switch (n) {
    case UncertaintyNote::kBelowSearchRange:
      return "observed order below the search range";
    case UncertaintyNote::kAboveSearchRange:
      return "observed order above the search range";
    case UncertaintyNote::kSearchFoundNone:
      return "the order search found none";
    case UncertaintyNote::kSearchTolerance:
      return "the order search stops at its tolerance";
    case UncertaintyNote::kAbsoluteRatio:
      return "oscillatory: the order of |psi|";
    case UncertaintyNote::kNoListingIndex:
      return "no UGCI in the listing";
    case UncertaintyNote::kNoObservedOrder:
      return "no observed order";
    case UncertaintyNote::kDivergence:
      return "divergence";
    case UncertaintyNote::kNone:
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

real observed_order(Convergence c, int32_t tipo_r, real psi, real r21, real r32) {
  if (c != Convergence::kMonotonicConvergence && c != Convergence::kOscillatoryConvergence) {
    return kSentinel;
  }
  const real ratio = q_abs(psi);
  real p = kSentinel;
  if (tipo_r == 1) {
    p = q_log10(ratio) / q_log10(r21);
  } else {
    p = order_on_positive_line(r21, r32, ratio);
  }
  return computed(p) && p > 0 ? p : kSentinel;
}

Uncertainty finest_uncertainty(const UncertaintyInputs& in) {
  Uncertainty u;
  const bool monotonic = in.convergence == Convergence::kMonotonicConvergence;
  const bool converges = monotonic || in.convergence == Convergence::kOscillatoryConvergence;
  if (in.convergence == Convergence::kMonotonicDivergence ||
      in.convergence == Convergence::kOscillatoryDivergence) {
    u.note = UncertaintyNote::kDivergence;
    return u;
  }
  const bool listed = computed(in.UGCI_Th);
  if (in.grid == kFirstDifference) {
    if (!listed) return u;
    u.U = in.UGCI_Th;
    u.p = in.pGCI;
    u.source = UncertaintySource::kTwoGrids;
    return u;
  }
  if (converges && in.p_observed != kSentinel && computed(in.Th) && computed(in.Th_before)) {
    const real p = q_min(in.p_observed, in.pL);
    const real U = kSafety * q_abs((in.Th - in.Th_before) / (q_pow(in.r21, p) - 1));
    if (computed(U)) {
      u.U = U;
      u.p = p;
      u.dependable = monotonic;
      if (listed && same_bits(U, in.UGCI_Th)) {
        u.source = UncertaintySource::kUGCI;
        return u;
      }
      u.source = UncertaintySource::kObservedOrder;
      if (!listed) {
        u.note = UncertaintyNote::kNoListingIndex;
      } else if (!monotonic) {
        u.note = UncertaintyNote::kAbsoluteRatio;
      } else if (computed(in.pU_Th) && in.pU_Th > 0) {
        u.note = UncertaintyNote::kSearchTolerance;
      } else if (in.p_observed < in.pU_min) {
        u.note = UncertaintyNote::kBelowSearchRange;
      } else if (in.p_observed > in.pU_max) {
        u.note = UncertaintyNote::kAboveSearchRange;
      } else {
        u.note = UncertaintyNote::kSearchFoundNone;
      }
      return u;
    }
  }
  if (converges && in.p_observed == kSentinel) u.note = UncertaintyNote::kNoObservedOrder;
  if (!listed) return u;
  u.U = in.UGCI_Th;
  u.p = in.pGCI;
  u.source = UncertaintySource::kUGCI;
  u.dependable = monotonic;
  return u;
}

real relative_uncertainty(real U, real Th) {
  if (U == kSentinel || Th == 0) return kSentinel;
  const real relative = U / q_abs(Th);
  return computed(relative) ? relative : kSentinel;
}

real asymptotic_order(Convergence c, real p_observed, real pU_Th) {
  // An oscillation's order of |psi| says nothing of the asymptotic range.
  const bool monotonic = c == Convergence::kMonotonicConvergence;
  return monotonic && p_observed != kSentinel ? p_observed : pU_Th;
}

real order_ratio(real p, real pL) {
  if (!computed(p) || pL == 0) return kSentinel;
  const real P = p / pL;
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
                              const Target& target, int32_t first_grid) {
  GridList<GridVerdict> out;
  out.resize(study.nm);
  for (int32_t i = std::max(first_grid, 1); i <= study.nm; ++i) {
    GridVerdict& v = out(i);
    if (i >= kFirstRatioTh) {
      v.t = ratio_exponent(g.r21(i), g.r21(i - 1));
      v.convergence = convergence_type(e.psi_Th(i), v.t);
    }
    if (i >= kFirstRatioTh) {
      v.p_observed =
          observed_order(v.convergence, study.tipo_r, e.psi_Th(i), g.r21(i), g.r21(i - 1));
    }
    if (i >= kFirstDifference) {
      UncertaintyInputs in;
      in.grid = i;
      in.convergence = v.convergence;
      in.p_observed = v.p_observed;
      in.UGCI_Th = e.UGCI_Th(i);
      in.pGCI = e.pGCI(i);
      in.pU_Th = i >= kFirstRatioTh ? e.pU_Th(i) : kSentinel;
      in.Th = study.Th(i);
      in.Th_before = study.Th(i - 1);
      in.r21 = g.r21(i);
      in.pL = study.pL;
      in.pU_min = study.pU_min;
      in.pU_max = study.pU_max;
      const Uncertainty u = finest_uncertainty(in);
      v.U = u.U;
      v.p_U = u.p;
      v.U_source = u.source;
      v.U_note = u.note;
      v.gci_dependable = u.dependable;
      v.U_relative = relative_uncertainty(v.U, study.Th(i));
    }
    if (i >= kFirstRatioTh) {
      v.order_ratio =
          order_ratio(asymptotic_order(v.convergence, v.p_observed, e.pU_Th(i)), study.pL);
    }
    if (i >= kFirstGciRatio) {
      v.gci_ratio = gci_ratio(e.UGCI_Th(i - 1), e.UGCI_Th(i), g.r21(i), e.pGCI(i));
    }
    v.asymptotic = asymptotic_check(v.order_ratio, v.gci_ratio);

    if (target.kind == Target::Kind::kNone) continue;
    const real U =
        target.kind == Target::Kind::kAbsolute ? target.value : target.value * q_abs(study.Th(i));
    if (!computed(U)) continue;
    v.target = U;
    v.reach = v.U == kSentinel ? TargetReach::kNoU : TargetReach::kOutside;
    const real gci = v.U;
    const real p = v.p_U;
    if (!computed(gci) || !computed(p)) continue;
    if (gci <= U) v.reach = TargetReach::kWithin;
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
