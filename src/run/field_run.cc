#include "run/field_run.h"

#include <memory>
#include <new>
#include <vector>

#include "common/console.h"
#include "common/platform.h"
#include "field/field.h"
#include "field/field_input.h"
#include "field/field_output.h"
#include "field/summary.h"
#include "run/clash_check.h"
#include "run/progress.h"
#include "run/run_files.h"

namespace morvantide {
namespace {

Status analyse_field_file(const Options& options, Files& files, OutputFile& console,
                          int64_t piece) {
  // The files table: the same clash, writable and temporary-file checks as
  // every run.
  State none;
  std::vector<RunFile> table = run_files(none, FileChoice::of(options));
  TemplateTexts templates;
  MORVANTIDE_RETURN_IF_ERROR(check_run_files(&table, files, &templates));

  // An output that exists already is held, with its folder, for the run: a
  // second run replacing it at the same time is refused.
  std::unique_ptr<FolderLock> lock;
  if (!options.field_output.empty() && files.exists(options.field_output)) {
    MORVANTIDE_RETURN_IF_ERROR(files.lock(options.field_output, &lock));
  }

  FieldInputSettings input;
  input.table = options.table;
  input.h = options.field_h;
  input.h_text = options.field_h_text;
  std::unique_ptr<FieldReader> reader;
  MORVANTIDE_RETURN_IF_ERROR(open_field(options.field, files, input, &reader));
  const FieldGrids grids(reader->study(), options.field_least_squares);

  std::unique_ptr<FieldWriter> writer;
  const bool csv = options.field_output.size() >= 4 &&
                   (options.field_output.substr(options.field_output.size() - 4) == ".csv" ||
                    options.field_output.substr(options.field_output.size() - 4) == ".CSV");
  if (!options.field_output.empty()) {
    std::unique_ptr<OutputFile> out;
    MORVANTIDE_RETURN_IF_ERROR(files.create_replacing(options.field_output, &out));
    writer = csv ? csv_writer(std::move(out), reader->coordinate_names(),
                              options.field_least_squares, options.field_digits)
                 : npz_writer(std::move(out), options.field_least_squares);
  }

  FieldSummary summary(grids.study());
  {
    Progress progress(reader->total_points(), 0, standard_error_is_terminal(), stderr, 1000,
                      "point");
    std::vector<real> values;
    CoordinateTexts coordinates;
    FieldColumns columns;
    while (true) {
      int64_t count = 0;
      MORVANTIDE_RETURN_IF_ERROR(
          reader->next(piece, &values, csv ? &coordinates : nullptr, &count));
      if (count == 0) break;
      if (columns.size() < count) columns.resize(count);
      analyse_field_block(grids, values.data(), count, &columns, 0, &summary);
      if (writer != nullptr) MORVANTIDE_RETURN_IF_ERROR(writer->write(columns, count, coordinates));
      progress.work()->variables.fetch_add(count, std::memory_order_relaxed);
    }
  }
  if (summary.points == 0) {
    return Status::Error("morvantide: " + options.field + ": the field has no points");
  }
  if (writer != nullptr) MORVANTIDE_RETURN_IF_ERROR(writer->finish());

  const std::string source = options.field;
  if (!options.json_file.empty()) {
    const std::string json = summary_json(summary, source);
    if (options.json_file == kStandardOutput) {
      console.write(json);
      return console.flush();
    }
    MORVANTIDE_RETURN_IF_ERROR(files.replace(options.json_file, json));
  }
  console.write(summary_text(summary, source));
  return console.flush();
}

}  // namespace

Status run_field(const Options& options, Files& files, OutputFile& console, int64_t piece) {
  try {
    return analyse_field_file(options, files, console, piece);
  } catch (const std::bad_alloc&) {
    return Status::Error("morvantide: not enough memory for the field");
  }
}

}  // namespace morvantide
