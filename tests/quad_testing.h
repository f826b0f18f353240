// Reading binary128 values from decimal text in tests.
#ifndef MORVANTIDE_TESTS_QUAD_TESTING_H_
#define MORVANTIDE_TESTS_QUAD_TESTING_H_

#include <string>

#include "common/quad.h"

namespace morvantide {

// Parses a decimal number exactly as strtoflt128 does; returns false when
// text is not entirely consumed.
inline bool q_parse(const std::string& text, real* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const real v = strtoflt128(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  *out = v;
  return true;
}

}  // namespace morvantide

#endif  // MORVANTIDE_TESTS_QUAD_TESTING_H_
