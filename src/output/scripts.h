// The plot scripts: each keeps the first lines of its template (the
// default template when the file is missing) and ends with the run's title
// line and "replot".
#ifndef MORVANTIDE_OUTPUT_SCRIPTS_H_
#define MORVANTIDE_OUTPUT_SCRIPTS_H_

#include <string>
#include <utility>
#include <vector>

#include "common/files.h"
#include "common/status.h"
#include "model/plot_files.h"
#include "model/state.h"

namespace morvantide {

// The templates as check_templates read them, so that completing a script
// does not read its template again (no output of a run is a template of
// another script, so they stay as they were read).
struct TemplateTexts {
  // The text read for `script`, or null when it was not read.
  const std::string* find(const PlotScript& script) const;
  std::vector<std::pair<const PlotScript*, std::string>> texts;
};

// Checks, before any output exists, that each template is either missing
// (its default will be written) or holds at least its kept lines; with
// `least_squares_plot` also the template of kScriptULS.  Keeps what it read
// in *read when given.
Status check_templates(Files& files, bool least_squares_plot = false,
                       TemplateTexts* read = nullptr);
// The same for the scripts given.
Status check_templates(Files& files, const std::vector<const PlotScript*>& scripts,
                       TemplateTexts* read);

// Keeps the first lines of the script (the default template when the file
// is missing) and appends the title line and "replot".  Reads: titulo_grafico.
// The template is taken from `read` when it holds it.
Status roteiro(const State& s, const PlotScript& script, Files& files,
               const TemplateTexts* read = nullptr);

}  // namespace morvantide

#endif  // MORVANTIDE_OUTPUT_SCRIPTS_H_
