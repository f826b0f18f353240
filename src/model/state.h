// The state of a run and the data shapes of an analysis.
//
//   Study      what the estimation reads: the settings of the analysis and,
//              for one variable, the spacing h and the value Th of every grid;
//   Estimates  every per-grid list the estimation computes from a Study;
//   GridTable  log10(h) and the refinement ratio r21 of every grid;
//   State      what the input names (files, title), the Study it read and
//              the texts of the run.
// The input stage fills a State; core/analysis.h turns its Study into the
// Analysis every output reads.
//
// Per-grid lists are indexed 1..nm, grid 1 the coarsest and grid nm the
// finest, exactly as the listing numbers them.  A value that could not be
// computed holds the sentinel kSentinel (1.0e11).
#ifndef MORVANTIDE_MODEL_STATE_H_
#define MORVANTIDE_MODEL_STATE_H_

#include <algorithm>
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

// The most grids a run accepts, set by running time (docs/manual.md): the
// estimation grows with the square of the number of grids, and with a
// variable ratio (the worst case) this many take about a minute.
inline constexpr int32_t kMaxGrids = 11000;

// Text field lengths.
inline constexpr size_t kLenArqDados = 80;
inline constexpr size_t kLenArqListagem = 60;
inline constexpr size_t kLenArq = 60;
inline constexpr size_t kLenTitulo = 100;
inline constexpr size_t kLenDia = 12;
inline constexpr size_t kLenHora = 8;
inline constexpr size_t kLenTituloGrafico = 202;

// The first grid at which each kind of quantity can exist: a difference
// needs two grids, a convergence ratio three; a quantity of an extrapolated
// sequence starts as many grids later as its extrapolation needs.
inline constexpr int32_t kFirstDifference = 2;  // Ti_pL, Tm1, UGCI_Th, Umc_Th
inline constexpr int32_t kFirstRatioTh = 3;     // psi_Th, pUs_Th, Tc, Uc_Tc
inline constexpr int32_t kFirstRatioTm1 = 4;    // psi_Tm1, pUs_Tm1
inline constexpr int32_t kFirstRatioTi = 5;     // psi_Ti, pUs_Ti, psi_Tc, pUs_Tc
inline constexpr int32_t kFirstRatioTbi = 7;    // psi_Tbi, pUs_Tbi
inline constexpr int32_t kFirstLeastSquares = 4;  // U_LS

// The settings of the search for the observed order with a variable
// refinement ratio.
struct SearchSettings {
  int32_t itmax = 0;  // iteration limit
  real tol = 0;       // the search stops once its bracket is this narrow
  real pU_min = 0;    // the bracket [pU_min, pU_max]
  real pU_max = 0;
};

// The m-th true order of the error: pL + (m - 1) dp.
inline real true_order(real pL, real dp, int32_t m) { return pL + q_from_int(m - 1) * dp; }

// The settings of an analysis: the true orders of the error and the search
// for the observed order with a variable ratio.  The parameter file, the
// command line, Python and field mode all give these.
struct Settings {
  real pL = 0;         // asymptotic order of the true error
  real dp = 0;         // step between the true orders
  int32_t tipo_r = 0;  // refinement ratio: 1 constant, 2 variable
  int32_t itmax = 0;   // the order search: its iteration limit,
  real tol = 0;        // the bracket width it stops at
  real pU_min = 0;     // and its first bracket [pU_min, pU_max]
  real pU_max = 0;

  SearchSettings search() const { return {itmax, tol, pU_min, pU_max}; }
};

// One variable of a grid refinement study: everything the estimation reads.
struct Study : Settings {
  int32_t nm = 0;  // number of grids
  RealList h;      // spacing of each grid
  RealList Th;     // the variable's value on each grid
  int32_t cells = 0;  // h came from cell counts in this many dimensions; 0: h given
};

// Every per-grid list of the estimation, under the names the listing prints
// them with (quantity first, sequence last).
struct Estimates {
  RealList pV;  // the true orders pV(j) = pL + (j-1) dp, indexed by level j
  // Convergence ratio and observed orders of Th.
  RealList pU_Th, psi_Th, pUs_Th;
  // Single extrapolation.
  RealList Ti_pL, Ti_pU, Ti_pUs, pU_Ti, psi_Ti, pUs_Ti;
  // Bi-extrapolation.
  RealList Tbi_pUs, psi_Tbi, pUs_Tbi;
  // Repeated extrapolation (only its most extrapolated value is kept).
  RealList Tm1, psi_Tm1, pUs_Tm1, Um_Tm1;
  // Convergent estimate and error estimators; pGCI is the order used for
  // UGCI_Th at each grid.
  RealList Upl, Tpl, Ups, Tps, Tc, psi_Tc, pUs_Tc, Uc_Tc, UGCI_Th, Umc_Th, pGCI;

  // Creates every list for nm grids: the sixteen that start as the sentinel
  // are filled with it, the others with zero.
  void create(int32_t nm);
};

// The grid table: log10(h) and the refinement ratio r21 = h(i-1) / h(i)
// (from grid 2 on; r21(1) is the sentinel).
struct GridTable {
  RealList log10_h;
  RealList r21;
};

struct State {
  // Control file.
  int32_t modo = 0;
  std::string arq_dados_n = std::string(kLenArqDados, ' ');
  std::string arq_dados_1 = std::string(kLenArqDados, ' ');

  // Parameter file: its settings, nm and the grids' h; the result files:
  // h and the Th of variable nv.
  Study study;
  int32_t nv = 0;
  std::string arq_listagem = std::string(kLenArqListagem, ' ');
  GridList<std::string> arq;  // nm entries in layout 0, one in layout 1
  // Where the names stand, for messages about the files they name: the
  // line of the control file that names the parameter file used, and the
  // line of the parameter file that names each result file (0: not read
  // from a file).
  int32_t arq_dados_line = 0;
  GridList<int32_t> arq_line;
  std::string titulo = std::string(kLenTitulo, ' ');
  // A data run's file name and title as given (any bytes, UTF-8 as a rule),
  // which the reports write whatever their length; arq(1) and titulo hold
  // them in Windows-1252 for the listing and the scripts.  Empty in a
  // classic run.
  std::string given_file;
  std::string given_title;

  // Texts of the run.
  std::string dia = std::string(kLenDia, ' ');
  std::string hora = std::string(kLenHora, ' ');
  std::string titulo_grafico = std::string(kLenTituloGrafico, ' ');

  // Creates study.h, study.Th, arq and arq_line (`arq_entries`: nm in
  // layout 0, 1 in layout 1).
  void create_lists(int32_t arq_entries);
};

}  // namespace morvantide

#endif  // MORVANTIDE_MODEL_STATE_H_
