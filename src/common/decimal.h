// Decimal text of a binary128 value that reads back to the same value.
//
// Digits first, layout second: the shortest digit string (1 to 36 significant
// digits) that strtoflt128 turns back into the very same bits is found, then
// laid out in plain notation when the decimal exponent is between -4 and 20,
// else as d.ddd followed by "e", the exponent's sign and at least two digits.  No value ever passes
// through double.  The text is a valid JSON number and a number that
// spreadsheets and Python read.
//
//   0.05Q         -> "0.05"
//   -1.5Q         -> "-1.5"
//   100Q          -> "100"
//   1e21Q         -> "1e+21"
//   1.25e-8Q      -> "1.25e-08"
//   1/3 (binary128) -> "0.3333333333333333333333333333333333"  (34 digits)
//   -0.0Q         -> "-0"
// Infinities and NaN have no decimal: "inf", "-inf", "nan".
#ifndef MORVANTIDE_COMMON_DECIMAL_H_
#define MORVANTIDE_COMMON_DECIMAL_H_

#include <string>

#include "common/quad.h"

namespace morvantide {

// Significant digits that always read back to the same binary128 value.
inline constexpr int kRoundTripDigits = 36;

// The shortest round-trip decimal of x, laid out as above.
std::string shortest_decimal(real x);

// x with `digits` significant digits (1 to 36), correctly rounded, in the
// layout of printf's %#g: plain when the exponent is between -4 and
// digits-1, every digit shown (trailing zeros say how many there are).  For
// the summary (6 digits):
//   1.50000781Q -> "1.50001"       1.5000019Q -> "1.50000"
//   0.000012345678Q -> "1.23457e-05"   123456789Q -> "1.23457e+08"
//   0.5Q -> "0.500000"             9.999996Q -> "10.0000"
std::string decimal_digits(real x, int digits);

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_DECIMAL_H_
