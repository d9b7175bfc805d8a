// HTML escaping, the one for the program and for the highlighting module, which compiles this
// unit in rather than linking the core.
#pragma once

#include <string>
#include <string_view>

// Where escaped text goes: an element's text, or the inside of a double-quoted attribute.
enum class html_use { text, attribute };

// Appends `text` to `out` with "&", "<" and ">" written as entities, and '"' too in an attribute;
// every other byte, a NUL included, is copied as it is.
void append_html_escaped(std::string& out, std::string_view text, html_use use = html_use::text);

// `text` escaped as append_html_escaped does.
std::string html_escape(std::string_view text, html_use use = html_use::text);
