// The plot scripts: each template completed with the title of the run.
//
// A script keeps the first lines of its template byte for byte (their own
// line ends included) and gains two lines:
//
//   set title '<title>'
//   replot
//
// where <title> is titulo_grafico without its leading and trailing blanks.
// titulo_grafico ends with the apostrophe that closes the quote; every other
// apostrophe of the title is doubled and CR and LF bytes are dropped, so the
// title stays one quoted text whatever it holds:
//
//   titulo_grafico "Caso 1 (6/12/2026)'"  -> set title 'Caso 1 (6/12/2026)'
//   titulo_grafico "x'y (6/12/2026)'"     -> set title 'x''y (6/12/2026)'
//
// A missing template is replaced by the program's default one, so a run
// works in any folder; a template with fewer lines than it keeps stops the
// run and is left as it was.
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "output/default_templates.h"
#include "output/scripts.h"

namespace morvantide {

namespace {

// The first `count` lines of `text`, each with its own line end (LF or
// CR LF; a lone CR is no line end).  A last line without a line end counts
// as a line.  Sets *lines to how many lines were taken.
std::string_view first_lines(std::string_view text, int count, int* lines) {
  size_t end = 0;
  *lines = 0;
  while (*lines < count && end < text.size()) {
    size_t lf = text.find('\n', end);
    end = lf == std::string_view::npos ? text.size() : lf + 1;
    ++*lines;
  }
  return text.substr(0, end);
}

Status too_short(const PlotScript& script, int lines) {
  return Status::Error(std::string(script.name) + ": the plot template has only " +
                       std::to_string(lines) + (lines == 1 ? " line, " : " lines, ") +
                       std::to_string(script.kept_lines) + " are needed");
}

// The template of `script`: the file when it exists, else the default.
Status template_text(const PlotScript& script, Files& files, std::string* text) {
  if (!files.exists(script.name)) {
    *text = script.default_template;
    return Status::Ok();
  }
  return files.read(script.name, text);
}

// "set title '...'" with its line end (see the top of the file).
std::string title_line(const std::string& titulo_grafico) {
  std::string text = trim(titulo_grafico);
  // The closing apostrophe is titulo_grafico's own; one is supplied should
  // it be missing, so the quote is always closed.
  if (!text.empty() && text.back() == '\'') text.pop_back();
  std::string line = "set title '";
  for (char c : text) {
    if (c == '\r' || c == '\n') continue;
    line += c;
    if (c == '\'') line += '\'';
  }
  line += '\'';
  line += kCrLf;
  return line;
}

}  // namespace

const PlotScript kScriptPU = {"Morvantide_4p0_pU.gnu", 15, kDefaultTemplatePU,
                               "Morvantide_4p0_pU.png"};
const PlotScript kScriptU = {"Morvantide_4p0_U.gnu", 10, kDefaultTemplateU, "Morvantide_4p0_U.png"};
const PlotScript kScriptULS = {"Morvantide_4p0_U_LS.gnu", 11, kDefaultTemplateULS,
                               "Morvantide_4p0_U_LS.png"};

const std::string* TemplateTexts::find(const PlotScript& script) const {
  for (const auto& [which, text] : texts) {
    if (which == &script) return &text;
  }
  return nullptr;
}

Status check_templates(Files& files, bool least_squares_plot, TemplateTexts* read) {
  std::vector<const PlotScript*> scripts{&kScriptPU, &kScriptU};
  if (least_squares_plot) scripts.push_back(&kScriptULS);
  return check_templates(files, scripts, read);
}

Status check_templates(Files& files, const std::vector<const PlotScript*>& scripts,
                       TemplateTexts* read) {
  for (const PlotScript* script : scripts) {
    std::string text;
    MORVANTIDE_RETURN_IF_ERROR(template_text(*script, files, &text));
    int lines = 0;
    first_lines(text, script->kept_lines, &lines);
    if (lines < script->kept_lines) return too_short(*script, lines);
    if (read != nullptr) read->texts.emplace_back(script, std::move(text));
  }
  return Status::Ok();
}

Status roteiro(const State& s, const PlotScript& script, Files& files,
               const TemplateTexts* read) {
  const std::string* kept_text = read != nullptr ? read->find(script) : nullptr;
  std::string own_text;
  if (kept_text == nullptr) {
    MORVANTIDE_RETURN_IF_ERROR(template_text(script, files, &own_text));
    kept_text = &own_text;
  }
  const std::string& text = *kept_text;
  int lines = 0;
  std::string kept(first_lines(text, script.kept_lines, &lines));
  if (lines < script.kept_lines) return too_short(script, lines);
  if (kept.back() != '\n') kept += kCrLf;
  std::string script_text = kept + title_line(s.titulo_grafico) + "replot\r\n";
  // A run repeated the same day finds its script already as it would write
  // it: the file is left as it is, which spares a temporary file and a rename.
  if (script_text == text) return Status::Ok();
  // The template is the user's own file: it is replaced whole or not at all.
  return files.replace(script.name, script_text);
}

}  // namespace morvantide
