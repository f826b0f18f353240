// The estimation driver and the two-grid extrapolation that its stages share.
//
// Reads and writes: through its stages, every estimation list of the state
// (see order_extrapolation.cc, repeated_extrapolation.cc and
// convergent_estimate.cc).

#include "core/estimation.h"

namespace morvantide {

real extrapola(real tj, real tk, real R, real p) { return extrapola_with_power(tj, tk, q_pow(R, p)); }

real extrapola_with_power(real tj, real tk, real Rp) {
  const real difference = tj - tk;
  const real correction = difference / (Rp - 1);
  return tj + correction;
}

void estimativa(State& s) {
  ordem_extrapolacao(s);
  extrapolacao_repetida(s);
  estimativa_convergente(s);
}

}  // namespace morvantide
