// The edit notation every output file is written with: each number or text
// is laid out in a field of fixed width, and a Line collects one record.
//
// 1P,Ew.d (format_e): scientific form, one digit before the point, d after,
// right-justified in w columns.  The digits are those of the binary128 value
// itself, rounded to nearest.  Exponents -99..99 are "E+dd"/"E-dd"; 100..999
// are sign and three digits without the letter; a longer exponent or a text
// wider than w gives w asterisks.  A minus sign only when x < 0, so -0.0
// prints like 0.  NaN -> "NaN", +-infinity -> "Infinity" / "-Infinity"
// ("Inf" / "-Inf" when the field is too narrow for the long form).
//
//   format_e(0.5, 12, 4)           -> "  5.0000E-01"
//   format_e(-0.0625, 12, 4)       -> " -6.2500E-02"
//   format_e(0.125, 12, 3)         -> "   1.250E-01"
//   format_e(0, 15, 6)             -> "   0.000000E+00"
//   format_e(1.23456789e-5, 22, 9) -> "       1.234567890E-05"
//   format_e(1e-120, 22, 9)        -> "       1.000000000-120"
//   format_e(9.99996, 12, 4)       -> "  1.0000E+01"
//
// Fw.d (format_f): fixed form, d decimals, right-justified in w columns; a
// negative value keeps its sign even when it rounds to zero, the zero before
// the point is dropped when only that lets the text fit, and a text still
// wider than w gives w asterisks.  Iw (format_i): the integer right-justified
// in w columns, w asterisks when wider:
//   format_f(2, 5, 2)    -> " 2.00"
//   format_f(-0.5, 5, 2) -> "-0.50"
//   format_f(100, 5, 2)  -> "*****"
//   format_i(4, 4)       -> "   4"
//   format_i(12345, 4)   -> "****"
#ifndef MORVANTIDE_COMMON_EDIT_H_
#define MORVANTIDE_COMMON_EDIT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/quad.h"

namespace morvantide {

std::string format_e(real x, int w, int d);
std::string format_f(real x, int w, int d);
std::string format_i(int32_t v, int w);

// One output record, built field by field.  str() returns the record with
// its CR LF line end; trailing blanks are kept.  A record that is not used
// afterwards gives up its text: std::move(line).str() copies nothing.
//
//   Line().X(3).A("h").T(20).A("p").str() -> "   h" + 15 blanks + "p\r\n"
class Line {
 public:
  Line& E(real x, int w, int d);                                  // 1P,Ew.d
  Line& F(real x, int w, int d) { return A(format_f(x, w, d)); }  // Fw.d
  Line& I(int32_t v, int w) { return A(format_i(v, w)); }         // Iw
  Line& A(std::string_view text);                                 // A
  Line& Aw(std::string_view text, int w);                         // Aw
  Line& X(int n);                                                 // nX
  Line& T(int column);                                            // Tn
  std::string str() const&;
  std::string str() &&;

 private:
  std::string text_;
  size_t pos_ = 0;  // where the next field starts (0-based column)
};

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_EDIT_H_
