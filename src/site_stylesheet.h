// The stylesheet of a site with settings: main.css for the page frame and the block fragments.
#pragma once

#include <string>
#include <string_view>

// The whole of main.css for a site whose theme is "auto", "light" or "dark".
std::string site_stylesheet(std::string_view theme);
