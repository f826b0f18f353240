#include "run/run.h"

#include <memory>

#include "common/console.h"
#include "common/text.h"
#include "core/estimation.h"
#include "input/input.h"
#include "model/plot_files.h"
#include "output/header.h"
#include "output/results.h"
#include "run/batch_platform.h"
#include "run/report_step.h"

namespace morvantide {

namespace {

// The digits of an integer left-aligned in `width` columns, cut when longer.
std::string field(int32_t value, size_t width) { return fit(std::to_string(value), width); }

struct NamedFile {
  std::string name;
  std::string role;
};

// A spelling-independent key for a file that may not exist yet.
std::string path_key(Files& files, const std::string& name) {
  std::string id = files.identity(name);
  if (!id.empty()) return "id:" + id;
  return "name:" + files.name_key(name);
}

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

std::vector<std::string> output_names(const State& s) {
  std::vector<std::string> names{trim(s.arq_listagem)};
  for (const PlotFile& file : kPlotFiles) names.emplace_back(file.name);
  for (const PlotScript* script : kPlotScripts) names.emplace_back(script->name);
  return names;
}

Status check_outputs_spare_inputs(const State& s, Files& files,
                                  const std::vector<std::string>& report_files) {
  std::vector<NamedFile> inputs{{kControlFile, "the control file"},
                                {parameter_file_name(s), "the parameter file"}};
  for (int32_t m = 1; m <= s.arq.size(); ++m) {
    inputs.push_back({trim(s.arq(m)), s.modo == 0 ? "the result file of grid " + std::to_string(m)
                                                  : "the result file"});
  }
  inputs.push_back({kScriptPU.name, "the plot template"});
  inputs.push_back({kScriptU.name, "the plot template"});

  std::vector<std::string> outputs = output_names(s);
  const size_t classic = outputs.size();
  outputs.insert(outputs.end(), report_files.begin(), report_files.end());
  auto describe = [&](size_t k) {
    const char* kind = k == 0 ? "the listing" : k < classic ? "the plot file" : "the report file";
    return std::string(kind) + " \"" + outputs[k] + "\"";
  };
  std::vector<std::string> output_keys;
  for (size_t k = 0; k < outputs.size(); ++k) {
    const std::string key = path_key(files, outputs[k]);
    const std::string what = describe(k);
    if (files.is_folder(outputs[k])) {
      return Status::Error(what + " cannot be written: a folder of that name exists");
    }
    for (const NamedFile& in : inputs) {
      // A plot script is read and rewritten on purpose; the listing is not.
      if (k > 0 && k < classic && in.name == outputs[k] && in.role == "the plot template") {
        continue;
      }
      if (path_key(files, in.name) == key) {
        return Status::Error(what + " would overwrite " + in.role + " \"" + in.name +
                             "\"; rename one of them");
      }
    }
    for (size_t j = 0; j < k; ++j) {
      if (output_keys[j] == key) {
        return Status::Error(describe(j) + " is the same file as " + describe(k) + "; rename " +
                             (j == 0 ? "the listing" : "one of them"));
      }
    }
    output_keys.push_back(key);
  }
  return Status::Ok();
}

Status read_input(State& s, Files& files, Platform& platform) {
  s.status = platform.run(Program::kEditor, kControlFile);
  MORVANTIDE_RETURN_IF_ERROR(read_control_file(s, files));
  s.status = platform.run(Program::kEditor, parameter_file_name(s));
  MORVANTIDE_RETURN_IF_ERROR(read_parameter_file(s, files));
  return read_result_files(s, files);
}

Status draw_plot(State& s, const PlotScript& script, Files& files, Platform& platform) {
  MORVANTIDE_RETURN_IF_ERROR(roteiro(s, script, files));
  s.status = platform.run(Program::kPlotter, script.name);
  return Status::Ok();
}

Status write_outputs(State& s, OutputFile& listing, Files& files, Platform& platform) {
  MORVANTIDE_RETURN_IF_ERROR(saida_resultados(s, listing, files));
  for (const PlotScript* script : kPlotScripts) {
    MORVANTIDE_RETURN_IF_ERROR(draw_plot(s, *script, files, platform));
  }
  return Status::Ok();
}

Status run(State& s, Files& files, Platform& system, const Options& options,
           OutputFile& console) {
  BatchPlatform platform(system, !options.no_edit, !options.no_plot);
  MORVANTIDE_RETURN_IF_ERROR(read_input(s, files, platform));
  std::vector<VariableColumn> columns;
  if (options.report()) {
    MORVANTIDE_RETURN_IF_ERROR(read_report_variables(s, files, options, &columns));
  }
  MORVANTIDE_RETURN_IF_ERROR(check_outputs_spare_inputs(s, files, report_files(options)));
  MORVANTIDE_RETURN_IF_ERROR(check_templates(files));

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
  Status status = write_outputs(s, *listing, files, platform);
  Status closed = listing->close();
  MORVANTIDE_RETURN_IF_ERROR(status);
  MORVANTIDE_RETURN_IF_ERROR(closed);
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
