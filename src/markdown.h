// Markdown prose: CommonMark with tables, strikethrough, autolinks and task lists, parsed by md4c
// and written as HTML whose headings carry ids and whose code is highlighted.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// How Markdown is written.
struct markdown_options {
  bool raw_html = false;  // raw HTML passes through; otherwise it is shown as text
  std::string language;   // the language of code spans and of fences that name none; "" for plain
};

// A link or picture in Markdown, where its target starts (line and column from 1, in bytes).
struct markdown_reference {
  bool picture = false;
  std::string target;
  unsigned line = 0;
  unsigned column = 0;

  bool operator==(const markdown_reference&) const = default;
};

// What rendering gives: the HTML (without a wrapper), every link and picture in source order, and
// whether a language was looked up to colour code in.
struct markdown_result {
  std::string html;
  std::vector<markdown_reference> references;
  bool language_looked_up = false;
};

// `text` rendered as HTML under `options`. Heading ids are unique within the text and never one
// of the page frame's ids ("content", "menu-toggle").
markdown_result render_markdown(std::string_view text, const markdown_options& options);

// Every link and picture of `text`, as render_markdown finds them, without writing or highlighting.
std::vector<markdown_reference> markdown_references(std::string_view text);

// The id a heading with the plain text `text` gets: lower-case letters, digits and other
// non-ASCII characters kept, spaces and hyphens as "-", the rest left out; "section" when
// nothing is left.
std::string heading_id(std::string_view text);
