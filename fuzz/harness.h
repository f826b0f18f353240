// What the fuzz targets do with one input, shared by the libFuzzer entry
// points (built with clang, see CMakeLists.txt in this folder) and by the
// test that replays the seed corpora and fuzz/regressions/ on every build.
//
// Each function returns an empty text when the input was handled soundly,
// else a description of the broken rule; a crash, a leak or undefined
// behaviour is caught by the sanitizers instead.
#ifndef MORVANTIDE_FUZZ_HARNESS_H_
#define MORVANTIDE_FUZZ_HARNESS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace morvantide::fuzz {

// The free-format reader on a fuzzed text.  The input is
//   N, then N+1 "program" bytes (N = first byte % 8), then the text;
// each program byte is one read: bits 2-3 give the number of items (0: a
// read that passes over a line), and item j's kind is (byte + j) % 4:
// integer, real, text of 1 + 8 * (byte >> 4) characters, or a row of
// reals (byte >> 4) long, 15 standing for two thousand million.  The
// program repeats until a read fails (the end of the text at the latest).
// Rules: the reader stops, every error is one line "f.txt:LINE: ..." with
// LINE within the text (or the line after it), and texts keep their length.
std::string free_format(std::string_view data);

// A whole run in memory: input, estimation, listing, plot data files and
// plot scripts, with a fixed clock and an editor and plotter that return 0.
// The input is cut at every NUL byte into
//   control file, parameter file, template of Morvantide_4p0_pU.gnu,
//   template of Morvantide_4p0_U.gnu, result file r1.txt, r2.txt, ...
// The parameter text is stored as pn.txt and as p1.txt (the names the seed
// control files give); an empty template part leaves the template missing.
// Runs of more than kMaxFuzzGrids grids are passed over before the run: the
// per-grid lists and the O(nm^2) repeated extrapolation of a larger run
// exceed a fuzzer's memory and time budget, not the program's.
// Rules: no input but the plot scripts is changed; a failed run reports one
// line; a plot data file exists only beside the listing; a run that
// succeeds leaves the listing, the twelve plot data files and both scripts
// ending in "replot".
// `outcome`, when given, receives the run's own result.
inline constexpr int32_t kMaxFuzzGrids = 2000;
std::string whole_run(std::string_view data, std::string* outcome = nullptr);

// A run on a data file: the input is the table's text, the options come
// from its length (--summary, --json, --csv to a file or to standard output,
// --variables all, --cells 2, --output-dir . by its bits).
// Rules: a failed run reports one line; a run that succeeds prints on
// standard output (its JSON ending with a line end), writes each report file
// it names and, only with --output-dir, the listing and the plot files;
// nothing else is written.
std::string data_run(std::string_view data, std::string* outcome = nullptr);

// A run on a whole field (--field): the input is the field, a .npy when it
// starts with NumPy's signature, else a point table; the options come from
// its length (--output as .npz or .csv, --json to a file or to standard
// output, --h 0.4,0.2,0.1 or none, --cells 3, --least-squares).  The run
// is made twice, reading one point at a time and in the usual pieces.
// Rules: a failed run reports one line and writes nothing; a run that
// succeeds prints on standard output and writes the files it names; both
// runs give the same bytes.
std::string field_run(std::string_view data, std::string* outcome = nullptr);

}  // namespace morvantide::fuzz

#endif  // MORVANTIDE_FUZZ_HARNESS_H_
