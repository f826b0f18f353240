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

// The order U is formed with and where it comes from:
//   "1.79 observed; formal order 2 assumed, set with --order"
//   "2, the formal order assumed, set with --order; observed 2.00696"
std::string order_text(const Analysis& v, const GridVerdict& g, std::string_view origin) {
  const int32_t n = v.study.nm;
  const real observed = g.p_observed;
  const std::string assumed = order_number(g.p_U != kSentinel ? g.p_U : v.study.pL) +
                              ", the formal order assumed, " + std::string(origin);
  if (observed != kSentinel && g.p_U != kSentinel && same_bits(g.p_U, observed)) {
    return order_number(observed) + " observed; formal order " + order_number(v.study.pL) +
           " assumed, " + std::string(origin);
  }
  if (n < kFirstRatioTh) return assumed + "; no observed order from 2 grids";
  if (observed == kSentinel) return assumed + "; no positive observed order";
  return assumed + "; observed " + order_number(observed);
}

// Why the headline U is not the listing's UGCI, in words; "" when it is.
std::string note_text(const Analysis& v, const GridVerdict& g) {
  const Study& s = v.study;
  const std::string assumes = "the listing's UGCI assumes order " + order_number(s.pL);
  const std::string range = order_number(s.pU_min) + " to " + order_number(s.pU_max);
  switch (g.U_note) {
    case UncertaintyNote::kBelowSearchRange:
      return "observed order " + order_number(g.p_observed) + " lies below the search range " +
             range + "; " + assumes;
    case UncertaintyNote::kAboveSearchRange:
      return "observed order " + order_number(g.p_observed) + " lies above the search range " +
             range + "; " + assumes;
    case UncertaintyNote::kSearchFoundNone:
      return "the listing's order search (" + range + ") found no order; " + assumes;
    case UncertaintyNote::kSearchTolerance:
      return "the listing's UGCI takes the order search's " +
             order_number(v.e.pU_Th(s.nm)) + ", found to its tolerance; U takes the order to "
             "the last digit";
    case UncertaintyNote::kAbsoluteRatio:
      return "the order of an oscillatory convergence comes from |psi|; " + assumes;
    case UncertaintyNote::kNoListingIndex:
      return "the listing has no UGCI here (|psi| <= 1 on a variable ratio)";
    case UncertaintyNote::kNoObservedOrder:
      return "no positive order solves the convergence ratio: U is the listing's UGCI";
    case UncertaintyNote::kDivergence:
    case UncertaintyNote::kNone:
      break;
  }
  return "";
}

std::string warning(const GridVerdict& g, int32_t nm) {
  const bool has_U = g.U != kSentinel;
  if (g.U_note == UncertaintyNote::kDivergence) {
    return std::string(convergence_words(g.convergence)) +
           ": the grids do not converge, so no uncertainty is given";
  }
  if (!has_U) {
    if (g.convergence == Convergence::kUndetermined) {
      return "no U at the finest grid: the error is not estimated";
    }
    return std::string(convergence_words(g.convergence)) + ": no U at the finest grid";
  }
  if (g.gci_dependable) return "";
  if (nm < kFirstRatioTh) {
    return "fewer than 3 grids: the convergence type is unknown and U is not a dependable bound";
  }
  if (g.convergence == Convergence::kUndetermined) {
    return "the convergence type is undetermined: U is not a dependable bound";
  }
  return std::string(convergence_words(g.convergence)) + ": U is not a dependable bound";
}

// U relative to |Th| in percent, to 2 significant digits: "0.10 %".
std::string percent_text(real relative) {
  const real x = relative * 100;
  char d[kUncertaintyDigits];
  const int e = scientific_digits(x, kUncertaintyDigits, d);
  const std::string digits(d, kUncertaintyDigits);
  if (e < -6 || e > 6) return exponent_form(false, digits, e) + " %";
  return plain(false, digits, e, std::max(0, kUncertaintyDigits - 1 - e)) + " %";
}

// U_LS at the finest grid with its model and safety factor:
//   "U_LS = 2.44e-06 (M1 weighted, Fs = 1.25, p_LS = 1.99803)"
std::string least_squares_text(const Analysis& v) {
  const int32_t n = v.study.nm;
  if (n < kFirstLeastSquares) return "U_LS = n/a (needs 4 grids)";
  // No fits at all when least squares was not asked for (the Python module's
  // least_squares=False): U_LS is then missing.
  const LeastSquaresGrid g =
      n <= static_cast<int32_t>(v.ls.size()) ? v.ls[n - 1] : LeastSquaresGrid();
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

std::string summary(const Analysis& v, const Target& target, std::string_view line_end,
                    std::string_view order_origin) {
  const int32_t n = v.study.nm;
  const GridVerdict& g = v.verdict(n);
  const std::string end(line_end);
  std::string out = "variable " + std::to_string(v.number);
  // A name from a file's header reaches the terminal: no byte of it may
  // move the cursor.
  if (!v.name.empty()) out += " \"" + control_bytes_shown(v.name) + "\"";
  out += ": " + std::to_string(n) + (n == 1 ? " grid" : " grids") +
         ", finest h = " + value(v.study.h(n));
  if (n >= kFirstDifference && v.study.tipo_r == 1) {
    const real r = v.study.h(n - 1) / v.study.h(n);
    out += ", constant ratio " + order_number(r);
    if (v.study.cells > 0) {
      out += " (cell counts x" + order_number(q_pow(r, q_from_int(v.study.cells))) + ")";
    }
  } else if (n >= kFirstRatioTh && v.study.tipo_r == 2) {
    out += ", variable ratio";
  }
  out += end;
  auto line = [&](std::string label, const std::string& text) {
    label.resize(kLabelWidth, ' ');
    out += "  " + label + text + end;
  };

  const real Th = v.study.Th(n);
  std::string result = "Th = ";
  if (g.U != kSentinel) {
    result += measurement_text(Th, g.U);
    if (g.U_relative != kSentinel) result += " (" + percent_text(g.U_relative) + ")";
    result += std::string(" (") + uncertainty_source_words(g.U_source) + ")";
  } else {
    result += n >= kFirstDifference ? distinguishing_text(Th, v.study.Th(n - 1)) : value(Th);
    result += g.U_note == UncertaintyNote::kDivergence
                  ? std::string(" (no U: ") + convergence_words(g.convergence) + ")"
                  : std::string(" (no U)");
  }
  line("result", result);
  if (g.U != kSentinel) line("order", order_text(v, g, order_origin));
  const std::string note = note_text(v, g);
  if (!note.empty()) line("note", note);
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
    if (g.U == kSentinel || g.target == kSentinel) {
      t += ": no grid size can be given without U";
    } else if (g.within_target) {
      t += ": already within the target";
    } else if (g.h_target == kSentinel) {
      t += ": no grid size can be given (the target, U and its order must be positive)";
    } else {
      t += ": h* = " + number(g.h_target) + ", refine by " + number(g.refinement);
    }
    line("target", t);
  }

  const std::string order = grid_order_warning(v.study.h);
  if (!order.empty()) line("warning", order);
  const std::string w = warning(g, n);
  if (!w.empty()) line("warning", w);
  return out;
}

}  // namespace morvantide
