#include "common/decimal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace morvantide {

namespace {

// The significant digits and decimal exponent of a finite value, as
// quadmath_snprintf rounds it: x = D[0].D[1..]
// times 10^exponent.
struct Digits {
  bool negative = false;
  std::string digits;  // at least one, no point
  int exponent = 0;
};

std::string scientific(real x, int digits) {
  char buf[96];
  quadmath_snprintf(buf, sizeof buf, "%.*Qe", digits - 1, x);
  return buf;
}

Digits split(const std::string& text) {
  // "-d.ddde+XX" or "de+XX"
  Digits d;
  size_t i = 0;
  if (text[i] == '-') {
    d.negative = true;
    ++i;
  }
  for (; i < text.size() && text[i] != 'e'; ++i) {
    if (text[i] != '.') d.digits += text[i];
  }
  d.exponent = std::atoi(text.c_str() + i + 1);
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

bool reads_back(const std::string& text, real x) {
  return same_bits(strtoflt128(text.c_str(), nullptr), x);
}

// Plain notation when low <= exponent < high, else d.ddde+XX.
std::string lay_out(const Digits& d, int low, int high) {
  std::string out = d.negative ? "-" : "";
  const std::string& D = d.digits;
  const int e = d.exponent;
  if (e >= low && e < high) {
    if (e >= 0) {
      const size_t whole = static_cast<size_t>(e) + 1;
      if (D.size() <= whole) {
        out += D + std::string(whole - D.size(), '0');
      } else {
        out += D.substr(0, whole) + "." + D.substr(whole);
      }
    } else {
      out += "0." + std::string(static_cast<size_t>(-e - 1), '0') + D;
    }
    return out;
  }
  out += D.substr(0, 1);
  if (D.size() > 1) out += "." + D.substr(1);
  char exp[16];
  std::snprintf(exp, sizeof exp, "e%c%02d", e < 0 ? '-' : '+', e < 0 ? -e : e);
  return out + exp;
}

std::string not_finite(real x) {
  if (q_isnan(x)) return "nan";
  return q_signbit(x) ? "-inf" : "inf";
}

}  // namespace

bool same_bits(real a, real b) { return std::memcmp(&a, &b, sizeof(real)) == 0; }

std::string shortest_decimal(real x) {
  if (q_isnan(x) || q_isinf(x)) return not_finite(x);
  // Fewer digits read back only when more do too, so halve the range; the
  // full 36 digits always read back.
  int low = 1, high = kRoundTripDigits;
  std::string best = scientific(x, high);
  while (low < high) {
    const int mid = (low + high) / 2;
    std::string text = scientific(x, mid);
    if (reads_back(text, x)) {
      high = mid;
      best = std::move(text);
    } else {
      low = mid + 1;
    }
  }
  if (high < kRoundTripDigits && !reads_back(best, x)) best = scientific(x, kRoundTripDigits);
  return lay_out(split(best), -4, 21);
}

std::string decimal_digits(real x, int digits) {
  if (q_isnan(x) || q_isinf(x)) return not_finite(x);
  if (digits < 1) digits = 1;
  if (digits > kRoundTripDigits) digits = kRoundTripDigits;
  Digits d = split(scientific(x, digits));
  return lay_out(d, -4, digits);
}

}  // namespace morvantide
