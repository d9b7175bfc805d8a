#include "prose_style.h"

namespace {

// The highlight colours; both meet WCAG AA (4.5:1) on the palette's listing background.
constexpr std::string_view light_colours =
    "  --hl-kw: #cf222e; --hl-type: #953800; --hl-fn: #6639ba; --hl-str: #0a3069;\n"
    "  --hl-sc: #116329; --hl-num: #0550ae; --hl-com: #57606a; --hl-err: #82071e;\n";
constexpr std::string_view dark_colours =
    "  --hl-kw: #ff7b72; --hl-type: #ffa657; --hl-fn: #d2a8ff; --hl-str: #a5d6ff;\n"
    "  --hl-sc: #7ee787; --hl-num: #79c0ff; --hl-com: #9198a1; --hl-err: #ffa198;\n";

constexpr std::string_view rules = R"css(
/* Markdown prose and highlighted listings */
.markdown {
  max-width: 70ch; margin: 1rem auto; padding: 0 1rem; color: var(--ink);
  font-family: system-ui, -apple-system, "Segoe UI", Roboto, sans-serif; font-size: 1rem;
  line-height: 1.6; overflow-wrap: break-word; white-space: normal;
}
.markdown h1, .markdown h2, .markdown h3, .markdown h4, .markdown h5, .markdown h6 {
  line-height: 1.25; margin: 1.5em 0 0.5em; scroll-margin-top: 1rem;
}
.markdown p, .markdown ul, .markdown ol, .markdown blockquote { margin: 0 0 1em; }
.markdown a { color: var(--link); text-decoration: underline; padding: 0.2em 0; }
.markdown li.task { list-style: none; }
.markdown li.task input { margin: 0 0.5em 0 -1.5em; width: 1em; height: 1em; }
.markdown blockquote {
  margin-left: 0; padding-left: 1em; border-left: 0.25em solid var(--code-rule);
  color: var(--muted);
}
.markdown hr { border: 0; border-top: 1px solid var(--code-rule); margin: 2em 0; }
.markdown img { max-width: 100%; height: auto; }
.markdown code {
  font-family: ui-monospace, "DejaVu Sans Mono", monospace; font-size: 1rem;
  background: var(--code-page); color: var(--code-ink); padding: 0.1em 0.3em;
  border-radius: 0.25em;
}
.markdown-table { overflow-x: auto; margin: 0 0 1em; }
.markdown table { border-collapse: collapse; }
.markdown th, .markdown td { border: 1px solid var(--code-rule); padding: 0.3em 0.7em; }
.listing { margin: 1em 0; max-width: 100%; min-width: 0; }
.listing figcaption {
  display: flex; justify-content: space-between; align-items: center; gap: 1em;
  padding: 0.25em 0.75em; background: var(--code-page); color: var(--code-number);
  border-bottom: 1px solid var(--code-rule); font: 1rem/1.5 system-ui, sans-serif;
}
.listing .listing-language { font-weight: 600; }
.listing .copy-button {
  margin-left: auto; min-height: 24px; min-width: 44px; padding: 0.1em 0.75em; cursor: pointer;
  font: inherit; color: var(--code-ink); background: transparent;
  border: 1px solid var(--code-rule); border-radius: 0.25em;
}
.listing pre, .markdown .listing pre {
  margin: 0; max-width: 100%; box-sizing: border-box; overflow-x: auto;
  background: var(--code-page); color: var(--code-ink); white-space: pre;
}
.listing pre {
  padding: 0.75em 0; font: 1rem/1.5 ui-monospace, "DejaVu Sans Mono", monospace;
}
.listing pre.markdown-code { padding: 0.75em; }
.listing pre.code table { border-collapse: collapse; }
.listing pre.code td { padding: 0 0.75em; vertical-align: top; }
.listing .code-line-number {
  text-align: right; user-select: none; border-right: 1px solid var(--code-rule);
}
.listing .code-line-content { white-space: pre; }
.listing pre.markdown-code code { background: none; padding: 0; font-size: 1rem; }
.listing .code-line-number { color: var(--code-number); }
.listing .code-line-content code { color: var(--code-ink); }
.hl-kw, .hl-flow { color: var(--hl-kw); font-weight: 600; }
.hl-type, .hl-var { color: var(--hl-type); }
.hl-fn, .hl-pp, .hl-imp, .hl-ext { color: var(--hl-fn); }
.hl-str, .hl-vstr, .hl-sstr, .hl-chr { color: var(--hl-str); }
.hl-sc { color: var(--hl-sc); }
.hl-num, .hl-const, .hl-bi, .hl-attr { color: var(--hl-num); }
.hl-com, .hl-doc, .hl-cvar, .hl-reg { color: var(--hl-com); font-style: italic; }
.hl-ann, .hl-info { color: var(--hl-fn); }
.hl-err, .hl-warn, .hl-alert { color: var(--hl-err); font-weight: 600; }
@media print {
  .listing .copy-button { display: none; }
  .markdown { max-width: none; margin: 0; padding: 0; color: #000; }
  .markdown a { color: #000; }
  .markdown a[href^="http"]::after { content: " (" attr(href) ")"; font-size: 0.85em; }
  .listing pre { white-space: pre-wrap; overflow: visible; break-inside: avoid; }
  .listing { break-inside: avoid; }
}
)css";

}  // namespace

std::string prose_stylesheet(std::string_view theme) {
  // Set on .site, as the page palette is, so that these rules follow the same theme.
  std::string css(rules);
  css.append(".site {\n").append(theme == "dark" ? dark_colours : light_colours).append("}\n");
  if (theme != "light" && theme != "dark") {
    css.append("@media (prefers-color-scheme: dark) {\n.site {\n").append(dark_colours);
    css.append("}\n}\n");
  }
  css.append("@media print {\n.site {\n").append(light_colours).append("}\n}\n");
  return css;
}
