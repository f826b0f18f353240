#include "run/run.h"

#include <memory>

#include "common/console.h"
#include "common/text.h"
#include "core/analysis.h"
#include "core/estimation.h"
#include "input/input.h"
#include "output/header.h"
#include "output/plot_data.h"
#include "output/saida_resultados.h"
#include "core/least_squares.h"
#include "output/scripts.h"
#include "output/tables.h"
#include "run/clash_check.h"
#include "run/batch_platform.h"
#include "run/least_squares_plot.h"
#include "run/report_step.h"
#include "run/run_files.h"

namespace morvantide {

namespace {

// What the run shows of nv's least-squares results: every grid for its plot
// or a report file, grid nm alone when the summary is nv's only report.
LeastSquaresNeed least_squares_need(const State& s, const Columns& columns,
                                    const std::vector<size_t>& chosen, const Options& options) {
  if (options.plot_least_squares) return LeastSquaresNeed::kEveryGrid;
  bool reported = false;
  for (size_t c : chosen) reported = reported || columns[c].number == s.nv;
  if (!reported) return LeastSquaresNeed::kNone;
  return report_needs_every_grid(options) ? LeastSquaresNeed::kEveryGrid
                                          : LeastSquaresNeed::kFinest;
}

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

Status read_input(State& s, Files& files, Platform& platform, ResultFiles* results) {
  platform.run(Program::kEditor, kControlFile);
  MORVANTIDE_RETURN_IF_ERROR(read_control_file(s, files));
  platform.run(Program::kEditor, parameter_file_name(s));
  MORVANTIDE_RETURN_IF_ERROR(read_parameter_file(s, files));
  if (results != nullptr) return read_result_files(s, *results);
  return read_result_files(s, files);
}

Status draw_plot(const State& s, const PlotScript& script, Files& files, Platform& platform,
                 const TemplateTexts* templates) {
  MORVANTIDE_RETURN_IF_ERROR(roteiro(s, script, files, templates));
  platform.run(Program::kPlotter, script.name);
  return Status::Ok();
}

Status write_outputs(const State& s, const Analysis& nv, const std::vector<RunFile>& table,
                     OutputFile& listing, Files& files, Platform& platform,
                     const TemplateTexts* templates) {
  PlotData data(nv);
  for (const RunFile& f : table) {
    switch (f.role) {
      case FileRole::kListing:
        // A listing that cannot be completed stops the run before any plot
        // file is touched.
        saida_resultados(nv, listing);
        MORVANTIDE_RETURN_IF_ERROR(listing.close());
        break;
      case FileRole::kPlotData:
        MORVANTIDE_RETURN_IF_ERROR(write_whole_file(files, f.name, data.content(*f.plot)));
        break;
      case FileRole::kScript:
        if (f.script == &kScriptULS && s.study.nm < kFirstLeastSquares) {
          // No grid has U_LS: the picture's title says why its curve is
          // missing.
          State titled = s;
          titled.titulo_grafico = least_squares_title(s.titulo_grafico);
          MORVANTIDE_RETURN_IF_ERROR(draw_plot(titled, *f.script, files, platform, templates));
        } else {
          MORVANTIDE_RETURN_IF_ERROR(draw_plot(s, *f.script, files, platform, templates));
        }
        break;
      default:  // the inputs, the pictures (the plotter draws them), the report
        break;
    }
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
  // A report reads the result files again: each is opened once, and what
  // was read of it is kept until the report's columns are read.
  auto results = options.report() ? std::make_unique<ResultFiles>(files) : nullptr;
  Status input = read_input(s, files, platform, results.get());
  if (!input.ok() && !files.exists(kControlFile)) {
    // Someone new to the program in a folder of their own: the other way in.
    return input.retold(input.message() +
                        "; to analyse a table of grids instead: morvantide study.csv (see "
                        "morvantide --help)");
  }
  MORVANTIDE_RETURN_IF_ERROR(input);
  if (!lock) MORVANTIDE_RETURN_IF_ERROR(files.lock(kControlFile, &lock));
  // The study the run's outputs read: what was read, the settings and h,
  // the grid table (once, for the listing and the report) and the report's
  // columns.
  GridStudy report = study_of(s);
  if (options.report()) {
    MORVANTIDE_RETURN_IF_ERROR(read_report_variables(s, *results, options, &report.columns));
    results.reset();
  }
  std::vector<size_t> chosen(report.columns.size());
  for (size_t c = 0; c < chosen.size(); ++c) chosen[c] = c;
  // Nothing is written before every file of the run has passed its checks.
  std::vector<RunFile> table = run_files(s, FileChoice::of(options));
  TemplateTexts templates;
  MORVANTIDE_RETURN_IF_ERROR(check_run_files(&table, files, &templates));
  MORVANTIDE_RETURN_IF_ERROR(
      write_run(s, report, chosen, {table, templates, options, files, platform, console}));
  platform.run(Program::kEditor, trim(s.arq_listagem));
  return Status::Ok();
}

Status write_run(State& s, const GridStudy& report, const std::vector<size_t>& chosen,
                 const RunContext& run) {
  const Options& options = run.options;
  Files& files = run.files;
  Platform& platform = run.platform;
  const std::string listing_name = trim(s.arq_listagem);
  std::unique_ptr<OutputFile> listing;
  MORVANTIDE_RETURN_IF_ERROR(files.create(listing_name, &listing));
  stamp(s, platform.now());
  form_plot_title(s);

  const GridTable& grids = report.table;
  listing->write(listing_header(s, grids));
  // A listing that cannot be written (a full disk) stops the run here,
  // before any plot file is touched.
  MORVANTIDE_RETURN_IF_ERROR(listing->flush());
  // Variable nv is analysed once: the listing, the plot files, U_LS.dat and
  // the report all read this analysis.
  AnalysisSettings settings;
  settings.target = options.target;
  settings.verdicts = report_verdicts(options);
  settings.least_squares = least_squares_need(s, report.columns, chosen, options);
  std::unique_ptr<LeastSquaresPlan> plan;
  if (options.plot_least_squares || options.report()) {
    plan = std::make_unique<LeastSquaresPlan>(grid_sizes(s.study));
    settings.plan = plan.get();
  }
  if (run.done != nullptr) settings.steps = &run.done->steps;
  Analysis nv = analyse(s.study, grids, settings);
  nv.number = s.nv;
  MORVANTIDE_RETURN_IF_ERROR(
      write_outputs(s, nv, run.table, *listing, files, platform, &run.templates));
  if (options.report()) {
    MORVANTIDE_RETURN_IF_ERROR(write_report(report, chosen, &nv, settings.plan, options, files,
                                            run.console, run.done));
  }
  return Status::Ok();
}

}  // namespace morvantide
