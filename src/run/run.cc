#include "run/run.h"

#include <memory>

#include "common/console.h"
#include "common/text.h"
#include "core/estimation.h"
#include "input/input.h"
#include "output/header.h"
#include "output/results.h"
#include "run/clash_check.h"
#include "run/batch_platform.h"
#include "run/least_squares_plot.h"
#include "run/report_step.h"
#include "run/run_files.h"

namespace morvantide {

namespace {

// The digits of an integer left-aligned in `width` columns, cut when longer.
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

Status read_input(State& s, Files& files, Platform& platform) {
  s.status = platform.run(Program::kEditor, kControlFile);
  MORVANTIDE_RETURN_IF_ERROR(read_control_file(s, files));
  s.status = platform.run(Program::kEditor, parameter_file_name(s));
  MORVANTIDE_RETURN_IF_ERROR(read_parameter_file(s, files));
  return read_result_files(s, files);
}

Status draw_plot(State& s, const PlotScript& script, Files& files, Platform& platform,
                 const TemplateTexts* templates) {
  MORVANTIDE_RETURN_IF_ERROR(roteiro(s, script, files, templates));
  s.status = platform.run(Program::kPlotter, script.name);
  return Status::Ok();
}

Status write_outputs(State& s, OutputFile& listing, Files& files, Platform& platform,
                     const TemplateTexts* templates) {
  MORVANTIDE_RETURN_IF_ERROR(saida_resultados(s, listing, files));
  for (const PlotScript* script : kPlotScripts) {
    MORVANTIDE_RETURN_IF_ERROR(draw_plot(s, *script, files, platform, templates));
  }
  return Status::Ok();
}

Status run(State& s, Files& files, Platform& system, const Options& options,
           OutputFile& console) {
  BatchPlatform platform(system, !options.no_edit, !options.no_plot);
  // One run at a time in a folder: two runs would rewrite the same outputs
  // and plot scripts at once.  The lock is taken on the control file before
  // the editor opens it, or, when it did not exist yet, once it is read.
  std::unique_ptr<FolderLock> lock;
  MORVANTIDE_RETURN_IF_ERROR(files.lock(kControlFile, &lock));
  Status input = read_input(s, files, platform);
  if (!input.ok() && !files.exists(kControlFile)) {
    // Someone new to the program in a folder of their own: the other way in.
    return Status::Error(input.message() +
                         "; to analyse a table of grids instead: morvantide study.csv (see "
                         "morvantide --help)");
  }
  MORVANTIDE_RETURN_IF_ERROR(input);
  if (!lock) MORVANTIDE_RETURN_IF_ERROR(files.lock(kControlFile, &lock));
  std::vector<VariableColumn> columns;
  if (options.report()) {
    MORVANTIDE_RETURN_IF_ERROR(read_report_variables(s, files, options, &columns));
  }
  // Nothing is written before every file of the run has passed its checks.
  std::vector<RunFile> table = run_files(s, FileChoice::of(options));
  TemplateTexts templates;
  MORVANTIDE_RETURN_IF_ERROR(check_templates(files, scripts_of(table), &templates));
  add_pictures(&table, templates);
  MORVANTIDE_RETURN_IF_ERROR(check_outputs_spare_inputs(table, files));
  MORVANTIDE_RETURN_IF_ERROR(check_outputs_writable(table, files));
  for (const RunFile& f : table) {
    if (f.replaced_whole) files.remove_stray_temporaries(f.name);
  }

  const std::string listing_name = trim(s.arq_listagem);
  std::unique_ptr<OutputFile> listing;
  MORVANTIDE_RETURN_IF_ERROR(files.create(listing_name, &listing));
  stamp(s, platform.now());
  form_plot_title(s);

  static_cast<GridTable&>(s) = tabela_malhas(s.h);
  listing->write(listing_header(s));
  // A listing that cannot be written (a full disk) stops the run here,
  // before any plot file is touched.
  MORVANTIDE_RETURN_IF_ERROR(listing->flush());
  static_cast<Estimates&>(s) = estimativa(s);
  Status status = write_outputs(s, *listing, files, platform, &templates);
  Status closed = listing->close();
  MORVANTIDE_RETURN_IF_ERROR(status);
  MORVANTIDE_RETURN_IF_ERROR(closed);
  if (options.plot_least_squares) {
    MORVANTIDE_RETURN_IF_ERROR(draw_least_squares_plot(s, files, platform, &templates));
  }
  if (options.report()) {
    MORVANTIDE_RETURN_IF_ERROR(write_report(s, columns, options, files, console));
  }

  s.status = platform.run(Program::kEditor, listing_name);
  return Status::Ok();
}

Status run(State& s, Files& files, Platform& platform) {
  StandardOutput console;
  return run(s, files, platform, Options(), console);
}

Status run(Files& files, Platform& platform) {
  State s;
  return run(s, files, platform);
}

}  // namespace morvantide
