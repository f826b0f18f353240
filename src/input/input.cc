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
#include "input/variables.h"

namespace morvantide {

namespace {

Status invalid(const FreeFormatReader& in, const std::string& what) {
  return Status::Error(printable(in.name()) + ":" + std::to_string(in.last_line()) + ": " + what);
}


// The items of the two files as messages name them: the name and what it is.
const std::string kModo = "modo (the layout of the results, 0 or 1)";
const std::string kNv = "nv (the number of the variable)";
const std::string kPL = "pL (the asymptotic order)";
const std::string kDp = "dp (the step between the true orders)";
const std::string kTipoR = "tipo_r (the kind of refinement ratio, 1 constant or 2 variable)";
const std::string kItmax = "itmax (the most iterations of the order search)";
const std::string kTol = "tol (the tolerance of the order search)";
const std::string kPUMin = "pU_min (the lowest order searched)";
const std::string kPUMax = "pU_max (the highest order searched)";
const std::string kNm = "nm (the number of grids)";

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
  return failure.retold(printable(where.file) + ":" + std::to_string(where.line) + ": " +
                        failure.message() + "; " + where.what +
                        " stopped at a slash: a name with / must be quoted");
}

// Opens a file for the free-format reader.  A file named in another one
// (where.line above 0) that cannot be opened is named with the file and the
// line that name it:
//   Morvantide_4p0.in:3: param1.txt: cannot open (No such file or directory)
Status open_reader(Files& files, const std::string& name, const NameRead& where,
                   std::unique_ptr<FreeFormatReader>* reader) {
  std::unique_ptr<InputFile> file;
  Status opened = with_origin(files.open(name, &file), where);
  if (!opened.ok() && !where.stopped_at_slash && where.line > 0) {
    return opened.retold(printable(where.file) + ":" + std::to_string(where.line) + ": " +
                         opened.message());
  }
  MORVANTIDE_RETURN_IF_ERROR(opened);
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
  MORVANTIDE_RETURN_IF_ERROR(control.read({Item::Integer(kModo, &s.modo)}));
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
  s.arq_dados_line = names[s.modo].line;
  return try_cut_name(files, parameter_file_name(s), names[s.modo]);
}

Status read_parameter_file(State& s, Files& files) {
  Study& study = s.study;
  const std::string name = parameter_file_name(s);
  NameRead named;
  named.file = kControlFile;
  named.line = s.arq_dados_line;
  std::unique_ptr<FreeFormatReader> reader;
  MORVANTIDE_RETURN_IF_ERROR(open_reader(files, name, named, &reader));
  FreeFormatReader& in = *reader;
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer(kNv, &s.nv)}));
  if (s.nv < 1) return invalid(in, kNv + " must be at least 1, found " + std::to_string(s.nv));
  NameRead listing;
  MORVANTIDE_RETURN_IF_ERROR(
      read_name(in, "the listing file name", &s.arq_listagem, kLenArqListagem, &listing));
  if (trim(s.arq_listagem).empty()) return invalid(in, "the listing file name is empty");
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real(kPL, &study.pL)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real(kDp, &study.dp)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer(kTipoR, &study.tipo_r)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer(kItmax, &study.itmax)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real(kTol, &study.tol)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real(kPUMin, &study.pU_min)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Real(kPUMax, &study.pU_max)}));
  MORVANTIDE_RETURN_IF_ERROR(in.read({Item::Integer(kNm, &study.nm)}));
  if (study.nm < 1) {
    return invalid(in, kNm + " must be at least 1, found " + std::to_string(study.nm));
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
          read_name(in, "the result file name" + of_grid(m), &s.arq(m), kLenArq, &where));
      s.arq_line(m) = where.line;
      MORVANTIDE_RETURN_IF_ERROR(try_cut_name(files, trim(s.arq(m)), where));
    }
  }
  if (s.modo == 1) {
    NameRead where;
    MORVANTIDE_RETURN_IF_ERROR(read_name(in, "the result file name", &s.arq(1), kLenArq, &where));
    s.arq_line(1) = where.line;
    MORVANTIDE_RETURN_IF_ERROR(try_cut_name(files, trim(s.arq(1)), where));
  }
  return in.read({Item::Text("the title", &s.titulo, kLenTitulo)});
}

Status read_result_files(State& s, Files& files) {
  ResultFiles results(files);
  return read_result_files(s, results);
}

Status read_result_files(State& s, ResultFiles& results) {
  // The listing's variable is the column list {nv}, read with h.
  ColumnRead how;
  how.header_checks = false;
  how.h = &s.study.h;
  Columns columns;
  MORVANTIDE_RETURN_IF_ERROR(read_columns(s, results, {s.nv}, how, &columns));
  s.study.Th = columns.front().Th.list();
  return Status::Ok();
}

}  // namespace morvantide
