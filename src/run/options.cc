#include "run/options.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text.h"
#include "input/freeformat.h"
#include "input/study_settings.h"
#include "model/plot_files.h"
#include "model/run_files.h"

namespace morvantide {

namespace {

Status error(const std::string& message) { return Status::Error("morvantide: " + message); }

enum class Name {
  kHelp,
  kVersion,
  kNoEdit,
  kNoPlot,
  kPlotLeastSquares,
  kSummary,
  kJson,
  kCsv,
  kTarget,
  kVariables,
  kCells,
  kRatio,
  kOrder,
  kOrderStep,
  kOrderRange,
  kItmax,
  kTol,
  kOutputDir,
  kField,
  kH,
  kOutput,
  kLeastSquares,
  kDigits
};

struct OptionRow {
  const char* name;  // without the leading "--"
  Name id;
  const char* value;  // the value's name in --help, nullptr for a switch
  const char* help;
  bool data_only = false;  // goes with a data file (or a field) only
  bool field_only = false;  // goes with --field only
};

// One row per option: the parser and --help both loop over this table.
constexpr OptionRow kOptions[] = {
    {"no-edit", Name::kNoEdit, nullptr, "never start the editor (batch runs, scripts)"},
    {"no-plot", Name::kNoPlot, nullptr, "write the plot scripts, do not start the plotter"},
    {"plot-least-squares", Name::kPlotLeastSquares, nullptr,
     "a third plot: the estimates and U_LS against h"},
    {"summary", Name::kSummary, nullptr, "print each variable's result and verdict"},
    {"json", Name::kJson, "FILE", "per-grid values and verdicts as JSON (- = stdout)"},
    {"csv", Name::kCsv, "FILE", "as CSV, a row per variable and grid (- = stdout)"},
    {"target", Name::kTarget, "U|P%", "the grid for an uncertainty U, or P% of |Th|"},
    {"variables", Name::kVariables, "LIST",
     "variables to report, e.g. 1,3-5 or all (default "
     "nv); with DATA also header names (default all)"},
    {"cells", Name::kCells, "D", "DATA: cell counts N in column 1, h = N^(-1/D)", true},
    {"ratio", Name::kRatio, "constant|variable", "DATA: the refinement ratio (default: detected)",
     true},
    {"order", Name::kOrder, "P", "DATA: pL, the asymptotic order (default 2)", true},
    {"order-step", Name::kOrderStep, "D", "DATA: dp, the step between orders (default 1)", true},
    {"order-range", Name::kOrderRange, "A:B", "DATA: pU_min:pU_max, the order search (0.5:5)",
     true},
    {"itmax", Name::kItmax, "N", "DATA: the order search's iteration limit (50)", true},
    {"tol", Name::kTol, "T", "DATA: the order search's tolerance (1.0E-12)", true},
    {"output-dir", Name::kOutputDir, "DIR", "DATA: also the classic files, in DIR", true},
    {"field", Name::kField, "FILE",
     "a whole field: a point table or .npy, a value column per grid (docs/field.md)"},
    {"h", Name::kH, "H1,H2,...", "FIELD: the grid sizes of the value columns, in their order",
     false, true},
    {"output", Name::kOutput, "FILE", "FIELD: the per-point figures, FILE.npz or FILE.csv",
     false, true},
    {"least-squares", Name::kLeastSquares, nullptr, "FIELD: U_LS of every point too (slow)",
     false, true},
    {"digits", Name::kDigits, "N", "FIELD: N significant digits in the CSV (default: float64's)",
     false, true},
    {"help", Name::kHelp, nullptr, "show this help and exit (also -h)"},
    {"version", Name::kVersion, nullptr, "show the version and exit"},
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A decimal number: optional sign, digits with an optional fraction (or a
// fraction alone), an optional exponent with E or e.
bool is_decimal(std::string_view t) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  while (i < t.size() && is_digit(t[i])) ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && is_digit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t exponent = 0;
    while (i < t.size() && is_digit(t[i])) ++i, ++exponent;
    if (exponent == 0) return false;
  }
  return i == t.size();
}

// A whole number from 1 to kMaxVariables.
bool parse_number(std::string_view t, int32_t* out) {
  if (t.empty() || t.size() > 6) return false;
  int32_t v = 0;
  for (char c : t) {
    if (!is_digit(c)) return false;
    v = v * 10 + (c - '0');
  }
  if (v < 1 || v > kMaxVariables) return false;
  *out = v;
  return true;
}

// A real as the parameter file would hold it.
bool parse_setting(const std::string& text, real* out) {
  return parse_real(text, out) == RealText::kOk;
}

const char kTargetExpected[] = "a positive number, or a percentage such as 0.1%";
}  // namespace

const std::string kVariablesExpected = "numbers from 1 to " + std::to_string(kMaxVariables) +
                                       " and ranges such as 1,3-5, or all";

bool parse_target(const std::string& text, Target* target) {
  std::string_view t = text;
  Target result;
  result.kind = Target::Kind::kAbsolute;
  if (!t.empty() && t.back() == '%') {
    result.kind = Target::Kind::kRelative;
    t.remove_suffix(1);
  }
  if (!is_decimal(t)) return false;
  const std::string number(t);
  real v = strtoflt128(number.c_str(), nullptr);
  if (result.kind == Target::Kind::kRelative) v = v / 100;
  if (!(v > 0) || q_isinf(v)) return false;
  result.value = v;
  result.text = text;
  *target = result;
  return true;
}

bool parse_variables(const std::string& text, VariableChoice* choice) {
  VariableChoice result;
  if (text == "all") {
    result.kind = VariableChoice::Kind::kAll;
    *choice = result;
    return true;
  }
  result.kind = VariableChoice::Kind::kList;
  std::vector<bool> named(static_cast<size_t>(kMaxVariables) + 1, false);
  std::string_view rest = text;
  while (true) {
    const size_t comma = rest.find(',');
    const std::string_view part = rest.substr(0, comma);
    const size_t dash = part.find('-');
    int32_t first = 0, last = 0;
    if (dash == std::string_view::npos) {
      if (!parse_number(part, &first)) return false;
      last = first;
    } else if (!parse_number(part.substr(0, dash), &first) ||
               !parse_number(part.substr(dash + 1), &last) || last < first) {
      return false;
    }
    for (int32_t v = first; v <= last; ++v) {
      if (!named[v]) {
        named[v] = true;
        result.numbers.push_back(v);
      }
    }
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  *choice = std::move(result);
  return true;
}

Status parse_options(const std::vector<std::string>& args, Options* options) {
  Options o;
  std::string data_option;  // the first option given that needs a data file
  std::string field_option;  // the first option given that needs --field
  bool options_ended = false;  // after "--" every argument is a data file
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (arg == "--" && !options_ended) {
      options_ended = true;
      continue;
    }
    if (arg == "-h" && !options_ended) {
      o.help = true;
      continue;
    }
    if (options_ended || arg == "-" || (!arg.empty() && arg[0] != '-')) {
      if (o.has_data) {
        return error("one data file at a time: " + shown(o.data) + " and " + shown(arg));
      }
      o.has_data = true;
      o.data = arg;
      continue;
    }
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      return error("unexpected argument " + shown(arg) + " (see morvantide --help)");
    }
    const size_t equals = arg.find('=');
    const std::string name =
        arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const OptionRow* row = nullptr;
    for (const OptionRow& candidate : kOptions) {
      if (name == candidate.name) row = &candidate;
    }
    if (row == nullptr) {
      return error("unknown option " + shown(arg.substr(0, equals)) + " (see morvantide --help)");
    }
    const std::string option = std::string("--") + row->name;
    if (row->data_only && data_option.empty()) data_option = option;
    if (row->field_only && field_option.empty()) field_option = option;
    std::string value;
    if (row->value == nullptr) {
      if (equals != std::string::npos) return error(option + " takes no value");
    } else if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (k + 1 < args.size()) {
      value = args[++k];
    } else {
      return error(option + " needs a value (" + row->value + ")");
    }

    switch (row->id) {
      case Name::kHelp:
        o.help = true;
        break;
      case Name::kVersion:
        o.version = true;
        break;
      case Name::kNoEdit:
        o.no_edit = true;
        break;
      case Name::kNoPlot:
        o.no_plot = true;
        break;
      case Name::kPlotLeastSquares:
        o.plot_least_squares = true;
        break;
      case Name::kSummary:
        o.summary = true;
        break;
      case Name::kJson:
      case Name::kCsv:
        if (value.empty()) return error(option + " needs a file name");
        (row->id == Name::kJson ? o.json_file : o.csv_file) = value;
        break;
      case Name::kTarget:
        if (!parse_target(value, &o.target)) {
          return error("bad value for --target: " + shown(value) + " (" + kTargetExpected + ")");
        }
        break;
      case Name::kVariables:
        if (!parse_variables(value, &o.variables)) {
          o.variables = VariableChoice();
          o.variables.kind = VariableChoice::Kind::kText;
          o.variables.text = value;
        }
        break;
      case Name::kCells:
        if (!read_study_setting(StudySetting::kCells, value, &o.table)) {
          return error("bad value for --cells: " + shown(value) + " (" +
                       setting_expected(StudySetting::kCells) + ")");
        }
        break;
      case Name::kRatio:
        if (!read_ratio(value, &o.table)) {
          return error("bad value for --ratio: " + shown(value) + " (constant or variable)");
        }
        break;
      case Name::kOrderRange: {
        const size_t colon = value.find(':');
        if (colon == std::string::npos ||
            !read_order_range(std::string_view(value).substr(0, colon),
                              std::string_view(value).substr(colon + 1), &o.table)) {
          return error("bad value for --order-range: " + shown(value) +
                       " (pU_min:pU_max, two numbers, the first the smaller, such as 0.5:5)");
        }
        break;
      }
      case Name::kOrder:
      case Name::kOrderStep:
      case Name::kItmax:
      case Name::kTol: {
        const StudySetting setting = row->id == Name::kOrder       ? StudySetting::kOrder
                                     : row->id == Name::kOrderStep ? StudySetting::kOrderStep
                                     : row->id == Name::kItmax     ? StudySetting::kItmax
                                                                   : StudySetting::kTol;
        if (!read_study_setting(setting, value, &o.table)) {
          return error("bad value for " + option + ": " + shown(value) + " (" +
                       setting_expected(setting) + ")");
        }
        break;
      }
      case Name::kOutputDir:
        if (value.empty()) return error("--output-dir needs a folder name");
        o.output_dir = value;
        break;
      case Name::kField:
        if (value.empty()) return error("--field needs a file name");
        o.has_field = true;
        o.field = value;
        break;
      case Name::kH: {
        o.field_h.clear();
        o.field_h_text.clear();
        std::string_view rest = value;
        while (true) {
          const size_t comma = rest.find(',');
          const std::string part(rest.substr(0, comma));
          real v = 0;
          if (!parse_setting(part, &v)) {
            return error("bad value for --h: " + shown(value) +
                         " (the grid sizes, numbers separated by commas: 0.4,0.2,0.1)");
          }
          o.field_h.push_back(v);
          o.field_h_text.push_back(part);
          if (comma == std::string_view::npos) break;
          rest.remove_prefix(comma + 1);
        }
        break;
      }
      case Name::kOutput: {
        const size_t dot = value.rfind('.');
        std::string ending = dot == std::string::npos ? "" : value.substr(dot);
        for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ending != ".npz" && ending != ".csv") {
          return error("bad value for --output: " + shown(value) +
                       " (a file name ending in .npz or .csv)");
        }
        o.field_output = value;
        break;
      }
      case Name::kLeastSquares:
        o.field_least_squares = true;
        break;
      case Name::kDigits: {
        const bool whole = !value.empty() && value.size() <= 2 &&
                           value.find_first_not_of("0123456789") == std::string::npos;
        const int digits = whole ? std::stoi(value) : 0;
        if (digits < 1 || digits > 36) {
          return error("bad value for --digits: " + shown(value) +
                       " (significant digits, a whole number from 1 to 36)");
        }
        o.field_digits = digits;
        break;
      }
    }
  }

  if (o.has_field) {
    // A field run: its own input and outputs.
    if (o.has_data) {
      return error("--field takes its file as its value; found a data file too: " +
                   shown(o.data));
    }
    for (const auto& [given, name] :
         {std::pair{o.summary, "--summary"}, {!o.csv_file.empty(), "--csv"},
          {o.target.kind != Target::Kind::kNone, "--target"},
          {o.variables.kind != VariableChoice::Kind::kNv, "--variables"},
          {!o.output_dir.empty(), "--output-dir"}, {o.plot_least_squares, "--plot-least-squares"},
          {o.no_edit, "--no-edit"}, {o.no_plot, "--no-plot"}, {o.help, "--help"},
          {o.version, "--version"}}) {
      if (given) return error(std::string(name) + " does not go with --field");
    }
    if (o.field_digits > 0 && !o.field_output.empty() &&
        o.field_output.substr(o.field_output.size() - 4) != ".csv" &&
        o.field_output.substr(o.field_output.size() - 4) != ".CSV") {
      return error("--digits goes with --output FILE.csv");
    }
    *options = std::move(o);
    return Status::Ok();
  }
  if (!field_option.empty()) {
    return error(field_option + " goes with --field: morvantide --field FILE " + field_option +
                 " ... (see morvantide --help)");
  }

  if ((o.help || o.version) && o.has_data) {
    return error(std::string(o.help ? "--help" : "--version") + " takes no data file, found " +
                 shown(o.data));
  }
  if (!o.has_data) {
    if (!data_option.empty()) {
      return error(data_option + " goes with a data file: morvantide " + data_option +
                   " ... DATA (see morvantide --help)");
    }
    if (o.variables.kind == VariableChoice::Kind::kText) {
      return error("bad value for --variables: " + shown(o.variables.text) + " (" +
                   kVariablesExpected + ")");
    }
  } else {
    if (o.plot_least_squares && o.output_dir.empty()) {
      return error("--plot-least-squares with a data file needs --output-dir");
    }
    // With a data file the summary is the output unless another form is.
    if (o.json_file != kStandardOutput && o.csv_file != kStandardOutput) o.summary = true;
  }

  // Standard output can carry one of the report's forms only.
  int to_stdout = (o.summary ? 1 : 0) + (o.json_file == kStandardOutput ? 1 : 0) +
                  (o.csv_file == kStandardOutput ? 1 : 0);
  if (to_stdout > 1) {
    return error("only one of --summary, --json - and --csv - can write to standard output");
  }
  if (!o.report() && !o.has_data) {
    if (o.target.kind != Target::Kind::kNone) {
      return error("--target needs --summary, --json or --csv to show its result");
    }
    if (o.variables.kind != VariableChoice::Kind::kNv) {
      return error("--variables needs --summary, --json or --csv to show its results");
    }
  }
  *options = std::move(o);
  return Status::Ok();
}

namespace {

// The widest line of --help.
constexpr size_t kHelpWidth = 79;

// The files that options add, from the table of a run's files, a line
// each, cut at blanks before 80 columns:
//   --plot-least-squares adds U_LS.dat and Morvantide_4p0_U_LS.gnu.
std::string optional_files_text() {
  std::vector<std::pair<std::string, std::vector<std::string>>> by_option;
  for (const RunFile& f : fixed_files()) {
    if (f.option == FileOption::kEveryRun) continue;
    const std::string option = option_name(f.option);
    if (by_option.empty() || by_option.back().first != option) by_option.push_back({option, {}});
    by_option.back().second.push_back(f.name);
  }
  by_option.push_back({"--json FILE and --csv FILE", {"FILE"}});
  std::string out;
  for (const auto& [option, names] : by_option) {
    std::string sentence = option + (names.size() == 1 && names[0] == "FILE"
                                         ? " replace FILE whole, or write to standard output "
                                           "when FILE is -."
                                         : " adds");
    if (names[0] != "FILE") {
      for (size_t k = 0; k < names.size(); ++k) {
        sentence += (k == 0 ? " " : k + 1 == names.size() ? " and " : ", ") + names[k];
      }
      sentence += ".";
    }
    out += wrap_words(sentence, "", 0, kHelpWidth);
  }
  return out;
}

}  // namespace

std::string help_text() {
  std::string out =
      "usage: morvantide [OPTION]...\n"
      "       morvantide [OPTION]... DATA\n"
      "\n"
      "Estimates the discretisation error of a solution computed on a sequence of\n"
      "refined grids.\n"
      "\n"
      "With DATA (a file, or - for standard input) it analyses a table: a row per\n"
      "grid, h (or the cell count, with --cells) first, then the value of each\n"
      "variable; CSV, TSV or blank-separated, an optional header row of names, #\n"
      "comments.  It prints the summary of every variable and writes nothing else\n"
      "unless asked.  Example:\n"
      "  morvantide study.csv\n"
      "\n"
      "With no DATA, run it in the folder that holds the control file\n" +
      std::string(kControlFile) +
      ", the parameter file it names and the result files.  It\n"
      "writes the listing named in the parameter file, twelve plot data files\n"
      "(" + kPlotFiles[0].name + " ... " + std::end(kPlotFiles)[-1].name +
      ") and completes the plot scripts " + kPlotScripts[0]->name + " and\n" +
      kPlotScripts[1]->name +
      ", replacing earlier versions of these files.  With no\n"
      "options it prints nothing on the terminal.  Example:\n"
      "  cd examples/channel && morvantide\n";
  // The words above are laid out for these names.
  static_assert(std::size(kPlotFiles) == 12 && std::size(kPlotScripts) == 2);
  out += optional_files_text();
  out +=
      "\n"
      "Options (--name VALUE or --name=VALUE):\n";
  // The descriptions in one column after the widest option, wrapped at
  // word boundaries to stay within 79 columns.
  auto left_of = [](const OptionRow& row) {
    std::string left = std::string("  --") + row.name;
    if (row.value != nullptr) left += std::string(" ") + row.value;
    return left;
  };
  size_t column = 0;
  for (const OptionRow& row : kOptions) column = std::max(column, left_of(row).size() + 2);
  for (const OptionRow& row : kOptions) {
    std::string line = left_of(row);
    line.resize(column, ' ');
    out += wrap_words(row.help, line, column, kHelpWidth);
  }
  std::string ends = "  --";
  ends.resize(column, ' ');
  out += ends + "the options end: a data file follows (-x.csv)\n";
  out +=
      "\n"
      "Terms of the summary (at the finest grid; grid 1 is the coarsest):\n"
      "  Th     the solution on the grid, as given\n"
      "  U      the uncertainty of Th: 1.25 |Th - Th(coarser)| / (r^p - 1), p the\n"
      "         observed order capped at pL; none where the grids diverge\n"
      "  Ti_pU  Th extrapolated once (Richardson) with the observed order\n"
      "  Tm1    Th extrapolated repeatedly with the true orders pL, pL + dp, ...\n"
      "  Tc     the mean of the extrapolations with pL and with the observed order\n"
      "  Umc    Tm1 - Th, the distance to the most extrapolated value\n"
      "  Um     the error of Tm1, from the convergence of its own sequence\n"
      "  Uc     half the distance between the two extrapolations behind Tc\n"
      "  U_LS   the uncertainty of a least-squares fit over all the grids\n";
  return out;
}

}  // namespace morvantide
