// Reads: the control file, the parameter file, the result files.
// Writes: modo, arq_dados_n, arq_dados_1, nv, arq_listagem, pL, dp, tipo_r,
// itmax, tol, pU_min, pU_max, nm, arq, titulo, h, Th, and creates every
// per-grid list.
#include "input/input.h"

#include <new>

#include "common/text.h"
#include "input/freeformat.h"

namespace morvantide {

namespace {

Status invalid(const FreeFormatReader& in, const std::string& what) {
  return Status::Error(in.name() + ":" + std::to_string(in.last_line()) + ": " + what);
}

std::string grid(int32_t m) { return " of grid " + std::to_string(m); }

}  // namespace

std::string parameter_file_name(const State& s) {
  return trim(s.modo == 0 ? s.arq_dados_n : s.arq_dados_1);
}

Status read_control_file(State& s, Files& files) {
  std::string text;
  MORVANTIDE_RETURN_IF_ERROR(files.read(kControlFile, &text));
  FreeFormatReader control(kControlFile, std::move(text));
  MORVANTIDE_RETURN_IF_ERROR(control.read({Item::Integer("modo", &s.modo)}));
  if (s.modo != 0 && s.modo != 1) {
    return invalid(control, "the layout of the results (modo) must be 0 or 1, found " +
                                std::to_string(s.modo));
  }
  MORVANTIDE_RETURN_IF_ERROR(
      control.read({Item::Text("the parameter file of layout 0", &s.arq_dados_n, kLenArqDados)}));
  MORVANTIDE_RETURN_IF_ERROR(
      control.read({Item::Text("the parameter file of layout 1", &s.arq_dados_1, kLenArqDados)}));
  if (parameter_file_name(s).empty()) {
    return Status::Error(std::string(kControlFile) + ": the parameter file of layout " +
                         std::to_string(s.modo) + " has no name");
  }
  return Status::Ok();
}

Status read_parameter_file(State& s, Files& files) {
  const std::string name = parameter_file_name(s);
  std::string text;
  MORVANTIDE_RETURN_IF_ERROR(files.read(name, &text));
  FreeFormatReader in(name, std::move(text));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer("nv", &s.nv)}));
  if (s.nv < 1) {
    return invalid(in, "nv (the number of the variable) must be at least 1, found " +
                           std::to_string(s.nv));
  }
  MORVANTIDE_RETURN_IF_ERROR(
      in.read({Item::Text("the listing file name", &s.arq_listagem, kLenArqListagem)}));
  if (trim(s.arq_listagem).empty()) return invalid(in, "the listing file name is empty");
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("pL", &s.pL)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("dp", &s.dp)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer("tipo_r", &s.tipo_r)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer("itmax", &s.itmax)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("tol", &s.tol)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("pU_min", &s.pU_min)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("pU_max", &s.pU_max)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer("nm", &s.nm)}));
  if (s.nm < 1) {
    return invalid(in, "nm (the number of grids) must be at least 1, found " + std::to_string(s.nm));
  }
  if (s.nm > kMaxGrids) {
    return invalid(in, "nm = " + std::to_string(s.nm) +
                           " grids are more than the per-grid lists can hold (at most " +
                           std::to_string(kMaxGrids) + ")");
  }
  try {
    s.create_lists(s.modo == 0 ? s.nm : 1);
  } catch (const std::bad_alloc&) {
    return invalid(in, "not enough memory for the lists of nm = " + std::to_string(s.nm) +
                           " grids");
  }

  for (int32_t m = 1; m <= s.nm; ++m) {
    if (s.modo == 0) {
      MORVANTIDE_RETURN_IF_ERROR(
          in.read({Item::Text("the result file name" + grid(m), &s.arq(m), kLenArq)}));
    }
  }
  if (s.modo == 1) {
    MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Text("the result file name", &s.arq(1), kLenArq)}));
  }
  return in.read({Item::Text("the title", &s.titulo, kLenTitulo)});
}

Status read_result_files(State& s, Files& files) {
  std::string text;
  if (s.modo == 0) {
    for (int32_t m = 1; m <= s.nm; ++m) {
      const std::string name = trim(s.arq(m));
      if (name.empty()) {
        return Status::Error(parameter_file_name(s) + ": the result file name" + grid(m) +
                             " is empty");
      }
      MORVANTIDE_RETURN_IF_ERROR(files.read(name, &text));
      FreeFormatReader in(name, std::move(text));
      MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("h" + grid(m), &s.h(m))}));
      int32_t number = 0;
      for (int32_t k = 1; k <= s.nv; ++k) {
        const std::string var = " of variable " + std::to_string(k) + grid(m);
        MORVANTIDE_RETURN_IF_ERROR(in.read(
            {Item::Integer("the number" + var, &number), Item::Real("the value" + var, &s.Th(m))}));
      }
    }
    return Status::Ok();
  }

  const std::string name = trim(s.arq(1));
  if (name.empty()) {
    return Status::Error(parameter_file_name(s) + ": the result file name is empty");
  }
  MORVANTIDE_RETURN_IF_ERROR(files.read(name, &text));
  FreeFormatReader in(name, std::move(text));
  MORVANTIDE_RETURN_IF_ERROR(in.read({}));  // the header line
  for (int32_t m = 1; m <= s.nm; ++m) {
    MORVANTIDE_RETURN_IF_ERROR(
        in.read({Item::Real("h" + grid(m), &s.h(m)),
                 Item::Reals("the value of variable {}" + grid(m), &s.Th(m), s.nv)}));
  }
  return Status::Ok();
}

}  // namespace morvantide
