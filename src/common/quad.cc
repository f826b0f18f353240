#include "common/quad.h"

namespace morvantide {

std::string q_to_string(real x) {
  char buf[64];
  quadmath_snprintf(buf, sizeof buf, "%.35Qe", x);
  return buf;
}

bool q_parse(const std::string& text, real* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  real v = strtoflt128(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  *out = v;
  return true;
}

}  // namespace morvantide
