#include "run/run_files.h"

#include "common/text.h"
#include "input/input.h"
#include "model/plot_files.h"
#include "output/plot_data.h"

namespace morvantide {

FileChoice FileChoice::of(const Options& options) {
  FileChoice c;
  for (const std::string* name : {&options.json_file, &options.csv_file}) {
    if (!name->empty() && *name != kStandardOutput) c.report_files.push_back(*name);
  }
  c.least_squares_plot = options.plot_least_squares;
  if (options.has_field) {
    // A field run: the field in, the per-point file, the summary's JSON and
    // standard output (the summary) out; no classic file.
    c.data_run = true;
    c.data_file = options.field;
    c.classic_outputs = false;
    c.field_output = options.field_output;
    c.report_to_standard_output = true;
    return c;
  }
  c.data_run = options.has_data;
  if (options.has_data && options.data != kStandardOutput) c.data_file = options.data;
  c.classic_outputs = !options.has_data || !options.output_dir.empty();
  // A data run prints its summary unless a report takes standard output.
  c.report_to_standard_output = options.summary || options.has_data ||
                                options.json_file == kStandardOutput ||
                                options.csv_file == kStandardOutput;
  return c;
}

namespace {

// The files of the run; s is read only for a classic input or output.
std::vector<RunFile> files_of(const State* s, const FileChoice& choice) {
  auto asked = [&](const RunFile& f) {
    if (!choice.classic_outputs) return false;
    return f.option == FileOption::kEveryRun ||
           (choice.least_squares_plot && f.option == FileOption::kPlotLeastSquares);
  };
  std::vector<RunFile> table;
  // Inputs.
  if (choice.data_run) {
    if (!choice.data_file.empty()) table.push_back({choice.data_file, FileRole::kDataFile});
  } else {
    table.push_back({kControlFile, FileRole::kControlFile});
    const std::string names[2] = {trim(s->arq_dados_n), trim(s->arq_dados_1)};
    for (int32_t layout = 0; layout < 2; ++layout) {
      if (names[layout].empty()) continue;
      RunFile f{names[layout],
                layout == s->modo ? FileRole::kParameterFile : FileRole::kOtherParameterFile};
      f.number = layout;
      table.push_back(f);
    }
    for (int32_t m = 1; m <= s->arq.size(); ++m) {
      RunFile f{trim(s->arq(m)), FileRole::kResultFile};
      f.number = s->modo == 0 ? m : 0;
      table.push_back(f);
    }
  }
  for (const RunFile& f : fixed_files()) {
    if (f.role == FileRole::kScript && asked(f)) {
      table.push_back({f.name, FileRole::kTemplate, f.option, false, f.script});
    }
  }
  // Outputs.
  if (choice.classic_outputs) table.push_back({trim(s->arq_listagem), FileRole::kListing});
  for (const RunFile& f : fixed_files()) {
    if (!is_input(f.role) && asked(f)) table.push_back(f);
  }
  for (const std::string& name : choice.report_files) {
    table.push_back({name, FileRole::kReport, FileOption::kReport, true});
  }
  if (!choice.field_output.empty()) {
    table.push_back({choice.field_output, FileRole::kReport, FileOption::kFieldOutput, true});
  }
  if (choice.report_to_standard_output) {
    table.push_back({"standard output", FileRole::kStandardOutput, FileOption::kStandardOutput});
  }
  return table;
}

}  // namespace

std::vector<RunFile> run_files(const State& s, const FileChoice& choice) {
  return files_of(&s, choice);
}

std::vector<RunFile> run_files(const FileChoice& choice) { return files_of(nullptr, choice); }

std::vector<const PlotScript*> scripts_of(const std::vector<RunFile>& table) {
  std::vector<const PlotScript*> scripts;
  for (const RunFile& f : table) {
    if (f.role == FileRole::kScript) scripts.push_back(f.script);
  }
  return scripts;
}

void add_pictures(std::vector<RunFile>* table, const TemplateTexts& templates) {
  for (const PlotScript* script : scripts_of(*table)) {
    const std::string* text = templates.find(*script);
    if (text == nullptr || text->find(script->default_picture) == std::string::npos) continue;
    // After every file the run writes itself.
    auto at = table->begin();
    while (at != table->end() && at->role != FileRole::kStandardOutput) ++at;
    table->insert(at, RunFile{script->default_picture, FileRole::kPicture, FileOption::kEveryRun,
                              false, script});
  }
}

std::string describe(const RunFile& f) {
  std::string what;
  switch (f.role) {
    case FileRole::kControlFile: what = "the control file"; break;
    case FileRole::kParameterFile: what = "the parameter file"; break;
    case FileRole::kOtherParameterFile:
      what = "the parameter file of layout " + std::to_string(f.number);
      break;
    case FileRole::kResultFile:
      what = f.number > 0 ? "the result file of grid " + std::to_string(f.number) : "the result file";
      break;
    case FileRole::kDataFile: what = "the data file"; break;
    case FileRole::kTemplate: what = "the plot template"; break;
    case FileRole::kListing: what = "the listing"; break;
    case FileRole::kPlotData:
    case FileRole::kScript: what = "the plot file"; break;
    case FileRole::kPicture: what = "the picture of the default plot template"; break;
    case FileRole::kReport: what = "the report file"; break;
    case FileRole::kStandardOutput: return "standard output";
  }
  return what + " \"" + printable(f.name) + "\"";
}

}  // namespace morvantide
