// The fuzz target of the page compiler. An input is a command file, optionally followed by the
// line "==== x ====" and the bytes of the file x beside it, which "@@src x" in a text or code block
// reads. Each input goes through the real compiler into a page held in memory, and the page must
// hold the fixed head, whole block fragments only, and the fixed footer, with nothing the author
// typed ending an attribute, a cell or the script.
//
// Each input also goes through orvello check's reading of a command file first, which must leave
// the run-wide records exactly as the compiler then does, and report its findings in line order
// at places inside the file.
//
// The settings records and the PDF counter live for the whole process, as they do for a whole run:
// state carries from one input to the next, and every check holds whatever came before.
#include "page_fuzzer.h"

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "block_records.h"
#include "checker.h"
#include "external_reads.h"
#include "generator.h"
#include "page_context.h"
#include "utils.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view external_separator = "\n==== x ====\n";

constexpr std::string_view page_head =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n"
    "  <meta charset=\"UTF-8\">\n"
    "  <title>Orvello Page</title>\n"
    "  <link rel=\"icon\" type=\"image/png\" href=\"../favicon.png\">\n"
    "  <link rel=\"stylesheet\" href=\"../main.css\">\n"
    "</head>\n<body>\n";

constexpr std::string_view page_foot =
    "  <div class=\"fixed-footer\">@This site. All rights reserved. Made with Orvello on "
    "07-12-2026 at 09:15:02</div>\n"
    "</body>\n</html>\n";

// The folder of the command file: it holds x when the input brings it, and d, an empty folder.
fs::path scratch;

// What the compiler carries from input to input, as from page to page.
page_context carried;

// How many PDF blocks the process has written; each new one must carry the next number.
long long pdf_blocks_seen = 0;

// The fragment kinds, in the order of `closing_lines`.
enum class kind : std::size_t { title, text, code, link, image, video, audio, pdf, download };
constexpr std::size_t kinds = 9;

constexpr std::array<std::string_view, kinds> closing_lines = {
    "@end_title", "@end_text",  "@end_code", "@end_link",     "@end_image",
    "@end_video", "@end_audio", "@end_pdf",  "@end_download",
};

using kind_counts = std::array<std::size_t, kinds>;

// --- Reading the page ------------------------------------------------------------------------

// The lines of a page body, without their line feeds, and how far the checks have read.
struct page_lines {
  std::string_view page;
  std::vector<std::string_view> lines;
  std::size_t next = 0;
};

[[noreturn]] void broken(const page_lines& body, std::string_view why) {
  std::cerr << "Broken page: " << why << "\n";
  if (body.next > 0) {
    std::cerr << "at body line " << body.next << ": [" << body.lines[body.next - 1] << "]\n";
  }
  std::cerr << "The page:\n" << body.page.substr(0, 1 << 16) << "\n";
  std::abort();
}

void require(const page_lines& body, bool holds, std::string_view why) {
  if (!holds) {
    broken(body, why);
  }
}

std::string_view next_line(page_lines& body) {
  require(body, body.next < body.lines.size(), "a fragment is cut short by the end of the body");
  return body.lines[body.next++];
}

void expect_line(page_lines& body, std::string_view expected) {
  require(body, next_line(body) == expected, "a fixed line of a fragment differs");
}

// Removes `fixed` from the front of `rest`; false when `rest` does not start with it.
bool take(std::string_view& rest, std::string_view fixed) {
  if (!rest.starts_with(fixed)) {
    return false;
  }
  rest.remove_prefix(fixed.size());
  return true;
}

// Takes an attribute value and the double quote that ends it from the front of `rest`: a raw
// double quote in a value would end it early and leave the rest of the line out of shape.
std::string_view take_attribute(const page_lines& body, std::string_view& rest) {
  const std::size_t quote = rest.find('"');
  require(body, quote != std::string_view::npos, "an attribute value is not closed");
  const std::string_view value = rest.substr(0, quote);
  rest.remove_prefix(quote + 1);
  return value;
}

// True when `style` reads "p1: ...; p2: ...;" for the `properties` in order.
bool is_style(std::string_view style, std::initializer_list<std::string_view> properties) {
  std::size_t at = 0;
  for (const std::string_view property : properties) {
    const std::string lead = (at == 0 ? "" : "; ") + std::string(property) + ": ";
    const std::size_t found =
        at == 0 ? (style.starts_with(lead) ? 0 : std::string_view::npos) : style.find(lead, at);
    if (found == std::string_view::npos) {
      return false;
    }
    at = found + lead.size();
  }
  return style.size() > at && style.ends_with(";");
}

// True when `text` is visible text as html_escape writes it (and escape_quotes after it, with
// `quotes`): no markup character of its own, and every "&" starting an entity those write.
bool is_escaped(std::string_view text, bool quotes) {
  if (text.find_first_of("<>") != std::string_view::npos ||
      (quotes && text.find('"') != std::string_view::npos)) {
    return false;
  }
  for (std::size_t amp = text.find('&'); amp != std::string_view::npos;
       amp = text.find('&', amp + 1)) {
    const std::string_view entity = text.substr(amp);
    if (!entity.starts_with("&amp;") && !entity.starts_with("&lt;") &&
        !entity.starts_with("&gt;") && !(quotes && entity.starts_with("&quot;"))) {
      return false;
    }
  }
  return true;
}

// Checks that a line ends with `tail` after escaped visible text, which it returns.
std::string_view take_visible_text(const page_lines& body, std::string_view rest,
                                   std::string_view tail) {
  require(body, rest.ends_with(tail), "an element is not closed at the end of its line");
  rest.remove_suffix(tail.size());
  require(body, is_escaped(rest, false), "visible text is not escaped");
  return rest;
}

// --- The fragments ---------------------------------------------------------------------------

void read_title(page_lines& body, std::string_view rest) {
  require(body, is_style(take_attribute(body, rest), {"font-size", "color"}),
          "a heading's style is out of shape");
  require(body, take(rest, ">"), "a heading's opening tag is not closed");
  take_visible_text(body, rest, "  </h1>");
}

void read_text(page_lines& body, std::string_view rest) {
  require(body,
          is_style(take_attribute(body, rest), {"width", "height", "font-size", "color"}) &&
              rest == ">",
          "a text panel's style is out of shape");
  expect_line(body, "    <table>");
  std::size_t rows = 0;
  std::string_view first_mode;
  for (std::string_view line = next_line(body); line != "    </table>"; line = next_line(body)) {
    require(body, line == "      <tr>", "a text panel holds something other than rows");
    std::string_view cell = next_line(body);
    require(body, take(cell, "        <td class=\"text-line-content\" style=\""),
            "a text row holds something other than a cell");
    const std::string_view mode = take_attribute(body, cell);
    require(body, is_style(mode, {"white-space"}) && (rows == 0 || mode == first_mode),
            "a text cell's white-space mode is out of shape or differs within the panel");
    first_mode = mode;
    require(body, take(cell, ">"), "a text cell's opening tag is not closed");
    // An empty line shows as "&nbsp;", which no typed text can give: its "&" would be "&amp;".
    if (cell != "&nbsp;</td>") {
      const std::string_view shown = take_visible_text(body, cell, "</td>");
      require(body, !shown.empty(), "a text cell is empty instead of holding &nbsp;");
    }
    expect_line(body, "      </tr>");
    ++rows;
  }
  require(body, rows > 0, "a text panel has no rows");
  expect_line(body, "  </div>");
}

void read_code(page_lines& body, std::string_view rest) {
  require(body, is_style(take_attribute(body, rest), {"width", "height"}) && rest == "><table>",
          "a listing's style is out of shape");
  unsigned long long rows = 0;
  for (std::string_view line = next_line(body); line != "  </table></pre>";
       line = next_line(body)) {
    require(body, line == "    <tr>", "a listing holds something other than rows");
    expect_line(body, "      <td class=\"code-line-number\">" + std::to_string(++rows) + "</td>");
    std::string_view cell = next_line(body);
    require(body, take(cell, "      <td class=\"code-line-content\"><code>"),
            "a listing row holds something other than its line of code");
    take_visible_text(body, cell, "</code></td>");
    expect_line(body, "    </tr>");
  }
  require(body, rows > 0, "a listing has no rows");
}

// A link or a download button: both start with "<a href=".
kind read_anchor(page_lines& body, std::string_view rest) {
  take_attribute(body, rest);  // the address: any bytes but a raw double quote
  kind anchor = kind::download;
  if (take(rest, " target=\"")) {
    anchor = kind::link;
    take_attribute(body, rest);
    require(body, take(rest, " class=\"link\""), "a link's class is missing");
    if (take(rest, " style=\"")) {
      require(body, is_style(take_attribute(body, rest), {"font-size"}),
              "a link's style is out of shape");
    }
  } else {
    require(body, take(rest, " class=\"download-btn\" download"),
            "an anchor is neither a link nor a download button");
  }
  require(body, take(rest, ">"), "an anchor's opening tag is not closed");
  take_visible_text(body, rest, "</a>");
  return anchor;
}

void read_image(page_lines& body, std::string_view rest) {
  take_attribute(body, rest);
  require(body, take(rest, " alt=\"") && is_escaped(take_attribute(body, rest), true),
          "an image's alternative text is missing or not escaped");
  require(body, take(rest, " class=\"image\" style=\""), "an image's class is missing");
  require(body, is_style(take_attribute(body, rest), {"width", "height"}) && rest == ">",
          "an image's style is out of shape");
}

// The rest of a player's opening tag: "controls" and the switches the block turned on.
bool is_player_switches(std::string_view rest) {
  return rest == "controls>" || rest == "controls autoplay muted>" || rest == "controls loop>" ||
         rest == "controls autoplay muted loop>";
}

void read_video(page_lines& body, std::string_view rest) {
  take_attribute(body, rest);
  require(body, take(rest, " class=\"video\" style=\""), "a video's class is missing");
  require(body,
          is_style(take_attribute(body, rest), {"width", "height"}) && take(rest, " ") &&
              is_player_switches(rest),
          "a video's opening tag is out of shape");
  expect_line(body, "  Your browser does not support the video tag.");
  expect_line(body, "  </video>");
}

void read_audio(page_lines& body, std::string_view rest) {
  take_attribute(body, rest);
  require(body, take(rest, " class=\"audio\" ") && is_player_switches(rest),
          "an audio player's opening tag is out of shape");
  expect_line(body, "  Your browser does not support the audio tag.");
  expect_line(body, "  </audio>");
}

// --- The PDF block ---------------------------------------------------------------------------

constexpr std::string_view pdf_first_line =
    "  <!-- No PC: Carrega o leitor nativo alinhado \xc3\xa0 esquerda -->";

constexpr std::string_view pdf_button_rest =
    " target=\"_blank\" style=\"display: inline-block; padding: 12px 24px; background-color: "
    "#ff0000; color: #ffffff; font-weight: bold; border-radius: 6px; text-decoration: none; "
    "font-family: sans-serif; box-shadow: 0 2px 5px rgba(0,0,0,0.2);\">";

constexpr std::string_view pdf_middle_lines[] = {
    "    </a>", "  </div>", "  ", "  <script>", "    (function() {",
};

constexpr std::string_view pdf_script_tail[] = {
    "      ",
    "      if (/Android|iPhone|iPad|iPod/i.test(navigator.userAgent)) {",
    "        iframe.style.display = 'none';",
    "        iframe.nextElementSibling.style.display = 'block';",
    "      } else {",
    "        if (window.location.protocol === 'file:') {",
    "          iframe.src = src;",
    "        } else {",
    "          var baseElem = document.getElementsByTagName('base')[0];",
    "          var basePath = baseElem ? baseElem.getAttribute('href') : "
    "window.location.pathname.replace(/\\/[^\\/]*$/, '/');",
    "          var cleanSrc = src.replace(/^\\/?(site\\/)?/, '');",
    "          var absUrl = window.location.origin + '/' + basePath.replace(/^\\/|\\/$/g, '') + "
    "'/' + cleanSrc;",
    "          iframe.src = absUrl.replace(/([^:]\\/)\\/+/g, '$1');",
    "        }",
    "      }",
    "    })();",
    "  </script>",
};

// Takes a JavaScript string literal's inside and its closing quote from the front of `rest` and
// returns the string's value. Only the escapes the compiler writes are allowed, and no raw "<",
// so neither "</script" nor "<!--" can appear inside the script.
std::string take_script_string(const page_lines& body, std::string_view& rest) {
  std::string value;
  std::size_t at = 0;
  for (;;) {
    require(body, at < rest.size(), "the script's string is not closed");
    const char c = rest[at++];
    if (c == '"') {
      break;
    }
    require(body, c != '<' && c != '\r', "the script's string holds a raw \"<\" or line end");
    if (c != '\\') {
      value += c;
      continue;
    }
    require(body, at < rest.size(), "the script's string ends inside an escape");
    const char escape = rest[at++];
    if (escape == 'x') {
      require(body, rest.substr(at, 2) == "3C", "the script's string holds an unknown escape");
      at += 2;
      value += '<';
    } else {
      require(body, std::string_view("\\\"rn").find(escape) != std::string_view::npos,
              "the script's string holds an unknown escape");
      value += escape == 'r' ? '\r' : escape == 'n' ? '\n' : escape;
    }
  }
  rest.remove_prefix(at);
  return value;
}

std::string with_quotes_as_entities(std::string_view value) {
  std::string written;
  for (const char c : value) {
    written += c == '"' ? std::string_view("&quot;") : std::string_view(&c, 1);
  }
  return written;
}

// The 31 lines of a PDF block, its first line already read.
void read_pdf(page_lines& body) {
  std::string_view frame = next_line(body);
  require(body, take(frame, "  <iframe id=\""), "a PDF block has no frame");
  const std::string id = "pdf_player_" + std::to_string(++pdf_blocks_seen);
  require(body, take_attribute(body, frame) == id,
          "a PDF frame does not carry the next number of the process");
  require(body, take(frame, " class=\"pdf pc-only-pdf\" style=\""), "a PDF frame's class differs");
  const std::string_view style = take_attribute(body, frame);
  require(body,
          is_style(style, {"width", "height", "border"}) && style.ends_with("; border: none;") &&
              frame == " frameborder=\"0\"></iframe>",
          "a PDF frame's style is out of shape");
  expect_line(body, "  ");
  expect_line(body,
              "  <!-- No Android/Telem\xc3\xb3vel: Bot\xc3\xa3o Vermelho Limpo (Sem \xc3\x8d"
              "cone) com Letras Brancas -->");
  expect_line(body, "  <div class=\"mobile-only-pdf\" style=\"display: none; padding: 15px 0;\">");
  std::string_view button = next_line(body);
  require(body, take(button, "    <a href=\""), "a PDF block has no button");
  const std::string_view address = take_attribute(body, button);
  require(body, button == pdf_button_rest, "a PDF button's opening tag differs");
  std::string_view caption = next_line(body);
  require(body, take(caption, "      ") && is_escaped(caption, false),
          "a PDF button's caption is not escaped");
  for (const std::string_view fixed : pdf_middle_lines) {
    expect_line(body, fixed);
  }
  std::string_view source = next_line(body);
  require(body, take(source, "      var src = \""), "a PDF script does not name its document");
  const std::string document = take_script_string(body, source);
  require(body, source == ";", "a PDF script's first statement does not end with its string");
  require(body, with_quotes_as_entities(document) == address,
          "the PDF script and the button name different documents");
  expect_line(body, "      var iframe = document.getElementById(\"" + id + "\");");
  for (const std::string_view fixed : pdf_script_tail) {
    expect_line(body, fixed);
  }
}

// --- The whole page --------------------------------------------------------------------------

kind read_fragment(page_lines& body) {
  std::string_view rest = next_line(body);
  if (take(rest, "  <h1 class=\"title\" style=\"")) {
    read_title(body, rest);
    return kind::title;
  }
  if (take(rest, "  <div class=\"text\" style=\"")) {
    read_text(body, rest);
    return kind::text;
  }
  if (take(rest, "  <pre class=\"code\" style=\"")) {
    read_code(body, rest);
    return kind::code;
  }
  if (take(rest, "  <a href=\"")) {
    return read_anchor(body, rest);
  }
  if (take(rest, "  <img src=\"")) {
    read_image(body, rest);
    return kind::image;
  }
  if (take(rest, "  <video src=\"")) {
    read_video(body, rest);
    return kind::video;
  }
  if (take(rest, "  <audio src=\"")) {
    read_audio(body, rest);
    return kind::audio;
  }
  require(body, rest == pdf_first_line, "a line starts no fragment");
  read_pdf(body);
  return kind::pdf;
}

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  if (!text.empty()) {
    lines.push_back(text);
  }
  return lines;
}

// How many lines of `command` could close a block of each kind; every fragment needs its own.
kind_counts count_closing_lines(std::string_view command) {
  kind_counts counts{};
  for (std::string_view line : lines_of(command)) {
    // The compiler drops one carriage return, and the title, text and code kinds one more.
    for (int i = 0; i < 2 && line.ends_with('\r'); ++i) {
      line.remove_suffix(1);
    }
    for (std::size_t k = 0; k < kinds; ++k) {
      counts[k] += line == closing_lines[k] ? 1 : 0;
    }
  }
  return counts;
}

void check_page(std::string_view page, std::string_view command) {
  page_lines body{page, {}, 0};
  require(body, page.starts_with(page_head), "the page does not start with the fixed head");
  require(body, page.size() >= page_head.size() + page_foot.size() && page.ends_with(page_foot),
          "the page does not end with the fixed footer");
  std::string_view between = page.substr(page_head.size());
  between.remove_suffix(page_foot.size());
  require(body, between.empty() || between.ends_with('\n'), "the body's last line is cut");
  body.lines = lines_of(between);
  kind_counts written{};
  while (body.next < body.lines.size()) {
    ++written[static_cast<std::size_t>(read_fragment(body))];
  }
  const kind_counts closing = count_closing_lines(command);
  for (std::size_t k = 0; k < kinds; ++k) {
    require(body, written[k] <= closing[k],
            "more fragments of a kind than lines that close blocks of that kind");
  }
}

// The only console lines a page may cause: a text or code block's file that cannot be read.
void check_console(std::string_view errors, std::string_view page) {
  const std::string folder = scratch.string() + "/";
  for (const std::string_view line : lines_of(errors)) {
    std::string_view rest = line;
    const bool known = (take(rest, "Error: Could not open external text file '") ||
                        take(rest, "Error: Could not open external code file '")) &&
                       take(rest, folder) && rest.ends_with("'");
    if (!known) {
      broken(page_lines{page, {}, 0}, "unexpected console line: " + std::string(line));
    }
  }
  if (!errors.empty() && !errors.ends_with('\n')) {
    broken(page_lines{page, {}, 0}, "a console line is cut");
  }
}

// --- The checker -----------------------------------------------------------------------------

[[noreturn]] void broken_check(const diagnostic& finding, std::string_view why) {
  std::cerr << "Broken check: " << why << "\nat " << finding.line << ":" << finding.column << ": "
            << finding.message << " [" << finding.name << "]\n";
  std::abort();
}

// Checks `command` as the command file page.orv of the scratch folder from `records`; returns the
// records the checker left.
block_records check_command(std::string_view command, block_records records) {
  project_folder project;
  project.input = scratch;
  project.resolved = fs::canonical(scratch);
  project.extensions = command_file_extensions();
  std::istringstream source{std::string(command)};
  const std::vector<diagnostic> found =
      check_command_lines(source, {scratch / "page.orv", "page.orv"}, project, records);
  const std::vector<std::string_view> lines = lines_of(command);
  std::pair<std::size_t, std::size_t> previous{1, 1};
  for (const diagnostic& finding : found) {
    if (finding.line < 1 || finding.line > std::max<std::size_t>(lines.size(), 1) ||
        finding.column < 1 ||
        (!lines.empty() && finding.column > lines[finding.line - 1].size() + 1)) {
      broken_check(finding, "a finding points outside the file");
    }
    if (std::pair(finding.line, finding.column) < previous) {
      broken_check(finding, "the findings are not in line order");
    }
    previous = {finding.line, finding.column};
    if (finding.name.empty() ||
        finding.name.find_first_not_of("abcdefghijklmnopqrstuvwxyz-") != std::string_view::npos) {
      broken_check(finding, "a finding's name is not a stable name");
    }
    if (finding.message.empty() || finding.message.find('\n') != std::string::npos) {
      broken_check(finding, "a finding's message is empty or spans lines");
    }
  }
  return records;
}

// --- Driving the compiler --------------------------------------------------------------------

// True when a setting line of `command` names a file outside the scratch folder (an absolute name
// or one that climbs with ".."): such inputs are skipped, so that the fuzzer never reads the
// machine's own files, whose size and content it cannot bound.
bool names_a_file_outside(std::string_view command) {
  for (const std::string_view line : lines_of(command)) {
    if (line.starts_with("@@src ")) {
      const std::string_view name = line.substr(6);
      if (name.starts_with('/') || name.find("..") != std::string_view::npos) {
        return true;
      }
    }
  }
  return false;
}

void place_external_file(std::optional<std::string_view> bytes) {
  const fs::path path = scratch / "x";
  if (!bytes) {
    std::error_code ignored;
    fs::remove(path, ignored);
    return;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
  file.close();
  if (file.fail()) {
    std::cerr << "Cannot write " << path << "\n";
    std::abort();
  }
}

void remove_scratch() {
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string folder = (fs::temp_directory_path() / "orvello-fuzz-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    std::cerr << "Cannot make a scratch folder below " << fs::temp_directory_path() << "\n";
    std::abort();
  }
  scratch = folder;
  fs::create_directory(scratch / "d");
  std::atexit(remove_scratch);
  build_timestamp = "07-12-2026 at 09:15:02";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find(external_separator);
  const std::string_view command = input.substr(0, split);
  if (names_a_file_outside(command)) {
    return -1;
  }
  place_external_file(split == std::string_view::npos
                          ? std::nullopt
                          : std::optional(input.substr(split + external_separator.size())));
  const block_records checked = check_command(command, carried.records);
  std::istringstream source{std::string(command)};
  std::ostringstream page;
  std::ostringstream errors;
  carried.errors = &errors;
  compile_page(source, page, carried, "../", page_icon{"favicon.png", "image/png"},
               external_reads{scratch.string(), {}, {}});
  carried.errors = &std::cerr;
  const std::string written = page.str();
  check_page(written, command);
  check_console(errors.str(), written);
  if (!(carried.records == checked)) {
    std::cerr << "The checker left other records than the compiler\n";
    std::abort();
  }
  return 0;
}
