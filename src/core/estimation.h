// The estimation: every estimate of one variable of a study, computed in
// binary128.  A pure computation: it reads a Study and returns the lists,
// with no files, no clock and no programs.
//
// Its stages run in this order, each reading the Study and the lists that
// earlier stages left in the Estimates and adding its own (each header
// states what): core/order_extrapolation.h, core/repeated_extrapolation.h,
// core/convergent_estimate.h.  They are public so that each can be tested
// on lists set up by hand.
#ifndef MORVANTIDE_CORE_ESTIMATION_H_
#define MORVANTIDE_CORE_ESTIMATION_H_

#include <atomic>
#include <cstdint>

#include "model/state.h"

namespace morvantide {

// Every per-grid list of the variable in `study`: the lists are created for
// study.nm grids, the true orders pV formed, then the order-and-extrapolation
// stages, the repeated extrapolation and the convergent estimate run.
// `steps`, when given, counts the entries of the repeated extrapolation as
// they are done (core/repeated_extrapolation.h), the bulk of the work of a
// long study; `stop`, when set, cuts it short (the results incomplete).
// REQUIRES: study.h and study.Th hold study.nm entries.
Estimates estimativa(const Study& study, std::atomic<int64_t>* steps = nullptr,
                     const std::atomic<bool>* stop = nullptr);

// log10(h) and r21 of every grid.
GridTable tabela_malhas(const RealList& h);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_ESTIMATION_H_
