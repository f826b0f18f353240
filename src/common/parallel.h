// Loops of independent iterations spread over the cores.
//
// parallel_for(first, last, grain, body) calls body(begin, end) on
// contiguous pieces that together cover [first, last) once, on up to
// thread_count() threads (the calling thread is one of them), and returns
// when every piece is done.  Each index is handled by exactly one call and
// the pieces never share an output, so a body that computes entry i from
// inputs alone gives the same bits whatever the number of threads or the
// way the range is cut.  Ranges shorter than 2 * grain run on the calling
// thread.
//
//   std::vector<real> y(n);
//   parallel_for(0, n, 16, [&](int64_t b, int64_t e) {
//     for (int64_t i = b; i < e; ++i) y[i] = q_pow(x[i], p);
//   });
//
// A nested call runs on the thread that makes it.  When a piece throws,
// the first exception reaches the caller once the running pieces are done;
// pieces not yet started are skipped.
#ifndef MORVANTIDE_COMMON_PARALLEL_H_
#define MORVANTIDE_COMMON_PARALLEL_H_

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morvantide {

using RangeBody = std::function<void(int64_t begin, int64_t end)>;

void parallel_for(int64_t first, int64_t last, int64_t grain, const RangeBody& body);

// The texts text_of(first) + text_of(first + 1) + ... + text_of(last - 1),
// formed on the threads in pieces of at least `grain` and joined in order:
// the same string as the plain loop.
//   parallel_concat(1, 4, 1, [](int64_t i) { return std::to_string(i); }) -> "123"
template <typename TextOf>
std::string parallel_concat(int64_t first, int64_t last, int64_t grain, TextOf text_of) {
  if (last - first < 2 * grain) {
    std::string out;
    for (int64_t i = first; i < last; ++i) out += text_of(i);
    return out;
  }
  const int64_t pieces = (last - first + grain - 1) / grain;
  std::vector<std::string> texts(static_cast<size_t>(pieces));
  parallel_for(0, pieces, 1, [&](int64_t b, int64_t e) {
    for (int64_t k = b; k < e; ++k) {
      const int64_t end = std::min(last, first + (k + 1) * grain);
      for (int64_t i = first + k * grain; i < end; ++i) texts[static_cast<size_t>(k)] += text_of(i);
    }
  });
  size_t size = 0;
  for (const std::string& t : texts) size += t.size();
  std::string out;
  out.reserve(size);
  for (const std::string& t : texts) out += t;
  return out;
}

// The number of threads loops use: MORVANTIDE_THREADS when it is a whole
// number from 1 to kMaxThreads, else the number of hardware threads (at
// least 1, at most kMaxThreads).
inline constexpr int kMaxThreads = 256;
int thread_count();
// Threads from the environment, as above, read from `value` (the text of
// MORVANTIDE_THREADS or null) and the hardware's count `hardware`.
int threads_from(const char* value, unsigned hardware);
// Forces the number of threads (tests, benchmarks); 0 goes back to the
// environment's choice.
void set_thread_count(int threads);
// In a child made by fork(): loops run on the calling thread alone, and the
// parent's workers, which the child does not have, are never waited for.
void forget_threads_after_fork();

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_PARALLEL_H_
