#include "prose_style.h"

namespace {

// Both palettes meet WCAG AA (4.5:1) against their own listing background.
constexpr std::string_view rules = R"css(
/* Markdown prose and highlighted listings */
.markdown, .listing {
  --prose-text: #1f2328; --prose-muted: #57606a; --prose-rule: #d0d7de; --prose-link: #0550ae;
  --listing-bg: #f6f8fa; --listing-text: #1f2328; --listing-number: #57606a;
  --hl-kw: #cf222e; --hl-flow: #cf222e; --hl-type: #953800; --hl-fn: #6639ba; --hl-var: #953800;
  --hl-str: #0a3069; --hl-sc: #116329; --hl-num: #0550ae; --hl-const: #0550ae;
  --hl-com: #57606a; --hl-pp: #6639ba; --hl-attr: #0550ae; --hl-err: #82071e;
}
.theme-dark .markdown, .theme-dark .listing {
  --prose-text: #e6edf3; --prose-muted: #9198a1; --prose-rule: #3d444d; --prose-link: #79c0ff;
  --listing-bg: #161b22; --listing-text: #e6edf3; --listing-number: #9198a1;
  --hl-kw: #ff7b72; --hl-flow: #ff7b72; --hl-type: #ffa657; --hl-fn: #d2a8ff; --hl-var: #ffa657;
  --hl-str: #a5d6ff; --hl-sc: #7ee787; --hl-num: #79c0ff; --hl-const: #79c0ff;
  --hl-com: #9198a1; --hl-pp: #d2a8ff; --hl-attr: #79c0ff; --hl-err: #ffa198;
}
@media (prefers-color-scheme: dark) {
  body:not(.theme-light) .markdown, body:not(.theme-light) .listing {
    --prose-text: #e6edf3; --prose-muted: #9198a1; --prose-rule: #3d444d; --prose-link: #79c0ff;
    --listing-bg: #161b22; --listing-text: #e6edf3; --listing-number: #9198a1;
    --hl-kw: #ff7b72; --hl-flow: #ff7b72; --hl-type: #ffa657; --hl-fn: #d2a8ff; --hl-var: #ffa657;
    --hl-str: #a5d6ff; --hl-sc: #7ee787; --hl-num: #79c0ff; --hl-const: #79c0ff;
    --hl-com: #9198a1; --hl-pp: #d2a8ff; --hl-attr: #79c0ff; --hl-err: #ffa198;
  }
}
.markdown {
  max-width: 70ch; margin: 1rem auto; padding: 0 1rem; color: var(--prose-text);
  font-family: system-ui, -apple-system, "Segoe UI", Roboto, sans-serif; font-size: 1rem;
  line-height: 1.6; overflow-wrap: break-word; white-space: normal;
}
.markdown h1, .markdown h2, .markdown h3, .markdown h4, .markdown h5, .markdown h6 {
  line-height: 1.25; margin: 1.5em 0 0.5em; scroll-margin-top: 1rem;
}
.markdown p, .markdown ul, .markdown ol, .markdown blockquote { margin: 0 0 1em; }
.markdown a { color: var(--prose-link); text-decoration: underline; }
.markdown li.task { list-style: none; }
.markdown li.task input { margin: 0 0.5em 0 -1.5em; width: 1em; height: 1em; }
.markdown blockquote {
  margin-left: 0; padding-left: 1em; border-left: 0.25em solid var(--prose-rule);
  color: var(--prose-muted);
}
.markdown hr { border: 0; border-top: 1px solid var(--prose-rule); margin: 2em 0; }
.markdown img { max-width: 100%; height: auto; }
.markdown code {
  font-family: ui-monospace, "DejaVu Sans Mono", monospace; font-size: 0.9em;
  background: var(--listing-bg); color: var(--listing-text); padding: 0.1em 0.3em;
  border-radius: 0.25em;
}
.markdown-table { overflow-x: auto; margin: 0 0 1em; }
.markdown table { border-collapse: collapse; }
.markdown th, .markdown td { border: 1px solid var(--prose-rule); padding: 0.3em 0.7em; }
.listing { margin: 1em 0; max-width: 100%; min-width: 0; }
.listing figcaption {
  display: flex; justify-content: space-between; align-items: center; gap: 1em;
  padding: 0.25em 0.75em; background: var(--listing-bg); color: var(--listing-number);
  border-bottom: 1px solid var(--prose-rule); font: 0.875rem/1.5 system-ui, sans-serif;
}
.listing .listing-language { font-weight: 600; }
.listing .copy-button {
  margin-left: auto; min-height: 24px; min-width: 44px; padding: 0.1em 0.75em; cursor: pointer;
  font: inherit; color: var(--listing-text); background: transparent;
  border: 1px solid var(--prose-rule); border-radius: 0.25em;
}
.listing pre, .markdown .listing pre {
  margin: 0; max-width: 100%; box-sizing: border-box; overflow-x: auto;
  background: var(--listing-bg); color: var(--listing-text); white-space: pre;
}
.listing pre {
  padding: 0.75em 0; font: 0.875rem/1.45 ui-monospace, "DejaVu Sans Mono", monospace;
}
.listing pre.markdown-code { padding: 0.75em; }
.listing pre.code table { border-collapse: collapse; }
.listing pre.code td { padding: 0 0.75em; vertical-align: top; }
.listing .code-line-number {
  text-align: right; user-select: none; border-right: 1px solid var(--prose-rule);
}
.listing .code-line-content { white-space: pre; }
.listing pre.markdown-code code { background: none; padding: 0; font-size: 0.9rem; }
.listing .code-line-number { color: var(--listing-number); }
.listing .code-line-content code { color: var(--listing-text); }
.hl-kw, .hl-flow { color: var(--hl-kw); font-weight: 600; }
.hl-type, .hl-var { color: var(--hl-type); }
.hl-fn, .hl-pp, .hl-imp, .hl-ext { color: var(--hl-fn); }
.hl-str, .hl-vstr, .hl-sstr, .hl-chr { color: var(--hl-str); }
.hl-sc { color: var(--hl-sc); }
.hl-num, .hl-const, .hl-bi, .hl-attr { color: var(--hl-num); }
.hl-com, .hl-doc, .hl-cvar, .hl-reg { color: var(--hl-com); font-style: italic; }
.hl-ann, .hl-info { color: var(--hl-pp); }
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

std::string_view prose_stylesheet() {
  return rules;
}
