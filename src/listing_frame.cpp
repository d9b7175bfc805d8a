#include "listing_frame.h"

#include "html_buffer.h"
#include "html_escape.h"

namespace {

// Copies the text of the listing's lines (the numbered rows of a code block, or the code of a
// Markdown fence), never its line numbers.
constexpr std::string_view copy_script =
    "const f=this.closest('figure'),c=f.querySelectorAll('.code-line-content,pre>code');"
    "navigator.clipboard.writeText(Array.from(c,e=>e.textContent).join('\\n'))"
    ".then(()=>{this.textContent='Copied'},()=>{this.textContent='Copy failed'})";

void append(std::string& out, std::string_view text) {
  out += text;
}

void append(html_buffer& out, std::string_view text) {
  add(out, text);
}

void append_escaped(std::string& out, std::string_view text) {
  append_html_escaped(out, text);
}

void append_escaped(html_buffer& out, std::string_view text) {
  add_escaped(out, text);
}

// The opening of a listing's figure, appended to `out` of either kind.
template <typename Out>
void open_figure(Out& out, std::string_view language) {
  append(out, "  <figure class=\"listing\">\n    <figcaption>");
  if (!language.empty()) {
    append(out, "<span class=\"listing-language\">");
    append_escaped(out, language);
    append(out, "</span>");
  }
  append(out, "<button type=\"button\" class=\"copy-button\" hidden onclick=\"");
  append(out, copy_script);
  append(out,
         "\">Copy</button><script>document.currentScript.previousElementSibling.hidden=false"
         "</script></figcaption>\n");
}

constexpr std::string_view figure_end = "  </figure>\n";

}  // namespace

void open_listing_figure(std::string& out, std::string_view language) {
  open_figure(out, language);
}

void open_listing_figure(html_buffer& out, std::string_view language) {
  open_figure(out, language);
}

void close_listing_figure(std::string& out) {
  append(out, figure_end);
}

void close_listing_figure(html_buffer& out) {
  append(out, figure_end);
}
