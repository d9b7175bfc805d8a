// The stylesheet of a site with settings: the page frame and every block kind, in light and dark.
#pragma once

#include <string>
#include <string_view>

// The text of main.css for a site with settings: "light" or "dark" force that palette, any other
// theme ("auto") follows the reader's system.
std::string site_stylesheet(std::string_view theme);
