#include "run/clash_check.h"

#include <map>

#include "common/text.h"
#include "input/input.h"
#include "model/plot_files.h"
#include "output/results.h"

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
class Keys {
 public:
  explicit Keys(Files& files) : files_(files) {}
  const std::string& of(const std::string& name) {
    auto it = cache_.find(name);
    if (it != cache_.end()) return it->second;
    std::string id = files_.identity(name);
    std::string key = id.empty() ? "name:" + files_.name_key(name) : "id:" + id;
    return cache_.emplace(name, std::move(key)).first->second;
  }

 private:
  Files& files_;
  std::map<std::string, std::string> cache_;
};

std::vector<RunFile> inputs_of(const State& s) {
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
  for (const PlotScript* script : kPlotScripts) inputs.push_back({script->name, Role::kTemplate});
  return inputs;
}

std::vector<RunFile> outputs_of(const State& s, Files& files,
                                const std::vector<std::string>& report_files) {
  std::vector<RunFile> outputs;
  const std::vector<std::string> names = output_names(s);
  for (size_t k = 0; k < names.size(); ++k) {
    outputs.push_back({names[k], k == 0 ? Role::kListing : Role::kPlotFile});
  }
  for (const std::string& name : report_files) outputs.push_back({name, Role::kReport});
  for (const PlotScript* script : kPlotScripts) {
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
                                  const std::vector<std::string>& report_files) {
  Keys keys(files);
  std::vector<RunFile> inputs = inputs_of(s);
  std::vector<RunFile> outputs = outputs_of(s, files, report_files);
  for (RunFile& f : inputs) f.key = keys.of(f.name);
  for (RunFile& f : outputs) f.key = keys.of(f.name);

  for (size_t k = 0; k < outputs.size(); ++k) {
    const RunFile& out = outputs[k];
    if (out.role != Role::kPicture && files.is_folder(out.name)) {
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
                              const std::vector<std::string>& report_files) {
  const std::vector<std::string> names = output_names(s);
  for (size_t k = 0; k < names.size(); ++k) {
    const bool script = names[k] == kScriptPU.name || names[k] == kScriptU.name;
    MORVANTIDE_RETURN_IF_ERROR(files.check_writable(names[k], script && k > 0));
  }
  for (const std::string& name : report_files) {
    MORVANTIDE_RETURN_IF_ERROR(files.check_writable(name, false));
  }
  return Status::Ok();
}

}  // namespace morvantide
