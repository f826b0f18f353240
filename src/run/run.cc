#include "run/run.h"

#include <memory>

#include "common/text.h"
#include "core/estimation.h"
#include "input/header.h"
#include "input/input.h"
#include "output/results.h"
#include "run/clash_check.h"

namespace morvantide {

namespace {

// Fortran-style field of an integer: its digits left-aligned in `width`
// columns, cut when longer.
std::string field(int32_t value, size_t width) { return fit(std::to_string(value), width); }

}  // namespace

void stamp(State& s, const LocalTime& t) {
  s.dia = fit("(" + trim_right(field(t.day, 2)) + "/" + trim_right(field(t.month, 2)) + "/" +
                  field(t.year, 4) + ")",
              kLenDia);
  s.hora = fit(trim_right(field(t.hour, 2)) + ":" + trim_right(field(t.minute, 2)) + ":" +
                   field(t.second, 4),
               kLenHora);
}

void form_plot_title(State& s) {
  s.titulo_grafico = fit(trim_right(s.titulo) + " " + trim_right(s.dia) + "'", kLenTituloGrafico);
}

Status run(State& s, Files& files, Platform& platform) {
  // One run at a time in a folder: two runs would rewrite the same outputs
  // and plot scripts at once.  The lock is taken on the control file before
  // the editor opens it, or, when it did not exist yet, once it is read.
  std::unique_ptr<FolderLock> lock;
  MORVANTIDE_RETURN_IF_ERROR(files.lock(kControlFile, &lock));
  MORVANTIDE_RETURN_IF_ERROR(read_control_and_parameters(s, files, platform));
  if (!lock) MORVANTIDE_RETURN_IF_ERROR(files.lock(kControlFile, &lock));
  MORVANTIDE_RETURN_IF_ERROR(read_result_files(s, files));
  MORVANTIDE_RETURN_IF_ERROR(check_outputs_spare_inputs(s, files));
  MORVANTIDE_RETURN_IF_ERROR(check_outputs_writable(s, files));
  MORVANTIDE_RETURN_IF_ERROR(check_templates(files));

  const std::string listing_name = trim(s.arq_listagem);
  std::unique_ptr<OutputFile> listing;
  MORVANTIDE_RETURN_IF_ERROR(files.create(listing_name, &listing));
  stamp(s, platform.now());
  form_plot_title(s);

  listing->write(listing_header(s));
  // A listing that cannot be written (a full disk) stops the run here,
  // before any plot file is touched.
  MORVANTIDE_RETURN_IF_ERROR(listing->flush());
  estimativa(s);
  Status status = saida_resultados(s, *listing, files, platform);
  Status closed = listing->close();
  MORVANTIDE_RETURN_IF_ERROR(status);
  MORVANTIDE_RETURN_IF_ERROR(closed);

  s.comando = fit("notepad " + listing_name, kLenComando);
  s.status = platform.run(Program::kEditor, listing_name);
  return Status::Ok();
}

Status run(Files& files, Platform& platform) {
  State s;
  return run(s, files, platform);
}

}  // namespace morvantide
