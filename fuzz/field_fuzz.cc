// libFuzzer target: a run on a whole field, the field the fuzzer's input
// (see harness.h for the options).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem =
      morvantide::fuzz::field_run({reinterpret_cast<const char*>(data), size});
  if (!problem.empty()) {
    std::fprintf(stderr, "field run: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
