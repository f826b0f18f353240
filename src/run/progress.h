// A progress line on standard error for a long analysis: nothing during its
// first second (a short run stays silent), then one line, rewritten in place
// a few times a second, with the share of the variables done and the time
// so far; the line is wiped when the analysis ends.  Only where standard
// error is a terminal: scripts and CI logs never see it.
//
//   morvantide: 3 of 8 variables analysed (37%), 4 s
#ifndef MORVANTIDE_RUN_PROGRESS_H_
#define MORVANTIDE_RUN_PROGRESS_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace morvantide {

// The line for `done` of `total` after `seconds`.
std::string progress_line(int64_t done, int64_t total, int64_t seconds);

class Progress {
 public:
  // Draws on `out` only when `shown`; the first line after `delay_ms`.
  Progress(int64_t total, bool shown, std::FILE* out = stderr, int64_t delay_ms = 1000);
  ~Progress();  // stops drawing and wipes the line
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  std::atomic<int64_t>* counter() { return &done_; }

 private:
  void draw_loop(int64_t delay_ms);

  int64_t total_;
  std::FILE* out_;
  std::atomic<int64_t> done_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_PROGRESS_H_
