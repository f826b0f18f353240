#include "field/exact_sum.h"

#include <cstring>

namespace morvantide {

namespace {

// Bit k of the integer stands for 2^(k - kLowest): the smallest subnormal is
// bit 0 and the largest finite value's leading bit is bit 32877; the limbs
// above leave room for 2^64 additions of the largest values.
constexpr int32_t kLowest = 16494;
constexpr int32_t kLimbs = 515 + 2;
constexpr int kSignificandBits = 113;

using u128 = unsigned __int128;

// The bits of the integer from position `pos` (>= 0), `count` <= 128 of them.
u128 bits_at(const std::vector<uint64_t>& limbs, int32_t pos, int count) {
  u128 out = 0;
  for (int k = 0; k < count;) {
    const int32_t p = pos + k;
    const int32_t limb = p / 64;
    const int offset = p % 64;
    const int take = std::min(64 - offset, count - k);
    uint64_t chunk = limb < kLimbs ? limbs[limb] >> offset : 0;
    if (take < 64) chunk &= (uint64_t{1} << take) - 1;
    out |= u128{chunk} << k;
    k += take;
  }
  return out;
}

// Any bit below position `pos` set.
bool any_below(const std::vector<uint64_t>& limbs, int32_t pos) {
  const int32_t limb = pos / 64;
  const int offset = pos % 64;
  if (offset > 0 && (limbs[limb] & ((uint64_t{1} << offset) - 1)) != 0) return true;
  for (int32_t k = 0; k < limb; ++k) {
    if (limbs[k] != 0) return true;
  }
  return false;
}

int32_t highest_bit(uint64_t x) { return 63 - __builtin_clzll(x); }

}  // namespace

ExactSum::ExactSum() : limbs_(kLimbs, 0) {}

void ExactSum::add(real x) {
  if (invalid_) return;
  if (q_isnan(x) || q_isinf(x) || x < 0) {
    invalid_ = true;
    return;
  }
  u128 b;
  std::memcpy(&b, &x, sizeof b);
  const int32_t exponent = static_cast<int32_t>((b >> 112) & 0x7fff);
  u128 m = b & ((u128{1} << 112) - 1);
  if (m == 0 && exponent == 0) return;
  if (exponent != 0) m |= u128{1} << 112;
  const int32_t shift = exponent == 0 ? 0 : exponent - 1;
  int32_t limb = shift / 64;
  const int offset = shift % 64;
  const u128 low = m << offset;
  const uint64_t parts[3] = {static_cast<uint64_t>(low), static_cast<uint64_t>(low >> 64),
                             offset == 0 ? 0 : static_cast<uint64_t>(m >> (128 - offset))};
  uint64_t carry = 0;
  for (int k = 0; k < 3 || carry != 0; ++k, ++limb) {
    const uint64_t add = (k < 3 ? parts[k] : 0);
    const uint64_t before = limbs_[limb];
    const uint64_t sum = before + add + carry;
    carry = (sum < before || (carry != 0 && sum == before)) ? 1 : 0;
    limbs_[limb] = sum;
    if (sum != 0 && limb > top_) top_ = limb;
  }
}

void ExactSum::merge(const ExactSum& other) {
  if (other.invalid_) invalid_ = true;
  if (invalid_) return;
  uint64_t carry = 0;
  for (int32_t limb = 0; limb <= other.top_ || carry != 0; ++limb) {
    const uint64_t add = limb <= other.top_ ? other.limbs_[limb] : 0;
    const uint64_t before = limbs_[limb];
    const uint64_t sum = before + add + carry;
    carry = (sum < before || (carry != 0 && sum == before)) ? 1 : 0;
    limbs_[limb] = sum;
    if (sum != 0 && limb > top_) top_ = limb;
  }
}

real ExactSum::value() const {
  if (invalid_) return nanq("");
  if (top_ < 0) return 0;
  const int32_t high = top_ * 64 + highest_bit(limbs_[top_]);
  if (high < kSignificandBits) {
    return scalbnq(static_cast<real>(bits_at(limbs_, 0, kSignificandBits)), -kLowest);
  }
  int32_t low = high - (kSignificandBits - 1);
  u128 m = bits_at(limbs_, low, kSignificandBits);
  const bool guard = bits_at(limbs_, low - 1, 1) != 0;
  const bool sticky = any_below(limbs_, low - 1);
  if (guard && (sticky || (m & 1) != 0)) {
    ++m;
    if (m == u128{1} << kSignificandBits) {
      m >>= 1;
      ++low;
    }
  }
  return scalbnq(static_cast<real>(m), low - kLowest);
}

std::vector<real> ExactSum::terms() const {
  if (invalid_) return {nanq("")};
  std::vector<real> out;
  if (top_ < 0) return out;
  constexpr int kChunk = 112;
  const int32_t high = top_ * 64 + 63;
  for (int32_t pos = (high / kChunk) * kChunk; pos >= 0; pos -= kChunk) {
    const u128 chunk = bits_at(limbs_, pos, kChunk);
    if (chunk != 0) out.push_back(scalbnq(static_cast<real>(chunk), pos - kLowest));
  }
  return out;
}

void ExactSum::add_terms(const std::vector<real>& terms) {
  for (real t : terms) add(t);
}

bool ExactSum::operator==(const ExactSum& other) const {
  return invalid_ == other.invalid_ && top_ == other.top_ && limbs_ == other.limbs_;
}

}  // namespace morvantide
