// The order search's residual, exact and guessed.
//
// Why the guess is safe.  Write u = 2^-53 and v = 2^-113 for the unit
// roundoffs of double and binary128, mu = 2^-45 for a bound on the relative
// error of our own double expm1, exp and log10 (core/guide_math.cc proves
// at most 6.4 u, 2.6 u and 7.4 u, all below 8 u = 2^-50: mu leaves a
// factor 32 to spare), and nu = 2^-100 for a bound on the relative error of
// libquadmath's powq, logq and log10q (documented within a few ulps,
// 2^-111; nu allows 8192).  All inputs are binary128 numbers, taken as
// exact reals: x, r21, r32, psi and L = log10_r21.
//
// The function.  With l1 = ln r21, l2 = ln r32, lambda = log10 psi and
// E_k = expm1(x l_k) = r_k^x - 1:
//   F*(x) = x L - lambda - log10(E1 / E2).
//
// The double guess (sign()).  Set up once: l1, l2 as binary128 logarithms
// rounded to double (relative error <= u + 2 nu <= 1.01 u), L rounded to
// double (<= u), and lambda_d, the double logarithm of psi rounded to
// double when psi is a normal double: psi_d = psi (1 + d), |d| <= u, so
// |log10 psi_d - lambda| = |log10(1 + d)| < 0.4344 u, and log10 adds
// mu' |log10 psi_d| with mu' = 7.4 u (core/guide_math.cc), in all
//   |lambda_d - lambda| <= 7.5 u |lambda_d| + 0.4344 u;
// otherwise lambda_d is log10q(psi) rounded, within 1.02 u |lambda_d|.
// Either way |lambda_d - lambda| <= a_l u |lambda_d| + b_l u.
// At x: xd = x rounded (<= u, x a normal double),
//   y_k = xd l_k       = x l_k (1 + t_k),   |t_k| <= 3.04 u
//   g_k = expm1(y_k),  z = g1 / g2,  w = log10(z),
//   P = xd L,  s = P - lambda_d,  Fd = s - w.
// g_k against E_k: expm1(a + D) / expm1(a) - 1 = e^a (e^D - 1) / expm1(a)
// with D = a t_k; with |y_k| <= 700, |D| < 2^-33, so
//   rho_k = |g_k / E_k - 1| <= 3.05 u K_k + 1.01 mu,
//   K_k = |y_k| e^y_k / |g_k|   (the condition number a e^a / expm1(a),
//                                 evaluated at y_k: within 2^-19 of it).
// Requiring rho_k <= 2^-20 keeps g_k on the side of zero of E_k and makes
// every product of two error terms below 2^-17 of a first-order term.  Then
//   rho_z <= (rho_1 + rho_2 + u)(1 + 2^-18)           (z against E1/E2)
//   |w - log10(E1/E2)| <= 1.01 mu |w| + 0.4344 rho_z   (1/ln 10 < 0.4344)
//   |P - x L| <= 3.02 u |P|,   |lambda_d - lambda| <= a_l u |lambda_d| + b_l u
// and the two subtractions add u |s| and u |Fd|:
//   Ed = u |Fd| + u |s| + 3.02 u |P| + a_l u |lambda_d| + b_l u + 1.01 mu |w|
//        + 0.4344 rho_z  >=  |Fd - F*|.
//
// The binary128 value (exact()) is not F* either.  T_k = powq(r_k, x) has
// relative error nu; T_k - 1 then has relative error
//   rho'_k <= 1.01 nu K'_k + v,   K'_k = e^y_k / |g_k|,
// (large when x ln r_k is near zero: the subtraction cancels), required
// <= 2^-20 as well.  The quotient psi (T1 - 1) / (T2 - 1) has relative
// error rho_Q <= (rho'_1 + rho'_2 + 2 v)(1 + 2^-18); log10q adds
// nu |log10 Q| <= nu (|lambda_d| + |w| + 1), the product x L and the final
// difference 1.01 v |P| and 1.01 v (|P| + |lambda_d| + |w| + 1):
//   Eq = 1.01 v |P| + 1.01 v (|P| + |lambda_d| + |w| + 1)
//        + nu (|lambda_d| + |w| + 1) + 0.4344 rho_Q  >=  |exact(x) - F*|.
//
// The decision.  B = 2 (Ed + Eq): the factor 2 covers the rounding of the
// few double operations that form the bound and every second-order term
// dropped above (each below 2^-17 of a kept one).  When |Fd| > B,
//   |exact(x) - Fd| <= Ed + Eq <= B / 2 < |Fd| / 2,
// so exact(x) has the sign of Fd and |exact(x)| > |Fd| / 2; requiring also
// |Fd| >= 2^-79 gives |exact(x)| >= kLeastDecided = 2^-80.
//
// The ranges that the argument needs, checked before any guess: x, l_k, L
// and y_k normal doubles of magnitude in [2^-900, 2^900]; |y_k| <= 700 (no
// overflow of expm1 or exp, and T_k within binary128's range); psi > 0 with
// |lambda| <= 1000, so psi (T1 - 1) and the quotient stay far inside
// binary128's range and the quotient is positive (g1, g2 of one sign, each
// within 2^-20 of E_k, and so T_k - 1 too): exact(x) is then finite and
// not NaN.  z a positive normal double.  Anything else: kUnknown.

#include "core/order_residual.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/guide_math.h"

namespace morvantide {
namespace {

constexpr double kU = 0x1p-53;
constexpr double kV = 0x1p-113;
constexpr double kMu = 0x1p-45;
constexpr double kNu = 0x1p-100;
constexpr double kLargestRelative = 0x1p-20;  // of g_k and of T_k - 1
constexpr double kSecondOrder = 1 + 0x1p-18;
constexpr double kInvLn10 = 0.4344;  // above 1 / ln 10 = 0.434294...
constexpr double kLeast = 0x1p-900;
constexpr double kMost = 0x1p900;
constexpr double kLargestExponent = 700;  // |x ln r|
constexpr double kLargestLog10Psi = 1000;
constexpr double kLeastFd = 0x1p-79;

// A double of magnitude in [2^-900, 2^900] (false for zero, NaN, infinity).
bool moderate(double a) {
  const double m = std::fabs(a);
  return m >= kLeast && m <= kMost;
}

}  // namespace

OrderResidual::OrderResidual(real r21, real r32, real psi, real log10_r21)
    : r21_(r21), r32_(r32), psi_(psi), log10_r21_(log10_r21) {
  if (!(r21 > 0 && r32 > 0 && psi > 0)) return;  // NaN fails too
  // Rounded to double to guide the search only; never stored back.
  ln_r21_ = static_cast<double>(q_log(r21));
  ln_r32_ = static_cast<double>(q_log(r32));
  const double psi_d = static_cast<double>(psi);
  if (psi_d >= std::numeric_limits<double>::min() && psi_d <= std::numeric_limits<double>::max()) {
    log10_psi_ = guide::log10(psi_d);
    log10_psi_relative_ = 7.5 * kU;
    log10_psi_absolute_ = 0.4344 * kU;
  } else {
    log10_psi_ = static_cast<double>(log10q(psi));
    log10_psi_relative_ = 1.02 * kU;
    log10_psi_absolute_ = 0;
  }
  log10_r21_d_ = static_cast<double>(log10_r21);
  guessable_ = moderate(ln_r21_) && moderate(ln_r32_) && moderate(log10_r21_d_) &&
               std::fabs(log10_psi_) <= kLargestLog10Psi;
}

real OrderResidual::exact(real x) const {
  const real t1 = q_pow(r21_, x);
  const real t2 = q_pow(r32_, x);
  const real q = psi_ * (t1 - 1) / (t2 - 1);
  return x * log10_r21_ - q_log10(q);
}

OrderResidual::Probe OrderResidual::probe(real x) const {
  Probe at;
  if (!guessable_) return at;
  const double xd = static_cast<double>(x);
  if (!moderate(xd)) return at;
  const double y1 = xd * ln_r21_;
  const double y2 = xd * ln_r32_;
  if (!moderate(y1) || !moderate(y2)) return at;
  if (std::fabs(y1) > kLargestExponent || std::fabs(y2) > kLargestExponent) return at;
  double g1, g2, e1, e2;
  guide::expm1_exp(y1, &g1, &e1);
  guide::expm1_exp(y2, &g2, &e2);
  if (g1 == 0 || g2 == 0 || (g1 > 0) != (g2 > 0)) return at;

  const double k1 = e1 / std::fabs(g1);  // K'_1
  const double k2 = e2 / std::fabs(g2);
  const double rho1 = 3.05 * kU * std::fabs(y1) * k1 + 1.01 * kMu;
  const double rho2 = 3.05 * kU * std::fabs(y2) * k2 + 1.01 * kMu;
  const double rho_q1 = 1.01 * kNu * k1 + kV;
  const double rho_q2 = 1.01 * kNu * k2 + kV;
  if (!(rho1 <= kLargestRelative && rho2 <= kLargestRelative && rho_q1 <= kLargestRelative &&
        rho_q2 <= kLargestRelative)) {
    return at;
  }

  const double z = g1 / g2;
  if (!moderate(z)) return at;
  const double w = guide::log10(z);
  const double p = xd * log10_r21_d_;
  const double s = p - log10_psi_;
  const double fd = s - w;

  const double rho_z = (rho1 + rho2 + kU) * kSecondOrder;
  at.ap = std::fabs(p);
  at.aw = std::fabs(w);
  at.e_double = kU * std::fabs(fd) + kU * std::fabs(s) + 3.02 * kU * at.ap +
                log10_psi_relative_ * std::fabs(log10_psi_) + log10_psi_absolute_ +
                1.01 * kMu * at.aw + kInvLn10 * rho_z;
  at.k_quotient = k1 + k2;
  at.fd = fd;
  at.ok = true;
  return at;
}

double OrderResidual::e_quad(double ap, double aw, double k_quotient) const {
  const double al = std::fabs(log10_psi_);
  const double rho_quotient = (1.01 * kNu * k_quotient + 4 * kV) * kSecondOrder;
  return 1.01 * kV * ap + 1.01 * kV * (ap + al + aw + 1) + kNu * (al + aw + 1) +
         kInvLn10 * rho_quotient;
}

double OrderResidual::exact_error(const Probe& a, const Probe& b) const {
  if (!a.ok || !b.ok) return std::numeric_limits<double>::infinity();
  // Eq grows with |P|, |w| and K'_1 + K'_2, and each is monotonic in x
  // (|P| = |x L|; w' has the sign of l1 - l2, as u / (1 - e^-u) increases;
  // r^x / (r^x - 1) decreases): between a and b each is at most its
  // larger end.
  return 2 * e_quad(std::max(a.ap, b.ap), std::max(a.aw, b.aw),
                    std::max(a.k_quotient, b.k_quotient));
}

OrderResidual::Sign OrderResidual::sign(const Probe& at) const {
  if (!at.ok) return kUnknown;
  const double bound = 2 * (at.e_double + e_quad(at.ap, at.aw, at.k_quotient));
  const double fd = at.fd;
  if (!(std::fabs(fd) > bound && std::fabs(fd) >= kLeastFd)) return kUnknown;
  return fd > 0 ? kPositive : kNegative;
}

}  // namespace morvantide
