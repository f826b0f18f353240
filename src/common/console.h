// Standard output as a file being written: where the summary goes, and the
// JSON or CSV text when its file name is "-".  Bytes go out unchanged (on
// Windows too: the stream is switched to binary), so the caller chooses the
// line ends.  A write error (a full disk, a closed pipe) is remembered and
// reported by flush() and close():
//   "standard output: cannot write (No space left on device)"
#ifndef MORVANTIDE_COMMON_CONSOLE_H_
#define MORVANTIDE_COMMON_CONSOLE_H_

#include <string_view>

#include "common/files.h"

namespace morvantide {

class StandardOutput : public OutputFile {
 public:
  StandardOutput();
  void write(std::string_view bytes) override;
  Status flush() override;
  Status close() override { return flush(); }

 private:
  int error_ = 0;  // errno of the first failed write
};

// Standard output was closed when the process started (and is now
// /dev/null): every write to StandardOutput fails with EBADF.
void mark_standard_output_closed();
bool standard_output_closed();

// The line end of the text meant for a terminal: CR LF on Windows, LF
// elsewhere (set in each system's platform file).
extern const std::string_view kConsoleLineEnd;

// Makes standard output take bytes unchanged (Windows would turn LF into
// CR LF); nothing elsewhere.
void set_standard_output_binary();

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_CONSOLE_H_
