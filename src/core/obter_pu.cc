// The observed order of a sequence on grids with a variable refinement ratio,
// by halving its bracket.  Reads no list: the caller stores the result in
// its own entry (pU_Th or pU_Ti).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "common/binary128_arith.h"
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

// Intervals of the bracket on which the residual's sign is proven as a
// whole (OrderResidual::span): one each side of the root, or the whole
// bracket when the residual keeps one sign on it.  Midpoints inside them
// need no guess of their own.
struct Spans {
  OrderResidual::Span first, second;
  OrderResidual::Sign sign_at(real x) const {
    if (first.covers(x)) return first.sign;
    if (second.covers(x)) return second.sign;
    return OrderResidual::kUnknown;
  }
};

// Searches shorter than this are not worth the probes that make the spans.
constexpr int64_t kLeastIterationsForSpans = 12;

// The root of the double residual between two probes of opposite signs:
// Newton's method, kept inside the bracket by halving where a step would
// leave it.  Only a guide to where the spans end; NaN when it fails.
double guide_root(const OrderResidual& f, const OrderResidual::Probe& at_a,
                  const OrderResidual::Probe& at_b) {
  double a = at_a.x, b = at_b.x;
  const bool a_positive = at_a.fd > 0;
  double x = 0.5 * (a + b);
  for (int k = 0; k < 16; ++k) {
    const OrderResidual::Probe at = f.probe(real(x));
    if (!at.ok) break;
    if (at.fd == 0) return x;
    if ((at.fd > 0) == a_positive) {
      a = x;
    } else {
      b = x;
    }
    double next = x - at.fd / at.slope;
    if (!(next > std::min(a, b) && next < std::max(a, b))) next = 0.5 * (a + b);
    if (std::fabs(next - x) <= 0x1p-44 * std::fabs(x)) return next;
    x = next;
  }
  return std::numeric_limits<double>::quiet_NaN();
}

// The spans of the bracket [lo, hi]: the whole of it, or one from each end
// to a little short of the guide's root (2^-40 of it, then 2^-28 when that
// is too close for the bound).
Spans spans_of(const OrderResidual& f, real lo, real hi) {
  Spans spans;
  const OrderResidual::Probe at_lo = f.probe(lo), at_hi = f.probe(hi);
  if (!at_lo.ok || !at_hi.ok) return spans;
  if ((at_lo.fd > 0) == (at_hi.fd > 0)) {
    spans.first = f.span(lo, at_lo, hi, at_hi);
    return spans;
  }
  const double root = guide_root(f, at_lo, at_hi);
  if (!std::isfinite(root)) return spans;
  for (const double gap : {0x1p-40, 0x1p-28}) {
    const double d = std::fabs(root) * gap;
    if (spans.first.sign == OrderResidual::kUnknown) {
      const real end = real(root - d);
      if (lo < end) spans.first = f.span(lo, at_lo, end, f.probe(end));
    }
    if (spans.second.sign == OrderResidual::kUnknown) {
      const real end = real(root + d);
      if (end < hi) spans.second = f.span(end, f.probe(end), hi, at_hi);
    }
  }
  return spans;
}

Residual residual_at(const OrderResidual& f, const Spans& spans, real x) {
  OrderResidual::Sign sign = spans.sign_at(x);
  if (sign == OrderResidual::kUnknown) sign = f.sign(x);
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
  // The spans change no sign either: they hold what sign() would prove at
  // each of their points.
  Spans spans;
  if (last >= kLeastIterationsForSpans) {
    if (a < b) {
      spans = spans_of(f, a, b);
    } else if (b < a) {
      spans = spans_of(f, b, a);
    }
  }
  Residual fa =
      last >= 1 ? residual_at(f, spans, a) : Residual{true, 0, OrderResidual::kUnknown};
  for (; k <= last; ++k) {
    const real m = binary128::half(a + b);  // the bits of 0.5 * (a + b)
    p = m;
    const Residual fm = residual_at(f, spans, m);
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

}  // namespace morvantide
