// The least-squares uncertainty U_LS of every grid: power-series error models
// fitted over all the grids up to that grid and chosen by their standard
// deviation, with a safety factor that depends on the observed order and on
// the scatter of the data (after L. Eca and M. Hoekstra, J. Comput. Phys. 262,
// 2014).  A pure computation: it reads the spacings h, the values Th and the
// asymptotic order pL, and returns one result per grid.  No files, no state.
//
// Definitions.  For grid i >= 4 the estimate uses the grids 1..i: n = i,
// phi_j = Th(j), x_j = h(j) / h(i) (so x_i = 1).
//
//  1. Four error models, each fitted in two forms by minimising
//     S = sum_j w_j (phi_j - f(x_j))^2, unweighted (w_j = 1/n) and weighted
//     towards the fine grids (w_j = (1/x_j) / sum_k (1/x_k)):
//       M1: f = phi0 + alpha x^p     (phi0, alpha, p unknown; k = 3)
//       M2: f = phi0 + alpha x       (k = 2)
//       M3: f = phi0 + alpha x^2     (k = 2)
//       M4: f = phi0 + a1 x + a2 x^2 (k = 3)
//     Linear fits are solved on the rows scaled by sqrt(w_j): M2, M3,
//     M4 by Householder QR (M4's normal equations would lose a third of
//     the digits), M1 at a fixed p by modified Gram-Schmidt, with x^p
//     written as c u^p, u_j = h(j) / (largest h of grids 1..i), which
//     gives the same phi0 and f.  For M1, p is first scanned (in
//     double, only to choose a bracket) over
//     p_k = 0.01 * 2000^(k/1999), k = 0..1999, keeping the smallest S
//     (the first on a tie).  At k = 0 or k = 1999 the form has no order.
//     Otherwise p is the zero of
//     dS/dp = -2 c sum_j w_j r_j u_j^p ln u_j (r_j the residuals of
//     the fit at p) between p_(k-1) and p_(k+1), found by bisection in
//     binary128 until the bracket stops shrinking (the midpoint equals
//     one of its ends); when dS/dp does not go from negative to positive
//     across the bracket it is widened by one scan point on each side,
//     and when it still does not, the form has no order.  A form without
//     an order keeps the fit at its best scan point p_k (p_k evaluated in
//     binary128).
//  2. sigma = sqrt(n S / (n - k)).  Each model keeps the form with the
//     smaller sigma (the unweighted one on a tie); if M1 keeps a form
//     without an order, M1 has no order.
//  3. With p the order of M1: when 0.5 <= p <= pL the fit is M1; when
//     p > pL it is the one of M2, M3 with the smallest sigma; when p < 0.5
//     or M1 has no order, the one of M2, M3, M4 with the smallest sigma
//     (the first on a tie).  eps = |f(x_i) - phi0| of the fit.
//  4. Delta = (max phi - min phi) / (n - 1).  When sigma < Delta:
//       U_LS = Fs eps + sigma + |phi_i - f(x_i)|,
//     Fs = 1.25 when 0.5 <= p < pL + 0.1, else 3 (so an order just above
//     pL gets M2 or M3 with Fs = 1.25);
//     otherwise U_LS = 3 (sigma / Delta) (eps + sigma + |phi_i - f(x_i)|)
//     and Fs = 3.
//     With pL = 2 these are the rules of the paper's Appendix A; another
//     pL moves the upper end of the band of orders to pL.
//     When all n values are equal, U_LS = 0, T0_LS = phi_i, sigma = Delta =
//     eps = 0, and the model, the order and Fs are missing.
//
// Every reported value is binary128; only the scan of p runs in double.
//
// Worked example: h = 8, 4, 2, 1 and Th = 1 + h^2 = 65, 17, 5, 2 with
// pL = 2.  At grid 4, x = 8, 4, 2, 1 and phi = 1 + 1 * x^2 exactly: M1 finds
// p_LS = 2 (to rounding) with sigma = 0 (to rounding), phi0 = T0_LS = 1,
// eps = |f(1) - phi0| = 1 (should rounding put p_LS a hair above 2, M3 fits
// as exactly, with the same phi0 and eps); 0.5 <= p_LS < 2.1 and sigma <
// Delta = 63 / 3 = 21, so Fs = 1.25 and U_LS = 1.25 * 1 + 0 + 0 = 1.25.
// Grids 1, 2 and 3 are missing.
//
// Unsound data never crash or hang: a grid whose grids 1..i hold an h that is
// not a positive finite number or a Th that is not finite, and a grid where
// no model can be fitted (too few distinct h) or a result overflows, is
// missing (every value kSentinel, model 0).
#ifndef MORVANTIDE_CORE_LEAST_SQUARES_H_
#define MORVANTIDE_CORE_LEAST_SQUARES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/quad.h"
#include "model/state.h"

namespace morvantide {


// The error models of the estimator; kNoModel when none was chosen.
inline constexpr int32_t kNoModel = 0;
inline constexpr int32_t kModelM1 = 1;  // phi0 + alpha x^p
inline constexpr int32_t kModelM2 = 2;  // phi0 + alpha x
inline constexpr int32_t kModelM3 = 3;  // phi0 + alpha x^2
inline constexpr int32_t kModelM4 = 4;  // phi0 + a1 x + a2 x^2

// The least-squares result of one grid; kSentinel marks a missing value.
struct LeastSquaresGrid {
  real U_LS = kSentinel;      // the uncertainty of Th at this grid
  real p_LS = kSentinel;      // order of the kept M1 form (even when M1 is not the fit)
  real T0_LS = kSentinel;     // phi0 of the chosen fit
  real sigma_LS = kSentinel;  // standard deviation of the chosen fit
  real Delta_LS = kSentinel;  // data range (max phi - min phi) / (n - 1)
  real Fs_LS = kSentinel;     // safety factor of step 4 (1.25 or 3)
  real eps_LS = kSentinel;    // |f(x_i) - phi0| of the chosen fit
  real res_LS = kSentinel;    // |phi_i - f(x_i)| of the chosen fit
  int32_t model = kNoModel;   // kModelM1..kModelM4 of the chosen fit
  bool weighted = false;      // the chosen fit is the weighted form
};

// What the estimator needs of the spacings h alone, formed once per study
// and shared by all its variables: for every grid i >= 4 the relative sizes
// x, the logarithms ln u, the two sets of weights, and the double powers
// u_j^p_k of the order scan (u = h / max h over grids 1..i, so grids with
// the same largest h share one table).  The results are the same bits
// whichever grids and variables share a plan; it only keeps the work from
// being repeated.
// The estimator spreads the grids and the two forms of M1 over the threads
// of common/parallel.h; a plan may be used by several threads at once.
class LeastSquaresPlan {
 public:
  explicit LeastSquaresPlan(const std::vector<real>& h);
  ~LeastSquaresPlan();
  LeastSquaresPlan(const LeastSquaresPlan&) = delete;
  LeastSquaresPlan& operator=(const LeastSquaresPlan&) = delete;

  int32_t grids() const;

  // The shared data, for the estimator's own use.
  struct Impl;
  Impl& impl() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// One result per grid: entry i-1 for grid i, computed from grids 1..i.
// Grids 1 to 3 are always missing.
// REQUIRES: h.size() == Th.size() (grids without a Th value are missing);
//           pL finite (a NaN pL always takes the fixed-order branch).
std::vector<LeastSquaresGrid> least_squares_estimates(const std::vector<real>& h,
                                                      const std::vector<real>& Th, real pL);
// The same with the plan of the study's h.
// REQUIRES: Th.size() == plan.grids().
std::vector<LeastSquaresGrid> least_squares_estimates(const LeastSquaresPlan& plan,
                                                      const std::vector<real>& Th, real pL);

// Studies of more grids than this get U_LS at their finest grid only: the
// cost of every grid grows with the square of the number of grids (about
// 0.75 s of processor time for 100 grids, hours for thousands).
inline constexpr int32_t kLeastSquaresEveryGridMax = 100;

// U_LS as a run reports it: every grid (as least_squares_estimates) for a
// study of at most kLeastSquaresEveryGridMax grids, else, or when
// `finest_only`, the finest grid alone, the others missing.
// REQUIRES: Th.size() == plan.grids().
std::vector<LeastSquaresGrid> least_squares_for_report(const LeastSquaresPlan& plan,
                                                       const std::vector<real>& Th, real pL,
                                                       bool finest_only);

// The result of grid n from the plan's grids 1..n and Th[0..n-1].
// REQUIRES: 1 <= n <= plan.grids().
LeastSquaresGrid least_squares_grid(const LeastSquaresPlan& plan, const real* Th, int32_t n,
                                    real pL);

// The result of the last of the n grids h[0..n-1], Th[0..n-1].
// REQUIRES: h and Th hold n values each.
LeastSquaresGrid least_squares_grid(const real* h, const real* Th, int32_t n, real pL);

// The model with its form, "" for kNoModel or an unknown model.
//   least_squares_model_text(kModelM2, true)   -> "M2 weighted"
//   least_squares_model_text(kModelM4, false)  -> "M4 unweighted"
const char* least_squares_model_text(int32_t model, bool weighted);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_LEAST_SQUARES_H_
