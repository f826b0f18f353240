#include "bench_data.h"

#include "common/quad.h"

namespace morvantide {

State smooth_state(int32_t nm, int32_t tipo_r) {
  State s;
  s.study.nm = nm;
  s.create_lists(1);
  s.study.pL = 2;
  s.study.dp = 1.5Q;
  s.study.tipo_r = tipo_r;
  s.study.itmax = 50;
  s.study.tol = 1.0e-10Q;
  s.study.pU_min = 0.5Q;
  s.study.pU_max = 5;

  const real base = nm <= 10 ? 1.6Q : 1.005Q;
  const real spread = tipo_r == 2 ? (base - 1) / 4 : 0;
  // The swing 2 frac(i phi) - 1 never repeats, so no two grids share a
  // ratio (a cycle of a few ratios would let the remembered powers skip
  // most of the work of a variable ratio).
  const real phi = 0.6180339887498948482045868343656381Q;
  real h = 1;
  for (int32_t i = 1; i <= nm; ++i) {
    const real turn = q_from_int(i) * phi;
    const real swing = 2 * (turn - floorq(turn)) - 1;
    if (i > 1) h /= base + spread * swing;
    s.study.h(i) = h;
    s.study.Th(i) = 2 - 0.5Q * q_pow(h, 2) + 0.3Q * q_pow(h, 3.5Q) + 0.1Q * q_pow(h, 5);
  }
  return s;
}

}  // namespace morvantide
