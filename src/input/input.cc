// Reads: the control file, the parameter file, the result files.
// Writes: modo, arq_dados_n, arq_dados_1, nv, arq_listagem, pL, dp, tipo_r,
// itmax, tol, pU_min, pU_max, nm, arq, titulo, h, Th, and creates every
// per-grid list.
//
// Each file is read only as far as its values go (FreeFormatReader reads it
// a block at a time).
#include "input/input.h"

#include <memory>
#include <new>

#include "common/text.h"
#include "input/freeformat.h"

namespace morvantide {

namespace {

Status invalid(const FreeFormatReader& in, const std::string& what) {
  return Status::Error(printable(in.name()) + ":" + std::to_string(in.last_line()) + ": " + what);
}

std::string grid(int32_t m) { return " of grid " + std::to_string(m); }

// Where a file name was read, for the messages about that file.
struct NameRead {
  std::string what;  // "the result file name of grid 2"
  std::string file;  // the file that holds it
  int line = 0;
  bool stopped_at_slash = false;
};

// Reads one file name (the next read of `in`) into `field`.  A name that
// holds a control byte (a NUL cut it short, a CR or an escape turned up in
// messages) is refused: no file name may hold one.
Status read_name(FreeFormatReader& in, const std::string& what, std::string* field, size_t length,
                 NameRead* where) {
  Item item = Item::Text(what, field, length);
  where->what = what;
  where->file = in.name();
  item.stopped_at_slash = &where->stopped_at_slash;
  MORVANTIDE_RETURN_IF_ERROR(in.read({item}));
  where->line = in.last_line();
  if (has_control_byte(*field)) {
    return invalid(in, what + " \"" + printable(trim(*field)) +
                           "\" holds a control byte, which no file name may hold");
  }
  return Status::Ok();
}

// A failure to open the file named as `where` tells, when the name was read
// unquoted and stopped at a slash ("casos/r1.txt" read as "casos"), where
// the name stands and that such a name must be quoted.
Status with_origin(Status failure, const NameRead& where) {
  if (failure.ok() || !where.stopped_at_slash) return failure;
  return Status::Error(printable(where.file) + ":" + std::to_string(where.line) + ": " +
                       failure.message() + "; " + where.what +
                       " stopped at a slash: a name with / must be quoted");
}

// Opens a file for the free-format reader.
Status open_reader(Files& files, const std::string& name, const NameRead& where,
                   std::unique_ptr<FreeFormatReader>* reader) {
  std::unique_ptr<InputFile> file;
  MORVANTIDE_RETURN_IF_ERROR(with_origin(files.open(name, &file), where));
  *reader = std::make_unique<FreeFormatReader>(name, std::move(file));
  return Status::Ok();
}

// A result file name that stopped at a slash is tried at once, while it is
// known where it stands: it most often names a folder or nothing.
Status try_cut_name(Files& files, const std::string& name, const NameRead& where) {
  if (!where.stopped_at_slash || name.empty()) return Status::Ok();
  std::unique_ptr<InputFile> probe;
  return with_origin(files.open(name, &probe), where);
}

}  // namespace

std::string parameter_file_name(const State& s) {
  return trim(s.modo == 0 ? s.arq_dados_n : s.arq_dados_1);
}

Status read_control_file(State& s, Files& files) {
  std::unique_ptr<FreeFormatReader> reader;
  MORVANTIDE_RETURN_IF_ERROR(open_reader(files, kControlFile, NameRead(), &reader));
  FreeFormatReader& control = *reader;
  MORVANTIDE_RETURN_IF_ERROR(control.read({Item::Integer("modo", &s.modo)}));
  if (s.modo != 0 && s.modo != 1) {
    return invalid(control, "the layout of the results (modo) must be 0 or 1, found " +
                                std::to_string(s.modo));
  }
  NameRead names[2];
  MORVANTIDE_RETURN_IF_ERROR(read_name(control, "the parameter file of layout 0", &s.arq_dados_n,
                                       kLenArqDados, &names[0]));
  MORVANTIDE_RETURN_IF_ERROR(read_name(control, "the parameter file of layout 1", &s.arq_dados_1,
                                       kLenArqDados, &names[1]));
  if (parameter_file_name(s).empty()) {
    // An unquoted absolute name ("/dados/p.txt") stops at its first slash.
    const NameRead& where = names[s.modo];
    if (where.stopped_at_slash) {
      return Status::Error(printable(where.file) + ":" + std::to_string(where.line) + ": " +
                           where.what + " has no name; " + where.what +
                           " stopped at a slash: a name with / must be quoted");
    }
    return Status::Error(std::string(kControlFile) + ": the parameter file of layout " +
                         std::to_string(s.modo) + " has no name");
  }
  return try_cut_name(files, parameter_file_name(s), names[s.modo]);
}

Status read_parameter_file(State& s, Files& files) {
  Study& study = s.study;
  const std::string name = parameter_file_name(s);
  std::unique_ptr<FreeFormatReader> reader;
  MORVANTIDE_RETURN_IF_ERROR(open_reader(files, name, NameRead(), &reader));
  FreeFormatReader& in = *reader;
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer("nv", &s.nv)}));
  if (s.nv < 1) {
    return invalid(in, "nv (the number of the variable) must be at least 1, found " +
                           std::to_string(s.nv));
  }
  NameRead listing;
  MORVANTIDE_RETURN_IF_ERROR(
      read_name(in, "the listing file name", &s.arq_listagem, kLenArqListagem, &listing));
  if (trim(s.arq_listagem).empty()) return invalid(in, "the listing file name is empty");
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("pL", &study.pL)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("dp", &study.dp)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer("tipo_r", &study.tipo_r)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer("itmax", &study.itmax)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("tol", &study.tol)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("pU_min", &study.pU_min)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("pU_max", &study.pU_max)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer("nm", &study.nm)}));
  if (study.nm < 1) {
    return invalid(in, "nm (the number of grids) must be at least 1, found " + std::to_string(study.nm));
  }
  if (study.nm > kMaxGrids) {
    return invalid(in, "nm = " + std::to_string(study.nm) + " grids are more than a run takes (at most " +
                           std::to_string(kMaxGrids) +
                           ": the estimation time grows with the square of nm, and that many "
                           "grids take about a minute)");
  }
  try {
    s.create_lists(s.modo == 0 ? study.nm : 1);
  } catch (const std::bad_alloc&) {
    return invalid(in, "not enough memory for the lists of nm = " + std::to_string(study.nm) +
                           " grids");
  }

  for (int32_t m = 1; m <= study.nm; ++m) {
    if (s.modo == 0) {
      NameRead where;
      MORVANTIDE_RETURN_IF_ERROR(
          read_name(in, "the result file name" + grid(m), &s.arq(m), kLenArq, &where));
      MORVANTIDE_RETURN_IF_ERROR(try_cut_name(files, trim(s.arq(m)), where));
    }
  }
  if (s.modo == 1) {
    NameRead where;
    MORVANTIDE_RETURN_IF_ERROR(read_name(in, "the result file name", &s.arq(1), kLenArq, &where));
    MORVANTIDE_RETURN_IF_ERROR(try_cut_name(files, trim(s.arq(1)), where));
  }
  return in.read({Item::Text("the title", &s.titulo, kLenTitulo)});
}

Status read_result_files(State& s, Files& files) {
  Study& study = s.study;
  std::unique_ptr<FreeFormatReader> reader;
  if (s.modo == 0) {
    for (int32_t m = 1; m <= study.nm; ++m) {
      const std::string name = trim(s.arq(m));
      if (name.empty()) {
        return Status::Error(printable(parameter_file_name(s)) + ": the result file name" + grid(m) +
                             " is empty");
      }
      MORVANTIDE_RETURN_IF_ERROR(open_reader(files, name, NameRead(), &reader));
      FreeFormatReader& in = *reader;
      MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real("h" + grid(m), &study.h(m))}));
      int32_t number = 0;
      for (int32_t k = 1; k <= s.nv; ++k) {
        const std::string var = " of variable " + std::to_string(k) + grid(m);
        MORVANTIDE_RETURN_IF_ERROR(in.read(
            {Item::Integer("the number" + var, &number),
             Item::Real("the value" + var, &study.Th(m))}));
      }
    }
    return Status::Ok();
  }

  const std::string name = trim(s.arq(1));
  if (name.empty()) {
    return Status::Error(printable(parameter_file_name(s)) + ": the result file name is empty");
  }
  MORVANTIDE_RETURN_IF_ERROR(open_reader(files, name, NameRead(), &reader));
  FreeFormatReader& in = *reader;
  MORVANTIDE_RETURN_IF_ERROR(in.read({}));  // the header line
  for (int32_t m = 1; m <= study.nm; ++m) {
    MORVANTIDE_RETURN_IF_ERROR(
        in.read({Item::Real("h" + grid(m), &study.h(m)),
                 Item::Reals("the value of variable {}" + grid(m), &study.Th(m), s.nv)}));
  }
  return Status::Ok();
}

}  // namespace morvantide
