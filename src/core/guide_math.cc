// expm1, exp and log10 in double, and why their errors are bounded.
//
// Rounding.  u = 2^-53.  Each operation rounds to nearest:
// fl(a op b) = (a op b)(1 + d), |d| <= u, while the result is normal (each
// place where it could be smaller says why it is not).  gamma_n = n u /
// (1 - n u) bounds |t| in a product of n factors (1 + d_i)^(+-1) = 1 + t.
// The figures are rounded up and include the second-order terms that the
// text leaves out (computed once with 200-bit arithmetic).  Where the target
// fuses a multiply and an add, that only removes a rounding: every bound
// still holds.
//
// Horner.  p(x) = sum a_i x^i, i = 0..N, stored as a_i (1 + c_i), |c_i| <= u
// (c_i = 0 when a_i is a double), evaluated q = a_N, q = fl(fl(q x) + a_i)
// for i = N-1..0: the result is sum a_i x^i (1 + t_i), the term of degree i
// having passed through 2i + 1 roundings (2N for i = N) and its
// coefficient's, n_i in all, so
//   |p^(x) - p(x)| <= sum gamma_{n_i} |a_i| |x|^i.
//
// The expm1 polynomial, for |r| <= 0.35: e^ = fl(r P^(r)),
// P(r) = sum_{i=0..13} r^i / (i+1)! (1 and 1/2 exact, the rest rounded).
// expm1(r) / r >= (1 - e^-0.35) / 0.35 > 0.8437 on the interval, so the
// truncation, sum_{i>=14} 0.35^i / (i+1)! / 0.8437, is below 2^-61 = 0.004 u,
// Horner adds sum gamma_{n_i} 0.35^i / (i+1)! / 0.8437 <= 1.972 u and the
// product by r one rounding:
//   e^ = expm1(r) (1 + t_p),  |t_p| <= 2.975 u.
// For |r| < 2^-54, e^ = r: off by at most r^2 (1/2 + |r|) < 0.51 u
// |expm1(r)|.  Otherwise every partial sum exceeds 2^-37 and every product
// 2^-91: nothing underflows.
//
// Reduction, for 0.35 < |y| <= 709.  k is fl(y fl(1/ln2)) rounded to the
// nearest integer (adding and subtracting 1.5 2^52 does that).  The product
// is within 2.01 u 1023 < 2^-41.9 of y / ln2, so |k - y / ln2| <= 1/2 +
// 2^-41.9, |k| <= 1023 and r* = y - k ln2 has |r*| <= 0.346574.  ln2_hi
// carries 42 significant bits: k ln2_hi is exact (|k| < 2^11), and
// L = ln2 - ln2_hi is below 2^-44.  r1 = y - k ln2_hi is exact (Sterbenz:
// y and k ln2_hi have one sign and |k ln2_hi| / 2 <= |y| <= 2 |k ln2_hi|,
// the left side from |y| > 0.35 when k = +-1).  ln2_lo is L rounded, so
// c = fl(k ln2_lo) is within 2.01 u 1023 |L| < 2^-32 u of k L, and
// r = fl(r1 - c) has
//   |r - r*| <= u |r1 - c| + 2^-32 u <= 0.347 u =: eps_r,
// so |r| < 0.35: the polynomial applies.  r1 is a multiple of 2^-54 and c,
// at least 2^-45 in magnitude, a multiple of 2^-97, so r is zero or at least
// 2^-97 in magnitude.  1 + e^ = e^r + expm1(r) t_p = e^r (1 + t'), with
// |t'| = |1 - e^-r| |t_p| <= (e^0.35 - 1) 2.975 u <= 1.247 u, and e^r =
// e^r* e^(r - r*), 2^k e^r* = e^y:
//   2^k (1 + e^) = e^y (1 + phi),  |phi| <= eps_r + 1.247 u <= 1.594 u.
//
// expm1(y).
//   |y| <= 0.35: e^ at r = y, <= 2.975 u.
//   y < -40: -1, off by e^y / (1 - e^y) < 2^-57 relative.
//   Otherwise fl((2^k - 1) + 2^k e^), 2^k from the bits.  2^k e^ is exact
//   (k >= -58 and e^ zero or above 2^-98: no underflow), 2^k - 1 too when
//   |k| <= 53, and then the sum before rounding is
//     2^k (1 + e^) - 1 = (e^y - 1) + e^y phi,
//   relative error C |phi| with C = e^y / |e^y - 1| the cancellation of the
//   sum, largest at y = 0.35: C < 3.3863.  With the last rounding,
//   (1 + 3.3863 * 1.594 u)(1 + u) - 1 <= 6.4 u.  When |k| >= 54 (|y| > 37),
//   fl(2^k - 1) is off by at most u |2^k - 1| <= 1.42 u |e^y - 1| but
//   C < 1 + 2^-52: (1 + 1.594 u + 1.42 u)(1 + u) - 1 <= 4.1 u.
//   Bound: expm1 <= 6.4 u.
//
// exp(y).  |y| <= 0.35: fl(1 + e^) at r = y, e^y (1 + t')(1 + d), <= 2.25 u.
// Otherwise fl(1 + e^) 2^k = e^y (1 + phi)(1 + d), <= 2.6 u; the product by
// 2^k is exact while the result is normal and finite: -708 <= y <= 709
// (e^-708 > 2^-1021.4).  Bound: exp <= 2.6 u.
//
// log10(z), z positive and finite.  z = 2^e m, m in [T/2, T), T = fl(sqrt 2)
// (a subnormal z is scaled by 2^54 first), |e| <= 1075.  f = m - 1 is exact
// (Sterbenz) and s = fl(f / fl(m + 1)) = s* (1 + sigma), s* = f / (m + 1),
// |sigma| <= 2u / (1 - u).  |s*| <= (T - 1) / (T + 1) < 0.171573, so
// w = fl(s s) <= W = 0.029438 and |w - s*^2| <= 5.01 u s*^2.  f, when not
// zero, is at least 2^-53 (m's last bit), so w > 2^-112: nothing underflows.
//   ln m = 2 atanh(s*) = 2 s* A(s*^2),  A(w) = sum_{j>=0} w^j / (2j + 1) >= 1,
// and Q is A cut after j = 10: the truncation, sum_{j>=11} W^j / (2j + 1), is
// below 0.006 u; Horner at w (1 exact, 1/3 .. 1/21 rounded) adds
// sum gamma_{n_j} W^j / (2j + 1) <= 1.041 u; the argument's error adds
// |w - s*^2| Q'(W) <= 5.01 u W 0.35 <= 0.052 u.  So Q^ = A(s*^2)(1 + eta),
// |eta| <= 1.098 u, and
//   ln_m = fl(2 s Q^) = ln m (1 + lambda),  |lambda| <= 4.10 u
// (sigma, eta, the product).  M^ = fl(ln_m fl(1/ln 10)), the constant within
// 0.23 u: M^ = M (1 + lambda10), M = ln m / ln 10, |lambda10| <= 5.33 u.
//   e = 0 (z in [T/2, T), so every z near 1): the result is M^, <= 5.33 u.
//   e != 0: fl(e lg2_hi + fl(fl(e lg2_lo) + M^)), where lg2_hi carries 42
//   significant bits (e lg2_hi exact, |e| < 2^11), G = log10 2 - lg2_hi is
//   below 2^-44 and lg2_lo is G rounded.  The value is V = e log10 2 + M with
//   |M| <= log10 T < log10(2) / 2 (1 + 2^-51) and |V| >= |e| log10 2 -
//   log10 T, so |M| <= (1 + 2^-50) |V|: the cancellation factor,
//   1 at e = +-1 with m at an end of its range.  fl(e lg2_lo) is within
//   2.01 u 1075 2^-44 < 2^-84 of e G, and |e G| < 2^-41 |V|.  The errors:
//   lambda10 |M| + u |e G + M| + u |V| + 2^-84 (|V| > 0.15):
//   (5.33 + 1 + 1) u + ... <= 7.4 u.
//   Bound: log10 <= 7.4 u.

#include "core/guide_math.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace morvantide {
namespace guide {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr double kPolynomialRange = 0.35;  // |r| of the expm1 polynomial
constexpr double kTiny = 0x1p-54;          // below it, expm1(r) is r
constexpr double kLargest = 709;           // |y| of expm1 and exp
constexpr double kMinusOne = -40;          // below it, expm1(y) is -1
constexpr double kRoundToInteger = 0x1.8p52;

// ln 2 = kLn2Hi + kLn2Lo, kLn2Hi with 42 significant bits.
constexpr double kInvLn2 = 0x1.71547652b82fep+0;
constexpr double kLn2Hi = 0x1.62e42fefa3800p-1;
constexpr double kLn2Lo = 0x1.ef35793c76730p-45;
// log10 2 = kLg2Hi + kLg2Lo, kLg2Hi with 42 significant bits.
constexpr double kLg2Hi = 0x1.34413509f7800p-2;
constexpr double kLg2Lo = 0x1.fef311f12b358p-46;
constexpr double kInvLn10 = 0x1.bcb7b1526e50ep-2;
constexpr double kSqrt2 = 0x1.6a09e667f3bcdp+0;  // T, just above sqrt 2

// 1 / (i+1)!, i = 0..13: expm1(r) = r * sum c_i r^i.
constexpr double kExpm1Coefficients[] = {
    1.0,           1.0 / 2,        1.0 / 6,         1.0 / 24,
    1.0 / 120,     1.0 / 720,      1.0 / 5040,      1.0 / 40320,
    1.0 / 362880,  1.0 / 3628800,  1.0 / 39916800,  1.0 / 479001600,
    1.0 / 6227020800, 1.0 / 87178291200};
// 1 / (2j+1), j = 0..10: atanh(s) = s * sum c_j (s^2)^j.
constexpr double kAtanhCoefficients[] = {1.0,      1.0 / 3,  1.0 / 5,  1.0 / 7,
                                         1.0 / 9,  1.0 / 11, 1.0 / 13, 1.0 / 15,
                                         1.0 / 17, 1.0 / 19, 1.0 / 21};

template <std::size_t N>
double horner(const double (&c)[N], double x) {
  double q = c[N - 1];
  for (std::size_t i = N - 1; i-- > 0;) q = q * x + c[i];
  return q;
}

// e^ = expm1(r) for |r| <= 0.35.
double expm1_polynomial(double r) {
  if (std::fabs(r) < kTiny) return r;
  return r * horner(kExpm1Coefficients, r);
}

// 2^k for -1022 <= k <= 1023, from the bits.
double power_of_two(int k) {
  return std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
}

// y = k ln2 + r, |r| < 0.35, for 0.35 < |y| <= 709.
void reduce(double y, int* k, double* r) {
  const double kd = (y * kInvLn2 + kRoundToInteger) - kRoundToInteger;
  *k = static_cast<int>(kd);
  const double r1 = y - kd * kLn2Hi;  // exact
  *r = r1 - kd * kLn2Lo;
}

}  // namespace

double expm1(double y) {
  const double a = std::fabs(y);
  if (!(a <= kLargest)) return kNaN;
  if (a <= kPolynomialRange) return expm1_polynomial(y);
  if (y < kMinusOne) return -1.0;
  int k;
  double r;
  reduce(y, &k, &r);
  const double em = expm1_polynomial(r);
  const double p = power_of_two(k);
  return (p - 1) + p * em;
}

double exp(double y) {
  const double a = std::fabs(y);
  if (!(a <= kLargest)) return kNaN;
  int k = 0;
  double r = y;
  if (a > kPolynomialRange) reduce(y, &k, &r);
  const double g = 1 + expm1_polynomial(r);
  if (k >= -1022) return g * power_of_two(k);
  return (g * power_of_two(k + 64)) * 0x1p-64;  // a subnormal result, y < -708
}

void expm1_exp(double y, double* m1, double* e) {
  const double a = std::fabs(y);
  if (!(a <= kLargest)) {
    *m1 = *e = kNaN;
    return;
  }
  if (a <= kPolynomialRange) {
    *m1 = expm1_polynomial(y);
    *e = 1 + *m1;  // times 2^0
    return;
  }
  int k;
  double r;
  reduce(y, &k, &r);
  const double em = expm1_polynomial(r);
  const double g = 1 + em;
  *e = k >= -1022 ? g * power_of_two(k) : (g * power_of_two(k + 64)) * 0x1p-64;
  if (y < kMinusOne) {
    *m1 = -1.0;
  } else {
    const double p = power_of_two(k);
    *m1 = (p - 1) + p * em;
  }
}

double log10(double z) {
  if (!(z > 0 && z <= std::numeric_limits<double>::max())) return kNaN;
  int e = 0;
  if (z < std::numeric_limits<double>::min()) {
    z *= 0x1p54;
    e = -54;
  }
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(z);
  e += static_cast<int>(bits >> 52) - 1023;
  double m = std::bit_cast<double>((bits & ((std::uint64_t{1} << 52) - 1)) |
                                   (std::uint64_t{1023} << 52));
  if (m >= kSqrt2) {
    m *= 0.5;
    ++e;
  }
  const double f = m - 1;  // exact
  const double s = f / (m + 1);
  const double w = s * s;
  const double ln_m = (2 * s) * horner(kAtanhCoefficients, w);
  const double ed = e;
  return ed * kLg2Hi + (ed * kLg2Lo + ln_m * kInvLn10);
}

}  // namespace guide
}  // namespace morvantide
