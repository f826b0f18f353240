// A run on a data file (`morvantide [OPTIONS] DATA`): the table is read
// (input/table.h), turned into a study with the options' settings, and each
// chosen variable is analysed as the classic run would analyse it from the
// three files describing the same grids; the summary (or the JSON or CSV) is
// written, and nothing else unless --output-dir asks for the classic files
// of the first variable, written in that folder with the classic run's
// checks (nothing is written before every check has passed).
#ifndef MORVANTIDE_RUN_DIRECT_H_
#define MORVANTIDE_RUN_DIRECT_H_

#include <string>
#include <vector>

#include "common/files.h"
#include "common/platform.h"
#include "common/status.h"
#include "input/table.h"
#include "model/state.h"
#include "run/options.h"

namespace morvantide {

// The name a table read from standard input goes by in messages.
inline constexpr const char* kStandardInputName = "standard input";

// The listing's name among the classic files of a data run (the bundled
// example's).
inline constexpr const char* kDataListing = "listagem.txt";

// Reads options.data (a file, or standard input for "-") and runs on it.
Status run_data(const Options& options, Files& files, Platform& platform, OutputFile& console);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_DIRECT_H_
