// The stylesheet rules of Markdown prose and highlighted listings, which the stylesheet of a site
// with settings ends with.
#pragma once

#include <string_view>

// The rules: the prose's measure and rhythm, tables, quotes and pictures, the listing's frame,
// caption and copy button, and the colours of the highlight classes in the light and dark themes
// (following the reader's system under "theme-auto", forced by "theme-light" and "theme-dark"),
// and print.
std::string_view prose_stylesheet();
