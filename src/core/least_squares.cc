// The least-squares uncertainty: the four error models, their two forms, the
// choice of the fit and the uncertainty of each grid (see least_squares.h).

#include "core/least_squares.h"

#include <cmath>
#include <cstddef>

namespace morvantide {
namespace {

constexpr int32_t kScanPoints = 2000;
// A column whose part independent of the previous columns is below this
// fraction of its length makes the fit singular: the model is not fitted.
constexpr real kRankTolerance = 1.0e-30Q;
const real kInfinity = q_infinity();

bool is_finite(real x) { return finiteq(x) != 0; }

// Scan point k: 0.01 * 2000^(k/1999), in binary128.
real scan_order(int32_t k) {
  return 0.01Q * q_pow(2000, q_from_int(k) / q_from_int(kScanPoints - 1));
}

// Scan point k in double, only to choose the bracket of the order.
double scan_order_double(int32_t k) {
  return 0.01 * std::pow(2000.0, static_cast<double>(k) / (kScanPoints - 1));
}

// The data of one grid: n grids, values phi, relative sizes x, the two sets
// of weights and, for M1, u_j = h(j) / max h with ln u_j.
struct Data {
  int32_t n = 0;
  std::vector<real> phi, x, u, ln_u;
  std::vector<real> w[2];  // [0] unweighted, [1] weighted
};

// A fitted form: coefficients of the basis, sigma, and f at the finest grid.  ok is false when the columns are dependent or a value
// overflowed.
struct Fit {
  bool ok = false;
  real c[3] = {0, 0, 0};
  real sigma = kInfinity;
  real f_fine = 0;  // f(x_i)
  real sum_dS = 0;  // M1 only: sum_j w_j r_j y_j ln u_j
};

// Least squares by Householder QR: minimises sum_j w_j (phi_j - sum_m c_m
// B_jm)^2 for k <= 3 columns B (column-major, n rows), with the rows scaled
// by sqrt(w_j).  Returns false when a column is dependent on the previous
// ones (or on nothing: a zero column).
bool solve_householder(const std::vector<real>& B, int32_t k, const Data& d,
                       const std::vector<real>& w, real c[3]) {
  const int32_t n = d.n;
  std::vector<real> a(static_cast<size_t>(n) * k), b(n);
  real length[3] = {0, 0, 0};
  for (int32_t j = 0; j < n; ++j) {
    const real s = sqrtq(w[j]);
    b[j] = s * d.phi[j];
    for (int32_t m = 0; m < k; ++m) {
      a[m * n + j] = s * B[m * n + j];
      length[m] += a[m * n + j] * a[m * n + j];
    }
  }
  real diag[3];
  for (int32_t m = 0; m < k; ++m) {
    real* v = &a[m * n];
    real norm2 = 0;
    for (int32_t j = m; j < n; ++j) norm2 += v[j] * v[j];
    const real norm = sqrtq(norm2);
    if (!(norm > kRankTolerance * sqrtq(length[m]))) return false;  // also NaN
    const real alpha = v[m] > 0 ? -norm : norm;
    v[m] -= alpha;  // v is now the Householder vector of this step
    real vv = 0;
    for (int32_t j = m; j < n; ++j) vv += v[j] * v[j];
    auto reflect = [&](real* col) {
      real s = 0;
      for (int32_t j = m; j < n; ++j) s += v[j] * col[j];
      const real f = 2 * s / vv;
      for (int32_t j = m; j < n; ++j) col[j] -= f * v[j];
    };
    for (int32_t q = m + 1; q < k; ++q) reflect(&a[q * n]);
    reflect(b.data());
    diag[m] = alpha;
  }
  for (int32_t m = k - 1; m >= 0; --m) {
    real s = b[m];
    for (int32_t q = m + 1; q < k; ++q) s -= a[q * n + m] * c[q];
    c[m] = s / diag[m];
  }
  return true;
}

// Fits the basis B (`columns` columns) with weights w, k = columns unknowns.
// Every residual is evaluated from the coefficients.
Fit fit_basis(const std::vector<real>& B, int32_t columns, const Data& d,
              const std::vector<real>& w) {
  Fit fit;
  const int32_t n = d.n;
  if (n <= columns || !solve_householder(B, columns, d, w, fit.c)) return fit;
  real S = 0;
  for (int32_t j = 0; j < n; ++j) {
    real f = 0;
    for (int32_t m = 0; m < columns; ++m) f += fit.c[m] * B[m * n + j];
    const real r = d.phi[j] - f;
    S += w[j] * r * r;
    if (j == n - 1) fit.f_fine = f;
  }
  fit.sigma = sqrtq(q_from_int(n) * S / q_from_int(n - columns));
  fit.ok = is_finite(fit.sigma) && is_finite(fit.f_fine);
  return fit;
}

// M1 at a fixed order p, the fit that the order search repeats: the basis
// 1, y = u^p with u = h / max h, so that y stays in (0, 1] for any p (phi0
// and f are those of the basis 1, x^p since u is x times a constant).  Two
// columns by modified Gram-Schmidt on the rows scaled by sqrt(w_j): the
// first column normalised is sqrt(w_j) / sqrt(sum w), so removing it from y
// and phi subtracts their weighted means; then
//   alpha = sum w (y - ym)(phi - phim) / sum w (y - ym)^2,
//   phi0 = phim - alpha ym.
// Also sum_dS = sum_j w_j r_j y_j ln u_j, so that dS/dp = -2 alpha sum_dS
// (the residuals are orthogonal to y, so ln u and ln x give the same sum).
// y holds n places for the powers.
Fit fit_m1(real p, const Data& d, const std::vector<real>& w, std::vector<real>& y) {
  Fit fit;
  const int32_t n = d.n;
  real sw = 0, ym = 0, phim = 0;
  for (int32_t j = 0; j < n; ++j) {
    y[j] = expq(p * d.ln_u[j]);
    sw += w[j];
    ym += w[j] * y[j];
    phim += w[j] * d.phi[j];
  }
  ym /= sw;
  phim /= sw;
  real syy = 0, syphi = 0;
  for (int32_t j = 0; j < n; ++j) {
    syy += w[j] * (y[j] - ym) * (y[j] - ym);
    syphi += w[j] * (y[j] - ym) * (d.phi[j] - phim);
  }
  real length = 0;
  for (int32_t j = 0; j < n; ++j) length += w[j] * y[j] * y[j];
  // y dependent on the column of ones: no fit (also NaN).
  if (!(syy > kRankTolerance * kRankTolerance * length)) return fit;
  const real alpha = syphi / syy;
  const real phi0 = phim - alpha * ym;
  real S = 0, sum_dS = 0;
  for (int32_t j = 0; j < n; ++j) {
    const real f = phi0 + alpha * y[j];
    const real r = d.phi[j] - f;
    S += w[j] * r * r;
    sum_dS += w[j] * r * y[j] * d.ln_u[j];
  }
  fit.c[0] = phi0;
  fit.c[1] = alpha;
  fit.f_fine = phi0 + alpha * y[n - 1];
  fit.sum_dS = sum_dS;
  fit.sigma = sqrtq(q_from_int(n) * S / q_from_int(n - 3));  // k = 3: phi0, alpha, p
  fit.ok = n > 3 && is_finite(fit.sigma) && is_finite(fit.f_fine) && is_finite(sum_dS);
  return fit;
}

// dS/dp of M1 at p; NaN when the fit fails.
real m1_slope(real p, const Data& d, const std::vector<real>& w, std::vector<real>& y) {
  const Fit fit = fit_m1(p, d, w, y);
  if (!fit.ok) return nanq("");
  return -2 * fit.c[1] * fit.sum_dS;
}

// The fixed-order models M2, M3, M4 in one form.
Fit fit_fixed(int32_t model, const Data& d, const std::vector<real>& w) {
  const int32_t n = d.n;
  const int32_t columns = model == kModelM4 ? 3 : 2;
  std::vector<real> B(static_cast<size_t>(columns) * n);
  for (int32_t j = 0; j < n; ++j) {
    const real x = d.x[j];
    B[j] = 1;
    B[n + j] = model == kModelM3 ? x * x : x;
    if (columns == 3) B[2 * n + j] = x * x;
  }
  return fit_basis(B, columns, d, w);
}

// One form of M1: its fit and order (kSentinel without an order).
struct M1Form {
  Fit fit;
  real p = kSentinel;
};

// The scan of p in double for both forms at once (the powers are shared).
// best[f] is the scan point of least S of form f, or -1 when no point
// could be fitted.  The values enter as (phi_j - phi_i) / (max - min) so
// that double keeps the digits of their differences.
void scan_orders(const Data& d, real phi_range, int32_t best[2]) {
  const int32_t n = d.n;
  std::vector<double> z(n), ln_u(n), w[2] = {std::vector<double>(n), std::vector<double>(n)};
  for (int32_t j = 0; j < n; ++j) {
    z[j] = static_cast<double>((d.phi[j] - d.phi[n - 1]) / phi_range);
    ln_u[j] = static_cast<double>(d.ln_u[j]);
    w[0][j] = static_cast<double>(d.w[0][j]);
    w[1][j] = static_cast<double>(d.w[1][j]);
  }
  std::vector<double> y(n);
  double least[2] = {HUGE_VAL, HUGE_VAL};
  best[0] = best[1] = -1;
  for (int32_t k = 0; k < kScanPoints; ++k) {
    const double p = scan_order_double(k);
    for (int32_t j = 0; j < n; ++j) y[j] = std::exp(p * ln_u[j]);
    for (int32_t f = 0; f < 2; ++f) {
      // Two columns by modified Gram-Schmidt: centre on the weighted means.
      double ym = 0, zm = 0;
      for (int32_t j = 0; j < n; ++j) {
        ym += w[f][j] * y[j];
        zm += w[f][j] * z[j];
      }
      double syy = 0, syz = 0;
      for (int32_t j = 0; j < n; ++j) {
        syy += w[f][j] * (y[j] - ym) * (y[j] - ym);
        syz += w[f][j] * (y[j] - ym) * (z[j] - zm);
      }
      if (!(syy > 0)) continue;
      const double slope = syz / syy;
      double S = 0;
      for (int32_t j = 0; j < n; ++j) {
        const double r = z[j] - zm - slope * (y[j] - ym);
        S += w[f][j] * r * r;
      }
      if (S < least[f]) {  // strictly: the first point on a tie
        least[f] = S;
        best[f] = k;
      }
    }
  }
}

// The order of one form of M1 from its best scan point: the zero of dS/dp
// by bisection in binary128, within p_(k-1)..p_(k+1), else within
// p_(k-2)..p_(k+2).
M1Form locate_order(int32_t best, const Data& d, const std::vector<real>& w) {
  M1Form form;
  std::vector<real> y(d.n);
  if (best < 0) return form;
  const int32_t last = kScanPoints - 1;
  bool found = false;
  real lo = 0, hi = 0;
  if (best > 0 && best < last) {
    for (int32_t widen = 1; widen <= 2 && !found; ++widen) {
      lo = scan_order(best - widen < 0 ? 0 : best - widen);
      hi = scan_order(best + widen > last ? last : best + widen);
      found = m1_slope(lo, d, w, y) < 0 && m1_slope(hi, d, w, y) > 0;
    }
  }
  if (!found) {
    form.fit = fit_m1(scan_order(best), d, w, y);  // no order: sigma at the scan point
    return form;
  }
  real p = lo;
  for (;;) {
    const real mid = lo + (hi - lo) / 2;
    if (!(mid > lo && mid < hi)) break;  // the bracket stops shrinking
    const real slope = m1_slope(mid, d, w, y);
    p = mid;
    if (slope == 0) break;
    if (slope < 0) {
      lo = mid;
    } else if (slope > 0) {
      hi = mid;
    } else {
      break;  // NaN: the fit failed inside the bracket
    }
  }
  form.fit = fit_m1(p, d, w, y);
  if (form.fit.ok) {
    form.p = p;
  } else {
    form.fit = fit_m1(scan_order(best), d, w, y);
  }
  return form;
}

// The kept form of a model: the smaller sigma, the unweighted one on a tie.
// Returns 0 (unweighted) or 1 (weighted), or -1 when neither form fits.
int32_t keep_form(const Fit& unweighted, const Fit& weighted) {
  if (!unweighted.ok && !weighted.ok) return -1;
  if (!weighted.ok) return 0;
  if (!unweighted.ok) return 1;
  return weighted.sigma < unweighted.sigma ? 1 : 0;
}

}  // namespace

LeastSquaresGrid least_squares_grid(const real* h, const real* Th, int32_t n, real pL) {
  LeastSquaresGrid g;
  if (n < 4) return g;
  Data d;
  d.n = n;
  real h_max = 0, phi_min = 0, phi_max = 0;
  for (int32_t j = 0; j < n; ++j) {
    if (!(h[j] > 0) || !is_finite(h[j]) || !is_finite(Th[j])) return g;
    if (h[j] > h_max) h_max = h[j];
    if (j == 0 || Th[j] < phi_min) phi_min = Th[j];
    if (j == 0 || Th[j] > phi_max) phi_max = Th[j];
  }
  const real phi_fine = Th[n - 1];
  const real range = phi_max - phi_min;
  if (!is_finite(range)) return g;
  const real Delta = range / q_from_int(n - 1);
  if (Delta == 0) {
    // All values equal (to the resolution of binary128): nothing to fit.
    g.U_LS = 0;
    g.T0_LS = phi_fine;
    g.sigma_LS = g.Delta_LS = g.eps_LS = g.res_LS = 0;
    return g;
  }
  d.phi.assign(Th, Th + n);
  d.x.resize(n);
  d.u.resize(n);
  d.ln_u.resize(n);
  d.w[0].assign(n, 1 / q_from_int(n));
  d.w[1].resize(n);
  real inverse_sum = 0;
  for (int32_t j = 0; j < n; ++j) {
    d.x[j] = h[j] / h[n - 1];
    d.u[j] = h[j] / h_max;
    d.ln_u[j] = logq(d.u[j]);
    d.w[1][j] = 1 / d.x[j];
    inverse_sum += d.w[1][j];
  }
  for (int32_t j = 0; j < n; ++j) d.w[1][j] /= inverse_sum;
  for (int32_t j = 0; j < n; ++j) {
    if (!is_finite(d.x[j]) || !is_finite(d.w[1][j]) || !(d.u[j] > 0)) return g;
  }

  // Step 1 and 2: every model in both forms, the kept form of each.
  int32_t best[2];
  scan_orders(d, range, best);
  const M1Form m1[2] = {locate_order(best[0], d, d.w[0]), locate_order(best[1], d, d.w[1])};
  const int32_t m1_form = keep_form(m1[0].fit, m1[1].fit);
  Fit fixed[3];
  int32_t fixed_form[3];
  for (int32_t m = 0; m < 3; ++m) {
    const Fit unweighted = fit_fixed(kModelM2 + m, d, d.w[0]);
    const Fit weighted = fit_fixed(kModelM2 + m, d, d.w[1]);
    fixed_form[m] = keep_form(unweighted, weighted);
    fixed[m] = fixed_form[m] == 1 ? weighted : unweighted;
  }

  // Step 3: the fit and its safety factor.
  const real p = m1_form < 0 ? kSentinel : m1[m1_form].p;
  const Fit* fit = nullptr;
  if (p != kSentinel && p >= 0.5Q && p < pL + 0.1Q) {
    fit = &m1[m1_form].fit;
    g.model = kModelM1;
    g.weighted = m1_form == 1;
    g.Fs_LS = 1.25Q;
  } else {
    for (int32_t m = 0; m < 3; ++m) {
      if (fixed_form[m] < 0) continue;
      if (fit == nullptr || fixed[m].sigma < fit->sigma) {  // the first on a tie
        fit = &fixed[m];
        g.model = kModelM2 + m;
        g.weighted = fixed_form[m] == 1;
      }
    }
    if (fit == nullptr) return LeastSquaresGrid();  // no model could be fitted
    g.Fs_LS = 3;
  }

  // Step 4: the uncertainty, by the scatter of the data.
  const real sigma = fit->sigma;
  const real eps = q_abs(fit->f_fine - fit->c[0]);
  const real res = q_abs(phi_fine - fit->f_fine);
  const real U = sigma < Delta ? g.Fs_LS * eps + sigma + res
                               : 3 * (sigma / Delta) * (eps + sigma + res);
  if (!is_finite(U) || !is_finite(eps) || !is_finite(res)) return LeastSquaresGrid();
  g.U_LS = U;
  g.p_LS = p;
  g.T0_LS = fit->c[0];
  g.sigma_LS = sigma;
  g.Delta_LS = Delta;
  g.eps_LS = eps;
  g.res_LS = res;
  return g;
}

std::vector<LeastSquaresGrid> least_squares_estimates(const std::vector<real>& h,
                                                      const std::vector<real>& Th, real pL) {
  std::vector<LeastSquaresGrid> out(h.size());
  const size_t n = h.size() < Th.size() ? h.size() : Th.size();
  for (size_t i = 4; i <= n; ++i) {
    out[i - 1] = least_squares_grid(h.data(), Th.data(), static_cast<int32_t>(i), pL);
  }
  return out;
}

const char* least_squares_model_name(int32_t model) {
  switch (model) {
    case kModelM1: return "M1";
    case kModelM2: return "M2";
    case kModelM3: return "M3";
    case kModelM4: return "M4";
    default: return "";
  }
}

std::string least_squares_model_label(const LeastSquaresGrid& g) {
  const std::string name = least_squares_model_name(g.model);
  if (name.empty()) return name;
  return name + (g.weighted ? " weighted" : " unweighted");
}

}  // namespace morvantide
