// libFuzzer target: a whole run on control, parameter, template and result
// texts held in memory (see harness.h for the input).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem =
      morvantide::fuzz::whole_run({reinterpret_cast<const char*>(data), size});
  if (!problem.empty()) {
    std::fprintf(stderr, "whole run: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
