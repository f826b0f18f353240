#include "run/progress.h"

#include <chrono>

namespace morvantide {

namespace {

constexpr std::chrono::milliseconds kRedraw(250);

}  // namespace

std::string progress_line(int64_t done, int64_t total, int64_t seconds) {
  const int64_t percent = total > 0 ? done * 100 / total : 100;
  return "morvantide: " + std::to_string(done) + " of " + std::to_string(total) +
         (total == 1 ? " variable" : " variables") + " analysed (" + std::to_string(percent) +
         "%), " + std::to_string(seconds) + " s";
}

Progress::Progress(int64_t total, bool shown, std::FILE* out, int64_t delay_ms)
    : total_(total), out_(out) {
  if (shown) thread_ = std::thread([this, delay_ms] { draw_loop(delay_ms); });
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

void Progress::draw_loop(int64_t delay_ms) {
  const auto start = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  if (wake_.wait_for(lock, std::chrono::milliseconds(delay_ms), [this] { return stop_; })) return;
  size_t drawn = 0;
  do {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    const std::string line = progress_line(done_.load(std::memory_order_relaxed), total_, seconds);
    // Blanks over what a longer line before left.
    std::string text = "\r" + line;
    if (line.size() < drawn) text.append(drawn - line.size(), ' ');
    drawn = line.size();
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
  } while (!wake_.wait_for(lock, kRedraw, [this] { return stop_; }));
  std::fputs(("\r" + std::string(drawn, ' ') + "\r").c_str(), out_);
  std::fflush(out_);
}

}  // namespace morvantide
