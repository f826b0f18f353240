#include "run/report_step.h"

#include <algorithm>
#include <memory>

#include "common/console.h"
#include "common/parallel.h"
#include "report/csv.h"
#include "report/json.h"
#include "report/results.h"
#include "report/summary.h"
#include "report/utf8.h"
#include "common/text.h"

namespace morvantide {

Status read_report_variables(const State& s, ResultFiles& files, const Options& options,
                             std::vector<VariableColumn>* columns) {
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

// Variables analysed at once per thread.
constexpr int kVariablesPerThread = 8;

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

// Whether `column` is the variable the run analysed as nv: the same number
// read from the same files gives the same values.
bool same_variable(const VariableColumn& column, const Analysis& nv) {
  if (column.number != nv.number || column.Th.size() != nv.study.Th.size()) return false;
  for (int32_t i = 1; i <= column.Th.size(); ++i) {
    if (!same_bits(column.Th(i), nv.study.Th(i))) return false;
  }
  return true;
}

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

Status write_report(const Source& source, const Study& study, const GridTable& grids,
                    const Analysis* nv, const LeastSquaresPlan* plan,
                    const std::vector<VariableColumn>& columns, const Options& options,
                    Files& files, OutputFile& console, WorkDone* done) {
  Destination json, csv;
  MORVANTIDE_RETURN_IF_ERROR(json.open(options.json_file, files, console));
  MORVANTIDE_RETURN_IF_ERROR(csv.open(options.csv_file, files, console));
  json.write(json_start(source, study, grids, options.target));
  csv.write(csv_header());
  bool first = true;
  AnalysisSettings settings;
  settings.target = options.target;
  settings.verdicts = report_verdicts(options);
  settings.least_squares = report_needs_every_grid(options) ? LeastSquaresNeed::kEveryGrid
                                                            : LeastSquaresNeed::kFinest;
  settings.plan = plan;
  if (done != nullptr) settings.steps = &done->steps;
  // The variables are analysed on the threads a batch at a time (each
  // analysis is a pure function of its column) and written in their order;
  // a batch bounds the results held at once.
  const size_t batch = static_cast<size_t>(kVariablesPerThread * thread_count());
  std::vector<Analysis> results;
  for (size_t start = 0; start < columns.size(); start += batch) {
    const size_t end = std::min(columns.size(), start + batch);
    results.assign(end - start, Analysis());
    parallel_for(static_cast<int64_t>(start), static_cast<int64_t>(end), 1,
                 [&](int64_t b, int64_t e) {
                   for (int64_t k = b; k < e; ++k) {
                     const VariableColumn& column = columns[static_cast<size_t>(k)];
                     Analysis& a = results[static_cast<size_t>(k) - start];
                     if (nv != nullptr && same_variable(column, *nv)) {
                       a = *nv;
                     } else {
                       Study one = study;
                       one.Th = column.Th;
                       a = analyse(one, grids, settings);
                     }
                     a.number = column.number;
                     a.name = column.name;
                     if (done != nullptr) done->variables.fetch_add(1, std::memory_order_relaxed);
                   }
                 });
    for (const Analysis& v : results) {
      if (json.active()) json.write(json_variable(v, first));
      if (csv.active()) csv.write(csv_rows(source, v));
      if (options.summary) {
        if (!first) console.write(kConsoleLineEnd);
        console.write(summary(v, options.target, kConsoleLineEnd,
                              options.has_data ? "set with --order" : "set in the parameter file"));
      }
      first = false;
    }
  }
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
