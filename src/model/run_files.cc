#include "model/run_files.h"

namespace morvantide {

bool is_input(FileRole role) {
  switch (role) {
    case FileRole::kControlFile:
    case FileRole::kParameterFile:
    case FileRole::kOtherParameterFile:
    case FileRole::kResultFile:
    case FileRole::kDataFile:
    case FileRole::kTemplate:
      return true;
    default:
      return false;
  }
}

const char* option_name(FileOption option) {
  switch (option) {
    case FileOption::kEveryRun: return "";
    case FileOption::kPlotLeastSquares: return "--plot-least-squares";
    case FileOption::kReport: return "--json/--csv";
    case FileOption::kFieldOutput: return "--output";
    case FileOption::kStandardOutput: return "--summary/-";
  }
  return "";
}

const std::vector<RunFile>& fixed_files() {
  static const std::vector<RunFile> table = [] {
    std::vector<RunFile> rows{{kControlFile, FileRole::kControlFile}};
    for (const PlotFile& f : kPlotFiles) {
      rows.push_back({f.name, FileRole::kPlotData, FileOption::kEveryRun, false, nullptr, &f});
    }
    for (const PlotScript* script : kPlotScripts) {
      rows.push_back({script->name, FileRole::kScript, FileOption::kEveryRun, true, script});
    }
    rows.push_back({kLeastSquaresPlot.name, FileRole::kPlotData, FileOption::kPlotLeastSquares,
                    false, nullptr, &kLeastSquaresPlot});
    rows.push_back({kScriptULS.name, FileRole::kScript, FileOption::kPlotLeastSquares, true,
                    &kScriptULS});
    return rows;
  }();
  return table;
}

}  // namespace morvantide
