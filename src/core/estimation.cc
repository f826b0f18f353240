// The estimation driver and the grid table.

#include "core/estimation.h"

#include "core/convergent_estimate.h"
#include "core/order_extrapolation.h"
#include "core/primitives.h"
#include "core/repeated_extrapolation.h"

namespace morvantide {

Estimates estimativa(const Study& study, std::atomic<int64_t>* steps,
                     const std::atomic<bool>* stop) {
  Estimates e;
  e.create(study.nm);
  for (int32_t j = 1; j <= study.nm; ++j) e.pV(j) = true_order(study.pL, study.dp, j);
  ordem_extrapolacao(study, e);
  extrapolacao_repetida(study, e, steps, stop);
  estimativa_convergente(study, e);
  return e;
}

GridTable tabela_malhas(const RealList& h) {
  GridTable g;
  g.log10_h.resize(h.size());
  g.r21.resize(h.size(), kSentinel);
  for (int32_t i = 1; i <= h.size(); ++i) {
    g.log10_h(i) = q_log10(h(i));
    if (i >= 2) g.r21(i) = ratio_r21(h, i);
  }
  return g;
}

}  // namespace morvantide
