// The frame around a highlighted listing on a site with settings: a figure whose caption names
// the language and holds a copy button, which a small script shows; without scripts the listing
// reads the same and the button stays hidden.
#pragma once

#include <string>
#include <string_view>

struct html_buffer;

// Appends the opening of a listing's figure, captioned with `language` (the engine's name).
void open_listing_figure(std::string& out, std::string_view language);

// As above, to the HTML of a page that its stream has not yet taken.
void open_listing_figure(html_buffer& out, std::string_view language);

// Appends the end of a listing's figure.
void close_listing_figure(std::string& out);

// As above, to the HTML of a page that its stream has not yet taken.
void close_listing_figure(html_buffer& out);
