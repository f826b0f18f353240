#include "run/clash_check.h"

#include <map>

#include "common/text.h"
#include "model/plot_files.h"
#include "output/plot_data.h"
#include "output/scripts.h"

namespace morvantide {

namespace {

// A spelling-independent key: the identity of an existing file, else the
// key of the name it would be created under.
// Whether the name is an existing folder comes from the same look.
class Keys {
 public:
  explicit Keys(Files& files) : files_(files) {}
  struct Entry {
    std::string key;
    bool folder = false;
  };
  const Entry& of(const RunFile& f) {
    const std::string lookup = (f.role == FileRole::kStandardOutput ? "\x01" : "") + f.name;
    auto it = cache_.find(lookup);
    if (it == cache_.end()) {
      Entry e;
      if (f.role == FileRole::kStandardOutput) {
        // A terminal or a pipe is no file of the run.
        const std::string id = files_.standard_output_identity();
        e.key = id.empty() ? "standard output" : "id:" + id;
      } else {
        const std::string id = files_.identity_of(f.name, &e.folder);
        e.key = id.empty() ? "name:" + files_.name_key(f.name) : "id:" + id;
      }
      it = cache_.emplace(lookup, std::move(e)).first;
    }
    return it->second;
  }

 private:
  Files& files_;
  std::map<std::string, Entry> cache_;
};

}  // namespace

std::vector<std::string> output_names(const State& s) {
  std::vector<std::string> names;
  for (const RunFile& f : run_files(s, FileChoice())) {
    if (!is_input(f.role)) names.push_back(f.name);
  }
  return names;
}

Status check_outputs_spare_inputs(const std::vector<RunFile>& table, Files& files) {
  Keys keys(files);
  std::vector<const RunFile*> outputs;
  for (const RunFile& out : table) {
    if (is_input(out.role)) continue;
    const Keys::Entry& o = keys.of(out);
    if (out.role != FileRole::kPicture && out.role != FileRole::kStandardOutput && o.folder) {
      return Status::Error(describe(out) + " cannot be written: a folder of that name exists");
    }
    for (const RunFile& in : table) {
      if (!is_input(in.role) || keys.of(in).key != o.key) continue;
      // A plot script is read and rewritten on purpose; the listing is not.
      if (in.role == FileRole::kTemplate && out.role == FileRole::kScript && in.name == out.name) {
        continue;
      }
      return Status::Error(describe(out) + " would overwrite " + describe(in) + "; " +
                           (out.role == FileRole::kStandardOutput ? "send it elsewhere"
                                                                  : "rename one of them"));
    }
    for (size_t j = 0; j < outputs.size(); ++j) {
      if (keys.of(*outputs[j]).key != o.key) continue;
      if (out.role == FileRole::kStandardOutput) {
        return Status::Error("standard output would overwrite " + describe(*outputs[j]) +
                             "; send it elsewhere");
      }
      const bool listing = outputs[j]->role == FileRole::kListing;
      return Status::Error(describe(*outputs[j]) + " is the same file as " + describe(out) +
                           "; rename " + (listing ? "the listing" : "one of them"));
    }
    outputs.push_back(&out);
  }
  return Status::Ok();
}

Status check_outputs_writable(const std::vector<RunFile>& table, Files& files) {
  for (const RunFile& f : table) {
    if (f.role == FileRole::kStandardOutput) {
      MORVANTIDE_RETURN_IF_ERROR(files.check_standard_output());
      continue;
    }
    if (is_input(f.role) || f.role == FileRole::kPicture) continue;
    MORVANTIDE_RETURN_IF_ERROR(files.check_writable(f.name, f.replaced_whole));
  }
  return Status::Ok();
}

Status check_run_files(std::vector<RunFile>* table, Files& files, TemplateTexts* templates) {
  MORVANTIDE_RETURN_IF_ERROR(check_templates(files, scripts_of(*table), templates));
  add_pictures(table, *templates);
  MORVANTIDE_RETURN_IF_ERROR(check_outputs_spare_inputs(*table, files));
  MORVANTIDE_RETURN_IF_ERROR(check_outputs_writable(*table, files));
  for (const RunFile& f : *table) {
    if (f.replaced_whole) files.remove_stray_temporaries(f.name);
  }
  return Status::Ok();
}

}  // namespace morvantide
