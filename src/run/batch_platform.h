// The platform of a batch run: --no-edit keeps the editor from starting,
// --no-plot the plotter, on every system.  A program that is not started
// counts as one that could not start (status -1), as it does when no editor
// is configured.  With a folder (--output-dir) the programs start there.
#ifndef MORVANTIDE_RUN_BATCH_PLATFORM_H_
#define MORVANTIDE_RUN_BATCH_PLATFORM_H_

#include <string>
#include <utility>

#include "common/platform.h"

namespace morvantide {

class BatchPlatform : public Platform {
 public:
  BatchPlatform(Platform& platform, bool edit, bool plot, std::string folder = "")
      : platform_(platform), edit_(edit), plot_(plot), folder_(std::move(folder)) {}
  LocalTime now() override { return platform_.now(); }
  int32_t run(Program program, const std::string& file) override {
    if ((program == Program::kEditor && !edit_) || (program == Program::kPlotter && !plot_)) {
      return -1;
    }
    return folder_.empty() ? platform_.run(program, file)
                           : platform_.run_in(folder_, program, file);
  }

 private:
  Platform& platform_;
  bool edit_;
  bool plot_;
  std::string folder_;
};

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_BATCH_PLATFORM_H_
