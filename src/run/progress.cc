#include "run/progress.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace morvantide {

namespace {

constexpr std::chrono::milliseconds kRedraw(250);

}  // namespace

std::string progress_line(int64_t done, int64_t total, int64_t seconds, int64_t percent,
                          const char* unit) {
  const std::string units = std::string(" ") + unit + ((total < 0 ? done : total) == 1 ? "" : "s");
  if (total < 0) {
    return "morvantide: " + std::to_string(done) + units + " analysed, " +
           std::to_string(seconds) + " s";
  }
  if (percent < 0) percent = total > 0 ? done * 100 / total : 100;
  return "morvantide: " + std::to_string(done) + " of " + std::to_string(total) + units +
         " analysed (" + std::to_string(percent) + "%), " + std::to_string(seconds) + " s";
}

Progress::Progress(int64_t total, int64_t steps_each, bool shown, std::FILE* out,
                   int64_t delay_ms, const char* unit)
    : total_(total), unit_(unit), steps_total_(total * steps_each), out_(out) {
  if (!shown) return;
  try {
    thread_ = std::thread([this, delay_ms] { draw_loop(delay_ms); });
  } catch (const std::system_error&) {
    // No thread to draw with: the run goes on without the line.
  }
}

Progress::~Progress() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

std::string Progress::line(int64_t seconds) const {
  const int64_t done = work_.variables.load(std::memory_order_relaxed);
  int64_t percent = -1;
  if (steps_total_ > 0) {
    const int64_t steps = work_.steps.load(std::memory_order_relaxed);
    percent = std::min<int64_t>(100, steps * 100 / steps_total_);
  }
  return progress_line(done, total_, seconds, percent, unit_);
}

void Progress::draw_loop(int64_t delay_ms) {
  const auto start = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  if (wake_.wait_for(lock, std::chrono::milliseconds(delay_ms), [this] { return stop_; })) return;
  do {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    if (paused_) continue;
    const std::string text_line = line(seconds);
    // Blanks over what a longer line before left.
    std::string text = "\r" + text_line;
    if (text_line.size() < drawn_) text.append(drawn_ - text_line.size(), ' ');
    drawn_ = text_line.size();
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
  } while (!wake_.wait_for(lock, kRedraw, [this] { return stop_; }));
  if (drawn_ > 0) std::fputs(("\r" + std::string(drawn_, ' ') + "\r").c_str(), out_);
  std::fflush(out_);
  drawn_ = 0;
}

void Progress::resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  paused_ = false;
}

void Progress::wipe() {
  std::lock_guard<std::mutex> lock(mutex_);
  paused_ = true;
  if (drawn_ == 0) return;
  std::fputs(("\r" + std::string(drawn_, ' ') + "\r").c_str(), out_);
  std::fflush(out_);
  drawn_ = 0;
}

}  // namespace morvantide
