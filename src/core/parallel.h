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
// REQUIRES: body does not throw, and calls parallel_for itself only on
// ranges it runs on its own thread (a nested call runs serially).
#ifndef MORVANTIDE_CORE_PARALLEL_H_
#define MORVANTIDE_CORE_PARALLEL_H_

#include <cstdint>
#include <functional>

namespace morvantide {

using RangeBody = std::function<void(int64_t begin, int64_t end)>;

void parallel_for(int64_t first, int64_t last, int64_t grain, const RangeBody& body);

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

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_PARALLEL_H_
