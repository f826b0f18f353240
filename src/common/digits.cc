#include "common/digits.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace morvantide {

namespace {

using u64 = uint64_t;
using u128 = unsigned __int128;

// binary128: 1 sign bit, 15 exponent bits (bias 16383), 112 fraction bits.
constexpr int kFractionBits = 112;
constexpr int kExponentBias = 16383;
// e of the subnormals and of the smallest normal exponent field.
constexpr int kMinBinaryExponent = 1 - kExponentBias - kFractionBits;

// Limbs of the scaled value: 1536 bits, enough for every value from 1e-554
// to 1e637 at up to 40 digits.
constexpr int kLimbs = 24;

// 5^27, the largest power of five in one limb, and the ones below it.
constexpr int kFivesPerLimb = 27;
constexpr u64 kPowersOfFive[kFivesPerLimb + 1] = {
    1ULL,
    5ULL,
    25ULL,
    125ULL,
    625ULL,
    3125ULL,
    15625ULL,
    78125ULL,
    390625ULL,
    1953125ULL,
    9765625ULL,
    48828125ULL,
    244140625ULL,
    1220703125ULL,
    6103515625ULL,
    30517578125ULL,
    152587890625ULL,
    762939453125ULL,
    3814697265625ULL,
    19073486328125ULL,
    95367431640625ULL,
    476837158203125ULL,
    2384185791015625ULL,
    11920928955078125ULL,
    59604644775390625ULL,
    298023223876953125ULL,
    1490116119384765625ULL,
    7450580596923828125ULL,
};

// 10^19, the largest power of ten in one limb: the digits are cut from the
// scaled value in pieces of 19.
constexpr u64 kTenTo19 = 10000000000000000000ULL;
constexpr int kDigitsPerLimb = 19;

// (hi * 2^64 + lo) / d with hi < d, so the quotient fits one limb.
inline u64 divide_wide(u64 hi, u64 lo, u64 d, u64* remainder) {
#if defined(__x86_64__)
  u64 q, r;
  __asm__("divq %4" : "=a"(q), "=d"(r) : "a"(lo), "d"(hi), "rm"(d));
  *remainder = r;
  return q;
#else
  const u128 n = (static_cast<u128>(hi) << 64) | lo;
  *remainder = static_cast<u64>(n % d);
  return static_cast<u64>(n / d);
#endif
}

// An unsigned integer of up to kLimbs limbs, least significant first.  The
// caller checks the size beforehand, so no operation overflows.
struct Big {
  u64 limb[kLimbs];
  int n = 0;  // limbs in use; limb[n - 1] != 0 unless n == 0

  void trim() {
    while (n > 0 && limb[n - 1] == 0) --n;
  }

  void multiply(u64 f) {
    u64 carry = 0;
    for (int i = 0; i < n; ++i) {
      const u128 p = static_cast<u128>(limb[i]) * f + carry;
      limb[i] = static_cast<u64>(p);
      carry = static_cast<u64>(p >> 64);
    }
    if (carry != 0) limb[n++] = carry;
  }

  // Divides by d and returns the remainder.
  u64 divide(u64 d) {
    u64 r = 0;
    for (int i = n - 1; i >= 0; --i) limb[i] = divide_wide(r, limb[i], d, &r);
    trim();
    return r;
  }

  void shift_left(int bits) {
    const int limbs = bits / 64;
    const int rest = bits % 64;
    if (rest != 0) {
      u64 carry = 0;
      for (int i = 0; i < n; ++i) {
        const u64 v = limb[i];
        limb[i] = (v << rest) | carry;
        carry = v >> (64 - rest);
      }
      if (carry != 0) limb[n++] = carry;
    }
    if (limbs != 0 && n != 0) {
      for (int i = n - 1; i >= 0; --i) limb[i + limbs] = limb[i];
      for (int i = 0; i < limbs; ++i) limb[i] = 0;
      n += limbs;
    }
  }

  // Shifts right; returns whether a bit shifted out was set.
  bool shift_right(int bits) {
    const int limbs = bits / 64;
    const int rest = bits % 64;
    if (limbs >= n) {
      const bool lost = n != 0;
      n = 0;
      return lost;
    }
    bool lost = false;
    for (int i = 0; i < limbs; ++i) lost |= limb[i] != 0;
    if (limbs != 0) {
      for (int i = limbs; i < n; ++i) limb[i - limbs] = limb[i];
      n -= limbs;
    }
    if (rest != 0) {
      lost |= (limb[0] << (64 - rest)) != 0;
      for (int i = 0; i + 1 < n; ++i) limb[i] = (limb[i] >> rest) | (limb[i + 1] << (64 - rest));
      limb[n - 1] >>= rest;
    }
    trim();
    return lost;
  }
};

// "00", "01", ..., "99": two digits per division.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The digits of v < 10^count, most significant first, with exactly `count`
// digits (leading zeros) written at out.
inline void write_fixed(u64 v, int count, char* out) {
  int i = count;
  while (i >= 2) {
    i -= 2;
    std::memcpy(out + i, kDigitPairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (i == 1) out[0] = static_cast<char>('0' + v);
}

constexpr u64 kPowersOfTen[20] = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
    10000000000000000000ULL,
};

// Decimal digits of v ("0" has one): 1233 / 4096 is just above log10(2), so
// t is the count or one less, and one comparison settles which.
inline int digit_count(u64 v) {
  if (v == 0) return 1;
  const int bits = 64 - __builtin_clzll(v);
  const int t = bits * 1233 >> 12;
  return t + (v >= kPowersOfTen[t] ? 1 : 0);
}

// The decimal digits of the integer in limb[0..n) (n <= 3, so at most 58
// digits) at out, no leading zeros ("0" for zero); returns how many.
int decimal_text(const u64* limb, int n, char* out) {
  Big b;
  for (int i = 0; i < n; ++i) b.limb[i] = limb[i];
  b.n = n;
  u64 pieces[3];
  int count = 0;
  while (b.n > 1) pieces[count++] = b.divide(kTenTo19);
  const u64 top = b.n == 0 ? 0 : b.limb[0];
  const int top_digits = digit_count(top);
  write_fixed(top, top_digits, out);
  int len = top_digits;
  while (count > 0) {
    write_fixed(pieces[--count], kDigitsPerLimb, out + len);
    len += kDigitsPerLimb;
  }
  return len;
}

// floor(b * log10(2)) for |b| <= 16500: log10(2) * 2^32 = 1292913986.08...,
// and the truncated factor is off by less than 4e-7 there, while no
// b * log10(2) with 0 < |b| <= 16500 comes closer than 1e-5 to an integer.
// An estimate off by one would only cost a second try below.
inline int floor_log10_pow2(int b) {
  return static_cast<int>((static_cast<int64_t>(b) * 1292913986LL) >> 32);
}

// The limbs the scaling of m (two limbs) by 5^s and 2^shift can need.
inline int limbs_needed(int s, int shift) {
  int limbs = 2;
  if (s > 0) limbs += (s + kFivesPerLimb - 1) / kFivesPerLimb;
  if (shift > 0) limbs += (shift + 63) / 64;
  return limbs;
}

enum class Try { kDone, kExponentTooLow, kExponentTooHigh, kTooLarge };

// One attempt with the decimal exponent estimate k: forms
// Q = floor(2 * m * 2^e * 10^s), s = precision - 1 - k, and the digits.
Try digits_for_estimate(u64 m_hi, u64 m_lo, int e, int k, int precision, char* digits,
                        int* exponent) {
  const int s = precision - 1 - k;
  const int shift = e + 1 + s;
  if (limbs_needed(s, shift) > kLimbs) return Try::kTooLarge;

  Big q;
  q.limb[0] = m_lo;
  q.limb[1] = m_hi;
  q.n = 2;
  q.trim();
  bool sticky = false;
  for (int left = s; left > 0; left -= kFivesPerLimb) {
    q.multiply(kPowersOfFive[left < kFivesPerLimb ? left : kFivesPerLimb]);
  }
  if (shift > 0) q.shift_left(shift);
  if (shift < 0) sticky |= q.shift_right(-shift);
  for (int left = -s; left > 0; left -= kFivesPerLimb) {
    sticky |= q.divide(kPowersOfFive[left < kFivesPerLimb ? left : kFivesPerLimb]) != 0;
  }

  // Q < 2 * 10^(precision + 1) <= 2 * 10^41 when k is at most one too low.
  if (q.n > 3) return Try::kExponentTooLow;
  const bool half = q.n > 0 && (q.limb[0] & 1) != 0;
  q.shift_right(1);

  char text[64];
  const int len = decimal_text(q.limb, q.n, text);
  if (len < precision || text[0] == '0') return Try::kExponentTooHigh;
  if (len > precision + 1) return Try::kExponentTooLow;

  // Where the exact value lies between the truncated digits and the next
  // unit of the last one: above half, on half, or below.
  bool above;
  bool on_half;
  if (len == precision) {
    above = half && sticky;
    on_half = half && !sticky;
    *exponent = k;
  } else {
    // One digit more than wanted: k was one too low, and the extra digit
    // with the half bit and the sticky bit decides.
    const int extra = text[precision] - '0';
    above = extra > 5 || (extra == 5 && (half || sticky));
    on_half = extra == 5 && !half && !sticky;
    *exponent = k + 1;
  }
  std::memcpy(digits, text, static_cast<size_t>(precision));
  const bool odd = ((digits[precision - 1] - '0') & 1) != 0;
  if (above || (on_half && odd)) {
    int i = precision - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits[0] = '1';  // 99..9 + 1 = 100..0: one more in the exponent
      ++*exponent;
    }
  }
  return Try::kDone;
}

}  // namespace

namespace digits_internal {

bool fast_scientific_digits(real x, int precision, char* digits, int* exponent) {
  if (precision < 1 || precision > kFastDigits) return false;
  u64 words[2];
  static_assert(sizeof words == sizeof x);
  std::memcpy(words, &x, sizeof x);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  const u64 lo = words[0], hi = words[1];
#else
  const u64 lo = words[1], hi = words[0];
#endif
  const int field = static_cast<int>((hi >> 48) & 0x7fff);
  if (field == 0x7fff) return false;  // not finite
  u64 m_hi = hi & ((1ULL << 48) - 1);
  const u64 m_lo = lo;
  if (field == 0) {
    if (m_hi == 0 && m_lo == 0) {
      std::memset(digits, '0', static_cast<size_t>(precision));
      *exponent = 0;
      return true;
    }
    return false;  // subnormal: beyond the range of the limbs anyway
  }
  m_hi |= 1ULL << 48;
  const int e = field - kExponentBias - kFractionBits;
  // x lies in [2^b, 2^(b+1)) with b = e + 112 for a normal value, so the
  // decimal exponent is floor(b log10 2) or one more.
  int k = floor_log10_pow2(e + kFractionBits);
  for (int attempt = 0; attempt < 4; ++attempt) {
    switch (digits_for_estimate(m_hi, m_lo, e, k, precision, digits, exponent)) {
      case Try::kDone:
        return true;
      case Try::kExponentTooLow:
        ++k;
        break;
      case Try::kExponentTooHigh:
        --k;
        break;
      case Try::kTooLarge:
        return false;
    }
  }
  return false;
}

int printed_scientific_digits(real x, int precision, char* digits) {
  // "d.ddd...e+XXXX": the digits, the point, the sign and up to five
  // exponent characters, and the NUL.
  const size_t size = static_cast<size_t>(precision) + 16;
  std::string text(size, '\0');
  quadmath_snprintf(text.data(), size, "%.*Qe", precision - 1, fabsq(x));
  size_t i = 0;
  for (int n = 0; n < precision; ++i) {
    if (text[i] != '.') digits[n++] = text[i];
  }
  while (text[i] != 'e') ++i;
  return std::atoi(text.c_str() + i + 1);
}

}  // namespace digits_internal

int scientific_digits(real x, int precision, char* digits) {
  int exponent = 0;
  if (digits_internal::fast_scientific_digits(x, precision, digits, &exponent)) return exponent;
  return digits_internal::printed_scientific_digits(x, precision, digits);
}

}  // namespace morvantide
