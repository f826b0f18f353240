// The observed order of a sequence on grids with a variable refinement ratio,
// by halving its bracket.  Reads no list: the caller stores the result in
// its own entry (pU_Th or pU_Ti).

#include <cmath>
#include <cstdint>
#include <cstring>

#include "kernel/binary128_arith.h"
#include "core/obter_pu.h"
#include "core/order_residual.h"

namespace morvantide {
namespace {

// A residual at least this large times one at least 2^-80 stays far above
// binary128's smallest subnormal, 2^-16494.
constexpr real kNoUnderflow = 0x1p-16000Q;

// The residual at a point of the search: its binary128 value, or only its
// sign where the double guess proves it (then the value is finite, not
// zero and at least OrderResidual::kLeastDecided in magnitude).
struct Residual {
  bool exact;
  real value;                 // when exact
  OrderResidual::Sign sign;   // when not
};

Residual residual_at(const OrderResidual& f, real x) {
  const OrderResidual::Sign sign = f.sign(x);
  if (sign != OrderResidual::kUnknown) return {false, 0, sign};
  return {true, f.exact(x), OrderResidual::kUnknown};
}

// Whether f(xa) * f(xm) > 0 in binary128, as the search defines it,
// forming a binary128 residual only where the signs cannot tell.
bool same_side(const OrderResidual& f, real xa, const Residual& ra, real xm, const Residual& rm) {
  if (ra.exact && rm.exact) return ra.value * rm.value > 0;
  if (!ra.exact && !rm.exact) return ra.sign == rm.sign;  // |product| >= 2^-160
  const Residual& known = ra.exact ? ra : rm;
  const Residual& guessed = ra.exact ? rm : ra;
  const real v = known.value;
  if (q_isnan(v) || v == 0) return false;
  // With |v| >= 2^-16000 the product is at least 2^-16080 in magnitude, far
  // from binary128's underflow to zero (2^-16494), and an infinite v keeps
  // its sign: the product's sign decides.  A smaller v needs the product.
  if (q_abs(v) >= kNoUnderflow) return (v > 0) == (guessed.sign == OrderResidual::kPositive);
  return v * f.exact(ra.exact ? xm : xa) > 0;
}

}  // namespace

real obter_pU(const SearchSettings& search, real r21, real r32, real psi, real unchanged) {
  const OrderResidual f(r21, r32, psi, q_log10(r21));
  real a = search.pU_min;
  real b = search.pU_max;
  real p = unchanged;
  const int64_t last = search.itmax;  // itmax + 1 must not overflow
  int64_t k = 1;
  // The residual is a pure function: f(a) is carried from the iteration
  // that moved a rather than evaluated again.  Where a cheaper evaluation
  // proves its sign, only the sign is kept (order_residual.h): every test
  // below takes the branch the binary128 values would take, so every
  // iterate is the same.
  Residual fa = last >= 1 ? residual_at(f, a) : Residual{true, 0, OrderResidual::kUnknown};
  for (; k <= last; ++k) {
    const real m = binary128::half(a + b);  // the bits of 0.5 * (a + b)
    p = m;
    const Residual fm = residual_at(f, m);
    const real a_before = a;
    const real b_before = b;
    if (same_side(f, a, fa, m, fm)) {
      a = m;
      fa = fm;
    } else if (b - a <= search.tol) {
      break;
    } else {
      b = m;
    }
    // When halving no longer moves either end, every remaining iteration
    // repeats this one and the loop can only run out: no order.
    if (same_bits(a, a_before) && same_bits(b, b_before)) return kSentinel;
  }
  // Stopped at the last iteration, or ran out of iterations.
  if (k == last || k == last + 1) p = kSentinel;
  return p;
}

namespace {

// Where x lies from the residual's root: -1 below it (the residual is
// negative), 1 at or above it, 0 when the residual is NaN.  The sign is
// the guide's where it proves one.
int side(const OrderResidual& f, real x, Residual* r) {
  *r = residual_at(f, x);
  if (!r->exact) return r->sign == OrderResidual::kNegative ? -1 : 1;
  if (q_isnan(r->value)) return 0;
  return r->value < 0 ? -1 : 1;
}

bool finite_above_one(real r) { return r > 1 && !q_isinf(r) && !q_isnan(r); }

// The outward bracket's limits: below 2^-60 the powers r^p - 1 keep too few
// digits to tell a sign; above 2^14 the powers overflow for any ratio.
constexpr real kLeastOrder = 0x1p-60Q;
constexpr real kLargestOrder = 0x1p14Q;

// Near the root the guide can no longer tell a sign, and the halving would
// form a binary128 residual at each of its last seventy-odd midpoints.  F*,
// the residual in exact arithmetic, increases with x, and exact() lies
// within E of it on the bracket [a, b] (OrderResidual::exact_error).  So
// two residuals beyond 2E, exact(lo) < -2E and exact(hi) > 2E, prove the
// sign at every midpoint outside (lo, hi): at m <= lo, F*(m) <= F*(lo) <
// -E, so exact(m) < 0; at m >= hi, exact(m) > 0 likewise.  Only midpoints
// between lo and hi are formed; every step goes as the plain halving goes.
struct RootZone {
  static constexpr int kTries = 3;
  int tries = 0;
  bool found = false;
  real lo = 0, hi = 0;  // a < lo < hi < b
};

// Guesses the root from m, whose binary128 residual is `value`, and looks
// for lo and hi some 4E either side of it.
void find_zone(const OrderResidual& f, real a, real b, real m, real value, RootZone* zone) {
  ++zone->tries;
  const OrderResidual::Probe pa = f.probe(a);
  const OrderResidual::Probe pb = f.probe(b);
  const double e = f.exact_error(pa, pb);
  const double width = static_cast<double>(b - a);
  const double slope = (pb.fd - pa.fd) / width;
  if (!std::isfinite(e) || !(slope > 0) || !std::isfinite(slope) || q_isnan(value)) return;
  // The guesses only say where lo and hi go; each is a binary128 number
  // whose residual is formed and checked.  The double slope takes the root
  // within some 1e-4 of the step; a secant step through the two binary128
  // residuals then takes it within about E / slope.
  const real guess = m - static_cast<real>(static_cast<double>(value) / slope);
  if (!(a < guess && guess < b) || same_bits(guess, m)) return;
  const real at_guess = f.exact(guess);
  const real secant = (at_guess - value) / (guess - m);
  if (!(secant > 0) || q_isinf(secant)) return;
  const real root = guess - at_guess / secant;
  const real half = static_cast<real>(4 * e / slope);
  const real lo = root - half;
  const real hi = root + half;
  if (!(a < lo && lo < hi && hi < b)) return;
  const real bound = 2 * static_cast<real>(e);
  if (!(f.exact(lo) < -bound) || !(f.exact(hi) > bound)) return;
  zone->found = true;
  zone->lo = lo;
  zone->hi = hi;
}

}  // namespace

real order_on_positive_line(real r21, real r32, real psi) {
  if (!finite_above_one(r21) || !finite_above_one(r32) || q_isnan(psi) || q_isinf(psi)) {
    return kSentinel;
  }
  if (same_bits(r21, r32)) {
    if (!(psi > 1)) return kSentinel;
    return q_log10(psi) / q_log10(r21);
  }
  const real t = q_log(r32) / q_log(r21);
  if (!(psi > t)) return kSentinel;
  const OrderResidual f(r21, r32, psi, q_log10(r21));
  real a = 1;
  real b = 2;
  Residual fa, fb;
  int at_a = side(f, a, &fa);
  if (at_a == 0) return kSentinel;
  if (at_a < 0) {
    for (int at_b = side(f, b, &fb); at_b <= 0; at_b = side(f, b, &fb)) {
      if (at_b == 0) return kSentinel;
      a = b;
      fa = fb;
      b = b * 2;
      if (b > kLargestOrder) return kSentinel;
    }
  } else {
    b = a;
    while (at_a > 0) {
      b = a;
      a = binary128::half(a);
      if (a < kLeastOrder) return kSentinel;
      at_a = side(f, a, &fa);
      if (at_a == 0) return kSentinel;
    }
  }
  // The residual is below zero at a, not below at b.
  RootZone zone;
  for (;;) {
    const real m = binary128::half(a + b);
    if (same_bits(m, a) || same_bits(m, b)) break;
    Residual fm;
    if (zone.found && m <= zone.lo) {
      fm = {false, 0, OrderResidual::kNegative};
    } else if (zone.found && m >= zone.hi) {
      fm = {false, 0, OrderResidual::kPositive};
    } else {
      fm = residual_at(f, m);
      if (fm.exact && !zone.found && zone.tries < RootZone::kTries) {
        find_zone(f, a, b, m, fm.value, &zone);
      }
    }
    if (same_side(f, a, fa, m, fm)) {
      a = m;
      fa = fm;
    } else {
      b = m;
    }
  }
  return b;
}

}  // namespace morvantide
