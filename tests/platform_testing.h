// A stand-in for the machine in the tests that run the program in memory: a
// fixed clock, and an editor and plotter that only record each launch (with
// the files as they were at that moment, when given the files) and answer
// with the statuses given, in order.
#ifndef MORVANTIDE_TESTS_PLATFORM_TESTING_H_
#define MORVANTIDE_TESTS_PLATFORM_TESTING_H_

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/files.h"
#include "common/platform.h"

namespace morvantide {

class FakePlatform : public Platform {
 public:
  struct Call {
    Program program;
    std::string file;
    std::map<std::string, std::string> files_then;
  };

  // Launches past the statuses given answer `otherwise`.
  explicit FakePlatform(MemoryFiles* files = nullptr, std::vector<int32_t> statuses = {},
                        int32_t otherwise = 0)
      : files_(files), statuses_(std::move(statuses)), otherwise_(otherwise) {}

  // 6 December 2026, 9:05:03.
  LocalTime now() override { return {2026, 12, 6, 9, 5, 3}; }
  int32_t run(Program program, const std::string& file) override {
    calls.push_back({program, file, files_ ? files_->contents : std::map<std::string, std::string>{}});
    return calls.size() <= statuses_.size() ? statuses_[calls.size() - 1] : otherwise_;
  }

  // "editor NAME" or "plotter NAME" for each launch, in order.
  std::vector<std::string> launches() const {
    std::vector<std::string> out;
    for (const Call& c : calls) {
      out.push_back((c.program == Program::kEditor ? "editor " : "plotter ") + c.file);
    }
    return out;
  }

  std::vector<Call> calls;

 private:
  MemoryFiles* files_;
  std::vector<int32_t> statuses_;
  int32_t otherwise_;
};

}  // namespace morvantide

#endif  // MORVANTIDE_TESTS_PLATFORM_TESTING_H_
