#include "common/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/files.h"
#include "core/estimation.h"
#include "core_testing.h"
#include "output/plot_data.h"
#include "output/saida_resultados.h"
#include "output/scripts.h"
#include "output/tables.h"

namespace morvantide {
namespace {

using core_testing::StudyLists;
using core_testing::constant_ratio;
using core_testing::make_state;
using core_testing::power_law;
using core_testing::Settings;
using core_testing::Term;

// Puts the thread count back to the environment's choice at the end.
struct ForcedThreads {
  explicit ForcedThreads(int n) { set_thread_count(n); }
  ~ForcedThreads() { set_thread_count(0); }
};

TEST(ThreadsFrom, Cases) {
  struct Case {
    const char* name;
    const char* value;
    unsigned hardware;
    int expected;
  };
  const Case cases[] = {
      {"unset: the hardware's", nullptr, 8, 8},
      {"empty: the hardware's", "", 4, 4},
      {"one forces one", "1", 8, 1},
      {"more than the hardware", "3", 2, 3},
      {"the largest allowed", "256", 2, 256},
      {"zero refused", "0", 2, 2},
      {"negative refused", "-2", 2, 2},
      {"not a number", "two", 2, 2},
      {"trailing text", "2x", 4, 4},
      {"leading blank taken by strtol", " 3", 4, 3},
      {"beyond the cap", "100000", 2, 2},
      {"beyond long", "99999999999999999999999", 2, 2},
      {"hardware unknown", nullptr, 0, 1},
      {"hardware beyond the cap", nullptr, 1000, kMaxThreads},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(threads_from(c.value, c.hardware), c.expected) << c.name;
  }
}

TEST(ParallelFor, EveryIndexOnce) {
  struct Case {
    const char* name;
    int64_t first, last, grain;
    int threads;
  };
  const Case cases[] = {
      {"empty range", 5, 5, 1, 2},
      {"reversed range", 9, 3, 1, 2},
      {"one index", 0, 1, 1, 4},
      {"below two grains: one thread", 0, 15, 8, 2},
      {"exactly two grains", 0, 16, 8, 2},
      {"grain 0 taken as 1", 3, 40, 0, 3},
      {"negative grain", 0, 10, -5, 2},
      {"uneven pieces", 7, 1007, 3, 3},
      {"many threads, few indices", 0, 5, 1, 8},
      {"one thread", 0, 1000, 1, 1},
      {"negative indices", -50, 50, 2, 2},
  };
  for (const Case& c : cases) {
    ForcedThreads forced(c.threads);
    const int64_t n = c.last > c.first ? c.last - c.first : 0;
    std::vector<std::atomic<int>> seen(static_cast<size_t>(n));
    std::atomic<int> calls{0};
    bool bad_piece = false;
    parallel_for(c.first, c.last, c.grain, [&](int64_t b, int64_t e) {
      ++calls;
      if (b < c.first || e > c.last || b >= e) bad_piece = true;
      for (int64_t i = b; i < e && !bad_piece; ++i) ++seen[static_cast<size_t>(i - c.first)];
    });
    EXPECT_FALSE(bad_piece) << c.name;
    for (int64_t i = 0; i < n; ++i) {
      EXPECT_EQ(seen[static_cast<size_t>(i)].load(), 1) << c.name << ": index " << c.first + i;
    }
    if (n == 0) {
      EXPECT_EQ(calls.load(), 0) << c.name;
    }
  }
}

TEST(ParallelFor, NestedLoopRunsOnItsThread) {
  ForcedThreads forced(3);
  std::vector<std::atomic<int>> seen(40 * 40);
  parallel_for(0, 40, 1, [&](int64_t b, int64_t e) {
    for (int64_t i = b; i < e; ++i) {
      parallel_for(0, 40, 1, [&](int64_t bj, int64_t ej) {
        for (int64_t j = bj; j < ej; ++j) ++seen[static_cast<size_t>(i * 40 + j)];
      });
    }
  });
  for (size_t k = 0; k < seen.size(); ++k) EXPECT_EQ(seen[k].load(), 1) << k;
}

TEST(ParallelFor, AThrowingPieceReachesTheCaller) {
  for (int threads : {1, 2, 3}) {
    ForcedThreads forced(threads);
    std::atomic<int> done{0};
    EXPECT_THROW(parallel_for(0, 1000, 10,
                              [&](int64_t b, int64_t e) {
                                if (b <= 500 && 500 < e) throw std::runtime_error("piece");
                                done += static_cast<int>(e - b);
                              }),
                 std::runtime_error)
        << threads << " threads";
    EXPECT_LT(done.load(), 1000) << threads << " threads";
    // The pool is usable again.
    std::atomic<int> after{0};
    parallel_for(0, 1000, 10, [&](int64_t b, int64_t e) { after += static_cast<int>(e - b); });
    EXPECT_EQ(after.load(), 1000) << threads << " threads";
  }
}

TEST(ParallelConcat, SameTextAsTheLoop) {
  struct Case {
    const char* name;
    int64_t first, last, grain;
  };
  const Case cases[] = {
      {"empty", 4, 4, 8},
      {"reversed", 9, 2, 8},
      {"below two grains", 0, 15, 8},
      {"two grains exactly", 0, 16, 8},
      {"uneven last piece", 1, 1001, 64},
      {"grain 1", -20, 20, 1},
  };
  for (int threads : {1, 3}) {
    ForcedThreads forced(threads);
    for (const Case& c : cases) {
      // Texts of different lengths, so a piece out of place shows.
      auto text_of = [](int64_t i) { return std::to_string(i) + std::string(i & 3, '.') + "|"; };
      std::string expected;
      for (int64_t i = c.first; i < c.last; ++i) expected += text_of(i);
      EXPECT_EQ(parallel_concat(c.first, c.last, c.grain, text_of), expected)
          << c.name << ", " << threads << " threads";
    }
  }
}

// Bit for bit, NaN payloads and the sign of zero included.
bool same_bits(const RealList& a, const RealList& b) {
  if (a.size() != b.size()) return false;
  for (int32_t i = 1; i <= a.size(); ++i) {
    if (std::memcmp(&a(i), &b(i), sizeof(real)) != 0) return false;
  }
  return true;
}

// Studies whose every stage has work for the threads: long order searches
// (variable ratio), long table levels, sentinels and non-convergence.
std::vector<std::pair<const char*, StudyLists>> studies() {
  std::vector<std::pair<const char*, StudyLists>> out;
  Settings variable;
  variable.tipo_r = 2;
  std::vector<real> h = constant_ratio(1, 1.3Q, 60);
  for (size_t i = 1; i < h.size(); i += 2) h[i] *= 1.05Q;  // ratios alternate
  out.emplace_back("variable ratio, 60 grids",
                   make_state(h, power_law(h, 2, {{-0.5Q, 2}, {0.3Q, 3.5Q}}), variable));
  std::vector<real> noisy = power_law(h, 1, {{1, 1.5Q}});
  for (size_t i = 0; i < noisy.size(); i += 3) noisy[i] *= 1 + 1e-9Q;
  out.emplace_back("variable ratio, noisy", make_state(h, noisy, variable));
  const std::vector<real> hc = constant_ratio(1, 1.02Q, 700);
  out.emplace_back("constant ratio, 700 grids",
                   make_state(hc, power_law(hc, 2, {{-0.5Q, 2}, {0.1Q, 5}})));
  std::vector<real> oscillating = power_law(hc, 3, {{1, 2}});
  for (size_t i = 0; i < oscillating.size(); i += 2) oscillating[i] = 6 - oscillating[i];
  out.emplace_back("constant ratio, oscillating", make_state(hc, oscillating));
  return out;
}

TEST(Estimation, SameBitsOnAnyNumberOfThreads) {
  const RealList Estimates::*lists[] = {
      &Estimates::pU_Th,  &Estimates::psi_Th,  &Estimates::pUs_Th,  &Estimates::Ti_pL,
      &Estimates::Ti_pU,  &Estimates::Ti_pUs,  &Estimates::pU_Ti,   &Estimates::psi_Ti,
      &Estimates::pUs_Ti, &Estimates::Tbi_pUs, &Estimates::psi_Tbi, &Estimates::pUs_Tbi,
      &Estimates::Tm1,    &Estimates::psi_Tm1, &Estimates::pUs_Tm1, &Estimates::Um_Tm1,
      &Estimates::Tc,     &Estimates::Uc_Tc,   &Estimates::UGCI_Th, &Estimates::Umc_Th,
  };
  for (const auto& [name, study] : studies()) {
    Estimates one;
    {
      ForcedThreads forced(1);
      one = estimativa(study);
    }
    for (int threads : {2, 3, 7}) {
      ForcedThreads forced(threads);
      const Estimates many = estimativa(study);
      for (size_t k = 0; k < std::size(lists); ++k) {
        EXPECT_TRUE(same_bits(one.*lists[k], many.*lists[k]))
            << name << ", " << threads << " threads, list " << k;
      }
    }
  }
}

TEST(Outputs, SameTextOnAnyNumberOfThreads) {
  for (auto& [name, study] : studies()) {
    StudyLists s = study;
    static_cast<Estimates&>(s) = estimativa(s);
    static_cast<GridTable&>(s) = tabela_malhas(s.h);
    std::string one_tables;
    MemoryFiles one_files;
    {
      ForcedThreads forced(1);
      one_tables = tabelas_pU_psi(s) + tabela_T(s) + tabela_U(s);
      ASSERT_TRUE(write_plot_data(s, one_files).ok()) << name;
    }
    ForcedThreads forced(3);
    EXPECT_EQ(tabelas_pU_psi(s) + tabela_T(s) + tabela_U(s), one_tables) << name;
    MemoryFiles many_files;
    ASSERT_TRUE(write_plot_data(s, many_files).ok()) << name;
    EXPECT_EQ(many_files.contents, one_files.contents) << name;
  }
}

}  // namespace
}  // namespace morvantide
