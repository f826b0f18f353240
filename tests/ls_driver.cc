// Test driver of the least-squares estimator for the cross-check against
// tests/ls_reference.py.  Reads studies from standard input:
//   study NAME PL N
//   h_1 Th_1
//   ...            (N lines, coarsest grid first)
// and writes one line per grid i >= 4 of every study:
//   NAME i U_LS p_LS T0_LS sigma_LS Delta_LS Fs_LS model weighted
// each real with 40 significant digits, "-" when missing.  Exit status 2 on
// unreadable input.

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "common/quad.h"
#include "quad_testing.h"
#include "core/least_squares.h"

namespace {

using morvantide::kSentinel;
using morvantide::real;

std::string text(real x) {
  if (x == kSentinel) return "-";
  char buffer[96];
  quadmath_snprintf(buffer, sizeof buffer, "%.39Qe", x);
  return buffer;
}

bool read_real(std::istream& in, real* out) {
  std::string word;
  return static_cast<bool>(in >> word) && morvantide::q_parse(word, out);
}

}  // namespace

int main() {
  std::string keyword, name;
  while (std::cin >> keyword) {
    real pL;
    int n = 0;
    if (keyword != "study" || !(std::cin >> name) || !read_real(std::cin, &pL) ||
        !(std::cin >> n) || n < 0) {
      std::cerr << "ls_driver: expected \"study NAME PL N\"\n";
      return 2;
    }
    std::vector<real> h(n), Th(n);
    for (int j = 0; j < n; ++j) {
      if (!read_real(std::cin, &h[j]) || !read_real(std::cin, &Th[j])) {
        std::cerr << "ls_driver: study " << name << ": expected h and Th of grid " << j + 1
                  << "\n";
        return 2;
      }
    }
    const auto results = morvantide::least_squares_estimates(h, Th, pL);
    for (int i = 4; i <= n; ++i) {
      const auto& g = results[i - 1];
      std::cout << name << ' ' << i << ' ' << text(g.U_LS) << ' ' << text(g.p_LS) << ' '
                << text(g.T0_LS) << ' ' << text(g.sigma_LS) << ' ' << text(g.Delta_LS) << ' '
                << text(g.Fs_LS) << ' ' << g.model << ' ' << (g.weighted ? 1 : 0) << '\n';
    }
  }
  return 0;
}
