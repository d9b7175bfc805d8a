#include "page_frame.h"

#include <algorithm>
#include <array>

namespace fs = std::filesystem;

namespace {

// The most entries one level of the menu shows, so that a page's menu stays small in a large site.
constexpr std::size_t menu_window_size = 11;

// What the frame of one page is written from.
struct frame_context {
  const site_frame& site;
  const site_page* page;  // null for a page the map does not know
  std::string href;       // the page below site/
  std::string prefix;     // "../" per folder
};

const site_map& map_of(const frame_context& frame) {
  return frame.site.map;
}

bool is_front_page(const frame_context& frame) {
  return frame.page != nullptr && frame.site.map.folders[0].index_page &&
         &frame.site.map.pages[*frame.site.map.folders[0].index_page] == frame.page;
}

std::string page_title(const frame_context& frame) {
  return frame.page != nullptr ? frame.page->facts.title : fs::path(frame.href).stem().string();
}

std::string document_title(const frame_context& frame) {
  const std::string& site = frame.site.settings.title;
  if (site.empty()) {
    return page_title(frame);
  }
  return is_front_page(frame) ? site : page_title(frame) + " · " + site;
}

std::string link_to(const frame_context& frame, const std::string& href) {
  return relative_link(frame.href, href);
}

void add_meta(std::string& out, std::string_view attribute, std::string_view name,
              const std::string& content) {
  out += "  <meta ";
  out += attribute;
  out += "=\"";
  out += name;
  out += "\" content=\"";
  append_attribute_text(out, content);
  out += "\">\n";
}

void add_sharing_lines(std::string& out, const frame_context& frame,
                       const std::string& description) {
  const site_settings& settings = frame.site.settings;
  if (settings.base_url.empty()) {
    return;
  }
  const std::string address = settings.base_url + frame.href;
  out += "  <link rel=\"canonical\" href=\"" + attribute_text(address) + "\">\n";
  add_meta(out, "property", "og:title", page_title(frame));
  if (!description.empty()) {
    add_meta(out, "property", "og:description", description);
  }
  add_meta(out, "property", "og:url", address);
  const bool dated = frame.page != nullptr && !frame.page->facts.date.empty();
  add_meta(out, "property", "og:type", dated ? "article" : "website");
  if (!settings.title.empty()) {
    add_meta(out, "property", "og:site_name", settings.title);
  }
}

void add_head(std::string& out, const frame_context& frame, const page_icon& icon) {
  const site_settings& settings = frame.site.settings;
  out += "<!DOCTYPE html>\n<html lang=\"" + attribute_text(settings.language) + "\">\n<head>\n";
  out += "  <meta charset=\"UTF-8\">\n";
  out += "  <meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  out += "  <title>";
  append_attribute_text(out, document_title(frame));
  out += "</title>\n";
  const std::string& description = frame.page != nullptr && !frame.page->facts.description.empty()
                                       ? frame.page->facts.description
                                       : settings.description;
  if (!description.empty()) {
    add_meta(out, "name", "description", description);
  }
  add_sharing_lines(out, frame, description);
  add_meta(out, "name", "color-scheme", settings.theme == "auto" ? "light dark" : settings.theme);
  out += "  <link rel=\"icon\" type=\"" + icon.type + "\" href=\"" + frame.prefix + icon.name +
         "\">\n";
  out += "  <link rel=\"stylesheet\" href=\"" + frame.prefix + "main.css\">\n";
  if (!settings.stylesheet.empty()) {
    out += "  <link rel=\"stylesheet\" href=\"" +
           attribute_text(frame.prefix + fs::path(settings.stylesheet).generic_string()) + "\">\n";
  }
  out += "</head>\n<body class=\"site theme-" + settings.theme + "\">\n";
  out += "  <a class=\"skip-link\" href=\"#content\">Skip to content</a>\n";
}

// The folders from the top down to the page's own, the top included.
std::vector<std::size_t> folder_path(const frame_context& frame) {
  std::vector<std::size_t> path;
  if (frame.page == nullptr) {
    return {0};
  }
  for (std::optional<std::size_t> at = frame.page->folder; at;
       at = map_of(frame).folders[*at].parent) {
    path.push_back(*at);
  }
  std::reverse(path.begin(), path.end());
  return path;
}

bool is_current(const frame_context& frame, const menu_entry& entry) {
  const site_map& map = map_of(frame);
  if (!entry.is_folder) {
    return &map.pages[entry.index] == frame.page;
  }
  const std::optional<std::size_t> index = map.folders[entry.index].index_page;
  return index && &map.pages[*index] == frame.page;
}

// Appends the entry's link, or its name alone for a folder without an index page.
void add_entry_link(std::string& out, const frame_context& frame, const menu_entry& entry) {
  const site_map& map = map_of(frame);
  std::optional<std::size_t> page = entry.index;
  if (entry.is_folder) {
    page = map.folders[entry.index].index_page;
  }
  if (!page) {
    out.append("<span>");
    append_attribute_text(out, entry_title(map, entry));
    out.append("</span>");
    return;
  }
  out.append("<a href=\"");
  append_attribute_text(out, link_to(frame, map.pages[*page].href));
  out.append(is_current(frame, entry) ? "\" aria-current=\"page\">" : "\">");
  append_attribute_text(out, entry_title(map, entry));
  out.append("</a>");
}

// Appends one line of the menu: `indent`, `before`, the entry's link and `after`.
void add_menu_line(std::string& out, const frame_context& frame, const menu_entry& entry,
                   std::string_view indent, std::string_view before, std::string_view after) {
  out.append(indent).append(before);
  add_entry_link(out, frame, entry);
  out.append(after);
}

// The entries a menu level shows: those the menu shows, and of a long list only the window
// around the entry on the current page's path; `cut_before` and `cut_after` tell what was left out.
struct menu_window {
  std::vector<menu_entry> entries;
  bool cut_before = false;
  bool cut_after = false;
};

menu_window window_of(const frame_context& frame, const std::vector<std::size_t>& path,
                      std::size_t depth) {
  const site_map& map = map_of(frame);
  std::vector<menu_entry> shown;
  std::size_t center = 0;
  for (const menu_entry& entry : map.folders[path[depth]].entries) {
    if (!entry_shown(map, entry)) {
      continue;
    }
    const bool on_path = entry.is_folder ? depth + 1 < path.size() && path[depth + 1] == entry.index
                                         : is_current(frame, entry);
    if (on_path) {
      center = shown.size();
    }
    shown.push_back(entry);
  }
  const std::size_t before = menu_window_size / 2;
  const std::size_t first =
      std::min(center > before ? center - before : 0,
               shown.size() > menu_window_size ? shown.size() - menu_window_size : 0);
  const std::size_t last = std::min(shown.size(), first + menu_window_size);
  return {std::vector<menu_entry>(shown.begin() + static_cast<std::ptrdiff_t>(first),
                                  shown.begin() + static_cast<std::ptrdiff_t>(last)),
          first > 0, last < shown.size()};
}

// The indent of a menu level's list at `depth`.
std::string menu_indent(std::size_t depth) {
  std::string indent = "      ";
  for (std::size_t i = 0; i < depth; ++i) {
    indent += "    ";
  }
  return indent;
}

// Writes the menu's level at `depth` and the open levels inside it; at `hole_depth` it writes
// nothing but notes in `hole` where that level belongs.
void add_menu_level(std::string& out, const frame_context& frame,
                    const std::vector<std::size_t>& path, std::size_t depth, std::size_t hole_depth,
                    std::size_t& hole) {
  if (depth == hole_depth) {
    hole = out.size();
    return;
  }
  const site_map& map = map_of(frame);
  const std::string indent = menu_indent(depth);
  out.append(indent).append("<ul>\n");
  if (depth == 0 && map.folders[0].index_page) {
    add_menu_line(out, frame, {false, *map.folders[0].index_page}, indent, "  <li>", "</li>\n");
  }
  const menu_window window = window_of(frame, path, depth);
  if (window.cut_before) {
    out.append(indent).append("  <li class=\"menu-more\">…</li>\n");
  }
  for (const menu_entry& entry : window.entries) {
    const bool open = entry.is_folder && depth + 1 < path.size() && path[depth + 1] == entry.index;
    if (!entry.is_folder) {
      add_menu_line(out, frame, entry, indent, "  <li>", "</li>\n");
    } else if (!open) {
      add_menu_line(out, frame, entry, indent, "  <li class=\"menu-folder\">", "</li>\n");
    } else {
      add_menu_line(out, frame, entry, indent, "  <li class=\"menu-folder open\">", "\n");
      add_menu_level(out, frame, path, depth + 1, hole_depth, hole);
      out.append(indent).append("  </li>\n");
    }
  }
  if (window.cut_after) {
    out.append(indent).append("  <li class=\"menu-more\">…</li>\n");
  }
  out.append(indent).append("</ul>\n");
}

// Writes the menu. The levels around the one of the page's own folder are the same for every page
// of that folder but its index page, and pages of a folder come one after another: they are
// written once and kept for the next page.
void add_menu(std::string& out, const frame_context& frame) {
  const std::vector<std::size_t> path = folder_path(frame);
  const std::size_t own = path.size() - 1;
  const std::pair<std::size_t, bool> key{path.back(), is_current(frame, {true, path.back()})};
  menu_cache& kept = frame.site.menu_kept;
  if (kept.key != key) {
    std::string around;
    std::size_t hole = 0;
    add_menu_level(around, frame, path, 0, own, hole);
    kept = {key, around.substr(0, hole), around.substr(hole)};
  }
  out += kept.before;
  std::size_t none = 0;
  add_menu_level(out, frame, path, own, path.size(), none);
  out += kept.after;
}

void add_header(std::string& out, const frame_context& frame) {
  const site_frame& site = frame.site;
  out += "  <header class=\"site-header\">\n";
  if (!site.settings.title.empty()) {
    out += "    <a class=\"site-title\" href=\"" + frame.prefix + "index" +
           site.settings.page_extension + "\">" + attribute_text(site.settings.title) + "</a>\n";
  }
  if (site.settings.menu) {
    out +=
        "    <input type=\"checkbox\" id=\"menu-toggle\" class=\"menu-toggle\" "
        "aria-label=\"Menu\">\n";
    out += "    <label for=\"menu-toggle\" class=\"menu-button\">Menu</label>\n";
    out += "    <nav class=\"site-menu\" aria-label=\"Site\">\n";
    add_menu(out, frame);
    out += "    </nav>\n";
  }
  out += "  </header>\n";
}

void add_breadcrumbs(std::string& out, const frame_context& frame) {
  const std::vector<std::size_t> path = folder_path(frame);
  if (!frame.site.settings.breadcrumbs || frame.page == nullptr || path.size() < 2) {
    return;
  }
  const site_map& map = map_of(frame);
  out += "  <nav class=\"breadcrumbs\" aria-label=\"Breadcrumb\">\n    <ol>";
  if (map.folders[0].index_page) {
    add_menu_line(out, frame, {false, *map.folders[0].index_page}, "", "<li>", "</li>");
  }
  for (std::size_t depth = 1; depth < path.size(); ++depth) {
    const menu_entry folder{true, path[depth]};
    if (is_current(frame, folder)) {
      out += "<li aria-current=\"page\">" + attribute_text(page_title(frame)) + "</li>";
      out += "</ol>\n  </nav>\n";
      return;
    }
    add_menu_line(out, frame, folder, "", "<li>", "</li>");
  }
  out +=
      "<li aria-current=\"page\">" + attribute_text(page_title(frame)) + "</li></ol>\n  </nav>\n";
}

// The pages of the current page's folder that previous and next step through, in menu order.
std::vector<std::size_t> folder_sequence(const frame_context& frame) {
  const site_map& map = map_of(frame);
  const site_folder& folder = map.folders[frame.page->folder];
  std::vector<std::size_t> pages;
  if (folder.index_page && map.pages[*folder.index_page].facts.menu) {
    pages.push_back(*folder.index_page);
  }
  for (const menu_entry& entry : folder.entries) {
    if (!entry.is_folder && entry_shown(map, entry)) {
      pages.push_back(entry.index);
    }
  }
  return pages;
}

void add_page_turn(std::string& out, const frame_context& frame) {
  if (!frame.site.settings.page_turn || frame.page == nullptr || !frame.page->facts.menu) {
    return;
  }
  const site_map& map = map_of(frame);
  const std::vector<std::size_t> pages = folder_sequence(frame);
  const auto at = std::find_if(pages.begin(), pages.end(),
                               [&](std::size_t page) { return &map.pages[page] == frame.page; });
  if (at == pages.end() || pages.size() < 2) {
    return;
  }
  out += "  <nav class=\"page-turn\" aria-label=\"Previous and next\">\n";
  if (at != pages.begin()) {
    const site_page& previous = map.pages[*(at - 1)];
    out += "    <a class=\"page-prev\" rel=\"prev\" href=\"" +
           attribute_text(link_to(frame, previous.href)) +
           "\">Previous: " + attribute_text(previous.facts.title) + "</a>\n";
  }
  if (at + 1 != pages.end()) {
    const site_page& next = map.pages[*(at + 1)];
    out += "    <a class=\"page-next\" rel=\"next\" href=\"" +
           attribute_text(link_to(frame, next.href)) +
           "\">Next: " + attribute_text(next.facts.title) + "</a>\n";
  }
  out += "  </nav>\n";
}

void add_footer(std::string& out, const frame_context& frame) {
  const site_settings& settings = frame.site.settings;
  if (settings.footer_text.empty() && !settings.footer_date) {
    return;
  }
  out += "  <footer class=\"site-footer\">";
  if (!settings.footer_text.empty()) {
    out += "<p>" + attribute_text(settings.footer_text) + "</p>";
  }
  if (settings.footer_date) {
    out += "<p>Built on <time datetime=\"" + frame.site.build_date + "\">" + frame.site.build_date +
           "</time></p>";
  }
  out += "</footer>\n";
}

}  // namespace

page_frame frame_page(const site_frame& site, const fs::path& place, const page_icon& icon) {
  const auto found = site.map.page_at_place.find(place.generic_string());
  const site_page* page =
      found == site.map.page_at_place.end() ? nullptr : &site.map.pages[found->second];
  // The map knows the page's place in site/; "../" once per folder of it.
  std::string href = page != nullptr ? page->href : page_place(site, place).generic_string();
  std::string prefix;
  for (std::size_t slash = href.find('/'); slash != std::string::npos;
       slash = href.find('/', slash + 1)) {
    prefix += "../";
  }
  const frame_context frame{site, page, std::move(href), std::move(prefix)};
  page_frame framed;
  add_head(framed.head, frame, icon);
  add_header(framed.head, frame);
  add_breadcrumbs(framed.head, frame);
  framed.head += "  <main id=\"content\" class=\"page\">\n";
  framed.foot = "  </main>\n";
  add_page_turn(framed.foot, frame);
  add_footer(framed.foot, frame);
  framed.foot += "</body>\n</html>\n";
  return framed;
}

fs::path page_place(const site_frame& site, const fs::path& place) {
  return fs::path(place).replace_extension(site.settings.page_extension);
}

std::string relative_link(std::string_view from, std::string_view to) {
  std::size_t common = 0;  // the length of the folders both share, up to a separator
  for (std::size_t i = 0; i < from.size() && i < to.size() && from[i] == to[i]; ++i) {
    if (from[i] == '/') {
      common = i + 1;
    }
  }
  std::string link;
  for (std::size_t i = common; i < from.size(); ++i) {
    if (from[i] == '/') {
      link += "../";
    }
  }
  link += to.substr(common);
  return link;
}

void append_attribute_text(std::string& out, std::string_view text) {
  static constexpr auto special = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : {'&', '<', '>', '"'}) {
      table[c] = true;
    }
    return table;
  }();
  std::size_t from = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (!special[static_cast<unsigned char>(c)]) {
      continue;
    }
    out.append(text.substr(from, at - from));
    out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : "&quot;";
    from = at + 1;
  }
  out.append(text.substr(from));
}

std::string attribute_text(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size() + 8);
  append_attribute_text(escaped, text);
  return escaped;
}
