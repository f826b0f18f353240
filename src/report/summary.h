// The summary of one variable for the terminal (--summary): a few aligned
// lines in English, numbers to 6 significant digits, "n/a" for a value that
// could not be computed; the result line quotes U to 2 significant digits
// and Th to the same decimal place, then U relative to |Th|.  For the
// finest grid nm:
//
//   variable 1 "u_centro": 8 grids, finest h = 0.0015625
//     result        Th = 1.5000020 +/- 0.0000024 (0.00016 %) (UGCI)
//     order         1.99803 observed; formal order 2 assumed, set with --order
//     note          (why U is not the listing's UGCI, when it is not)
//     least squares U_LS = 2.44e-06 (M1 weighted, Fs = 1.25, p_LS = 1.99803)
//     convergence   monotonic convergence, asymptotic range (P = 0.999979, A = 1.00001)
//     estimates     Umc = Tm1 - Th = -1.95199e-06, Um (error of Tm1) = 1.20129e-13, ...
//     extrapolated  Tm1 = 1.5 (repeated, true orders), Ti_pU = 1.5 (Richardson, observed order)
//     target        U = 1e-06: h* = 0.00110456, refine by 1.41459
//     warning       ...  (grids out of order; U not a dependable bound; no U)
//
// U is the verdict's (see verdict.h): with the verdict's own observed order
// capped at pL; a divergence has none ("Th = 1.82 (no U: monotonic
// divergence)").  The order part says whether the order is the observed one
// or the formal order pL, assumed where `order_origin` says it is set.
//
// Lines end with `line_end`.
#ifndef MORVANTIDE_REPORT_SUMMARY_H_
#define MORVANTIDE_REPORT_SUMMARY_H_

#include <string>
#include <string_view>

#include "report/results.h"
#include "core/verdict.h"

namespace morvantide {

// Significant digits of the summary's numbers.
inline constexpr int kSummaryDigits = 6;

// Th and U as a measurement is quoted: U to 2 significant digits, Th
// rounded (exactly, ties to even) to the same decimal place; the exponent
// form when that place or the leading digit is beyond 10^-15 .. 10^15.
//   (1.500001953Q, 2.44252e-6Q) -> "1.5000020 +/- 0.0000024"
//   (123.456Q, 0.0996Q)         -> "123.46 +/- 0.10"
//   (0.001Q, 0.5Q)              -> "0.00 +/- 0.50"
//   (1.5Q, 0)                   -> "1.50000 +/- 0"
std::string measurement_text(real Th, real U);

// Th to 6 significant digits or as many more as show where it differs from
// Th_before (up to 36): (1.5000019Q, 1.5000021Q) -> "1.5000019".
std::string distinguishing_text(real Th, real Th_before);

std::string summary(const Analysis& v, const Target& target, std::string_view line_end,
                    std::string_view order_origin = "set with --order");

// The line after the summaries that says where their terms are defined.
inline constexpr std::string_view kSummaryTerms =
    "terms (Th, U, Tm1, Tc, Ti_pU, Umc, Um, Uc, U_LS): morvantide --help, or docs/manual.md";

}  // namespace morvantide

#endif  // MORVANTIDE_REPORT_SUMMARY_H_
