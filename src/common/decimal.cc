#include "common/decimal.h"

#include <cstdio>
#include <cstring>

#include "common/digits.h"

namespace morvantide {

namespace {

// The significant digits and decimal exponent of a finite value, correctly
// rounded (scientific_digits): x = D[0].D[1..] times 10^exponent.
struct Digits {
  bool negative = false;
  std::string digits;  // at least one, no point
  int exponent = 0;
};

// x to `count` significant digits, trailing zeros dropped.
Digits scientific(real x, int count) {
  Digits d;
  d.negative = q_signbit(x);
  d.digits.resize(static_cast<size_t>(count));
  d.exponent = scientific_digits(x, count, d.digits.data());
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


namespace {

// Guard digits beyond the 36 significant digits: the candidates below are
// rounded from this longer text (ties rounded to even).
constexpr int kGuardedDigits = 40;
constexpr int kFirstProbe = 33;

// The first n digits of d rounded; exponent adjusted on a carry out.
Digits rounded(const Digits& d, size_t n) {
  Digits r;
  r.negative = d.negative;
  r.exponent = d.exponent;
  r.digits = d.digits.substr(0, n);
  if (d.digits.size() <= n) return r;
  const char next = d.digits[n];
  const bool rest_nonzero = d.digits.find_first_not_of('0', n + 1) != std::string::npos;
  const bool up = next > '5' || (next == '5' && (rest_nonzero || (r.digits.back() - '0') % 2 == 1));
  if (up) {
    size_t i = n;
    while (i > 0 && r.digits[i - 1] == '9') r.digits[--i] = '0';
    if (i == 0) {
      r.digits.insert(r.digits.begin(), '1');
      r.digits.pop_back();
      ++r.exponent;
    } else {
      ++r.digits[i - 1];
    }
  }
  return r;
}

std::string as_text(const Digits& d) {
  std::string t = d.negative ? "-" : "";
  t += d.digits.substr(0, 1);
  if (d.digits.size() > 1) t += "." + d.digits.substr(1);
  return t + "e" + std::to_string(d.exponent);
}

}  // namespace

std::string shortest_decimal(real x) {
  if (q_isnan(x) || q_isinf(x)) return not_finite(x);
  // The exact value to 40 digits, formed once; shorter candidates are rounded
  // from it and each read back.  Fewer digits read back only when more do
  // too, so the range is halved.
  Digits all = scientific(x, kGuardedDigits);
  all.digits.resize(kGuardedDigits, '0');  // scientific dropped trailing zeros
  int low = 1, high = kRoundTripDigits;
  Digits best;
  bool found = false;
  // Most values of a computation need 34 to 36 digits: the first probe at
  // 33 settles those in three reads.
  int mid = kFirstProbe;
  while (low <= high) {
    Digits candidate = rounded(all, static_cast<size_t>(mid));
    if (reads_back(as_text(candidate), x)) {
      best = std::move(candidate);
      found = true;
      high = mid - 1;
    } else {
      low = mid + 1;
    }
    mid = (low + high) / 2;
  }
  // Rounding twice (to 40 digits, then to 36) can miss by one unit in a
  // rare tie; the 36 digits printed directly always read back.
  if (!found) best = scientific(x, kRoundTripDigits);
  while (best.digits.size() > 1 && best.digits.back() == '0') best.digits.pop_back();
  return lay_out(best, -4, 21);
}

std::string decimal_digits(real x, int digits) {
  if (q_isnan(x) || q_isinf(x)) return not_finite(x);
  if (digits < 1) digits = 1;
  if (digits > kRoundTripDigits) digits = kRoundTripDigits;
  Digits d = scientific(x, digits);
  d.digits.resize(static_cast<size_t>(digits), '0');  // the zeros scientific dropped
  return lay_out(d, -4, digits);
}

}  // namespace morvantide
