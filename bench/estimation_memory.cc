// Peak resident memory of one run of the estimation on nm grids, to show
// that it grows in proportion to nm.  Prints "nm N maxrss_kib K".

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

#include "bench_data.h"
#include "core/estimation.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: estimation_memory NM\n");
    return 2;
  }
  const int nm = std::atoi(argv[1]);
  morvantide::State s = morvantide::smooth_state(nm, 1);
  const morvantide::Estimates e = morvantide::estimativa(s.study);
  if (e.pV.size() < 1) return 1;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("nm %d maxrss_kib %ld\n", nm, usage.ru_maxrss);
  return 0;
}
