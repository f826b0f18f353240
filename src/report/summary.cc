#include "report/summary.h"

#include "common/decimal.h"

namespace morvantide {

namespace {

constexpr size_t kLabelWidth = 14;

// A value of a list the estimation starts with the sentinel: "n/a" where it
// was not computed.
std::string number(real x) {
  return x == kSentinel ? std::string("n/a") : decimal_digits(x, kSummaryDigits);
}
// Real data (h, Th) or a value always computed (Tm1): its digits whatever
// they are.
std::string value(real x) { return decimal_digits(x, kSummaryDigits); }

std::string warning(const GridVerdict& g, int32_t nm, bool has_gci) {
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
  if (!v.name.empty()) out += " \"" + v.name + "\"";
  out += ": " + std::to_string(n) + (n == 1 ? " grid" : " grids") +
         ", finest h = " + value(v.study.h(n)) + end;
  auto line = [&](std::string label, const std::string& text) {
    label.resize(kLabelWidth, ' ');
    out += "  " + label + text + end;
  };

  const bool has_gci = n >= kFirstDifference && v.e.UGCI_Th(n) != kSentinel;
  std::string result = "Th = " + value(v.study.Th(n));
  if (has_gci) {
    result += " +/- " + number(v.e.UGCI_Th(n)) + " (UGCI, order " + number(v.e.pGCI(n)) + ")";
  } else {
    result += " (no UGCI)";
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
  line("estimates", "Umc = " + number(two ? v.e.Umc_Th(n) : kSentinel) + ", Um = " +
                        number(two ? v.e.Um_Tm1(n) : kSentinel) + ", Uc = " + number(v.e.Uc_Tc(n)));
  line("extrapolated", "Tm1 = " + (two ? value(v.e.Tm1(n)) : std::string("n/a")));

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

  const std::string w = warning(g, n, has_gci);
  if (!w.empty()) line("warning", w);
  return out;
}

}  // namespace morvantide
