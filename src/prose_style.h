// The stylesheet rules of Markdown prose and highlighted listings, which the stylesheet of a site
// with settings ends with.
#pragma once

#include <string>
#include <string_view>

// The rules for a site whose theme is "auto", "light" or "dark": the prose's measure and rhythm,
// tables, quotes and pictures, the listing's frame, caption and copy button, and the colours of
// the highlight classes, light or dark as the theme says (under "auto" as the reader's system
// says), light on paper. The other colours are the page palette's (--ink, --code-page, ...).
std::string prose_stylesheet(std::string_view theme);
