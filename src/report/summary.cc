#include "report/summary.h"

#include <algorithm>
#include <cstdio>

#include "common/decimal.h"
#include "common/digits.h"
#include "common/text.h"

namespace morvantide {

namespace {

constexpr size_t kLabelWidth = 14;
// Significant digits of a quoted uncertainty.
constexpr int kUncertaintyDigits = 2;
// Digits that decide a rounding at a given place (and beyond which the
// quoted value switches to the exponent form).
constexpr int kPlaceDigits = 40;
// The plain form of a quoted value while its last place and its leading
// digit stay within 10^-kPlainLimit .. 10^kPlainLimit.
constexpr int kPlainLimit = 15;

// A value of a list the estimation starts with the sentinel: "n/a" where it
// was not computed.
std::string number(real x) {
  return x == kSentinel ? std::string("n/a") : decimal_digits(x, kSummaryDigits);
}
// Real data (h, Th) or a value always computed (Tm1): its digits whatever
// they are.
std::string value(real x) { return decimal_digits(x, kSummaryDigits); }

// An order to 6 significant digits without trailing zeros: 2, 2.93128.
std::string order_number(real x) {
  std::string text = number(x);
  if (text.find_first_of("en") != std::string::npos || text.find('.') == std::string::npos) {
    return text;
  }
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

// x rounded to a multiple of 10^place (ties to even, on the exact binary
// value): its significant digits and the exponent of the first; "" when it
// rounds to zero.
std::string round_at(real x, int place, int* exponent) {
  std::string probe(kPlaceDigits, '0');
  const int e = scientific_digits(x, kPlaceDigits, probe.data());
  *exponent = place;
  if (x == 0) return "";
  const int count = e - place + 1;
  if (count < 0) return "";
  if (count == 0) {  // |x| below 10^place: 1 at that place above one half of it
    const bool up = probe[0] > '5' ||
                    (probe[0] == '5' && probe.find_first_not_of('0', 1) != std::string::npos);
    return up ? "1" : "";
  }
  std::string digits(static_cast<size_t>(count), '0');
  *exponent = scientific_digits(x, count, digits.data());
  if (*exponent != e) digits += '0';  // a carry to a power of ten: the place stays
  return digits;
}

// The digits D (of exponent e) as plain text with `decimals` places.
std::string plain(bool negative, const std::string& D, int e, int decimals) {
  std::string whole;  // every digit down to the last place, no point
  if (D.empty()) {
    whole = "0";
  } else {
    const int last = e - static_cast<int>(D.size()) + 1;
    whole = D + std::string(static_cast<size_t>(std::max(0, last + decimals)), '0');
  }
  if (static_cast<int>(whole.size()) <= decimals) {
    whole.insert(0, static_cast<size_t>(decimals + 1) - whole.size(), '0');
  }
  if (decimals > 0) whole.insert(whole.size() - static_cast<size_t>(decimals), ".");
  return (negative && !D.empty() ? "-" : "") + whole;
}

// The same as d.ddd e+XX.
std::string exponent_form(bool negative, const std::string& D, int e) {
  if (D.empty()) return "0";
  std::string text = (negative ? "-" : "") + D.substr(0, 1);
  if (D.size() > 1) text += "." + D.substr(1);
  char exp[16];
  std::snprintf(exp, sizeof exp, "e%c%02d", e < 0 ? '-' : '+', e < 0 ? -e : e);
  return text + exp;
}

}  // namespace

std::string measurement_text(real Th, real U) {
  if (U == 0) return distinguishing_text(Th, Th) + " +/- 0";
  char u[kUncertaintyDigits];
  const int eU = scientific_digits(U, kUncertaintyDigits, u);
  const std::string U_digits(u, kUncertaintyDigits);
  const int place = eU - kUncertaintyDigits + 1;
  int eTh = 0;
  const std::string Th_digits = round_at(Th, place, &eTh);
  const bool negative = q_signbit(Th);
  const int top = std::max(eU, Th_digits.empty() ? eU : eTh);
  if (place >= -kPlainLimit && top < kPlainLimit &&
      static_cast<int>(Th_digits.size()) <= kPlaceDigits) {
    const int decimals = std::max(0, -place);
    return plain(negative, Th_digits, eTh, decimals) + " +/- " +
           plain(false, U_digits, eU, decimals);
  }
  if (static_cast<int>(Th_digits.size()) > kPlaceDigits) {
    return decimal_digits(Th, kRoundTripDigits) + " +/- " + exponent_form(false, U_digits, eU);
  }
  return exponent_form(negative, Th_digits, eTh) + " +/- " + exponent_form(false, U_digits, eU);
}

std::string distinguishing_text(real Th, real Th_before) {
  for (int digits = kSummaryDigits; digits <= kRoundTripDigits; ++digits) {
    const std::string text = decimal_digits(Th, digits);
    if (text != decimal_digits(Th_before, digits)) return text;
  }
  return decimal_digits(Th, kSummaryDigits);
}

namespace {

// The order of the uncertainty with the observed order when they differ:
//   "order 2 (observed 2.93128, limited to pL)"
std::string order_text(const Analysis& v, real used) {
  const int32_t n = v.study.nm;
  std::string text = "order " + order_number(used);
  if (n < kFirstRatioTh) return text + " (pL: no observed order from 2 grids)";
  const real observed = v.e.pU_Th(n);
  if (observed == kSentinel || !(observed > 0)) {
    return text + " (pL: no positive observed order)";
  }
  const std::string shown = order_number(observed);
  if (shown != order_number(used)) {
    text += " (observed " + shown + (observed > v.study.pL ? ", limited to pL)" : ")");
  }
  return text;
}

std::string warning(const GridVerdict& g, int32_t nm, bool has_gci) {
  if (g.U_source == UncertaintySource::kConvergenceTest) {
    return g.gci_dependable ? ""
                            : std::string(convergence_words(g.convergence)) +
                                  ": U is not a dependable bound";
  }
  if (!has_gci) {
    if (g.convergence == Convergence::kUndetermined) {
      return "no UGCI at the finest grid: the error is not estimated";
    }
    return std::string(convergence_words(g.convergence)) + ": no UGCI at the finest grid";
  }
  switch (g.convergence) {
    case Convergence::kMonotonicConvergence:
      return "";
    case Convergence::kUndetermined:
      return nm < kFirstRatioTh
                 ? "fewer than 3 grids: the convergence type is unknown and UGCI is not a "
                   "dependable bound"
                 : "the convergence type is undetermined: UGCI is not a dependable bound";
    default:
      break;
  }
  return std::string(convergence_words(g.convergence)) + ": UGCI is not a dependable bound";
}

// U_LS at the finest grid with its model and safety factor:
//   "U_LS = 2.44e-06 (M1 weighted, Fs = 1.25, p_LS = 1.99803)"
std::string least_squares_text(const Analysis& v) {
  const int32_t n = v.study.nm;
  if (n < kFirstLeastSquares) return "U_LS = n/a (needs 4 grids)";
  const LeastSquaresGrid& g = v.ls[n - 1];
  std::string text = "U_LS = " + number(g.U_LS);
  if (g.U_LS == kSentinel) return text;
  if (g.model == kNoModel) return text + " (all values equal)";
  text += std::string(" (") + least_squares_model_text(g.model, g.weighted) +
          ", Fs = " + number(g.Fs_LS);
  if (g.p_LS != kSentinel) text += ", p_LS = " + number(g.p_LS);
  if (!(g.sigma_LS < g.Delta_LS)) text += ", scattered: sigma >= Delta";
  return text + ")";
}

}  // namespace

std::string summary(const Analysis& v, const Target& target, std::string_view line_end) {
  const int32_t n = v.study.nm;
  const GridVerdict& g = v.verdict(n);
  const std::string end(line_end);
  std::string out = "variable " + std::to_string(v.number);
  // A name from a file's header reaches the terminal: no byte of it may
  // move the cursor.
  if (!v.name.empty()) out += " \"" + control_bytes_shown(v.name) + "\"";
  out += ": " + std::to_string(n) + (n == 1 ? " grid" : " grids") +
         ", finest h = " + value(v.study.h(n)) + end;
  auto line = [&](std::string label, const std::string& text) {
    label.resize(kLabelWidth, ' ');
    out += "  " + label + text + end;
  };

  const bool has_gci = n >= kFirstDifference && v.e.UGCI_Th(n) != kSentinel;
  const real Th = v.study.Th(n);
  std::string result = "Th = ";
  if (g.U_source == UncertaintySource::kUGCI) {
    result += measurement_text(Th, g.U) + " (UGCI), " + order_text(v, v.e.pGCI(n));
  } else if (g.U_source == UncertaintySource::kConvergenceTest) {
    result += measurement_text(Th, g.U) +
              " (no UGCI in the listing: the GCI from the convergence test), " +
              order_text(v, q_min(v.e.pU_Th(n), v.study.pL));
  } else {
    result += (n >= kFirstDifference ? distinguishing_text(Th, v.study.Th(n - 1)) : value(Th)) +
              " (no UGCI)";
  }
  line("result", result);
  line("least squares", least_squares_text(v));

  std::string convergence = n < kFirstRatioTh ? std::string("undetermined (needs 3 grids)")
                                              : convergence_words(g.convergence);
  if (n < kFirstRatioTh + 1) {
    convergence += ", asymptotic range undetermined (needs 4 grids)";
  } else {
    convergence += std::string(", ") +
                   (g.asymptotic == Asymptotic::kUndetermined ? "asymptotic range undetermined"
                                                              : asymptotic_words(g.asymptotic)) +
                   " (P = " + number(g.order_ratio) + ", A = " + number(g.gci_ratio) + ")";
  }
  line("convergence", convergence);

  const bool two = n >= kFirstDifference;
  line("estimates", "Umc = Tm1 - Th = " + number(two ? v.e.Umc_Th(n) : kSentinel) +
                        ", Um (error of Tm1) = " + number(two ? v.e.Um_Tm1(n) : kSentinel) +
                        ", Uc (error of Tc) = " + number(v.e.Uc_Tc(n)));
  line("extrapolated", "Tm1 = " + (two ? value(v.e.Tm1(n)) : std::string("n/a")) +
                           " (repeated, true orders), Ti_pU = " +
                           number(n >= kFirstRatioTh ? v.e.Ti_pU(n) : kSentinel) +
                           " (Richardson, observed order)");

  if (target.kind != Target::Kind::kNone) {
    std::string t = "U = " + number(g.target);
    if (target.kind == Target::Kind::kRelative) {
      t += " (" + target.text + " of |Th|)";
    }
    if (!has_gci || g.target == kSentinel) {
      t += ": no grid size can be given without UGCI";
    } else if (g.within_target) {
      t += ": already within the target";
    } else if (g.h_target == kSentinel) {
      t += ": no grid size can be given (U, UGCI and its order must be positive)";
    } else {
      t += ": h* = " + number(g.h_target) + ", refine by " + number(g.refinement);
    }
    line("target", t);
  }

  const std::string order = grid_order_warning(v.study.h);
  if (!order.empty()) line("warning", order);
  const std::string w = warning(g, n, has_gci);
  if (!w.empty()) line("warning", w);
  return out;
}

}  // namespace morvantide
