#include "run/clash_check.h"

#include <iterator>
#include <map>

#include "common/text.h"
#include "input/input.h"
#include "model/plot_files.h"
#include "output/plot_data.h"
#include "output/scripts.h"

namespace morvantide {

namespace {

enum class Role {
  // Inputs.
  kControlFile,
  kParameterFile,       // the one of the layout in use
  kOtherParameterFile,  // the one of the other layout
  kResultFile,
  kTemplate,
  // Outputs.
  kListing,
  kPlotFile,  // plot data files and plot scripts
  kPicture,   // drawn by a default template
  kReport,    // a file of the report (--json, --csv)
};

struct RunFile {
  RunFile(std::string n, Role r, int32_t k = 0) : name(std::move(n)), role(r), number(k) {}
  std::string name;
  Role role;
  int32_t number;   // the grid of a layout-0 result file; the layout of a parameter file
  std::string key;  // one file, one key (see Keys)
  bool folder = false;  // an existing folder, seen when the key was made
};

// "the listing "lista.txt"", "the result file of grid 2 "r2.txt"", ...
std::string describe(const RunFile& f) {
  std::string what;
  switch (f.role) {
    case Role::kControlFile: what = "the control file"; break;
    case Role::kParameterFile: what = "the parameter file"; break;
    case Role::kOtherParameterFile:
      what = "the parameter file of layout " + std::to_string(f.number);
      break;
    case Role::kResultFile:
      what = f.number > 0 ? "the result file of grid " + std::to_string(f.number) : "the result file";
      break;
    case Role::kTemplate: what = "the plot template"; break;
    case Role::kListing: what = "the listing"; break;
    case Role::kPlotFile: what = "the plot file"; break;
    case Role::kPicture: what = "the picture of the default plot template"; break;
    case Role::kReport: what = "the report file"; break;
  }
  return what + " \"" + printable(f.name) + "\"";
}

// A spelling-independent key: the identity of an existing file, else the
// key of the name it would be created under.
// Whether the name is an existing folder comes from the same look.
class Keys {
 public:
  explicit Keys(Files& files) : files_(files) {}
  void set(RunFile* f) {
    auto it = cache_.find(f->name);
    if (it == cache_.end()) {
      Entry e;
      const std::string id = files_.identity_of(f->name, &e.folder);
      e.key = id.empty() ? "name:" + files_.name_key(f->name) : "id:" + id;
      it = cache_.emplace(f->name, std::move(e)).first;
    }
    f->key = it->second.key;
    f->folder = it->second.folder;
  }

 private:
  struct Entry {
    std::string key;
    bool folder = false;
  };
  Files& files_;
  std::map<std::string, Entry> cache_;
};

// The plot scripts of the run: the two classic ones, and the third with
// --plot-least-squares.
std::vector<const PlotScript*> scripts_of(bool least_squares_plot) {
  std::vector<const PlotScript*> scripts(std::begin(kPlotScripts), std::end(kPlotScripts));
  if (least_squares_plot) scripts.push_back(&kScriptULS);
  return scripts;
}

std::vector<RunFile> inputs_of(const State& s, bool least_squares_plot) {
  std::vector<RunFile> inputs{{kControlFile, Role::kControlFile}};
  const std::string names[2] = {trim(s.arq_dados_n), trim(s.arq_dados_1)};
  for (int32_t layout = 0; layout < 2; ++layout) {
    if (names[layout].empty()) continue;
    inputs.push_back({names[layout],
                      layout == s.modo ? Role::kParameterFile : Role::kOtherParameterFile, layout});
  }
  for (int32_t m = 1; m <= s.arq.size(); ++m) {
    inputs.push_back({trim(s.arq(m)), Role::kResultFile, s.modo == 0 ? m : 0});
  }
  for (const PlotScript* script : scripts_of(least_squares_plot)) {
    inputs.push_back({script->name, Role::kTemplate});
  }
  return inputs;
}

std::vector<RunFile> outputs_of(const State& s, Files& files,
                                const std::vector<std::string>& report_files,
                                bool least_squares_plot) {
  std::vector<RunFile> outputs;
  const std::vector<std::string> names = output_names(s);
  for (size_t k = 0; k < names.size(); ++k) {
    outputs.push_back({names[k], k == 0 ? Role::kListing : Role::kPlotFile});
  }
  if (least_squares_plot) {
    outputs.push_back({kLeastSquaresPlotFile, Role::kPlotFile});
    outputs.push_back({kScriptULS.name, Role::kPlotFile});
  }
  for (const std::string& name : report_files) outputs.push_back({name, Role::kReport});
  for (const PlotScript* script : scripts_of(least_squares_plot)) {
    if (!files.exists(script->name)) outputs.push_back({script->default_picture, Role::kPicture});
  }
  return outputs;
}

}  // namespace

std::vector<std::string> output_names(const State& s) {
  std::vector<std::string> names{trim(s.arq_listagem)};
  for (const PlotFile& file : kPlotFiles) names.emplace_back(file.name);
  for (const PlotScript* script : kPlotScripts) names.emplace_back(script->name);
  return names;
}

Status check_outputs_spare_inputs(const State& s, Files& files,
                                  const std::vector<std::string>& report_files,
                                  bool least_squares_plot) {
  Keys keys(files);
  std::vector<RunFile> inputs = inputs_of(s, least_squares_plot);
  std::vector<RunFile> outputs = outputs_of(s, files, report_files, least_squares_plot);
  for (RunFile& f : inputs) keys.set(&f);
  for (RunFile& f : outputs) keys.set(&f);

  for (size_t k = 0; k < outputs.size(); ++k) {
    const RunFile& out = outputs[k];
    if (out.role != Role::kPicture && out.folder) {
      return Status::Error(describe(out) + " cannot be written: a folder of that name exists");
    }
    for (const RunFile& in : inputs) {
      if (in.key != out.key) continue;
      // A plot script is read and rewritten on purpose; the listing is not.
      if (in.role == Role::kTemplate && out.role == Role::kPlotFile && in.name == out.name) continue;
      return Status::Error(describe(out) + " would overwrite " + describe(in) +
                           "; rename one of them");
    }
    for (size_t j = 0; j < k; ++j) {
      if (outputs[j].key != out.key) continue;
      return Status::Error(describe(outputs[j]) + " is the same file as " + describe(out) +
                           "; rename " + (j == 0 ? "the listing" : "one of them"));
    }
  }
  return Status::Ok();
}

Status check_outputs_writable(const State& s, Files& files,
                              const std::vector<std::string>& report_files,
                              bool least_squares_plot) {
  std::vector<std::string> names = output_names(s);
  if (least_squares_plot) {
    names.push_back(kLeastSquaresPlotFile);
    names.push_back(kScriptULS.name);
  }
  for (size_t k = 0; k < names.size(); ++k) {
    const bool script = names[k] == kScriptPU.name || names[k] == kScriptU.name ||
                        (least_squares_plot && names[k] == kScriptULS.name);
    MORVANTIDE_RETURN_IF_ERROR(files.check_writable(names[k], script && k > 0));
  }
  for (const std::string& name : report_files) {
    MORVANTIDE_RETURN_IF_ERROR(files.check_writable(name, false));
  }
  return Status::Ok();
}

}  // namespace morvantide
