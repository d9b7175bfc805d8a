#include "site_stylesheet.h"

#include "prose_style.h"

namespace {

// The colours every rule below names. The pages' inline colours that the classic look uses by
// default (a gray title, #d4d4d4 text, the pale #d8e2dc and the green #2DCA45) are mapped to
// --title-gray, --ink, --pale and --green, so that each passes AA contrast on either palette.
constexpr std::string_view light_palette = R"css(  color-scheme: light;
  --page: #ffffff;
  --ink: #1e1e1e;
  --muted: #555555;
  --panel: #f4f5f4;
  --rule: #d0d4d1;
  --header: #f4f5f4;
  --title-gray: #595959;
  --pale: #2f3d35;
  --green: #1a7f37;
  --link: #0067a3;
  --link-hover: #004b78;
  --button: #0077b6;
  --button-hover: #005b8c;
  --code-page: #f6f8fa;
  --code-ink: #1f2328;
  --code-rule: #d0d7de;
  --code-number: #5f6872;
  --focus: #9a5b00;
)css";

constexpr std::string_view dark_palette = R"css(  color-scheme: dark;
  --page: #1e1e1e;
  --ink: #d4d4d4;
  --muted: #a8a8a8;
  --panel: #252526;
  --rule: #3c3c3c;
  --header: #181818;
  --title-gray: #a3a3a3;
  --pale: #d8e2dc;
  --green: #2dca45;
  --link: #3fb9e8;
  --link-hover: #8fd6f2;
  --button: #0077b6;
  --button-hover: #005b8c;
  --code-page: #0d1117;
  --code-ink: #c9d1d9;
  --code-rule: #30363d;
  --code-number: #8b949e;
  --focus: #ffbf47;
)css";

// The frame: header with the site's title and menu, breadcrumbs, page, previous/next, footer.
// Phones first; from 56rem the menu becomes a sidebar that stays in view.
constexpr std::string_view frame_rules = R"css(
.site *, .site *::before, .site *::after {
  box-sizing: border-box;
}

.site {
  margin: 0;
  min-height: 100vh;
  display: flex;
  flex-direction: column;
  font-family: system-ui, -apple-system, BlinkMacSystemFont, "Segoe UI", Roboto, Helvetica, Arial, sans-serif;
  font-size: 1rem;
  line-height: 1.6;
  color: var(--ink);
  background-color: var(--page);
  overflow-wrap: break-word;
  -webkit-text-size-adjust: 100%;
  text-size-adjust: 100%;
}

.site :focus-visible {
  outline: 3px solid var(--focus);
  outline-offset: 2px;
}

.skip-link {
  position: absolute;
  left: 0.5rem;
  top: 0.5rem;
  z-index: 10;
  padding: 0.5rem 1rem;
  border-radius: 6px;
  background-color: var(--page);
  color: var(--link);
  font-weight: bold;
  transform: translateY(-200%);
}
.skip-link:focus {
  transform: none;
}

.site-header {
  display: flex;
  flex-wrap: wrap;
  align-items: center;
  justify-content: space-between;
  gap: 0.5rem;
  padding: 0.5rem 1rem;
  background-color: var(--header);
  border-bottom: 3px solid #2dca45;
}

.site-title {
  display: inline-block;
  padding: 0.25rem 0;
  font-size: 1.25rem;
  font-weight: bold;
  line-height: 1.3;
  color: var(--ink);
  text-decoration: none;
  overflow-wrap: anywhere;
}
.site-title:hover {
  color: var(--green);
}

/* The checkbox stays in the tab order, out of sight; its label is the button. */
.menu-toggle {
  position: absolute;
  width: 1px;
  height: 1px;
  margin: 0;
  opacity: 0;
  pointer-events: none;
}
.menu-button {
  display: inline-flex;
  align-items: center;
  gap: 0.5rem;
  min-height: 2.75rem;
  padding: 0 0.875rem;
  border: 1px solid var(--rule);
  border-radius: 6px;
  background-color: var(--panel);
  font-weight: bold;
  cursor: pointer;
  user-select: none;
  -webkit-tap-highlight-color: transparent;
}
.menu-button::before {
  content: "";
  width: 1.125rem;
  height: 0.75rem;
  border-top: 2px solid currentColor;
  border-bottom: 2px solid currentColor;
  background: linear-gradient(currentColor, currentColor) center / 100% 2px no-repeat;
}
.menu-toggle:focus-visible + .menu-button {
  outline: 3px solid var(--focus);
  outline-offset: 2px;
}
.menu-toggle:checked + .menu-button {
  border-color: #2dca45;
}

.site-menu {
  display: none;
  flex-basis: 100%;
  padding-bottom: 0.5rem;
}
.menu-toggle:checked ~ .site-menu {
  display: block;
}
.site-menu ul {
  list-style: none;
  margin: 0;
  padding: 0;
}
.site-menu ul ul {
  margin-left: 0.875rem;
  padding-left: 0.5rem;
  border-left: 1px solid var(--rule);
}
.site-menu a {
  display: block;
  min-height: 2.75rem;
  padding: 0.5625rem 0.75rem;
  border-left: 4px solid transparent;
  border-radius: 4px;
  color: var(--ink);
  line-height: 1.6;
  text-decoration: none;
}
.site-menu span, .site-menu .menu-more {
  display: block;
  padding: 0.5625rem 0.75rem 0.5625rem calc(0.75rem + 4px);
  color: var(--muted);
}
.site-menu a:hover {
  background-color: var(--panel);
  text-decoration: underline;
}
.site-menu a[aria-current="page"] {
  border-left-color: #2dca45;
  background-color: var(--panel);
  color: var(--green);
  font-weight: bold;
}

.breadcrumbs {
  padding: 0.75rem 1rem 0;
  color: var(--muted);
}
.breadcrumbs ol {
  display: flex;
  flex-wrap: wrap;
  list-style: none;
  margin: 0;
  padding: 0;
}
.breadcrumbs li + li::before {
  content: "\203A";
  content: "\203A" / "";
  padding: 0 0.5rem;
}
.breadcrumbs a {
  display: inline-block;
  min-height: 1.5rem;
  color: var(--link);
}
.breadcrumbs [aria-current="page"] {
  color: var(--ink);
}

.page {
  display: block;
  flex: 1 0 auto;
  width: 100%;
  max-width: 56rem;
  padding: 0.5rem 1rem 1.5rem;
}

.page-turn {
  display: flex;
  flex-wrap: wrap;
  gap: 0.75rem;
  width: 100%;
  max-width: 56rem;
  padding: 0 1rem 1.5rem;
}
.page-turn a {
  flex: 1 1 14rem;
  padding: 0.75rem 1rem;
  border: 1px solid var(--rule);
  border-radius: 6px;
  background-color: var(--panel);
  color: var(--link);
  font-weight: bold;
  text-decoration: none;
}
.page-turn a:hover {
  border-color: var(--link);
  text-decoration: underline;
}
.page-turn .page-next {
  text-align: right;
}

.site-footer {
  padding: 0.75rem 1rem;
  background-color: #2dca45;
  color: #000000;
  font-weight: bold;
  text-align: center;
}
.site-footer p {
  margin: 0.125rem 0;
}
.site-footer a {
  color: #000000;
}

@media (min-width: 56rem) {
  /* The sidebar's colour runs down the whole page, however short the menu. */
  .site {
    display: grid;
    grid-template-columns: 16rem minmax(0, 1fr);
    background-image: linear-gradient(to right, var(--header) calc(16rem - 1px), var(--rule) 0, var(--rule) 16rem, transparent 0);
    grid-template-rows: auto 1fr auto auto;
    grid-template-areas: "side crumbs" "side page" "side turn" "foot foot";
  }
  .site-header {
    grid-area: side;
    position: sticky;
    top: 0;
    align-self: start;
    flex-direction: column;
    align-items: stretch;
    flex-wrap: nowrap;
    max-height: 100vh;
    overflow-y: auto;
    padding: 1.25rem 0.75rem;
    background: none;
    border-bottom: none;
  }
  .site-title {
    padding: 0 0.75rem 0.75rem;
  }
  .menu-toggle, .menu-button {
    display: none;
  }
  .site-menu {
    display: block;
  }
  .site-menu a {
    min-height: 0;
    padding: 0.25rem 0.75rem;
  }
  .site-menu span, .site-menu .menu-more {
    padding: 0.25rem 0.75rem 0.25rem calc(0.75rem + 4px);
  }
  .breadcrumbs {
    grid-area: crumbs;
    padding: 1.5rem 2.5rem 0;
  }
  .page {
    grid-area: page;
    padding: 1rem 2.5rem 2rem;
  }
  .page-turn {
    grid-area: turn;
    padding: 0 2.5rem 2rem;
  }
  .site-footer {
    grid-area: foot;
  }
}
)css";

// The block kinds, in the classic look's panels; inline sizes and colours still apply.
constexpr std::string_view block_rules = R"css(
.title {
  display: block;
  line-height: 1.2;
  margin-top: 0.75rem;
  margin-bottom: 0.75rem;
  color: var(--pale);
  background-color: var(--panel);
  border-radius: 6px;
  border: 1px solid var(--rule);
  width: 100%;
  padding: 1rem 0.75rem;
  overflow-wrap: anywhere;
}

.text {
  display: block;
  max-width: 100%;
  font-family: monospace, monospace;
  line-height: 1.6;
  color: var(--ink);
  background-color: var(--panel);
  margin-top: 1rem;
  margin-bottom: 1rem;
  border-radius: 6px;
  border: 1px solid var(--rule);
  overflow: auto;
  white-space: normal;
  padding-top: 0.75rem;
  padding-bottom: 0.75rem;
}
.text table {
  border-collapse: collapse;
  width: 100%;
  margin: 0;
}
.text-line-content {
  padding: 0 0.75rem;
}

/* The classic look's colours, as pages name them inline, in this palette's shades. */
.title[style*="; color: gray;"] {
  color: var(--title-gray) !important;
}
.text[style*="; color: #d4d4d4;" i] {
  color: var(--ink) !important;
}
:is(.title, .text)[style*="; color: #d8e2dc;" i] {
  color: var(--pale) !important;
}
:is(.title, .text)[style*="; color: #2dca45;" i] {
  color: var(--green) !important;
}

.link {
  display: table;
  margin-top: 0.25rem;
  margin-bottom: 0.25rem;
  padding: 0.25rem 0;
  line-height: 1.3;
  text-decoration: none;
  font-weight: bold;
  color: var(--link);
  overflow-wrap: anywhere;
}
.link:hover {
  color: var(--link-hover);
  text-decoration: underline;
}

.image, .video {
  display: block;
  max-width: 100%;
  height: auto;
  margin-top: 1rem;
  margin-bottom: 1rem;
  border-radius: 6px;
}

.audio {
  display: block;
  width: 100%;
  max-width: 400px;
  margin-top: 1rem;
  margin-bottom: 1rem;
}

.pdf {
  display: block;
  max-width: 100%;
  border: 1px solid var(--rule);
  border-radius: 6px;
  margin-top: 1rem;
  margin-bottom: 1rem;
}
/* White on the phone button's pure red is below AA; a deeper red keeps the button. */
.mobile-only-pdf a {
  background-color: #c40000 !important;
}

.download-btn {
  display: table;
  margin-top: 0.75rem;
  margin-bottom: 0.75rem;
  padding: 0.625rem 1.25rem;
  background-color: var(--button);
  color: #ffffff;
  text-decoration: none;
  font-weight: bold;
  border-radius: 4px;
  overflow-wrap: anywhere;
}
.download-btn:hover {
  background-color: var(--button-hover);
}

.code {
  display: block;
  max-width: 100%;
  font-family: monospace, monospace;
  font-size: 1rem;
  line-height: 1.45;
  background-color: var(--code-page);
  color: var(--code-ink);
  margin-top: 1rem;
  margin-bottom: 1rem;
  border-radius: 6px;
  border: 1px solid var(--code-rule);
  overflow: auto;
  white-space: pre;
  padding-top: 0.75rem;
  padding-bottom: 0.75rem;
}
.code table {
  border-collapse: collapse;
  width: 100%;
  margin: 0;
}
.code code {
  font-family: inherit;
  font-size: inherit;
}
.code-line-number {
  text-align: right;
  padding: 0 0.625rem;
  color: var(--code-number);
  user-select: none;
  width: 1%;
  white-space: nowrap;
  border-right: 1px solid var(--code-rule);
}
.code-line-content {
  padding: 0 0.75rem;
}
)css";

// Paper: the light palette, no menu or page turns, addresses printed after outside links.
constexpr std::string_view print_rules = R"css(
@media print {
  .site {
    display: block;
    min-height: 0;
    background-image: none;
  }
  .skip-link, .menu-toggle, .menu-button, .site-menu, .breadcrumbs, .page-turn {
    display: none !important;
  }
  .site-header {
    position: static;
    padding: 0 0 0.5rem;
    background: none;
    border: none;
    border-bottom: 2px solid #000000;
  }
  .page {
    max-width: none;
    padding: 0.5rem 0;
  }
  .site-footer {
    position: static;
    padding: 0.5rem 0 0;
    background: none;
    border-top: 1px solid #000000;
    font-weight: normal;
  }
  .site a {
    color: #000000 !important;
    text-decoration: underline;
  }
  .site .download-btn {
    background: none;
    padding: 0;
  }
  .page a[href^="http"]::after {
    content: " (" attr(href) ")";
    font-weight: normal;
  }
  .title, .text, .code, .image, .video, .pdf {
    break-inside: avoid;
  }
  .text, .code {
    overflow: visible;
  }
  .text-line-content, .code-line-content code {
    white-space: pre-wrap !important;
  }
}
)css";

void append_palette(std::string& css, std::string_view indent, std::string_view palette) {
  css += indent;
  css += ".site {\n";
  for (std::size_t start = 0; start < palette.size();) {
    const std::size_t end = palette.find('\n', start) + 1;
    css += indent;
    css.append(palette.substr(start, end - start));
    start = end;
  }
  css += indent;
  css += "}\n";
}

}  // namespace

std::string site_stylesheet(std::string_view theme) {
  std::string css = "/* Generated by Orvello */\n\n";
  append_palette(css, "", theme == "dark" ? dark_palette : light_palette);
  if (theme != "light" && theme != "dark") {
    css += "\n@media (prefers-color-scheme: dark) {\n";
    append_palette(css, "  ", dark_palette);
    css += "}\n";
  }
  css += frame_rules;
  css += block_rules;
  css += "\n@media print {\n";
  append_palette(css, "  ", light_palette);
  css += "}\n";
  css += print_rules;
  css += prose_stylesheet(theme);
  return css;
}
