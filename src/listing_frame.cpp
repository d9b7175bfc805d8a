#include "listing_frame.h"

#include "utils.h"

namespace {

// Copies the text of the listing's lines (the numbered rows of a code block, or the code of a
// Markdown fence), never its line numbers.
constexpr std::string_view copy_script =
    "const f=this.closest('figure'),c=f.querySelectorAll('.code-line-content,pre>code');"
    "navigator.clipboard.writeText(Array.from(c,e=>e.textContent).join('\\n'))"
    ".then(()=>{this.textContent='Copied'},()=>{this.textContent='Copy failed'})";

}  // namespace

void open_listing_figure(std::string& out, std::string_view language) {
  out += "  <figure class=\"listing\">\n    <figcaption>";
  if (!language.empty()) {
    out += "<span class=\"listing-language\">";
    append_html_escaped(out, std::string(language));
    out += "</span>";
  }
  out += "<button type=\"button\" class=\"copy-button\" hidden onclick=\"";
  out += copy_script;
  out +=
      "\">Copy</button><script>document.currentScript.previousElementSibling.hidden=false"
      "</script></figcaption>\n";
}

void close_listing_figure(std::string& out) {
  out += "  </figure>\n";
}
