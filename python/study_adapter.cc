#include "study_adapter.h"

#include <pthread.h>

#include <memory>

#include "common/files.h"
#include "common/parallel.h"
#include "common/text.h"
#include "core/estimation.h"
#include "input/freeformat.h"
#include "report/json.h"
#include "report/summary.h"
#include "report/utf8.h"

namespace morvantide::python {

namespace {

// The blanks that may stand around a number given alone.
constexpr const char* kBlanks = " \t\r\n";

// Every variable of the study, analysed with the settings (on the threads,
// a batch at a time, in the columns' order).
Status analyse_table(const Table& table, const Settings& settings, std::vector<Result>* out) {
  TableStudy read;
  MORVANTIDE_RETURN_IF_ERROR(study_from_table(table, settings.table, &read));
  GridStudy& study = read.study;
  study.table = tabela_malhas(study.study.h);
  std::unique_ptr<LeastSquaresPlan> plan;
  AnalysisSettings analysis;
  analysis.target = settings.target;
  analysis.stop = settings.stop;
  if (settings.least_squares) {
    plan = std::make_unique<LeastSquaresPlan>(grid_sizes(study.study));
    analysis.least_squares = LeastSquaresNeed::kEveryGrid;
    analysis.plan = plan.get();
  }
  std::vector<size_t> every(study.columns.size());
  for (size_t c = 0; c < every.size(); ++c) every[c] = c;
  out->clear();
  out->reserve(every.size());
  analyse_columns(study, every, analysis, ColumnsWork(),
                  [&](Analysis& a) { out->emplace_back(std::move(a), settings.target); });
  if (settings.stop != nullptr && settings.stop->load()) return Status::Error(kStopped);
  return Status::Ok();
}

}  // namespace

Status read_number(const std::string& text, const std::string& what, real* out) {
  const size_t first = text.find_first_not_of(kBlanks);
  const std::string token =
      first == std::string::npos ? std::string()
                                 : text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
  switch (parse_real(token, out)) {
    case RealText::kOk:
      return Status::Ok();
    case RealText::kTooLarge:
      return Status::Error(what + ": the number does not fit a binary128 real: \"" +
                           printable(text) + "\"");
    case RealText::kMalformed:
      break;
  }
  return Status::Error(what + ": expected a number, found \"" + printable(text) + "\"");
}

std::string Result::json() const { return json_variable(a_, true); }

std::string Result::name() const { return a_.name.empty() ? std::string() : report_text(a_.name); }

std::string Result::settings_json() const {
  const Study& s = a_.study;
  return "{\"pL\": " + json_number(s.pL) + ", \"dp\": " + json_number(s.dp) +
         ", \"refinement\": " + json_string(s.tipo_r == 1 ? "constant" : "variable") +
         ", \"itmax\": " + std::to_string(s.itmax) + ", \"tol\": " + json_number(s.tol) +
         ", \"pU_min\": " + json_number(s.pU_min) + ", \"pU_max\": " + json_number(s.pU_max) +
         "}";
}

std::string Result::summary() const { return morvantide::summary(a_, target_, "\n", "set with order="); }

Status analyse_lists(const std::vector<real>& h, const std::vector<Column>& columns,
                     const Settings& settings, std::vector<Result>* out) {
  const size_t n = h.size();
  if (n == 0) return Status::Error("h is empty: a study needs at least two grids");
  for (const Column& c : columns) {
    if (c.values.size() != n) {
      return Status::Error("h has " + std::to_string(n) + " entries and " +
                           (c.name.empty() ? std::string("values") : c.name) + " " +
                           std::to_string(c.values.size()) + ": each grid needs one value");
    }
  }
  Table table;
  table.source = "h";
  table.columns = static_cast<int32_t>(columns.size()) + 1;
  table.names.push_back("h");
  for (const Column& c : columns) table.names.push_back(c.name);
  table.rows.resize(n);
  for (size_t i = 0; i < n; ++i) {
    TableRow& row = table.rows[i];
    row.line = static_cast<int64_t>(i);
    row.place = "h[" + std::to_string(i) + "]";
    row.values.reserve(columns.size() + 1);
    row.values.push_back(h[i]);
    for (const Column& c : columns) row.values.push_back(c.values[i]);
  }
  return analyse_table(table, settings, out);
}

Status analyse_file(const std::string& path, const Settings& settings, std::vector<Result>* out) {
  DiskFiles files;
  std::unique_ptr<InputFile> in;
  MORVANTIDE_RETURN_IF_ERROR(files.open(path, &in));
  Table table;
  MORVANTIDE_RETURN_IF_ERROR(read_table(path, *in, &table));
  in.reset();
  return analyse_table(table, settings, out);
}

void single_thread_after_fork() {
  pthread_atfork(nullptr, nullptr, +[] { forget_threads_after_fork(); });
}

}  // namespace morvantide::python
