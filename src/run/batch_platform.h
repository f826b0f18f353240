// The platform of a batch run: --no-edit keeps the editor from starting,
// --no-plot the plotter, on every system.  A program that is not started
// counts as one that could not start (status -1), as it does when no editor
// is configured.
#ifndef MORVANTIDE_RUN_BATCH_PLATFORM_H_
#define MORVANTIDE_RUN_BATCH_PLATFORM_H_

#include "common/platform.h"

namespace morvantide {

class BatchPlatform : public Platform {
 public:
  BatchPlatform(Platform& platform, bool edit, bool plot)
      : platform_(platform), edit_(edit), plot_(plot) {}
  LocalTime now() override { return platform_.now(); }
  int32_t run(Program program, const std::string& file) override {
    if ((program == Program::kEditor && !edit_) || (program == Program::kPlotter && !plot_)) {
      return -1;
    }
    return platform_.run(program, file);
  }

 private:
  Platform& platform_;
  bool edit_;
  bool plot_;
};

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_BATCH_PLATFORM_H_
