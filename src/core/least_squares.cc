// The least-squares uncertainty: the four error models, their two forms, the
// choice of the fit and the uncertainty of each grid (see least_squares.h).

#include "core/least_squares.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <mutex>

#include "common/parallel.h"

namespace morvantide {
namespace {

constexpr int32_t kScanPoints = 2000;
// A column whose part independent of the previous columns is below this
// fraction of its length makes the fit singular: the model is not fitted.
constexpr real kRankTolerance = 1.0e-30Q;
const real kInfinity = q_infinity();
// The order band of the fit: M1 for kLowestOrder <= p <= pL, the safety
// factor kSafetyFit for kLowestOrder <= p < pL + kOrderMargin (with
// sigma < Delta), kSafetyScattered otherwise.
constexpr real kLowestOrder = 0.5Q;
constexpr real kOrderMargin = 0.1Q;
constexpr real kSafetyFit = 1.25Q;
constexpr real kSafetyScattered = 3;

bool is_finite(real x) { return finiteq(x) != 0; }

// Scan point k: 0.01 * 2000^(k/1999), in binary128.
real scan_order(int32_t k) {
  return 0.01Q * q_pow(2000, q_from_int(k) / q_from_int(kScanPoints - 1));
}

// Scan point k in double, only to choose the bracket of the order.
double scan_order_double(int32_t k) {
  return 0.01 * std::pow(2000.0, static_cast<double>(k) / (kScanPoints - 1));
}

// The fixed data of grid n (grids 1..n), from h alone: relative sizes x,
// u_j = h(j) / max h with ln u_j, and the two sets of weights.
struct Geometry {
  bool h_ok = false;  // every h positive and finite
  bool ok = false;    // x, the weights and u usable
  std::vector<real> x, ln_u;
  std::vector<real> w[2];  // [0] unweighted, [1] weighted
  real sw[2] = {0, 0};     // sum of each set of weights, in grid order
  // The same in double for the scan, and the table of its powers.
  std::vector<double> ln_u_d, w_d[2];
  const std::vector<double>* powers = nullptr;  // [j * kScanPoints + k], or none
};

Geometry make_geometry(const std::vector<real>& h, int32_t n) {
  Geometry g;
  real h_max = 0;
  for (int32_t j = 0; j < n; ++j) {
    if (!(h[j] > 0) || !is_finite(h[j])) return g;
    if (h[j] > h_max) h_max = h[j];
  }
  g.h_ok = true;
  g.x.resize(n);
  g.ln_u.resize(n);
  g.w[0].assign(n, 1 / q_from_int(n));
  g.w[1].resize(n);
  real inverse_sum = 0;
  bool u_ok = true;
  for (int32_t j = 0; j < n; ++j) {
    g.x[j] = h[j] / h[n - 1];
    const real u = h[j] / h_max;
    u_ok = u_ok && u > 0;
    g.ln_u[j] = logq(u);
    g.w[1][j] = 1 / g.x[j];
    inverse_sum += g.w[1][j];
  }
  for (int32_t j = 0; j < n; ++j) g.w[1][j] /= inverse_sum;
  g.ok = u_ok;
  for (int32_t j = 0; j < n; ++j) {
    if (!is_finite(g.x[j]) || !is_finite(g.w[1][j])) g.ok = false;
  }
  if (!g.ok) return g;
  g.ln_u_d.resize(n);
  for (int32_t f = 0; f < 2; ++f) {
    g.w_d[f].resize(n);
    for (int32_t j = 0; j < n; ++j) {
      g.sw[f] += g.w[f][j];
      g.w_d[f][j] = static_cast<double>(g.w[f][j]);
    }
  }
  for (int32_t j = 0; j < n; ++j) g.ln_u_d[j] = static_cast<double>(g.ln_u[j]);
  return g;
}

// The double scan orders and, lazily, their binary128 values.
const std::vector<double>& scan_orders_double() {
  static const std::vector<double> orders = [] {
    std::vector<double> p(kScanPoints);
    for (int32_t k = 0; k < kScanPoints; ++k) p[k] = scan_order_double(k);
    return p;
  }();
  return orders;
}

// Powers y[j * kScanPoints + k] = exp(p_k ln u_j) in double for j < n.
std::vector<double> scan_powers(const std::vector<double>& ln_u, int32_t n) {
  const std::vector<double>& p = scan_orders_double();
  std::vector<double> y(static_cast<size_t>(n) * kScanPoints);
  for (int32_t j = 0; j < n; ++j) {
    double* row = &y[static_cast<size_t>(j) * kScanPoints];
    for (int32_t k = 0; k < kScanPoints; ++k) row[k] = std::exp(p[k] * ln_u[j]);
  }
  return y;
}

// Tables of powers are kept for studies up to this many grids (a table
// holds 2000 doubles per grid); larger ones compute the powers per grid.
// At most kMaxTables tables (h that grows again after the first grid gives
// one per new largest h).
constexpr int32_t kMaxTableGrids = 256;
constexpr int32_t kMaxTables = 4;

}  // namespace

struct LeastSquaresPlan::Impl {
  std::vector<real> h;
  std::vector<Geometry> geometry;  // entry n-1 for grid n >= 4 (when kept)
  // One table per largest h (the grid where it first occurs), shared by
  // every grid whose grids 1..n have that largest h.
  std::vector<std::unique_ptr<std::vector<double>>> tables;
  int32_t table_count = 0;
  std::vector<real> orders;  // binary128 scan orders, filled when needed
  std::vector<bool> order_known;

  std::mutex orders_mu;  // grids and forms run on several threads

  real order(int32_t k) {
    std::lock_guard<std::mutex> lock(orders_mu);
    if (!order_known[k]) {
      orders[k] = scan_order(k);
      order_known[k] = true;
    }
    return orders[k];
  }
};

namespace {

// The data of one grid: its geometry and this variable's values; for each
// form the weighted mean of phi and phi minus it.
struct Data {
  int32_t n = 0;
  const Geometry* g = nullptr;
  std::vector<real> phi;
  real phim[2] = {0, 0};
  std::vector<real> dphi[2];
};

// A fitted form: coefficients of the basis, sigma, and f at the finest
// grid.  ok is false when the columns are dependent or a value overflowed.
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
// Form f (0 unweighted, 1 weighted); y holds n places for the powers.  The
// sums of w and w phi do not depend on p: they are formed once per form
// (Data::phim, Data::dphi), in the same order, so they are the same bits.
Fit fit_m1(real p, const Data& d, int32_t f, std::vector<real>& y) {
  Fit fit;
  const int32_t n = d.n;
  const std::vector<real>& w = d.g->w[f];
  const std::vector<real>& ln_u = d.g->ln_u;
  real ym = 0, length = 0;
  for (int32_t j = 0; j < n; ++j) {
    // exp(p * 0) is 1 exactly: the grids of the largest h need no power.
    y[j] = ln_u[j] == 0 ? real(1) : q_exp(p * ln_u[j]);
    const real wy = w[j] * y[j];
    ym += wy;
    length += wy * y[j];
  }
  ym /= d.g->sw[f];
  real syy = 0, syphi = 0;
  for (int32_t j = 0; j < n; ++j) {
    const real dy = y[j] - ym;
    const real wdy = w[j] * dy;
    syy += wdy * dy;
    syphi += wdy * d.dphi[f][j];
  }
  // y dependent on the column of ones: no fit (also NaN).
  if (!(syy > kRankTolerance * kRankTolerance * length)) return fit;
  const real alpha = syphi / syy;
  const real phi0 = d.phim[f] - alpha * ym;
  real S = 0, sum_dS = 0;
  for (int32_t j = 0; j < n; ++j) {
    const real fj = phi0 + alpha * y[j];
    const real r = d.phi[j] - fj;
    const real wr = w[j] * r;
    S += wr * r;
    sum_dS += wr * y[j] * ln_u[j];
  }
  fit.c[0] = phi0;
  fit.c[1] = alpha;
  fit.f_fine = phi0 + alpha * y[n - 1];
  fit.sum_dS = sum_dS;
  fit.sigma = sqrtq(q_from_int(n) * S / q_from_int(n - 3));  // k = 3: phi0, alpha, p
  fit.ok = n > 3 && is_finite(fit.sigma) && is_finite(fit.f_fine) && is_finite(sum_dS);
  return fit;
}

// dS/dp of M1 from its fit; NaN when the fit failed.
real m1_slope(const Fit& fit) {
  if (!fit.ok) return nanq("");
  return -2 * fit.c[1] * fit.sum_dS;
}

// The fixed-order models M2, M3, M4 in one form.
Fit fit_fixed(int32_t model, const Data& d, const std::vector<real>& w) {
  const int32_t n = d.n;
  const int32_t columns = model == kModelM4 ? 3 : 2;
  std::vector<real> B(static_cast<size_t>(columns) * n);
  for (int32_t j = 0; j < n; ++j) {
    const real x = d.g->x[j];
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

// The scan of p in double for both forms: best[f] is the scan point of
// least S of form f, or -1 when no point could be fitted.  The values enter
// as (phi_j - phi_i) / (max - min) so that double keeps the digits of their
// differences.  Each scan point's sums run over the grids in order exactly
// as one point at a time would, only all points at once (the loops over
// the points have no dependence between them), with the powers from the
// plan's table when it has one.
void scan_orders(const Data& d, real phi_range, int32_t best[2]) {
  const int32_t n = d.n;
  const Geometry& g = *d.g;
  constexpr int32_t K = kScanPoints;
  std::vector<double> z(n);
  for (int32_t j = 0; j < n; ++j) {
    z[j] = static_cast<double>((d.phi[j] - d.phi[n - 1]) / phi_range);
  }
  std::vector<double> own;
  if (g.powers == nullptr) own = scan_powers(g.ln_u_d, n);
  const double* y = g.powers != nullptr ? g.powers->data() : own.data();
  std::vector<double> ym(K), syy(K), syz(K), slope(K), S(K);
  for (int32_t f = 0; f < 2; ++f) {
    const std::vector<double>& w = g.w_d[f];
    // Two columns by modified Gram-Schmidt: centre on the weighted means.
    double zm = 0;
    std::fill(ym.begin(), ym.end(), 0.0);
    for (int32_t j = 0; j < n; ++j) {
      const double* yj = y + static_cast<size_t>(j) * K;
      const double wj = w[j];
      for (int32_t k = 0; k < K; ++k) ym[k] += wj * yj[k];
      zm += wj * z[j];
    }
    std::fill(syy.begin(), syy.end(), 0.0);
    std::fill(syz.begin(), syz.end(), 0.0);
    for (int32_t j = 0; j < n; ++j) {
      const double* yj = y + static_cast<size_t>(j) * K;
      const double wj = w[j];
      const double dz = z[j] - zm;
      for (int32_t k = 0; k < K; ++k) {
        const double dy = yj[k] - ym[k];
        const double wdy = wj * dy;
        syy[k] += wdy * dy;
        syz[k] += wdy * dz;
      }
    }
    for (int32_t k = 0; k < K; ++k) slope[k] = syz[k] / syy[k];
    std::fill(S.begin(), S.end(), 0.0);
    for (int32_t j = 0; j < n; ++j) {
      const double* yj = y + static_cast<size_t>(j) * K;
      const double wj = w[j];
      const double dz = z[j] - zm;
      for (int32_t k = 0; k < K; ++k) {
        const double r = dz - slope[k] * (yj[k] - ym[k]);
        S[k] += wj * r * r;
      }
    }
    double least = HUGE_VAL;
    best[f] = -1;
    for (int32_t k = 0; k < K; ++k) {
      if (!(syy[k] > 0)) continue;
      if (S[k] < least) {  // strictly: the first point on a tie
        least = S[k];
        best[f] = k;
      }
    }
  }
}

// The order of form f of M1 from its best scan point: the zero of dS/dp by
// bisection in binary128, within p_(k-1)..p_(k+1), else within
// p_(k-2)..p_(k+2).
M1Form locate_order(int32_t best, const Data& d, int32_t f, LeastSquaresPlan::Impl& plan) {
  M1Form form;
  std::vector<real> y(d.n);
  if (best < 0) return form;
  const int32_t last = kScanPoints - 1;
  bool found = false;
  real lo = 0, hi = 0;
  // The last fit formed, kept for the fit at the located order.
  real last_p = 0;
  Fit last_fit;
  auto fit_at = [&](real p) {
    last_fit = fit_m1(p, d, f, y);
    last_p = p;
    return last_fit;
  };
  if (best > 0 && best < last) {
    for (int32_t widen = 1; widen <= 2 && !found; ++widen) {
      lo = plan.order(best - widen < 0 ? 0 : best - widen);
      hi = plan.order(best + widen > last ? last : best + widen);
      found = m1_slope(fit_at(lo)) < 0 && m1_slope(fit_at(hi)) > 0;
    }
  }
  if (!found) {
    form.fit = fit_m1(plan.order(best), d, f, y);  // no order: sigma at the scan point
    return form;
  }
  real p = lo;
  for (;;) {
    const real mid = lo + (hi - lo) / 2;
    if (!(mid > lo && mid < hi)) break;  // the bracket stops shrinking
    const real slope = m1_slope(fit_at(mid));
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
  form.fit = last_p == p ? last_fit : fit_m1(p, d, f, y);
  if (form.fit.ok) {
    form.p = p;
  } else {
    form.fit = fit_m1(plan.order(best), d, f, y);
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

LeastSquaresPlan::LeastSquaresPlan(const std::vector<real>& h) : impl_(std::make_unique<Impl>()) {
  Impl& p = *impl_;
  p.h = h;
  const int32_t nm = static_cast<int32_t>(h.size());
  p.orders.resize(kScanPoints);
  p.order_known.assign(kScanPoints, false);
  if (nm > kMaxTableGrids) return;  // geometry and powers formed per grid
  p.geometry.resize(nm);
  p.tables.resize(nm);
  int32_t largest = 0;  // the grid of the largest h so far
  for (int32_t n = 1; n <= nm; ++n) {
    if (h[n - 1] > h[largest]) largest = n - 1;
    if (n < kFirstLeastSquares) continue;
    Geometry& g = p.geometry[n - 1];
    g = make_geometry(h, n);
    if (!g.ok) continue;
    // ln u of grids 1..n depends only on the grid of the largest h; the
    // table of that grid covers every grid up to nm.
    std::unique_ptr<std::vector<double>>& table = p.tables[largest];
    if (!table && p.table_count < kMaxTables) {
      ++p.table_count;
      std::vector<double> ln_u(nm);
      for (int32_t j = 0; j < nm; ++j) {
        const real u = h[j] / h[largest];
        ln_u[j] = j < n ? g.ln_u_d[j] : static_cast<double>(logq(u));
      }
      table = std::make_unique<std::vector<double>>(scan_powers(ln_u, nm));
    }
    g.powers = table.get();  // none: formed per grid
  }
}

LeastSquaresPlan::~LeastSquaresPlan() = default;

int32_t LeastSquaresPlan::grids() const { return static_cast<int32_t>(impl_->h.size()); }

LeastSquaresGrid least_squares_grid(const LeastSquaresPlan& plan, const real* Th, int32_t n,
                                    real pL) {
  LeastSquaresGrid g;
  if (n < kFirstLeastSquares) return g;
  LeastSquaresPlan::Impl& p = plan.impl();
  Geometry own;
  const Geometry* geometry = nullptr;
  if (!p.geometry.empty()) {
    geometry = &p.geometry[n - 1];
  } else {
    own = make_geometry(p.h, n);
    geometry = &own;
  }
  if (!geometry->h_ok) return g;
  real phi_min = 0, phi_max = 0;
  for (int32_t j = 0; j < n; ++j) {
    if (!is_finite(Th[j])) return g;
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
  if (!geometry->ok) return g;
  Data d;
  d.n = n;
  d.g = geometry;
  d.phi.assign(Th, Th + n);
  for (int32_t f = 0; f < 2; ++f) {
    const std::vector<real>& w = geometry->w[f];
    real phim = 0;
    for (int32_t j = 0; j < n; ++j) phim += w[j] * d.phi[j];
    phim /= geometry->sw[f];
    d.phim[f] = phim;
    d.dphi[f].resize(n);
    for (int32_t j = 0; j < n; ++j) d.dphi[f][j] = d.phi[j] - phim;
  }

  // Step 1 and 2: every model in both forms, the kept form of each.
  int32_t best[2];
  scan_orders(d, range, best);
  // The two forms' order searches are independent: one per thread.
  M1Form m1[2];
  parallel_for(0, 2, 1, [&](int64_t b, int64_t e) {
    for (int64_t f = b; f < e; ++f) m1[f] = locate_order(best[f], d, static_cast<int32_t>(f), p);
  });
  const int32_t m1_form = keep_form(m1[0].fit, m1[1].fit);
  Fit fixed[3];
  int32_t fixed_form[3];
  for (int32_t m = 0; m < 3; ++m) {
    const Fit unweighted = fit_fixed(kModelM2 + m, d, geometry->w[0]);
    const Fit weighted = fit_fixed(kModelM2 + m, d, geometry->w[1]);
    fixed_form[m] = keep_form(unweighted, weighted);
    fixed[m] = fixed_form[m] == 1 ? weighted : unweighted;
  }

  // Step 3: the fit.  The band of orders where M1 is used; above it only
  // the fixed orders 1 and 2 compete, below it (or without an order) all
  // three fixed-order models.
  const real order = m1_form < 0 ? kSentinel : m1[m1_form].p;
  const bool has_order = order != kSentinel;
  const Fit* fit = nullptr;
  if (has_order && order >= kLowestOrder && order <= pL) {
    fit = &m1[m1_form].fit;
    g.model = kModelM1;
    g.weighted = m1_form == 1;
  } else {
    const int32_t models = has_order && order > pL ? 2 : 3;
    for (int32_t m = 0; m < models; ++m) {
      if (fixed_form[m] < 0) continue;
      if (fit == nullptr || fixed[m].sigma < fit->sigma) {  // the first on a tie
        fit = &fixed[m];
        g.model = kModelM2 + m;
        g.weighted = fixed_form[m] == 1;
      }
    }
    if (fit == nullptr) return LeastSquaresGrid();  // no model could be fitted
  }

  // Step 4: the safety factor and the uncertainty, by the scatter of the data.
  const real sigma = fit->sigma;
  const bool scattered = !(sigma < Delta);
  g.Fs_LS = has_order && order >= kLowestOrder && order < pL + kOrderMargin && !scattered
                ? kSafetyFit
                : kSafetyScattered;
  const real eps = q_abs(fit->f_fine - fit->c[0]);
  const real res = q_abs(phi_fine - fit->f_fine);
  const real U = scattered ? kSafetyScattered * (sigma / Delta) * (eps + sigma + res)
                           : g.Fs_LS * eps + sigma + res;
  if (!is_finite(U) || !is_finite(eps) || !is_finite(res)) return LeastSquaresGrid();
  g.U_LS = U;
  g.p_LS = order;
  g.T0_LS = fit->c[0];
  g.sigma_LS = sigma;
  g.Delta_LS = Delta;
  g.eps_LS = eps;
  g.res_LS = res;
  return g;
}

LeastSquaresGrid least_squares_grid(const real* h, const real* Th, int32_t n, real pL) {
  const LeastSquaresPlan plan(std::vector<real>(h, h + n));
  return least_squares_grid(plan, Th, n, pL);
}

std::vector<LeastSquaresGrid> least_squares_estimates(const LeastSquaresPlan& plan,
                                                      const std::vector<real>& Th, real pL) {
  const int32_t grids = plan.grids();
  std::vector<LeastSquaresGrid> out(grids);
  const int32_t n = grids < static_cast<int32_t>(Th.size()) ? grids
                                                            : static_cast<int32_t>(Th.size());
  // Each grid is computed from the inputs alone, so the grids can run on
  // several threads with the same bits; the costliest (finest) first.
  const int32_t computed = n < kFirstLeastSquares ? 0 : n - kFirstLeastSquares + 1;
  parallel_for(0, computed, 1, [&](int64_t b, int64_t e) {
    for (int64_t k = b; k < e; ++k) {
      const int32_t i = n - static_cast<int32_t>(k);
      out[i - 1] = least_squares_grid(plan, Th.data(), i, pL);
    }
  });
  return out;
}

std::vector<LeastSquaresGrid> least_squares_for_report(const LeastSquaresPlan& plan,
                                                       const std::vector<real>& Th, real pL,
                                                       bool finest_only) {
  const int32_t n = static_cast<int32_t>(Th.size());
  if (!finest_only && n <= kLeastSquaresEveryGridMax) return least_squares_estimates(plan, Th, pL);
  std::vector<LeastSquaresGrid> out(Th.size());
  if (n > 0) out.back() = least_squares_grid(plan, Th.data(), n, pL);
  return out;
}

std::vector<LeastSquaresGrid> least_squares_estimates(const std::vector<real>& h,
                                                      const std::vector<real>& Th, real pL) {
  const LeastSquaresPlan plan(h);
  return least_squares_estimates(plan, Th, pL);
}

const char* least_squares_model_text(int32_t model, bool weighted) {
  static const char* const kTexts[][2] = {{"M1 unweighted", "M1 weighted"},
                                          {"M2 unweighted", "M2 weighted"},
                                          {"M3 unweighted", "M3 weighted"},
                                          {"M4 unweighted", "M4 weighted"}};
  if (model < kModelM1 || model > kModelM4) return "";
  return kTexts[model - kModelM1][weighted ? 1 : 0];
}

}  // namespace morvantide
