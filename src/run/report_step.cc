#include "run/report_step.h"

#include <memory>

#include "common/console.h"
#include "report/csv.h"
#include "report/json.h"
#include "report/results.h"
#include "report/summary.h"

namespace morvantide {

Status read_report_variables(const State& s, Files& files, const Options& options,
                             std::vector<VariableColumn>* columns) {
  const VariableChoice& choice = options.variables;
  switch (choice.kind) {
    case VariableChoice::Kind::kAll:
      return read_variables(s, files, true, {}, columns);
    case VariableChoice::Kind::kList:
      return read_variables(s, files, false, choice.numbers, columns);
    case VariableChoice::Kind::kNv:
      break;
  }
  return read_variables(s, files, false, {s.nv}, columns);
}

std::vector<std::string> report_files(const Options& options) {
  std::vector<std::string> names;
  for (const std::string* name : {&options.json_file, &options.csv_file}) {
    if (!name->empty() && *name != kStandardOutput) names.push_back(*name);
  }
  return names;
}

namespace {

// Where one form of the report goes: a file of its own, the console, or
// nowhere.
class Destination {
 public:
  Status open(const std::string& name, Files& files, OutputFile& console) {
    if (name.empty()) return Status::Ok();
    if (name == kStandardOutput) {
      out_ = &console;
      return Status::Ok();
    }
    MORVANTIDE_RETURN_IF_ERROR(files.create(name, &file_));
    out_ = file_.get();
    return Status::Ok();
  }
  bool active() const { return out_ != nullptr; }
  void write(const std::string& text) {
    if (out_ != nullptr) out_->write(text);
  }
  Status close() {
    if (file_) return file_->close();
    if (out_ != nullptr) return out_->flush();
    return Status::Ok();
  }

 private:
  std::unique_ptr<OutputFile> file_;
  OutputFile* out_ = nullptr;
};

}  // namespace

Status write_report(const State& s, const std::vector<VariableColumn>& columns,
                    const Options& options, Files& files, OutputFile& console) {
  Destination json, csv;
  MORVANTIDE_RETURN_IF_ERROR(json.open(options.json_file, files, console));
  MORVANTIDE_RETURN_IF_ERROR(csv.open(options.csv_file, files, console));
  json.write(json_start(s, options.target));
  csv.write(csv_header());
  bool first = true;
  for (const VariableColumn& column : columns) {
    const VariableResult v = analyse(s, s, column.number, column.name, column.Th, options.target);
    if (json.active()) json.write(json_variable(s, v, first));
    if (csv.active()) csv.write(csv_rows(s, v));
    if (options.summary) {
      if (!first) console.write(kConsoleLineEnd);
      console.write(summary(v, options.target, kConsoleLineEnd));
    }
    first = false;
  }
  json.write(json_end());
  Status json_closed = json.close();
  Status csv_closed = csv.close();
  MORVANTIDE_RETURN_IF_ERROR(json_closed);
  MORVANTIDE_RETURN_IF_ERROR(csv_closed);
  if (options.summary) return console.flush();
  return Status::Ok();
}

}  // namespace morvantide
