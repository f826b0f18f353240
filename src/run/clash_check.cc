#include "run/clash_check.h"

#include <iterator>
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

// A spelling-independent key of each name (Files::NameLook): the identity
// of an existing file, else the key of the name it would be created under,
// with whether the name is an existing folder and, for the run's own
// outputs, whether they can be written; one look per name.
class Keys {
 public:
  explicit Keys(Files& files) : files_(files) {}
  // Asks for a look at `name` (at the next look()), with `written` for one
  // of the run's own outputs.  An output named twice is refused as the same
  // file before writability matters: the first one asked decides.
  void ask(const std::string& name, bool written = false, bool replaced = false) {
    if (seen_.count(name) != 0) return;
    auto [it, added] = pending_.emplace(name, asked_.size());
    if (added) {
      asked_.emplace_back();
      asked_.back().name = name;
    }
    Files::NameLook& n = asked_[it->second];
    if (written && !n.written) {
      n.written = true;
      n.replaced = replaced;
    }
  }
  // Looks at every name asked for since the last look.
  void look() {
    files_.look(asked_);
    for (Files::NameLook& n : asked_) seen_.emplace(n.name, std::move(n));
    asked_.clear();
    pending_.clear();
  }
  const Files::NameLook& of(const std::string& name) const { return seen_.at(name); }
  void set(RunFile* f) const {
    const Files::NameLook& n = of(f->name);
    f->key = n.key;
    f->folder = n.folder;
  }

 private:
  Files& files_;
  std::vector<Files::NameLook> asked_;
  std::map<std::string, size_t> pending_;  // name -> place in asked_
  std::map<std::string, Files::NameLook> seen_;
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

// The files the run writes itself, the listing first, then the plot files
// and the report files; in *replaced, which are plot scripts (replaced
// whole, the listing never).
std::vector<RunFile> written_by_run(const State& s, const std::vector<std::string>& report_files,
                                    bool least_squares_plot, std::vector<bool>* replaced) {
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
  replaced->clear();
  for (size_t k = 0; k < outputs.size(); ++k) {
    const std::string& name = outputs[k].name;
    const bool script = outputs[k].role == Role::kPlotFile &&
                        (name == kScriptPU.name || name == kScriptU.name ||
                         (least_squares_plot && name == kScriptULS.name));
    replaced->push_back(script && k > 0);
  }
  return outputs;
}

// The pictures the default templates draw: those of the scripts that have
// no template file (the templates were looked at as inputs).
std::vector<RunFile> pictures_of(const Keys& keys, bool least_squares_plot) {
  std::vector<RunFile> pictures;
  for (const PlotScript* script : scripts_of(least_squares_plot)) {
    if (keys.of(script->name).key.rfind("id:", 0) != 0) {
      pictures.push_back({script->default_picture, Role::kPicture});
    }
  }
  return pictures;
}

}  // namespace

std::vector<std::string> output_names(const State& s) {
  std::vector<std::string> names{trim(s.arq_listagem)};
  for (const PlotFile& file : kPlotFiles) names.emplace_back(file.name);
  for (const PlotScript* script : kPlotScripts) names.emplace_back(script->name);
  return names;
}

Status check_outputs(const State& s, Files& files, const std::vector<std::string>& report_files,
                     bool least_squares_plot) {
  Keys keys(files);
  std::vector<RunFile> inputs = inputs_of(s, least_squares_plot);
  std::vector<bool> replaced;
  std::vector<RunFile> outputs = written_by_run(s, report_files, least_squares_plot, &replaced);
  const size_t written = outputs.size();
  for (const RunFile& f : inputs) keys.ask(f.name);
  for (size_t k = 0; k < written; ++k) keys.ask(outputs[k].name, true, replaced[k]);
  keys.look();
  const std::vector<RunFile> pictures = pictures_of(keys, least_squares_plot);
  for (const RunFile& f : pictures) keys.ask(f.name);
  keys.look();
  outputs.insert(outputs.end(), pictures.begin(), pictures.end());
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
  // No clash: every name the run writes is its own, looked at once.
  for (size_t k = 0; k < written; ++k) MORVANTIDE_RETURN_IF_ERROR(keys.of(outputs[k].name).writable);
  return Status::Ok();
}

}  // namespace morvantide
