// The edit notation: digits first, layout second.  Every number field gets
// the exact decimal digits of the binary128 value, correctly rounded to
// nearest (scientific_digits for E fields, quadmath_snprintf for the rare F
// fields), and then is laid out here: sign, point, exponent form, blanks on
// the left, asterisks when it does not fit.  An E field is laid out in a
// buffer on the stack and goes into its record in one piece.

#include "common/edit.h"

#include <algorithm>
#include <cstring>

#include "common/digits.h"

namespace morvantide {

namespace {

// Exponent forms of 1P,Ew.d: "E+dd" up to this magnitude, "+ddd" beyond.
constexpr int kTwoDigitExponentMax = 99;
constexpr int kThreeDigitExponentMax = 999;
// Shortest exponent text ("E+dd" or "+ddd").
constexpr int kExponentWidth = 4;
// Room for the digits of one field, printed by a single call.
constexpr size_t kPrintBuffer = 128;
// Widest E field laid out on the stack; wider ones go through a string.
constexpr int kFieldBuffer = 128;
// Room a record gets when it first outgrows the string's own buffer: the
// widest rows of the listing (table 3) and the line end fit in one block.
constexpr size_t kRecordRoom = 160;
constexpr std::string_view kLineEnd = "\r\n";

std::string asterisks(int w) { return std::string(static_cast<size_t>(w), '*'); }

// text right-justified in w columns, or w asterisks when it is wider.
std::string right_justify(const std::string& text, int w) {
  const size_t width = static_cast<size_t>(w);
  if (text.size() > width) return asterisks(w);
  return std::string(width - text.size(), ' ') + text;
}

// NaN and the infinities in E and F fields: "NaN" (never signed),
// "Infinity" / "-Infinity", shortened to "Inf" / "-Inf" when the long form
// does not fit.
std::string non_finite(real x, int w) {
  if (q_isnan(x)) return right_justify("NaN", w);
  const bool negative = q_signbit(x);
  const std::string long_form = negative ? "-Infinity" : "Infinity";
  if (long_form.size() <= static_cast<size_t>(w)) return right_justify(long_form, w);
  return right_justify(negative ? "-Inf" : "Inf", w);
}

// quadmath_snprintf into a string of the exact length it needs: one call
// into a buffer on the stack, which holds every field of the output files;
// a longer text is printed again into a string of its length.
std::string print_quad(const char* format, int precision, real x) {
  char buffer[kPrintBuffer];
  const int n = quadmath_snprintf(buffer, sizeof buffer, format, precision, x);
  if (n <= 0) return std::string();
  if (static_cast<size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<size_t>(n));
  std::string out(static_cast<size_t>(n) + 1, '\0');
  quadmath_snprintf(out.data(), out.size(), format, precision, x);
  out.resize(static_cast<size_t>(n));
  return out;
}

// The field of 1P,Ew.d at out[0..w): out has room for w characters.
void e_field(real x, int w, int d, char* out) {
  if (q_isnan(x) || q_isinf(x)) {
    const std::string text = non_finite(x, w);
    std::memcpy(out, text.data(), text.size());
    return;
  }
  const bool negative = x < 0;  // -0.0 is not below zero: no sign
  // The text is always the shortest possible: one digit, the point, d
  // decimals and an exponent of four characters ("E+dd" or "+ddd").
  const long long length = 2LL + d + kExponentWidth + (negative ? 1 : 0);
  if (length > w) {
    std::memset(out, '*', static_cast<size_t>(w));
    return;
  }
  const int blanks = w - static_cast<int>(length);
  char* p = out + blanks;
  if (negative) *p++ = '-';
  // d + 1 significant digits, rounded to nearest, with the carry to 10
  // already moved into the exponent; written one place to the right, then
  // the first moved in front of the point.
  const int exponent = scientific_digits(x, d + 1, p + 1);
  if (exponent > kThreeDigitExponentMax || exponent < -kThreeDigitExponentMax) {
    std::memset(out, '*', static_cast<size_t>(w));
    return;
  }
  std::memset(out, ' ', static_cast<size_t>(blanks));
  p[0] = p[1];
  p[1] = '.';
  p += 2 + d;
  const int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude <= kTwoDigitExponentMax) {
    *p++ = 'E';
    *p++ = exponent < 0 ? '-' : '+';
  } else {
    *p++ = exponent < 0 ? '-' : '+';
    *p++ = static_cast<char>('0' + magnitude / 100);
  }
  *p++ = static_cast<char>('0' + magnitude / 10 % 10);
  *p = static_cast<char>('0' + magnitude % 10);
}

}  // namespace

std::string format_e(real x, int w, int d) {
  if (w <= 0) return std::string();
  std::string out(static_cast<size_t>(w), ' ');
  e_field(x, w, std::max(d, 0), out.data());
  return out;
}

std::string format_f(real x, int w, int d) {
  if (w <= 0) return std::string();
  d = std::max(d, 0);
  if (q_isnan(x) || q_isinf(x)) return non_finite(x, w);
  // A negative zero and a negative value that rounds to zero keep their
  // minus sign ("-0.00").
  const bool negative = q_signbit(x);
  const real magnitude = q_abs(x);
  // The shortest text is "." and d decimals; a magnitude of 10^w or more has
  // more than w integer digits.  Both checks come before any digits are made,
  // so a huge value never expands into thousands of them.
  if (1LL + d + (negative ? 1 : 0) > w) return asterisks(w);
  if (magnitude >= q_pow(10.0Q, q_from_int(w))) return asterisks(w);

  // "%#.*Qf" keeps the point even for d = 0 ("2.").
  const std::string printed = print_quad("%#.*Qf", d, magnitude);
  const size_t point = printed.find('.');
  if (point == std::string::npos) return asterisks(w);
  std::string integer_part = printed.substr(0, point);
  const std::string fraction = printed.substr(point);  // with the point

  std::string text = (negative ? "-" : "") + integer_part + fraction;
  // The zero before the point is optional when decimals follow: dropped
  // when that makes the text fit (F3.2 of 0.5 -> ".50").
  if (text.size() > static_cast<size_t>(w) && integer_part == "0" && d > 0) {
    text = (negative ? "-" : "") + fraction;
  }
  return right_justify(text, w);
}

std::string format_i(int32_t v, int w) {
  if (w <= 0) return std::string();
  return right_justify(std::to_string(v), w);
}

// Positioning: T and X only move the position; the blanks they pass over
// are written when the next field is written, even an empty one.  So
// "A,16X,A" gives the 16 blanks before the second text, while X or T at the
// end of a record adds nothing.  A field written left of the end (after T)
// overwrites what is there.
Line& Line::A(std::string_view text) {
  const size_t end = std::max(text_.size(), pos_ + text.size());
  if (end > text_.capacity()) text_.reserve(std::max(end + kLineEnd.size(), kRecordRoom));
  if (text_.size() < pos_) text_.resize(pos_, ' ');
  const size_t overlap = std::min(text.size(), text_.size() - pos_);
  if (overlap != 0) text_.replace(pos_, overlap, text.data(), overlap);
  text_.append(text.data() + overlap, text.size() - overlap);
  pos_ += text.size();
  return *this;
}

// Aw: a longer text keeps its first w characters, a shorter one is
// right-justified with blanks on the left.
Line& Line::Aw(std::string_view text, int w) {
  if (w <= 0) return *this;
  const size_t width = static_cast<size_t>(w);
  if (text.size() >= width) return A(text.substr(0, width));
  return A(std::string(width - text.size(), ' ') + std::string(text));
}

Line& Line::E(real x, int w, int d) {
  if (w <= 0) return A(std::string_view());
  if (w > kFieldBuffer) return A(format_e(x, w, d));
  char field[kFieldBuffer];
  e_field(x, w, std::max(d, 0), field);
  return A(std::string_view(field, static_cast<size_t>(w)));
}

Line& Line::X(int n) {
  if (n > 0) pos_ += static_cast<size_t>(n);
  return *this;
}

Line& Line::T(int column) {
  pos_ = column > 1 ? static_cast<size_t>(column - 1) : 0;
  return *this;
}

std::string Line::str() const& {
  std::string out;
  out.reserve(text_.size() + kLineEnd.size());
  out.append(text_);
  out.append(kLineEnd);
  return out;
}

std::string Line::str() && {
  text_.append(kLineEnd);
  return std::move(text_);
}

}  // namespace morvantide
