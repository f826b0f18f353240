#include "run/direct.h"

#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "common/console.h"
#include "common/platform.h"
#include "common/text.h"
#include "core/analysis.h"
#include "core/estimation.h"
#include "input/input.h"
#include "output/header.h"
#include "output/scripts.h"
#include "report/utf8.h"
#include "run/batch_platform.h"
#include "run/clash_check.h"
#include "run/least_squares_plot.h"
#include "run/progress.h"
#include "run/report_step.h"
#include "run/run.h"

namespace morvantide {

namespace {

Status variables_error(const std::string& what) {
  return Status::Error("morvantide: --variables: " + what);
}

// `text` in a field of n bytes; a longer text is cut and ends in "..." to
// show it.
std::string fit_marked(const std::string& text, size_t n) {
  if (text.size() <= n) return fit(text, n);
  return text.substr(0, n - 3) + "...";
}

// The report of every chosen variable alone, nothing else written.
Status report_only(const GridStudy& study, const std::vector<size_t>& chosen,
                   const Options& options, Files& files, OutputFile& console) {
  std::vector<RunFile> table = run_files(FileChoice::of(options));
  TemplateTexts templates;
  MORVANTIDE_RETURN_IF_ERROR(check_run_files(&table, files, &templates));
  Progress progress(static_cast<int64_t>(chosen.size()), analysis_steps(study.study.nm),
                    standard_error_is_terminal());
  // No variable was analysed for a listing: each is analysed by the report,
  // on one least-squares plan.
  const LeastSquaresPlan plan(grid_sizes(study.study));
  OutputBesideProgress out(console, progress);
  return write_report(study, chosen, nullptr, &plan, options, files, out, progress.work());
}

// The classic files in options.output_dir, then the report.  The run's
// files are named as in the folder and `in_folder` puts them there; the
// plotter starts there; the process stays in its current folder.
Status run_with_classic_files(State& s, const GridStudy& study, const std::vector<size_t>& chosen,
                              const Options& options, Files& disk,
                              Platform& system, OutputFile& console) {
  MORVANTIDE_RETURN_IF_ERROR(check_folder(options.output_dir));
  const std::string here = current_folder();
  if (here.empty()) {
    return Status::Error("morvantide: the current folder cannot be found, which --output-dir needs");
  }
  // The data and the report files are named from the current folder.
  Options moved = options;
  for (std::string* name : {&moved.json_file, &moved.csv_file, &moved.data}) {
    if (!name->empty() && *name != kStandardOutput) *name = path_in_folder(here, *name);
  }
  FolderFiles files(disk, options.output_dir);
  BatchPlatform platform(system, false, !options.no_plot, options.output_dir);
  // One run at a time writes a folder: a classic study's folder is held
  // through its control file, as the classic run holds it, any other alone.
  std::unique_ptr<FolderLock> lock;
  MORVANTIDE_RETURN_IF_ERROR(files.lock_folder(kControlFile, options.output_dir, &lock));
  std::vector<RunFile> table = run_files(s, FileChoice::of(moved));
  TemplateTexts templates;
  MORVANTIDE_RETURN_IF_ERROR(check_run_files(&table, files, &templates));
  // nv is the first chosen variable: its analysis is counted once.
  Progress progress(static_cast<int64_t>(chosen.size()), analysis_steps(s.study.nm),
                    standard_error_is_terminal());
  OutputBesideProgress out(console, progress);
  return write_run(s, study, chosen,
                   {table, templates, moved, files, platform, out, progress.work()});
}

// The places in `all` of the columns the choice names, in its order, each
// once.
Status choose_variables(const Columns& all, const VariableChoice& choice,
                        std::vector<size_t>* chosen) {
  const int32_t count = static_cast<int32_t>(all.size());
  std::vector<int32_t> numbers;
  switch (choice.kind) {
    case VariableChoice::Kind::kNv:
    case VariableChoice::Kind::kAll:
      chosen->resize(all.size());
      for (size_t c = 0; c < all.size(); ++c) (*chosen)[c] = c;
      return Status::Ok();
    case VariableChoice::Kind::kList:
      numbers = choice.numbers;
      break;
    case VariableChoice::Kind::kText: {
      // Numbers, ranges and header names, separated by commas.
      std::vector<bool> named(static_cast<size_t>(count) + 1, false);
      std::string_view rest = choice.text;
      while (true) {
        const size_t comma = rest.find(',');
        const std::string part(rest.substr(0, comma));
        VariableChoice one;
        int32_t found = 0;
        for (size_t c = 0; c < all.size(); ++c) {
          if (!all[c].name.empty() && all[c].name == part) found = all[c].number;
        }
        if (found > 0) {
          numbers.push_back(found);
        } else if (parse_variables(part, &one) && one.kind == VariableChoice::Kind::kList) {
          numbers.insert(numbers.end(), one.numbers.begin(), one.numbers.end());
        } else if (!part.empty() && part.find_first_not_of("0123456789-") == std::string::npos) {
          // A number or a range, not a name: say what numbers may be.
          return Status::Error("morvantide: bad value for --variables: " + shown(part) + " (" +
                               kVariablesExpected + ")");
        } else {
          std::string known;
          for (size_t c = 0; c < all.size(); ++c) {
            if (!all[c].name.empty()) known += (known.empty() ? "" : ", ") + std::string(all[c].name);
          }
          return variables_error("no variable is named \"" + printable(part) + "\" (" +
                                 (known.empty() ? std::string("the table has no header")
                                                : "the header names " + known) +
                                 ")");
        }
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
      }
      break;
    }
  }
  std::vector<bool> taken(static_cast<size_t>(count) + 1, false);
  chosen->clear();
  for (int32_t number : numbers) {
    if (number > count) {
      return variables_error("variable " + std::to_string(number) + " asked for, the table has " +
                             std::to_string(count));
    }
    if (taken[number]) continue;
    taken[number] = true;
    chosen->push_back(static_cast<size_t>(number - 1));
  }
  return Status::Ok();
}

// The title of a table's reports: its name, and the first chosen
// variable's name where it has one.
std::string table_title(const std::string& source, const Columns::Column& first) {
  return first.name.empty() ? source : source + ": " + std::string(first.name);
}

void state_for_table(const Study& study, const std::string& source, const Columns::Column& first,
                     State* s) {
  State& state = *s;
  state.study = study;
  state.create_lists(1);
  state.study.h = study.h;
  state.study.Th = first.Th.list();
  state.modo = 1;
  state.nv = first.number;
  // The listing and the scripts are Windows-1252; the name stands at the
  // end of its line, so it is written whole.
  state.given_file = source;
  state.given_title = table_title(source, first);
  state.arq(1) = to_windows_1252(source);
  state.arq_listagem = fit(kDataListing, kLenArqListagem);
  state.titulo = fit_marked(to_windows_1252(state.given_title), kLenTitulo);
}

// The run on a table read already: the report alone, or with --output-dir
// the classic files too (the one place a data run needs a State).  The
// table's rows go once the study holds their values.
Status run_table(const std::string& source, Table table, const Options& options,
                 Files& files, Platform& platform, OutputFile& console) {
  TableStudy read;
  MORVANTIDE_RETURN_IF_ERROR(study_from_table(table, options.table, &read));
  table = Table();
  for (const std::string& note : read.notes) {
    std::fputs(("morvantide: " + note + "\n").c_str(), stderr);
  }
  GridStudy& study = read.study;
  std::vector<size_t> chosen;
  MORVANTIDE_RETURN_IF_ERROR(choose_variables(study.columns, options.variables, &chosen));
  const Columns::Column first = study.columns[chosen.front()];
  study.source = table_source(source, table_title(source, first));
  study.table = tabela_malhas(study.study.h);
  if (options.output_dir.empty()) return report_only(study, chosen, options, files, console);
  State s;
  state_for_table(study.study, source, first, &s);
  // A missing folder is made, and taken back when the run fails.
  std::vector<std::string> made;
  MORVANTIDE_RETURN_IF_ERROR(make_folders(options.output_dir, &made));
  Status status = run_with_classic_files(s, study, chosen, options, files, platform, console);
  if (!status.ok()) {
    for (auto k = made.rbegin(); k != made.rend(); ++k) remove_empty_folder(*k);
  }
  return status;
}

Status out_of_memory() { return Status::Error("morvantide: not enough memory for the run"); }

}  // namespace

Status run_data(const Options& options, Files& files, Platform& platform, OutputFile& console) {
  std::string source = options.data;
  if (options.data != kStandardOutput) {
    // `morvantide data.csv > data.csv`: the shell has emptied the table
    // already; the clash is named rather than the empty table.
    const std::vector<RunFile> both = {{options.data, FileRole::kDataFile},
                                       {"standard output", FileRole::kStandardOutput}};
    MORVANTIDE_RETURN_IF_ERROR(check_outputs_spare_inputs(both, files));
  }
  // Read a block at a time: only the rows are kept, at most a run's grids.
  std::unique_ptr<InputFile> in;
  if (options.data == kStandardOutput) {
    source = kStandardInputName;
    in = open_standard_input();
  } else {
    MORVANTIDE_RETURN_IF_ERROR(files.open(options.data, &in));
  }
  try {
    Table table;
    MORVANTIDE_RETURN_IF_ERROR(read_table(source, *in, &table));
    in.reset();
    return run_table(source, std::move(table), options, files, platform, console);
  } catch (const std::bad_alloc&) {
    return out_of_memory();
  }
}

}  // namespace morvantide
