// The summary of one variable for the terminal (--summary): a few aligned
// lines in English, numbers to 6 significant digits, "n/a" for a value that
// could not be computed.  For the finest grid nm:
//
//   variable 1 "u_centro": 8 grids, finest h = 0.0015625
//     result        Th = 1.5 +/- 1.95303e-06 (UGCI, order 2)
//     least squares U_LS = 2.44e-06 (M1 weighted, Fs = 1.25, p_LS = 1.99803)
//     convergence   monotonic convergence, asymptotic range (P = 0.999979, A = 1.00001)
//     estimates     Umc = -1.95199e-06, Um = 1.20129e-13, Uc = 5.19e-11
//     extrapolated  Tm1 = 1.5
//     target        U = 1e-06: h* = 0.00110456, refine by 1.41459
//     warning       ...  (only when the GCI is not a dependable bound)
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

std::string summary(const Analysis& v, const Target& target, std::string_view line_end);

}  // namespace morvantide

#endif  // MORVANTIDE_REPORT_SUMMARY_H_
