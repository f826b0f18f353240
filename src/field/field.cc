#include "field/field.h"

#include "core/convergent_estimate.h"
#include "core/obter_pu.h"
#include "core/primitives.h"

namespace morvantide {

// The per-point work reads FieldGrids' shared parts.
struct FieldPointWork {
  static FieldPoint run(const FieldGrids& g, const real* T);
};

FieldGrids::FieldGrids(const Study& study, bool least_squares) : study_(study) {
  const int32_t n = study_.nm;
  r21_.assign(static_cast<size_t>(n) + 1, kSentinel);
  log10_r21_.assign(static_cast<size_t>(n) + 1, kSentinel);
  for (int32_t i = 2; i <= n; ++i) {
    r21_[i] = ratio_r21(study_.h, i);
    log10_r21_[i] = q_log10(r21_[i]);
  }
  repeated_ = std::make_unique<FinestRepeatedExtrapolation>(study_);
  if (n >= 3) t_ = ratio_exponent(r21_[n], r21_[n - 1]);
  if (least_squares) {
    std::vector<real> h(n);
    for (int32_t i = 1; i <= n; ++i) h[i - 1] = study_.h(i);
    plan_ = std::make_unique<LeastSquaresPlan>(h);
  }
}

FieldGrids::~FieldGrids() = default;

FieldPoint FieldPointWork::run(const FieldGrids& g, const real* T) {
  const Study& s = g.study_;
  const int32_t n = s.nm;
  auto Th = [T](int32_t i) { return T[i - 1]; };
  FieldPoint out;
  out.Th = Th(n);

  // psi_Th and pU_Th at grid i, as ordens_Th forms them: the stored ratio
  // is the sentinel where the later difference is zero, the order is formed
  // from a positive ratio only.
  struct Order {
    real psi = kSentinel;
    real pU = kSentinel;
  };
  auto order_at = [&](int32_t i) {
    Order o;
    o.psi = convergence_ratio(Th(i - 2), Th(i - 1), Th(i), kSentinel);
    const real psi = convergence_ratio(Th(i - 2), Th(i - 1), Th(i), 0);
    if (psi > 0) {
      if (s.tipo_r == 1) {
        o.pU = order_from_positive_constant(psi, g.log10_r21_[i]);
      } else if (s.tipo_r == 2) {
        o.pU = obter_pU(s.search(), g.r21_[i], g.r21_[i - 1], psi, kSentinel);
      }
    }
    return o;
  };
  // UGCI_Th and pGCI at grid i >= 3, as estimativa_convergente forms them.
  struct Index {
    real UGCI = kSentinel;
    real pGCI = kSentinel;
  };
  auto index_at = [&](int32_t i, const Order& o) {
    Index x;
    if (!converging_ratio(o.psi)) return x;
    x.pGCI = gci_order(o.pU, s.pL);
    x.UGCI = gci_three_grids(Th(i) - Th(i - 1), g.r21_[i], x.pGCI);
    return x;
  };

  const Order finest = order_at(n);
  const Index index = index_at(n, finest);
  const real r21 = g.r21_[n];

  // Ti_pU, as extrapolacao_simples forms it.
  if (!(finest.pU <= 0 || unusable_order(finest.pU))) {
    out.Ti_pU = extrapola(Th(n), Th(n - 1), r21, finest.pU);
  }

  out.Tm1 = g.repeated_->Tm1(T);

  // The verdict at the finest grid.
  out.convergence = convergence_type(finest.psi, g.t_);
  out.p_observed = observed_order(out.convergence, s.tipo_r, finest.psi, r21, g.r21_[n - 1]);
  UncertaintyInputs in;
  in.grid = n;
  in.convergence = out.convergence;
  in.p_observed = out.p_observed;
  in.UGCI_Th = index.UGCI;
  in.pGCI = index.pGCI;
  in.pU_Th = finest.pU;
  in.Th = Th(n);
  in.Th_before = Th(n - 1);
  in.r21 = r21;
  in.pL = s.pL;
  in.pU_min = s.pU_min;
  in.pU_max = s.pU_max;
  const Uncertainty u = finest_uncertainty(in);
  out.U = u.U;
  out.p_U = u.p;
  out.dependable = u.dependable;
  out.U_relative = relative_uncertainty(u.U, Th(n));
  const real P = order_ratio(asymptotic_order(out.convergence, out.p_observed, finest.pU), s.pL);
  real A = kSentinel;
  if (n >= 4) {
    const Index before = index_at(n - 1, order_at(n - 1));
    A = gci_ratio(before.UGCI, index.UGCI, r21, index.pGCI);
  }
  out.asymptotic = asymptotic_check(P, A);

  if (g.plan_ != nullptr) {
    const std::vector<real> column(T, T + n);
    const std::vector<LeastSquaresGrid> ls = least_squares_for_report(*g.plan_, column, s.pL, true);
    out.U_LS = ls[n - 1].U_LS;
  }
  return out;
}

real field_order(const Study& s, int32_t i, real psi) {
  const real r21 = ratio_r21(s.h, i);
  const real r32 = ratio_r32(s.h, i);
  const Convergence c = convergence_type(psi, ratio_exponent(r21, r32));
  return observed_order(c, s.tipo_r, psi, r21, r32);
}

FieldPoint analyse_point(const FieldGrids& grids, const real* values) {
  return FieldPointWork::run(grids, values);
}

void FieldColumns::resize(int64_t points) {
  const size_t n = static_cast<size_t>(points);
  for (std::vector<real>* c : {&Th, &p_observed, &p_U, &Ti_pU, &Tm1, &U, &U_relative, &U_LS}) {
    c->resize(n, kSentinel);
  }
  convergence.resize(n, 0);
  asymptotic.resize(n, 0);
  dependable.resize(n, 0);
}

void FieldColumns::set(int64_t k, const FieldPoint& p) {
  const size_t i = static_cast<size_t>(k);
  Th[i] = p.Th;
  p_observed[i] = p.p_observed;
  p_U[i] = p.p_U;
  Ti_pU[i] = p.Ti_pU;
  Tm1[i] = p.Tm1;
  U[i] = p.U;
  U_relative[i] = p.U_relative;
  U_LS[i] = p.U_LS;
  convergence[i] = static_cast<uint8_t>(p.convergence);
  asymptotic[i] = static_cast<uint8_t>(p.asymptotic);
  dependable[i] = p.dependable ? 1 : 0;
}

std::vector<const char*> convergence_names() {
  std::vector<const char*> out;
  for (Convergence c : {Convergence::kUndetermined, Convergence::kMonotonicConvergence,
                        Convergence::kOscillatoryConvergence, Convergence::kMonotonicDivergence,
                        Convergence::kOscillatoryDivergence}) {
    out.push_back(convergence_words(c));
  }
  return out;
}

std::vector<const char*> asymptotic_names() {
  std::vector<const char*> out;
  for (Asymptotic a : {Asymptotic::kUndetermined, Asymptotic::kAsymptotic, Asymptotic::kNotYet}) {
    out.push_back(asymptotic_words(a));
  }
  return out;
}

}  // namespace morvantide
