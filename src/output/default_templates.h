// The default plot templates, for gnuplot 5: the files of templates/ in the
// source tree, built into the program (NUL-terminated) so that a run works
// in any folder.  Only their kept lines, Windows-1252 with CR LF line ends.
//
// They plot into a PNG named after the script, then open it again on the
// last kept line, so the appended title and "replot" draw the titled
// picture into it (no window, no warning about the "unknown" terminal).
// Every curve is read inside a one-pass "for [k=1:*]" iteration: a file
// with no valid point ends its iteration silently instead of warning, and
// ponto() counts the valid points and their bounds so that two invisible
// points from borda_x/borda_y keep both axes valid when every value is
// missing or only one x or y value exists.
#ifndef MORVANTIDE_OUTPUT_DEFAULT_TEMPLATES_H_
#define MORVANTIDE_OUTPUT_DEFAULT_TEMPLATES_H_

namespace morvantide {

extern const char kDefaultTemplatePU[];  // templates/Morvantide_4p0_pU.gnu
extern const char kDefaultTemplateU[];   // templates/Morvantide_4p0_U.gnu

}  // namespace morvantide

#endif  // MORVANTIDE_OUTPUT_DEFAULT_TEMPLATES_H_
