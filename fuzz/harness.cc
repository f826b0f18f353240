#include "harness.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "common/files.h"
#include "common/text.h"
#include "input/freeformat.h"
#include "input/input.h"
#include "input/table.h"
#include "output/plot_data.h"
#include "output/saida_resultados.h"
#include "output/scripts.h"
#include "output/tables.h"
#include "common/platform.h"
#include "model/plot_files.h"
#include "run/direct.h"
#include "run/field_run.h"
#include "run/run.h"
#include "model/state.h"

namespace morvantide::fuzz {

namespace {

// A fuzz target's program byte >> 4 that stands for an endless row.
constexpr int kHugeRow = 15;
constexpr int32_t kHugeCount = 2000000000;
// Enough reads for any text a fuzzer makes; each read passes over a line.
constexpr int kMaxReads = 1 << 20;

bool has_line_break(const std::string& message) {
  return message.find('\n') != std::string::npos;
}

// "f.txt:LINE: ..." with 1 <= LINE <= last_line.
std::string check_message(const std::string& message, const std::string& name,
                          int64_t last_line) {
  const std::string prefix = name + ":";
  if (message.compare(0, prefix.size(), prefix) != 0) return "message without the file: " + message;
  // The one message about the whole file rather than a line of it.
  if (message == name + ": lines end with CR only; save it with LF or CR LF line ends") return "";
  size_t i = prefix.size();
  int64_t line = 0;
  while (i < message.size() && message[i] >= '0' && message[i] <= '9' && line <= last_line) {
    line = line * 10 + (message[i] - '0');
    ++i;
  }
  if (i == prefix.size() || i >= message.size() || message[i] != ':')
    return "message without a line: " + message;
  if (line < 1 || line > last_line) return "line outside the text: " + message;
  if (has_line_break(message)) return "message of more than one line: " + message;
  return "";
}

// Memory files that remember which were read: the run's inputs.
class RecordingFiles : public MemoryFiles {
 public:
  std::map<std::string, std::string> read_before;  // name -> content when first read

  Status read(const std::string& name, std::string* content) override {
    Status status = MemoryFiles::read(name, content);
    if (status.ok()) read_before.emplace(name, *content);
    return status;
  }
};

class FixedPlatform : public Platform {
 public:
  LocalTime now() override { return {2026, 12, 6, 9, 5, 3}; }
  int32_t run(Program, const std::string&) override { return 0; }
};

std::vector<std::string_view> split(std::string_view data, char separator) {
  std::vector<std::string_view> parts;
  size_t from = 0;
  for (;;) {
    const size_t at = data.find(separator, from);
    if (at == std::string_view::npos) {
      parts.push_back(data.substr(from));
      return parts;
    }
    parts.push_back(data.substr(from, at - from));
    from = at + 1;
  }
}

// The number of grids the run would read, or -1 when the input stage would
// stop before it (then the run is cheap whatever it holds).  Reads the files
// as the input stage does.
int32_t grids_asked(MemoryFiles& files) {
  State s;
  std::string text;
  if (!files.read(kControlFile, &text).ok()) return -1;
  FreeFormatReader control(kControlFile, text);
  if (!control.read({Item::Integer("", &s.modo)}).ok() ||
      !control.read({Item::Text("", &s.arq_dados_n, kLenArqDados)}).ok() ||
      !control.read({Item::Text("", &s.arq_dados_1, kLenArqDados)}).ok()) {
    return -1;
  }
  const std::string name = parameter_file_name(s);
  if (!files.read(name, &text).ok()) return -1;
  FreeFormatReader in(name, text);
  // nv, the listing, pL, dp, tipo_r, itmax, tol, pU_min, pU_max, nm.
  const Item items[] = {Item::Integer("", &s.nv),     Item::Text("", &s.arq_listagem, kLenArqListagem),
                        Item::Real("", &s.study.pL),        Item::Real("", &s.study.dp),
                        Item::Integer("", &s.study.tipo_r), Item::Integer("", &s.study.itmax),
                        Item::Real("", &s.study.tol),       Item::Real("", &s.study.pU_min),
                        Item::Real("", &s.study.pU_max),    Item::Integer("", &s.study.nm)};
  for (const Item& item : items) {
    if (!in.read({item}).ok()) return -1;
  }
  return s.study.nm;
}

}  // namespace

std::string free_format(std::string_view data) {
  if (data.empty()) return "";
  const size_t n = static_cast<unsigned char>(data[0]) % 8 + 1;
  if (data.size() < 1 + n) return "";
  const std::string_view program = data.substr(1, n);
  const std::string text(data.substr(1 + n));
  const int64_t last_line =
      std::count(text.begin(), text.end(), '\n') + (text.empty() || text.back() == '\n' ? 1 : 2);

  FreeFormatReader in("f.txt", text);
  int32_t integers[3] = {0, 0, 0};
  real reals[3] = {0, 0, 0};
  std::string texts[3];
  for (int read = 0; read < kMaxReads; ++read) {
    const int b = static_cast<unsigned char>(program[read % n]);
    const int high = b >> 4;
    const size_t length = 1 + 8 * static_cast<size_t>(high);
    std::vector<Item> items;
    for (int j = 0; j < ((b >> 2) & 3); ++j) {
      switch ((b + j) & 3) {
        case 0:
          items.push_back(Item::Integer("i", &integers[j]));
          break;
        case 1:
          items.push_back(Item::Real("r", &reals[j]));
          break;
        case 2:
          texts[j] = std::string(length, ' ');
          items.push_back(Item::Text("t", &texts[j], length));
          break;
        default:
          items.push_back(
              Item::Reals("row value {}", &reals[j], high == kHugeRow ? kHugeCount : high));
          break;
      }
    }
    const Status status = in.read(items);
    for (int j = 0; j < static_cast<int>(items.size()); ++j) {
      if (items[j].kind == Item::Kind::kText && texts[j].size() != length) {
        return "a text of " + std::to_string(texts[j].size()) + " characters in a field of " +
               std::to_string(length);
      }
    }
    if (!status.ok()) return check_message(status.message(), "f.txt", last_line);
    if (in.last_line() > last_line) {
      return "last line " + std::to_string(in.last_line()) + " beyond the text";
    }
  }
  return "the reader did not reach the end of the text";
}

namespace {

// Standard output kept in memory.
class KeptOutput : public OutputFile {
 public:
  std::string text;
  void write(std::string_view bytes) override { text.append(bytes); }
  Status close() override { return Status::Ok(); }
};

// The report options of a run, chosen by the data's length: none for a
// length divisible by 8 (the classic run), else --summary, --json,
// --csv (to a file or to standard output) by its bits.
Options report_options(std::string_view data) {
  Options o;
  const size_t bits = data.size() % 8 == 0 ? 0 : data.size() % 16;
  if (bits == 0) return o;
  o.no_edit = true;
  o.summary = (bits & 1) != 0;
  if (bits & 2) o.json_file = (bits & 8) && !o.summary ? "-" : "r.json";
  if (bits & 4) o.csv_file = "r.csv";
  return o;
}

}  // namespace

std::string whole_run(std::string_view data, std::string* outcome) {
  const std::vector<std::string_view> parts = split(data, '\0');
  RecordingFiles files;
  files.contents[kControlFile] = std::string(parts[0]);
  if (parts.size() > 1) {
    files.contents["pn.txt"] = std::string(parts[1]);
    files.contents["p1.txt"] = std::string(parts[1]);
  }
  if (parts.size() > 2 && !parts[2].empty()) files.contents[kScriptPU.name] = std::string(parts[2]);
  if (parts.size() > 3 && !parts[3].empty()) files.contents[kScriptU.name] = std::string(parts[3]);
  for (size_t k = 4; k < parts.size(); ++k) {
    files.contents["r" + std::to_string(k - 3) + ".txt"] = std::string(parts[k]);
  }
  if (grids_asked(files) > kMaxFuzzGrids) {
    if (outcome != nullptr) *outcome = "passed over: more than " + std::to_string(kMaxFuzzGrids) + " grids";
    return "";
  }
  files.read_before.clear();

  State s;
  FixedPlatform platform;
  const Options options = report_options(data);
  KeptOutput console;
  const Status status = run(s, files, platform, options, console);
  if (!options.report() && !console.text.empty()) return "a classic run wrote on the console";
  if (outcome != nullptr) *outcome = status.ok() ? "ok" : status.message();

  const std::map<std::string, std::string> inputs = files.read_before;
  for (const auto& [name, content] : inputs) {
    if (name == kScriptPU.name || name == kScriptU.name) continue;
    auto it = files.contents.find(name);
    if (it == files.contents.end() || it->second != content) return "the input " + name + " changed";
  }
  const std::string listing = trim(s.arq_listagem);
  const bool listing_written = !listing.empty() && files.exists(listing) && !inputs.count(listing);
  const std::vector<std::string> outputs = output_names(s);
  for (size_t k = 1; k + 2 < outputs.size(); ++k) {
    if (files.exists(outputs[k]) && !listing_written) {
      return "the plot file " + outputs[k] + " was written without the listing";
    }
  }
  for (const std::string* report : {&options.json_file, &options.csv_file}) {
    if (report->empty() || *report == kStandardOutput) continue;
    if (files.exists(*report) && !listing_written) return "the report " + *report + " was written without the listing";
    if (status.ok() && !files.exists(*report)) return "a run that succeeded without " + *report;
  }
  if (options.json_file == kStandardOutput && status.ok() &&
      (console.text.empty() || console.text.back() != '\n')) {
    return "a JSON report on standard output that does not end with a line end";
  }
  if (!status.ok()) {
    if (status.message().empty()) return "a failed run with no message";
    if (has_line_break(status.message())) return "a message of more than one line";
    return "";
  }
  if (!listing_written) return "a run that succeeded without a listing";
  for (const std::string& name : outputs) {
    if (!files.exists(name)) return "a run that succeeded without " + name;
  }
  for (const PlotScript* script : {&kScriptPU, &kScriptU}) {
    const std::string& content = files.contents[script->name];
    const std::string_view end = "replot\r\n";
    if (content.size() < end.size() || content.compare(content.size() - end.size(), end.size(), end) != 0) {
      return std::string(script->name) + " does not end with replot";
    }
  }
  return "";
}

namespace {

bool ends_with(const std::string& name, std::string_view end) {
  return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

namespace {

// A text handed out `step` bytes at a time.
class Trickle : public InputFile {
 public:
  Trickle(std::string_view text, size_t step) : text_(text), step_(step) {}
  Status read_block(std::string* buffer, bool* end) override {
    const size_t n = std::min(step_, text_.size());
    *end = n == 0;
    buffer->append(text_.substr(0, n));
    text_.remove_prefix(n);
    return Status::Ok();
  }

 private:
  std::string_view text_;
  size_t step_;
};

// The table of `data` read a few bytes at a time, as a file or standard
// input is read, is the table of the whole text: the same rows, or the same
// message.  `whole` is the table of the whole text.
std::string table_in_pieces(std::string_view data, Table* whole, Status* from_text) {
  Table pieces;
  *from_text = parse_table("d.csv", data, whole);
  Trickle in(data, 1 + data.size() % 7);
  const Status from_blocks = read_table("d.csv", in, &pieces);
  if (from_text->message() != from_blocks.message()) {
    return "read in blocks: \"" + from_blocks.message() + "\", whole: \"" +
           from_text->message() + "\"";
  }
  if (from_text->ok() &&
      (whole->names != pieces.names || whole->rows.size() != pieces.rows.size())) {
    return "read in blocks, another table";
  }
  return "";
}

}  // namespace

std::string data_run(std::string_view data, std::string* outcome) {
  Table whole;
  Status parsed;
  const std::string problem = table_in_pieces(data, &whole, &parsed);
  if (!problem.empty()) return problem;
  // Larger studies only measure the fuzzer's time (see harness.h).
  if (parsed.ok() && whole.rows.size() > static_cast<size_t>(kMaxFuzzGrids)) {
    if (outcome != nullptr) *outcome = "not run: more grids than the fuzzer runs";
    return "";
  }
  const size_t bits = data.size() % 64;
  std::vector<std::string> args;
  if (bits & 1) args.push_back("--summary");
  if (bits & 2) args.insert(args.end(), {"--json", (bits & 8) && !(bits & 1) ? "-" : "r.json"});
  if (bits & 4) args.insert(args.end(), {"--csv", "r.csv"});
  if (bits & 16) args.insert(args.end(), {"--variables", "all"});
  if (bits & 32) args.insert(args.end(), {"--cells", "2"});
  const bool classic = (bits & 12) == 12;
  if (classic) args.insert(args.end(), {"--output-dir", "."});
  args.push_back("d.csv");
  Options options;
  if (!parse_options(args, &options).ok()) return "the harness's options were refused";

  MemoryFiles files;
  files.contents["d.csv"] = std::string(data);
  FixedPlatform platform;
  KeptOutput console;
  const Status status = run_data(options, files, platform, console);
  if (outcome != nullptr) *outcome = status.ok() ? "ok" : status.message();
  if (!status.ok()) {
    if (status.message().empty()) return "a failed run with no message";
    if (has_line_break(status.message())) return "a message of more than one line";
  } else {
    if (console.text.empty()) return "a data run that printed nothing";
    if (options.json_file == kStandardOutput && console.text.back() != '\n') {
      return "a JSON report on standard output that does not end with a line end";
    }
  }
  for (const auto& [name, content] : files.contents) {
    if (name == "d.csv") {
      if (content != data) return "a data run that changed its table";
      continue;
    }
    const bool report = ends_with(name, "r.json") || ends_with(name, "r.csv");
    if (!report && !classic) return "a data run without --output-dir wrote " + name;
  }
  if (status.ok()) {
    for (const std::string* report : {&options.json_file, &options.csv_file}) {
      if (report->empty() || *report == kStandardOutput) continue;
      bool found = false;
      for (const auto& [name, content] : files.contents) {
        found = found || name.find(*report) != std::string::npos;
      }
      if (!found) return "a data run that succeeded without " + *report;
    }
    if (classic && !files.exists(kDataListing)) return "--output-dir without the listing";
    if (classic && !files.exists(kPlotFiles[11].name)) return "--output-dir without the plot files";
  }
  return "";
}

std::string field_run(std::string_view data, std::string* outcome) {
  const size_t bits = data.size() % 32;
  const bool npy = data.substr(0, 6) == "\x93NUMPY";
  const std::string field = npy ? "f.npy" : "f.csv";
  std::vector<std::string> args = {"--field", field, "--output", (bits & 1) ? "o.csv" : "o.npz"};
  if (bits & 2) args.insert(args.end(), {"--json", (bits & 4) ? "-" : "s.json"});
  if (npy || (bits & 8)) args.insert(args.end(), {"--h", "0.4,0.2,0.1"});
  if (bits & 16) args.insert(args.end(), {"--cells", "3"});
  if ((bits & 31) == 31) args.push_back("--least-squares");
  Options options;
  if (!parse_options(args, &options).ok()) return "the harness's options were refused";

  std::string first;
  for (int64_t piece : {int64_t{1}, kFieldPiece}) {
    MemoryFiles files;
    files.contents[field] = std::string(data);
    KeptOutput console;
    const Status status = run_field(options, files, console, piece);
    if (outcome != nullptr) *outcome = status.ok() ? "ok" : status.message();
    if (!status.ok()) {
      if (status.message().empty()) return "a failed run with no message";
      if (has_line_break(status.message())) return "a message of more than one line";
      if (files.contents.size() != 1) return "a failed field run wrote a file";
    } else {
      if (console.text.empty()) return "a field run that printed nothing";
      if (files.contents.count(options.field_output) == 0) return "no " + options.field_output;
      if (options.json_file == "s.json" && files.contents.count("s.json") == 0) return "no s.json";
    }
    std::string all = (status.ok() ? "ok\n" : status.message() + "\n") + console.text;
    for (const auto& [name, content] : files.contents) all += name + "\n" + content;
    if (piece == 1) {
      first = all;
    } else if (all != first) {
      return "a field read a point at a time differs from one read in pieces";
    }
  }
  return "";
}

}  // namespace morvantide::fuzz
