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
std::string order_text(const Analysis& v, const Finest& f, std::string_view origin) {
  const int32_t n = v.study.nm;
  const real observed = f.verdict.p_observed;
  const std::string assumed = order_number(f.verdict.p_U != kSentinel ? f.verdict.p_U : v.study.pL) +
                              ", the formal order assumed, " + std::string(origin);
  if (observed != kSentinel && f.verdict.p_U != kSentinel && same_bits(f.verdict.p_U, observed)) {
    return order_number(observed) + " observed; formal order " + order_number(v.study.pL) +
           " assumed, " + std::string(origin);
  }
  if (n < kFirstRatioTh) return assumed + "; no observed order from 2 grids";
  if (observed == kSentinel) return assumed + "; no positive observed order";
  return assumed + "; observed " + order_number(observed);
}

// Why the headline U is not the listing's UGCI, in words; "" when it is.
std::string note_text(const Analysis& v, const Finest& f) {
  const Study& s = v.study;
  const std::string assumes = "the listing's UGCI assumes order " + order_number(s.pL);
  const std::string range = order_number(s.pU_min) + " to " + order_number(s.pU_max);
  switch (f.verdict.U_note) {
    case UncertaintyNote::kBelowSearchRange:
      return "observed order " + order_number(f.verdict.p_observed) + " lies below the search range " +
             range + "; " + assumes;
    case UncertaintyNote::kAboveSearchRange:
      return "observed order " + order_number(f.verdict.p_observed) + " lies above the search range " +
             range + "; " + assumes;
    case UncertaintyNote::kSearchFoundNone:
      return "the listing's order search (" + range + ") found no order; " + assumes;
    case UncertaintyNote::kSearchTolerance:
      return "the listing's UGCI takes the order search's " +
             order_number(f.pU_Th) + ", found to its tolerance; U takes the order to "
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

std::string warning_words(const Finest& f) {
  const std::string type = convergence_words(f.verdict.convergence);
  switch (f.warning) {
    case FinestWarning::kDivergence:
      return type + ": the grids do not converge, so no uncertainty is given";
    case FinestWarning::kNotEstimated:
      return "no U at the finest grid: the error is not estimated";
    case FinestWarning::kNoU:
      return type + ": no U at the finest grid";
    case FinestWarning::kFewGrids:
      return "fewer than 3 grids: the convergence type is unknown and U is not a dependable bound";
    case FinestWarning::kUndeterminedType:
      return "the convergence type is undetermined: U is not a dependable bound";
    case FinestWarning::kNotDependable:
      return type + ": U is not a dependable bound";
    case FinestWarning::kNone:
      break;
  }
  return "";
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
std::string least_squares_text(const Finest& f) {
  if (f.grid < kFirstLeastSquares) return "U_LS = n/a (needs 4 grids)";
  const LeastSquaresGrid& g = f.ls;
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
  const Finest& f = v.finest;
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
  if (f.verdict.U != kSentinel) {
    result += measurement_text(Th, f.verdict.U);
    if (f.verdict.U_relative != kSentinel) result += " (" + percent_text(f.verdict.U_relative) + ")";
    result += std::string(" (") + uncertainty_source_words(f.verdict.U_source) + ")";
  } else {
    result += n >= kFirstDifference ? distinguishing_text(Th, v.study.Th(n - 1)) : value(Th);
    result += f.verdict.U_note == UncertaintyNote::kDivergence
                  ? std::string(" (no U: ") + convergence_words(f.verdict.convergence) + ")"
                  : std::string(" (no U)");
  }
  line("result", result);
  if (f.verdict.U != kSentinel) line("order", order_text(v, f, order_origin));
  const std::string note = note_text(v, f);
  if (!note.empty()) line("note", note);
  line("least squares", least_squares_text(f));

  std::string convergence = n < kFirstRatioTh ? std::string("undetermined (needs 3 grids)")
                                              : convergence_words(f.verdict.convergence);
  if (n < kFirstRatioTh + 1) {
    convergence += ", asymptotic range undetermined (needs 4 grids)";
  } else {
    convergence += std::string(", ") +
                   (f.verdict.asymptotic == Asymptotic::kUndetermined ? "asymptotic range undetermined"
                                                              : asymptotic_words(f.verdict.asymptotic)) +
                   " (P = " + number(f.verdict.order_ratio) + ", A = " + number(f.verdict.gci_ratio) + ")";
  }
  line("convergence", convergence);

  line("estimates", "Umc = Tm1 - Th = " + number(f.Umc_Th) +
                        ", Um (error of Tm1) = " + number(f.Um_Tm1) +
                        ", Uc (error of Tc) = " + number(f.Uc_Tc));
  line("extrapolated", "Tm1 = " + (f.has_Tm1 ? value(f.Tm1) : std::string("n/a")) +
                           " (repeated, true orders), Ti_pU = " +
                           number(f.Ti_pU) +
                           " (Richardson, observed order)");

  if (target.kind != Target::Kind::kNone) {
    std::string t = "U = " + number(f.verdict.target);
    if (target.kind == Target::Kind::kRelative) {
      t += " (" + target.text + " of |Th|)";
    }
    if (f.verdict.reach == TargetReach::kNoTarget || f.verdict.reach == TargetReach::kNoU) {
      t += ": no grid size can be given without U";
    } else if (f.verdict.reach == TargetReach::kWithin) {
      t += ": already within the target";
    } else if (f.verdict.h_target == kSentinel) {
      t += ": no grid size can be given (the target, U and its order must be positive)";
    } else {
      t += ": h* = " + number(f.verdict.h_target) + ", refine by " + number(f.verdict.refinement);
    }
    line("target", t);
  }

  if (!f.grid_order_warning.empty()) line("warning", f.grid_order_warning);
  const std::string w = warning_words(f);
  if (!w.empty()) line("warning", w);
  return out;
}

}  // namespace morvantide
