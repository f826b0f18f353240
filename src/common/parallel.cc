// A pool of worker threads, made at the first loop that needs it and kept
// for the rest of the run: a study of 10,000 grids runs 10,000 table levels
// one after the other, and starting threads for each would cost more than
// the short levels take.  Between loops workers spin briefly (the next
// level usually follows at once), then sleep; the calling thread takes
// pieces like the workers do.

#include "common/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "common/platform.h"

namespace morvantide {
namespace {

// Pieces per thread: enough that a slow piece (a long order search) does
// not leave the other threads idle, few enough that taking one stays cheap.
constexpr int64_t kPiecesPerThread = 4;

class Pool {
 public:
  // Starts threads - 1 workers, or as many as the system lets start (a
  // process limit): the calling thread alone still runs every loop.
  explicit Pool(int threads) : requested_(threads) {
    for (int t = 1; t < threads; ++t) {
      try {
        workers_.emplace_back([this] { work(); });
      } catch (const std::system_error&) {
        break;
      }
    }
  }
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& w : workers_) w.join();
  }
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  int64_t threads() const { return static_cast<int64_t>(workers_.size()) + 1; }
  int requested() const { return requested_; }

  void run(int64_t first, int64_t last, int64_t piece, const RangeBody& body) {
    body_ = &body;
    last_ = last;
    piece_ = piece;
    next_.store(first, std::memory_order_relaxed);
    busy_.store(workers_.size(), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);  // publishes the loop
    {
      // A worker about to sleep checks the generation under the lock, so
      // taking it here means none can miss the wake-up.
      std::lock_guard<std::mutex> lock(mu_);
    }
    wake_.notify_all();
    take_pieces();
    // A short level is done within microseconds: wait for the workers by
    // spinning a little before sleeping.
    for (int spin = 0; spin < kSpins && busy_.load(std::memory_order_acquire) != 0; ++spin) {
      pause();
    }
    std::unique_lock<std::mutex> lock(mu_);
    done_.wait(lock, [this] { return busy_.load(std::memory_order_acquire) == 0; });
    // A piece that threw (out of memory) ends the loop for the caller as
    // it would without threads; the pieces after it may not have run.
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  }

 private:
  static void pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }

  void take_pieces() {
    for (;;) {
      const int64_t begin = next_.fetch_add(piece_, std::memory_order_relaxed);
      if (begin >= last_) return;
      try {
        (*body_)(begin, std::min(last_, begin + piece_));
      } catch (...) {
        std::lock_guard<std::mutex> lock(mu_);
        if (!failure_) failure_ = std::current_exception();
        next_.store(last_, std::memory_order_relaxed);  // no more pieces
        return;
      }
    }
  }

  void work() {
    const CLocaleScope c_locale;
    uint64_t seen = 0;
    for (;;) {
      // The next level usually follows at once: spin a little, then sleep.
      for (int spin = 0; spin < kSpins && generation_.load(std::memory_order_acquire) == seen;
           ++spin) {
        pause();
      }
      {
        std::unique_lock<std::mutex> lock(mu_);
        wake_.wait(lock, [&] {
          return stop_ || generation_.load(std::memory_order_acquire) != seen;
        });
        if (stop_) return;
        seen = generation_.load(std::memory_order_acquire);
      }
      take_pieces();
      if (busy_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        std::lock_guard<std::mutex> lock(mu_);
        done_.notify_one();
      }
    }
  }

  // Pauses a waiting thread spins before it sleeps (some tens of
  // microseconds).
  static constexpr int kSpins = 1 << 11;

  std::mutex mu_;
  std::condition_variable wake_;
  std::condition_variable done_;
  bool stop_ = false;
  std::atomic<uint64_t> generation_{0};
  std::atomic<size_t> busy_{0};  // workers not yet through the current loop
  const RangeBody* body_ = nullptr;
  int64_t last_ = 0;
  int64_t piece_ = 1;
  std::atomic<int64_t> next_{0};
  std::exception_ptr failure_;
  int requested_;
  std::vector<std::thread> workers_;
};

// The pool is never destroyed at exit: exit must not wait for workers that
// are still busy (a thread left inside a loop when the process ends) or
// that belong to another process (a child made by fork() has none of them).
std::mutex g_run_mu;             // one loop at a time; guards g_pool
Pool* g_pool = nullptr;          // made on first use
std::atomic<int> g_forced{0};    // set_thread_count's value, 0 for none
thread_local bool t_in_loop = false;

// The pool for the current thread count; null when that is one thread.
// REQUIRES: g_run_mu held (no loop is running on the pool).
Pool* pool() {
  const int forced = g_forced.load();
  const int threads = forced > 0 ? forced : thread_count();
  if (threads <= 1) return nullptr;
  if (g_pool == nullptr || g_pool->requested() != threads) {
    delete g_pool;  // idle: its workers are this process's, waiting
    g_pool = nullptr;
    g_pool = new Pool(threads);
  }
  return g_pool;
}

}  // namespace

int threads_from(const char* value, unsigned hardware) {
  if (value != nullptr && *value != '\0') {
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    if (*end == '\0' && n >= 1 && n <= kMaxThreads) return static_cast<int>(n);
  }
  if (hardware < 1) return 1;
  return static_cast<int>(std::min<unsigned>(hardware, kMaxThreads));
}

int thread_count() {
  static const int threads =
      threads_from(std::getenv("MORVANTIDE_THREADS"), std::thread::hardware_concurrency());
  return threads;
}

void set_thread_count(int threads) { g_forced.store(std::clamp(threads, 0, kMaxThreads)); }

void forget_threads_after_fork() {
  g_pool = nullptr;  // the parent's: left as it is, never joined here
  set_thread_count(1);
}

void parallel_for(int64_t first, int64_t last, int64_t grain, const RangeBody& body) {
  if (last <= first) return;
  grain = std::max<int64_t>(grain, 1);
  const int64_t n = last - first;
  std::unique_lock<std::mutex> running(g_run_mu, std::defer_lock);
  Pool* p = nullptr;
  if (n >= 2 * grain && !t_in_loop && running.try_lock()) p = pool();
  if (p == nullptr) {
    body(first, last);
    return;
  }
  const int64_t pieces = p->threads() * kPiecesPerThread;
  const int64_t piece = std::max(grain, (n + pieces - 1) / pieces);
  t_in_loop = true;
  try {
    p->run(first, last, piece, body);
  } catch (...) {
    t_in_loop = false;
    throw;
  }
  t_in_loop = false;
}

}  // namespace morvantide
