// The residual of the order search, evaluated exactly (binary128, the
// value the search is defined by) and guessed cheaply (double) with a
// proven bound, so that the search asks for the exact value only where the
// guess cannot tell its sign.
//
// The residual of the order x for ratios r21, r32 and convergence ratio psi:
//   F(x) = x * L - log10(psi * (r21^x - 1) / (r32^x - 1)),  L = log10(r21),
// evaluated in binary128 as r21^x, r32^x, the quotient, the logarithm, the
// difference (exact()).  sign() tells the sign of exact(x) without forming
// it, or says it cannot: a double evaluation of the same function and a
// bound on its distance from exact(x); see order_residual.cc for the error
// analysis.  No binary128 value ever passes through double: the double
// figures only choose a branch that exact() would choose.
//
//   OrderResidual f(2, 2, 4, log10(2));   // zero at x = 2
//   f.sign(1.0) -> kNegative  (exact(1) = log10(2) - log10(4 * 1 / 1) < 0)
//   f.sign(3.0) -> kPositive
//   f.sign(2.0) -> kUnknown   (exact(2) is within rounding of zero)
#ifndef MORVANTIDE_CORE_ORDER_RESIDUAL_H_
#define MORVANTIDE_CORE_ORDER_RESIDUAL_H_

#include "common/quad.h"

namespace morvantide {

class OrderResidual {
 public:
  enum Sign { kNegative = -1, kUnknown = 0, kPositive = 1 };

  // log10_r21 is log10(r21) as the caller forms it (q_log10(r21)).
  OrderResidual(real r21, real r32, real psi, real log10_r21);

  // F(x) in binary128: r21^x, r32^x, psi (r21^x - 1) / (r32^x - 1), then
  // x log10_r21 minus its log10.
  real exact(real x) const;

  // The sign of exact(x) when the double evaluation proves it: then
  // exact(x) is also finite, not zero, and no smaller in magnitude than
  // kLeastDecided.  kUnknown otherwise (near a root, out of the ranges the
  // bound covers, or when the data rule the guess out).
  Sign sign(real x) const { return sign(probe(x)); }

  // A lower bound of |exact(x)| whenever sign(x) is not kUnknown.
  static constexpr double kLeastDecided = 0x1p-80;

  // What the double evaluation found at one point: sign() decides from
  // it.  With ok false (a range the bound
  // needs does not hold) the figures are meaningless.
  struct Probe {
    bool ok = false;
    double fd = 0;        // the double residual Fd
    double e_double = 0;  // the bound of |Fd - F*|
    double ap = 0, aw = 0, k_quotient = 0;  // |P|, |w|, K'_1 + K'_2
  };
  Probe probe(real x) const;
  Sign sign(const Probe& at) const;
  // A bound of |exact(x) - F*(x)| for every x between the probes' points
  // a < b, F* the residual in exact arithmetic (twice the analysis' bound,
  // as sign() takes it); infinity where a probe does not hold.
  double exact_error(const Probe& a, const Probe& b) const;

 private:
  // The bound of |exact(x) - F*(x)| from |P|, |w| and K'_1 + K'_2 at x.
  double e_quad(double ap, double aw, double k_quotient) const;

  real r21_, r32_, psi_, log10_r21_;
  // Set up once per search (binary128 logarithms rounded to double).
  bool guessable_ = false;
  double ln_r21_ = 0, ln_r32_ = 0, log10_psi_ = 0, log10_r21_d_ = 0;
  // The bound of log10_psi_'s error: relative times |log10_psi_|, plus absolute.
  double log10_psi_relative_ = 0, log10_psi_absolute_ = 0;
};

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_ORDER_RESIDUAL_H_
