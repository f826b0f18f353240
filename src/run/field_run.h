// A run on a whole field (morvantide --field FILE): the field read a piece
// of points at a time, each piece analysed on the threads, its per-point
// figures written (--output) and added to the summary; the summary printed
// (or its JSON written, --json).  Every check comes before the first byte
// is written: the files table (no output on the field or on another
// output, every output writable), the field's header and grid sizes.  The
// per-point file replaces its old version only when the whole field was
// read and analysed: a bad row anywhere leaves every file as it was.
#ifndef MORVANTIDE_RUN_FIELD_RUN_H_
#define MORVANTIDE_RUN_FIELD_RUN_H_

#include <cstdint>

#include "common/files.h"
#include "common/status.h"
#include "run/options.h"

namespace morvantide {

// Points per piece: memory follows it (binary128 values, figures, texts).
inline constexpr int64_t kFieldPiece = 65536;

// REQUIRES: options.has_field.
Status run_field(const Options& options, Files& files, OutputFile& console,
                 int64_t piece = kFieldPiece);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_FIELD_RUN_H_
