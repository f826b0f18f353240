#include "run/report_step.h"

#include <memory>

#include "common/console.h"
#include "common/text.h"
#include "core/estimation.h"
#include "report/csv.h"
#include "report/json.h"
#include "report/results.h"
#include "report/summary.h"
#include "report/utf8.h"

namespace morvantide {

Status read_report_variables(const State& s, ResultFiles& files, const Options& options,
                             Columns* columns) {
  const VariableChoice& choice = options.variables;
  switch (choice.kind) {
    case VariableChoice::Kind::kAll:
      return read_variables(s, files, true, {}, columns);
    case VariableChoice::Kind::kList:
      return read_variables(s, files, false, choice.numbers, columns);
    case VariableChoice::Kind::kNv:
    case VariableChoice::Kind::kText:  // refused without a data file
      break;
  }
  return read_variables(s, files, false, {s.nv}, columns);
}

bool report_needs_every_grid(const Options& options) {
  return !options.json_file.empty() || !options.csv_file.empty();
}

VerdictNeed report_verdicts(const Options& options) {
  if (!options.report()) return VerdictNeed::kNone;
  return report_needs_every_grid(options) ? VerdictNeed::kEveryGrid : VerdictNeed::kFinest;
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
    // Replaced whole: a report cut short (a full disk) leaves the previous
    // one as it was.
    MORVANTIDE_RETURN_IF_ERROR(files.create_replacing(name, &file_));
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

Source table_source(const std::string& file, const std::string& title) {
  Source source;
  source.kind = Source::Kind::kTable;
  source.title = report_text(title);
  source.files = {report_text(file)};
  return source;
}

Source source_of(const State& s) {
  Source source;
  if (!s.given_file.empty()) return table_source(s.given_file, s.given_title);
  source.title = report_text(s.given_title.empty() ? trim(s.titulo) : s.given_title);
  source.layout = s.modo;
  source.nv = s.nv;
  for (int32_t i = 1; i <= s.arq.size(); ++i) source.files.push_back(report_text(trim(s.arq(i))));
  return source;
}

GridStudy study_of(const State& s) {
  GridStudy study;
  study.source = source_of(s);
  study.study = s.study;
  study.study.Th = RealList();
  study.table = tabela_malhas(s.study.h);
  return study;
}

Status write_report(const GridStudy& study, const std::vector<size_t>& chosen,
                    const Analysis* nv, const LeastSquaresPlan* plan, const Options& options,
                    Files& files, OutputFile& console, WorkDone* done) {
  Destination json, csv;
  MORVANTIDE_RETURN_IF_ERROR(json.open(options.json_file, files, console));
  MORVANTIDE_RETURN_IF_ERROR(csv.open(options.csv_file, files, console));
  json.write(json_start(study.source, study.study, study.table, options.target));
  csv.write(csv_header());
  bool first = true;
  AnalysisSettings settings;
  settings.target = options.target;
  settings.verdicts = report_verdicts(options);
  settings.least_squares = report_needs_every_grid(options) ? LeastSquaresNeed::kEveryGrid
                                                            : LeastSquaresNeed::kFinest;
  settings.plan = plan;
  ColumnsWork work;
  work.known = nv;
  if (done != nullptr) {
    settings.steps = &done->steps;
    work.counted = &done->variables;
  }
  analyse_columns(study, chosen, settings, work, [&](const Analysis& v) {
    if (json.active()) json.write(json_variable(v, first));
    if (csv.active()) csv.write(csv_rows(study.source, v));
    if (options.summary) {
      if (!first) console.write(kConsoleLineEnd);
      console.write(summary(v, options.target, kConsoleLineEnd,
                            options.has_data ? "set with --order" : "set in the parameter file"));
    }
    first = false;
  });
  json.write(json_end());
  Status json_closed = json.close();
  Status csv_closed = csv.close();
  MORVANTIDE_RETURN_IF_ERROR(json_closed);
  MORVANTIDE_RETURN_IF_ERROR(csv_closed);
  if (options.summary) {
    console.write(kConsoleLineEnd);
    console.write(std::string(kSummaryTerms) + std::string(kConsoleLineEnd));
    return console.flush();
  }
  return Status::Ok();
}

}  // namespace morvantide
