// A progress line on standard error for a long analysis: nothing during its
// first second (a short run stays silent), then one line, rewritten in place
// a few times a second, with the variables done, the share of the work done
// (inside each analysis too, so one long study moves) and the time so far;
// the line is wiped when the analysis ends.  Only where standard error is a
// terminal: scripts and CI logs never see it.  When no thread can start (a
// process limit) the run goes on without the line.
//
//   morvantide: 0 of 1 variable analysed (37%), 4 s
#ifndef MORVANTIDE_RUN_PROGRESS_H_
#define MORVANTIDE_RUN_PROGRESS_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "common/files.h"

namespace morvantide {

// The work a run has done, counted by the analyses on any thread.
struct WorkDone {
  std::atomic<int64_t> variables{0};  // analyses finished
  std::atomic<int64_t> steps{0};      // analysis steps (core/analysis.h)
};

// The line for `done` of `total` variables after `seconds`; the share is
// `percent`, or done of total when it is negative.
// `unit` names what is counted ("variable", "point"); a negative total is
// one not known yet: "morvantide: 65536 points analysed, 3 s".
std::string progress_line(int64_t done, int64_t total, int64_t seconds, int64_t percent = -1,
                          const char* unit = "variable");

class Progress {
 public:
  // `total` analyses of `steps_each` steps each (analysis_steps); draws on
  // `out` only when `shown`, the first line after `delay_ms`.
  Progress(int64_t total, int64_t steps_each, bool shown, std::FILE* out = stderr,
           int64_t delay_ms = 1000, const char* unit = "variable");
  ~Progress();  // stops drawing and wipes the line
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  WorkDone* work() { return &work_; }
  // Wipes the line now and draws it no more until resume(): what is written
  // to the terminal next starts on a clean line, and a line of text left
  // without its line end is never drawn over.
  void wipe();
  void resume();
  // Whether the line is drawn (false also when its thread could not start).
  bool drawing() const { return thread_.joinable(); }

 private:
  void draw_loop(int64_t delay_ms);
  std::string line(int64_t seconds) const;

  int64_t total_;
  const char* unit_;
  int64_t steps_total_;
  std::FILE* out_;
  WorkDone work_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  size_t drawn_ = 0;  // the length of the line on the terminal, 0 when none
  bool paused_ = false;
  std::thread thread_;
};

// Standard output for a run that draws a progress line: before each write
// the line is wiped, and what is written reaches the terminal at once, so
// no text lands beside the line or under it.
class OutputBesideProgress : public OutputFile {
 public:
  OutputBesideProgress(OutputFile& out, Progress& progress) : out_(out), progress_(progress) {}
  void write(std::string_view bytes) override {
    if (!progress_.drawing()) return out_.write(bytes);
    progress_.wipe();
    out_.write(bytes);
    out_.flush();
    if (!bytes.empty() && bytes.back() == '\n') progress_.resume();
  }
  Status flush() override { return out_.flush(); }
  Status close() override { return out_.close(); }

 private:
  OutputFile& out_;
  Progress& progress_;
};

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_PROGRESS_H_
