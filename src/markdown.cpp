#include "markdown.h"

#include <md4c.h>

#include <algorithm>
#include <map>

#include "highlight.h"
#include "html_escape.h"
#include "listing_frame.h"

namespace {

// Appends `text` escaped (and in attributes '"' too), each NUL byte written as U+FFFD, as
// CommonMark asks.
void append_escaped(std::string& out, std::string_view text, bool attribute = false) {
  const html_use use = attribute ? html_use::attribute : html_use::text;
  for (std::size_t nul; (nul = text.find('\0')) != std::string_view::npos;) {
    append_html_escaped(out, text.substr(0, nul), use);
    out += "\xEF\xBF\xBD";
    text.remove_prefix(nul + 1);
  }
  append_html_escaped(out, text, use);
}

std::string_view view_of(const MD_CHAR* text, MD_SIZE size) {
  return {text, size};
}

// The pieces of an attribute as md4c gives them: plain text, entities (md4c checked their form)
// and NUL characters, each handed to `piece` with its type.
template <typename Piece>
void for_each_piece(const MD_ATTRIBUTE& attribute, Piece piece) {
  if (attribute.size == 0 || attribute.substr_offsets == nullptr) {
    return;  // md4c gives an empty attribute no pieces at all
  }
  for (int i = 0; attribute.substr_offsets[i] < attribute.size; ++i) {
    const MD_OFFSET from = attribute.substr_offsets[i];
    piece(attribute.substr_types[i],
          view_of(attribute.text + from, attribute.substr_offsets[i + 1] - from));
  }
}

// An attribute's text as written, entities included: what `check` looks for.
std::string attribute_source(const MD_ATTRIBUTE& attribute) {
  std::string value;
  for_each_piece(attribute, [&](MD_TEXTTYPE, std::string_view piece) { value += piece; });
  return value;
}

// A URL's scheme in lower case, control characters and blanks left out ("" for none).
std::string url_scheme(std::string_view url) {
  std::string scheme;
  const std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || url.find('/') < colon) {
    return scheme;
  }
  for (const char c : url.substr(0, colon)) {
    if (static_cast<unsigned char>(c) > ' ') {
      scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return scheme;
}

// True when a URL would run a script or bring a document of its own (any data: URL but a
// picture's).
bool unsafe_url(std::string_view url, bool picture) {
  const std::string scheme = url_scheme(url);
  const bool picture_data =
      picture && url_scheme(url) == "data" && url.substr(url.find(':') + 1).starts_with("image/");
  return scheme == "javascript" || scheme == "vbscript" || (scheme == "data" && !picture_data);
}

// The character a numeric character reference ("&#106;", "&#x6A;") stands for, as UTF-8; U+FFFD
// for none or for NUL.
std::string numeric_reference(std::string_view reference) {
  const bool hex = reference.size() > 3 && (reference[2] == 'x' || reference[2] == 'X');
  unsigned long code = 0;
  for (const char c : reference.substr(hex ? 3 : 2, reference.size() - (hex ? 4 : 3))) {
    const int digit =
        std::isdigit(static_cast<unsigned char>(c)) != 0 ? c - '0' : std::tolower(c) - 'a' + 10;
    code = std::min(code * (hex ? 16 : 10) + static_cast<unsigned long>(digit), 0x110000UL);
  }
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    code = 0xFFFD;
  }
  std::string utf8;
  if (code < 0x80) {
    utf8 += static_cast<char>(code);
  } else if (code < 0x800) {
    utf8 += {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
  } else if (code < 0x10000) {
    utf8 += {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
             static_cast<char>(0x80 | (code & 0x3F))};
  } else {
    utf8 +=
        {static_cast<char>(0xF0 | (code >> 18)), static_cast<char>(0x80 | ((code >> 12) & 0x3F)),
         static_cast<char>(0x80 | ((code >> 6) & 0x3F)), static_cast<char>(0x80 | (code & 0x3F))};
  }
  return utf8;
}

// A link's or picture's address as plain text: numeric references and the markup's own named
// ones decoded, any other named reference kept as its letters. So the address that is checked for
// scripts is the one the browser follows: "&#106;avascript:" or "javascript&colon;" cannot slip by.
std::string url_of(const MD_ATTRIBUTE& attribute) {
  static constexpr std::pair<std::string_view, std::string_view> named[] = {
      {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}};
  std::string url;
  for_each_piece(attribute, [&](MD_TEXTTYPE type, std::string_view piece) {
    if (type == MD_TEXT_NULLCHAR) {
      url += "\xEF\xBF\xBD";
    } else if (type != MD_TEXT_ENTITY) {
      url += piece;
    } else if (piece.starts_with("&#")) {
      url += numeric_reference(piece);
    } else {
      const auto* known = std::find_if(std::begin(named), std::end(named),
                                       [&](const auto& entry) { return entry.first == piece; });
      url += known != std::end(named) ? known->second : piece;
    }
  });
  return url;
}

// Appends `url` as the inside of a quoted attribute: markup escaped, blanks and control bytes
// percent-encoded.
void append_url(std::string& out, std::string_view url) {
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7F) {
      constexpr char hex[] = "0123456789ABCDEF";
      out += {'%', hex[byte >> 4], hex[byte & 15]};
    } else {
      append_escaped(out, {&c, 1}, true);
    }
  }
}

// Appends an attribute's text as the inside of a quoted attribute: text escaped, references kept
// as written (the browser shows them as the characters they stand for).
void append_attribute(std::string& out, const MD_ATTRIBUTE& attribute) {
  for_each_piece(attribute, [&](MD_TEXTTYPE type, std::string_view piece) {
    if (type == MD_TEXT_ENTITY) {
      out += piece;
    } else {
      append_escaped(out, type == MD_TEXT_NULLCHAR ? "\xEF\xBF\xBD" : piece, true);
    }
  });
}

// Where in the source a piece of text starts, as line and column from 1.
struct source_cursor {
  std::string_view source;
  std::size_t offset = 0;
  unsigned line = 1;
  unsigned column = 1;

  void move_to(std::size_t target) {
    if (target < offset) {
      *this = {source};
    }
    for (; offset < target && offset < source.size(); ++offset) {
      const bool newline = source[offset] == '\n';
      line += newline ? 1 : 0;
      column = newline ? 1 : column + 1;
    }
  }
};

// Writes HTML from md4c's callbacks.
struct html_writer {
  html_writer(const markdown_options& given, std::string_view source)
      : options(given), cursor{source} {}
  html_writer(const html_writer&) = delete;
  html_writer& operator=(const html_writer&) = delete;

  const markdown_options& options;
  markdown_result result;
  source_cursor cursor;
  std::string& out = result.html;
  // Each heading id given so far, with how often; the page frame's own ids count as given.
  std::map<std::string, int> ids{{"content", 1}, {"menu-toggle", 1}};
  std::size_t heading_start = 0;
  std::string heading_text;
  bool in_heading = false;
  std::string code;  // the text of the code block or span being read
  std::string code_language;
  bool in_code_block = false;
  bool in_code_span = false;
  bool references_only = false;  // nothing is highlighted
  int image_depth = 0;           // pictures inside pictures give their text to the outer one's alt

  void enter_block(MD_BLOCKTYPE type, void* detail);
  void leave_block(MD_BLOCKTYPE type, void* detail);
  void enter_span(MD_SPANTYPE type, void* detail);
  void leave_span(MD_SPANTYPE type, void* detail);
  void text(MD_TEXTTYPE type, std::string_view text);

  void note_reference(const MD_ATTRIBUTE& target, bool picture);
  void write_url(const MD_ATTRIBUTE& url, bool picture);
  std::string unique_id(std::string id);
  void write_code_block();
  void write_code_span();
  void write_table_cell(const char* tag, const MD_BLOCK_TD_DETAIL& cell);
  void write_list_item(const MD_BLOCK_LI_DETAIL& item);
};

void html_writer::note_reference(const MD_ATTRIBUTE& target, bool picture) {
  const std::string_view source = cursor.source;
  const std::string written = attribute_source(target);
  std::size_t at = 0;
  if (target.text >= source.data() && target.text < source.data() + source.size()) {
    at = static_cast<std::size_t>(target.text - source.data());
  } else {  // md4c built the text itself (an escape in it): find it as written after the last one
    std::size_t found = source.find(written, cursor.offset);
    if (found == std::string_view::npos) {  // written with escapes: the next "](" leads to it
      found = source.find("](", cursor.offset);
      found += found == std::string_view::npos ? 0 : 2;
    }
    at = found == std::string_view::npos ? cursor.offset : found;
  }
  cursor.move_to(at);
  result.references.push_back({picture, url_of(target), cursor.line, cursor.column});
}

// Scripts hidden in an address are taken out unless raw HTML is allowed.
void html_writer::write_url(const MD_ATTRIBUTE& attribute, bool picture) {
  const std::string url = url_of(attribute);
  if (!options.raw_html && unsafe_url(url, picture)) {
    out += "#";
  } else {
    append_url(out, url);
  }
}

std::string html_writer::unique_id(std::string id) {
  const int seen = ids[id]++;
  return seen == 0 ? id : id + "-" + std::to_string(seen);
}

// The lines of a code block, split at its newlines (the last one ends the block).
std::vector<std::string> code_lines(std::string_view code) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < code.size()) {
    const std::size_t end = std::min(code.find('\n', start), code.size());
    lines.emplace_back(code.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void html_writer::write_code_block() {
  if (references_only) {
    return;
  }
  const std::string wanted = code_language.empty() ? options.language : code_language;
  result.language_looked_up = result.language_looked_up || !wanted.empty();
  const std::optional<std::string> language = wanted.empty() ? std::nullopt : find_language(wanted);
  const std::vector<std::string> lines = code_lines(code);
  std::vector<std::string> html;
  if (language) {
    html = highlight_lines(*language, lines);
  }
  open_listing_figure(out, language.value_or(""));
  // Markdown is written only on framed pages, where a region that scrolls takes the focus.
  out += "    <pre class=\"markdown-code\" tabindex=\"0\"><code>";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i < html.size()) {
      out += html[i];
    } else {
      append_escaped(out, lines[i]);
    }
    out += i + 1 < lines.size() ? "\n" : "";
  }
  out += "</code></pre>\n";
  close_listing_figure(out);
}

void html_writer::write_code_span() {
  if (references_only) {
    return;
  }
  result.language_looked_up = result.language_looked_up || !options.language.empty();
  const std::optional<std::string> language =
      options.language.empty() ? std::nullopt : find_language(options.language);
  const std::vector<std::string> html =
      language ? highlight_lines(*language, {&code, 1}) : std::vector<std::string>{};
  out += "<code>";
  if (html.size() == 1) {
    out += html.front();
  } else {
    append_escaped(out, code);
  }
  out += "</code>";
}

void html_writer::write_table_cell(const char* tag, const MD_BLOCK_TD_DETAIL& cell) {
  static constexpr const char* aligns[] = {"", " style=\"text-align: left\"",
                                           " style=\"text-align: center\"",
                                           " style=\"text-align: right\""};
  out += "<";
  out += tag;
  out += aligns[cell.align <= MD_ALIGN_RIGHT ? cell.align : 0];
  out += ">";
}

void html_writer::write_list_item(const MD_BLOCK_LI_DETAIL& item) {
  if (item.is_task == 0) {
    out += "<li>";
    return;
  }
  const bool done = item.task_mark == 'x' || item.task_mark == 'X';
  out += done ? "<li class=\"task done\"><input type=\"checkbox\" disabled checked "
                "aria-label=\"Done\">"
              : "<li class=\"task\"><input type=\"checkbox\" disabled aria-label=\"Not done\">";
}

void html_writer::enter_block(MD_BLOCKTYPE type, void* detail) {
  switch (type) {
    case MD_BLOCK_DOC:
      break;
    case MD_BLOCK_QUOTE:
      out += "<blockquote>\n";
      break;
    case MD_BLOCK_UL:
      out += "<ul>\n";
      break;
    case MD_BLOCK_OL: {
      const unsigned start = static_cast<MD_BLOCK_OL_DETAIL*>(detail)->start;
      out += start == 1 ? "<ol>\n" : "<ol start=\"" + std::to_string(start) + "\">\n";
      break;
    }
    case MD_BLOCK_LI:
      write_list_item(*static_cast<MD_BLOCK_LI_DETAIL*>(detail));
      break;
    case MD_BLOCK_HR:
      out += "<hr>\n";
      break;
    case MD_BLOCK_H:
      in_heading = true;
      heading_start = out.size();
      heading_text.clear();
      break;
    case MD_BLOCK_CODE:
      in_code_block = true;
      code.clear();
      code_language = attribute_source(static_cast<MD_BLOCK_CODE_DETAIL*>(detail)->lang);
      break;
    case MD_BLOCK_HTML:
      break;
    case MD_BLOCK_P:
      out += "<p>";
      break;
    case MD_BLOCK_TABLE:
      out += "<div class=\"markdown-table\" tabindex=\"0\"><table>\n";
      break;
    case MD_BLOCK_THEAD:
      out += "<thead>\n";
      break;
    case MD_BLOCK_TBODY:
      out += "<tbody>\n";
      break;
    case MD_BLOCK_TR:
      out += "<tr>";
      break;
    case MD_BLOCK_TH:
      write_table_cell("th", *static_cast<MD_BLOCK_TD_DETAIL*>(detail));
      break;
    case MD_BLOCK_TD:
      write_table_cell("td", *static_cast<MD_BLOCK_TD_DETAIL*>(detail));
      break;
  }
}

void html_writer::leave_block(MD_BLOCKTYPE type, void* detail) {
  switch (type) {
    case MD_BLOCK_DOC:
      break;
    case MD_BLOCK_QUOTE:
      out += "</blockquote>\n";
      break;
    case MD_BLOCK_UL:
      out += "</ul>\n";
      break;
    case MD_BLOCK_OL:
      out += "</ol>\n";
      break;
    case MD_BLOCK_LI:
      out += "</li>\n";
      break;
    case MD_BLOCK_HR:
      break;
    case MD_BLOCK_H: {
      const std::string level = std::to_string(static_cast<MD_BLOCK_H_DETAIL*>(detail)->level);
      out.insert(heading_start,
                 "<h" + level + " id=\"" + unique_id(heading_id(heading_text)) + "\">");
      out += "</h" + level + ">\n";
      in_heading = false;
      break;
    }
    case MD_BLOCK_CODE:
      in_code_block = false;
      write_code_block();
      break;
    case MD_BLOCK_HTML:
      break;
    case MD_BLOCK_P:
      out += "</p>\n";
      break;
    case MD_BLOCK_TABLE:
      out += "</table></div>\n";
      break;
    case MD_BLOCK_THEAD:
      out += "</thead>\n";
      break;
    case MD_BLOCK_TBODY:
      out += "</tbody>\n";
      break;
    case MD_BLOCK_TR:
      out += "</tr>\n";
      break;
    case MD_BLOCK_TH:
      out += "</th>";
      break;
    case MD_BLOCK_TD:
      out += "</td>";
      break;
  }
}

void html_writer::enter_span(MD_SPANTYPE type, void* detail) {
  if (image_depth > 0) {
    image_depth += type == MD_SPAN_IMG ? 1 : 0;
    return;
  }
  switch (type) {
    case MD_SPAN_EM:
      out += "<em>";
      break;
    case MD_SPAN_STRONG:
      out += "<strong>";
      break;
    case MD_SPAN_DEL:
      out += "<del>";
      break;
    case MD_SPAN_CODE:
      in_code_span = true;
      code.clear();
      break;
    case MD_SPAN_A: {
      const auto& link = *static_cast<MD_SPAN_A_DETAIL*>(detail);
      note_reference(link.href, false);
      out += "<a href=\"";
      write_url(link.href, false);
      if (link.title.size > 0) {
        out += "\" title=\"";
        append_attribute(out, link.title);
      }
      out += "\">";
      break;
    }
    case MD_SPAN_IMG: {
      const auto& picture = *static_cast<MD_SPAN_IMG_DETAIL*>(detail);
      note_reference(picture.src, true);
      out += "<img src=\"";
      write_url(picture.src, true);
      out += "\" alt=\"";
      image_depth = 1;
      break;
    }
    default:
      break;  // the extensions that would give the others are off
  }
}

void html_writer::leave_span(MD_SPANTYPE type, void* detail) {
  if (image_depth > 1 || (image_depth == 1 && type != MD_SPAN_IMG)) {
    image_depth -= type == MD_SPAN_IMG ? 1 : 0;
    return;
  }
  switch (type) {
    case MD_SPAN_EM:
      out += "</em>";
      break;
    case MD_SPAN_STRONG:
      out += "</strong>";
      break;
    case MD_SPAN_DEL:
      out += "</del>";
      break;
    case MD_SPAN_CODE:
      in_code_span = false;
      write_code_span();
      break;
    case MD_SPAN_A:
      out += "</a>";
      break;
    case MD_SPAN_IMG: {
      const auto& picture = *static_cast<MD_SPAN_IMG_DETAIL*>(detail);
      if (picture.title.size > 0) {
        out += "\" title=\"";
        append_attribute(out, picture.title);
      }
      out += "\">";
      image_depth = 0;
      break;
    }
    default:
      break;
  }
}

void html_writer::text(MD_TEXTTYPE type, std::string_view piece) {
  if (type == MD_TEXT_NULLCHAR) {
    piece = "\xEF\xBF\xBD";
  }
  if (in_code_block || in_code_span) {
    code += piece;
    return;
  }
  if (in_heading && (type == MD_TEXT_NORMAL || type == MD_TEXT_CODE)) {
    heading_text += piece;
  }
  switch (type) {
    case MD_TEXT_BR:
      out += image_depth > 0 ? " " : "<br>\n";
      break;
    case MD_TEXT_SOFTBR:
      out += image_depth > 0 ? " " : "\n";
      break;
    case MD_TEXT_ENTITY:
      out += piece;
      break;  // md4c checked its form
    case MD_TEXT_HTML:
      out += piece;
      break;  // only sent when raw HTML is allowed
    default:
      append_escaped(out, piece, image_depth > 0);
  }
}

MD_PARSER parser_for(bool raw_html) {
  MD_PARSER parser{};
  parser.flags = MD_DIALECT_GITHUB | (raw_html ? 0 : MD_FLAG_NOHTML);
  parser.enter_block = [](MD_BLOCKTYPE type, void* detail, void* writer) {
    static_cast<html_writer*>(writer)->enter_block(type, detail);
    return 0;
  };
  parser.leave_block = [](MD_BLOCKTYPE type, void* detail, void* writer) {
    static_cast<html_writer*>(writer)->leave_block(type, detail);
    return 0;
  };
  parser.enter_span = [](MD_SPANTYPE type, void* detail, void* writer) {
    static_cast<html_writer*>(writer)->enter_span(type, detail);
    return 0;
  };
  parser.leave_span = [](MD_SPANTYPE type, void* detail, void* writer) {
    static_cast<html_writer*>(writer)->leave_span(type, detail);
    return 0;
  };
  parser.text = [](MD_TEXTTYPE type, const MD_CHAR* text, MD_SIZE size, void* writer) {
    static_cast<html_writer*>(writer)->text(type, view_of(text, size));
    return 0;
  };
  return parser;
}

}  // namespace

namespace {

markdown_result render(std::string_view text, const markdown_options& options,
                       bool references_only) {
  html_writer writer(options, text);
  writer.references_only = references_only;
  const MD_PARSER parser = parser_for(options.raw_html);
  // md4c takes the size as 32 bits; a longer text is cut there rather than wrapped around.
  const auto size = static_cast<MD_SIZE>(std::min<std::size_t>(text.size(), 0xFFFFFFFFU));
  if (md_parse(text.data(), size, &parser, &writer) != 0) {
    writer.result.html.clear();  // out of memory inside md4c: nothing half-written
  }
  return std::move(writer.result);
}

}  // namespace

markdown_result render_markdown(std::string_view text, const markdown_options& options) {
  return render(text, options, false);
}

std::vector<markdown_reference> markdown_references(std::string_view text) {
  return render(text, {.raw_html = false, .language = ""}, true).references;
}

std::string heading_id(std::string_view text) {
  std::string id;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || byte >= 0x80 || c == '_') {
      id += static_cast<char>(std::tolower(byte));
    } else if ((c == ' ' || c == '-') && !id.empty() && id.back() != '-') {
      id += '-';
    }
  }
  while (!id.empty() && id.back() == '-') {
    id.pop_back();
  }
  return id.empty() ? "section" : id;
}
