// The analysis state: every value of a run lives here, from the input to the
// output.  The input stage fills the scalars, texts, h and Th; each stage of
// the estimation reads what earlier stages left and adds its own lists; the
// output only reads.
//
// Per-grid lists are indexed 1..nm, grid 1 the coarsest and grid nm the
// finest, exactly as the listing numbers them.
#ifndef MORVANTIDE_RUN_STATE_H_
#define MORVANTIDE_RUN_STATE_H_

#include <cassert>
#include <cstdint>
#include <string>
#include <vector>

#include "common/quad.h"

namespace morvantide {

// A list with entries 1..n.
template <typename T>
class GridList {
 public:
  void resize(int32_t n, const T& value = T()) { v_.assign(n > 0 ? n : 0, value); }
  void fill(const T& value) { std::fill(v_.begin(), v_.end(), value); }
  int32_t size() const { return static_cast<int32_t>(v_.size()); }
  T& operator()(int32_t i) {
    assert(i >= 1 && i <= size());
    return v_[i - 1];
  }
  const T& operator()(int32_t i) const {
    assert(i >= 1 && i <= size());
    return v_[i - 1];
  }

 private:
  std::vector<T> v_;
};

using RealList = GridList<real>;

// Text field lengths.
inline constexpr size_t kLenArqDados = 80;
inline constexpr size_t kLenArqListagem = 60;
inline constexpr size_t kLenArq = 60;
inline constexpr size_t kLenTitulo = 100;
inline constexpr size_t kLenDia = 12;
inline constexpr size_t kLenHora = 8;
inline constexpr size_t kLenTituloGrafico = 202;
inline constexpr size_t kLenComando = 90;

// Number of real per-grid lists held; used to bound nm before allocating.
inline constexpr int kRealListsPerGrid = 32;

struct State {
  // Control file.
  int32_t modo = 0;
  std::string arq_dados_n = std::string(kLenArqDados, ' ');
  std::string arq_dados_1 = std::string(kLenArqDados, ' ');

  // Parameter file.
  int32_t nv = 0;
  std::string arq_listagem = std::string(kLenArqListagem, ' ');
  real pL = 0;
  real dp = 0;
  int32_t tipo_r = 0;
  int32_t itmax = 0;
  real tol = 0;
  real pU_min = 0;
  real pU_max = 0;
  int32_t nm = 0;
  GridList<std::string> arq;  // nm entries in layout 0, one in layout 1
  RealList pV;                // pV(j) = pL + (j-1) dp
  std::string titulo = std::string(kLenTitulo, ' ');

  // Texts of the run.
  std::string dia = std::string(kLenDia, ' ');
  std::string hora = std::string(kLenHora, ' ');
  std::string titulo_grafico = std::string(kLenTituloGrafico, ' ');
  std::string comando = std::string(kLenComando, ' ');
  int32_t status = 0;

  // Result files.
  RealList h;
  RealList Th;

  // Working scalars of the estimation.
  real r21 = 0;
  real r32 = 0;
  real pGCI = 0;

  // Convergence ratio and observed orders of Th.
  RealList pU_Th, psi_Th, pUs_Th;
  // Single extrapolation.
  RealList Ti_pL, Ti_pU, Ti_pUs, pU_Ti, psi_Ti, pUs_Ti;
  // Bi-extrapolation.
  RealList Tbi_pUs, psi_Tbi, pUs_Tbi;
  // Repeated extrapolation (only its most extrapolated value is kept).
  RealList Tm1, psi_Tm1, pUs_Tm1, Um_Tm1;
  // Convergent estimate and error estimators.
  RealList Upl, Tpl, Ups, Tps, Tc, psi_Tc, pUs_Tc, Uc_Tc, UGCI_Th, Umc_Th;

  // Creates every per-grid list for nm grids and fills the sixteen lists
  // that start as the sentinel.  `arq_entries` is nm in layout 0, 1 in
  // layout 1.
  void create_lists(int32_t arq_entries);
};

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_STATE_H_
