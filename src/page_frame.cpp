#include "page_frame.h"

#include <algorithm>

#include "html_escape.h"

namespace fs = std::filesystem;

namespace {

// The most entries one level of the menu shows, so that a page's menu stays small in a large site.
constexpr std::size_t menu_window_size = 11;

// What the frame of one page is written from. The map notes which of its texts need escaping,
// so that most of them are appended as they are.
struct frame_context {
  const site_frame& site;
  const site_map& map;
  const site_page* page;                 // null for a page the map does not know
  const site_page* marked;               // the page the menu marks as the current one
  std::string_view href;                 // the page below site/
  std::string up;                        // "../" per folder of href
  const std::vector<std::size_t>& path;  // the folders from the top down to the page's own
};

void append_escaped(std::string& out, std::string_view text) {
  append_html_escaped(out, text, html_use::attribute);
}

void add_text(std::string& out, std::string_view text, bool plain) {
  plain ? void(out.append(text)) : append_escaped(out, text);
}

bool is_front_page(const frame_context& frame) {
  const std::optional<std::size_t> front = frame.map.folders[0].index_page;
  return frame.page != nullptr && front && &frame.map.pages[*front] == frame.page;
}

void add_page_title(std::string& out, const frame_context& frame) {
  if (frame.page != nullptr) {
    add_text(out, frame.page->facts.title, frame.page->plain_title);
  } else {
    append_escaped(out, fs::path(frame.href).stem().native());
  }
}

void add_document_title(std::string& out, const frame_context& frame) {
  const std::string& site = frame.site.settings.title;
  if (site.empty() || !is_front_page(frame)) {
    add_page_title(out, frame);
  }
  if (!site.empty()) {
    out.append(is_front_page(frame) ? "" : " · ");
    append_escaped(out, site);
  }
}

// Appends a meta line; `content` appends its value.
template <typename Content>
void add_meta_by(std::string& out, std::string_view attribute, std::string_view name,
                 Content content) {
  out.append("  <meta ").append(attribute).append("=\"").append(name).append("\" content=\"");
  content(out);
  out.append("\">\n");
}

void add_meta(std::string& out, std::string_view attribute, std::string_view name,
              std::string_view content) {
  add_meta_by(out, attribute, name, [&](std::string& to) { append_escaped(to, content); });
}

void add_sharing_lines(std::string& out, const frame_context& frame,
                       const std::string& description) {
  const site_settings& settings = frame.site.settings;
  if (settings.base_url.empty()) {
    return;
  }
  const std::string address = settings.base_url + std::string(frame.href);
  out.append("  <link rel=\"canonical\" href=\"");
  append_escaped(out, address);
  out.append("\">\n");
  add_meta_by(out, "property", "og:title", [&](std::string& to) { add_page_title(to, frame); });
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
  out.append("<!DOCTYPE html>\n<html lang=\"");
  append_escaped(out, settings.language);
  out.append(
      "\">\n<head>\n  <meta charset=\"UTF-8\">\n"
      "  <meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n  <title>");
  add_document_title(out, frame);
  out.append("</title>\n");
  const std::string& description = frame.page != nullptr && !frame.page->facts.description.empty()
                                       ? frame.page->facts.description
                                       : settings.description;
  if (!description.empty()) {
    add_meta(out, "name", "description", description);
  }
  add_sharing_lines(out, frame, description);
  add_meta(out, "name", "color-scheme", settings.theme == "auto" ? "light dark" : settings.theme);
  out.append("  <link rel=\"icon\" type=\"").append(icon.type).append("\" href=\"");
  out.append(frame.up).append(icon.name).append("\">\n");
  out.append("  <link rel=\"stylesheet\" href=\"").append(frame.up).append("main.css\">\n");
  if (!settings.stylesheet.empty()) {
    out.append("  <link rel=\"stylesheet\" href=\"");
    append_escaped(out, frame.up + fs::path(settings.stylesheet).generic_string());
    out.append("\">\n");
  }
  out.append("</head>\n<body class=\"site theme-").append(settings.theme).append("\">\n");
  out.append("  <a class=\"skip-link\" href=\"#content\">Skip to content</a>\n");
}

// Appends the link to page `to`, `levels` folders above the page's own, through the folder
// entry `through` when it stands for `to` in a level that does not hold it.
void add_href(std::string& out, const frame_context& frame, std::size_t levels,
              const site_folder* through, const site_page& to) {
  if (frame.page == nullptr) {
    append_escaped(out, relative_link(frame.href, to.href));
    return;
  }
  out.append(frame.up, 0, 3 * levels);
  if (through != nullptr) {
    add_text(out, through->name, through->plain_name);
    out += '/';
  }
  add_text(out, link_in_folder(frame.map, to), to.plain_href);
}

// Appends the link of an entry of the menu level at `depth`, or its name alone for a folder
// without an index page.
void add_entry_link(std::string& out, const frame_context& frame, const menu_entry& entry,
                    std::size_t depth) {
  const site_map& map = frame.map;
  const site_folder* folder = entry.is_folder ? &map.folders[entry.index] : nullptr;
  const std::optional<std::size_t> linked = folder ? folder->index_page : entry.index;
  if (!linked) {
    out.append("<span>");
    add_text(out, folder->name, folder->plain_name);
    out.append("</span>");
    return;
  }
  const site_page& to = map.pages[*linked];
  const std::size_t levels = frame.path.size() - 1 - depth;  // from the page up to the level
  const bool open =
      folder != nullptr && depth + 1 < frame.path.size() && frame.path[depth + 1] == entry.index;
  out.append("<a href=\"");
  if (open) {
    add_href(out, frame, levels - 1, nullptr, to);
  } else {
    add_href(out, frame, levels, folder, to);
  }
  out.append(&to == frame.marked ? "\" aria-current=\"page\">" : "\">");
  add_text(out, to.facts.title, to.plain_title);
  out.append("</a>");
}

// Appends one line of the menu level at `depth`: `before`, the entry's link and `after`.
void add_menu_line(std::string& out, const frame_context& frame, const menu_entry& entry,
                   std::size_t depth, std::string_view before, std::string_view after) {
  out.append(6 + 4 * depth, ' ').append(before);
  add_entry_link(out, frame, entry, depth);
  out.append(after);
}

// The entries of a long menu level that it shows: the window around the one on the current
// page's path.
std::pair<std::size_t, std::size_t> menu_window(const frame_context& frame, std::size_t depth) {
  const std::size_t shown = frame.map.folders[frame.path[depth]].shown.size();
  std::size_t center = depth + 1 < frame.path.size()
                           ? frame.map.folders[frame.path[depth + 1]].shown_at
                           : (frame.page != nullptr ? frame.page->shown_at : not_listed);
  center = center == not_listed ? 0 : center;
  const std::size_t before = menu_window_size / 2;
  const std::size_t first = std::min(center > before ? center - before : 0,
                                     shown > menu_window_size ? shown - menu_window_size : 0);
  return {first, std::min(shown, first + menu_window_size)};
}

// Writes the menu's level at `depth` and the open levels inside it; at `hole_depth` it writes
// nothing but notes in `hole` where that level belongs.
void add_menu_level(std::string& out, const frame_context& frame, std::size_t depth,
                    std::size_t hole_depth, std::size_t& hole) {
  if (depth == hole_depth) {
    hole = out.size();
    return;
  }
  const site_map& map = frame.map;
  const std::vector<menu_entry>& shown = map.folders[frame.path[depth]].shown;
  const std::size_t indent = 6 + 4 * depth;
  out.append(indent, ' ').append("<ul>\n");
  if (depth == 0 && map.folders[0].index_page) {
    add_menu_line(out, frame, {false, *map.folders[0].index_page}, depth, "  <li>", "</li>\n");
  }
  const auto [first, last] = menu_window(frame, depth);
  if (first > 0) {
    out.append(indent, ' ').append("  <li class=\"menu-more\">…</li>\n");
  }
  for (std::size_t at = first; at < last; ++at) {
    const menu_entry& entry = shown[at];
    const bool open =
        entry.is_folder && depth + 1 < frame.path.size() && frame.path[depth + 1] == entry.index;
    if (!entry.is_folder) {
      add_menu_line(out, frame, entry, depth, "  <li>", "</li>\n");
    } else if (!open) {
      add_menu_line(out, frame, entry, depth, "  <li class=\"menu-folder\">", "</li>\n");
    } else {
      add_menu_line(out, frame, entry, depth, "  <li class=\"menu-folder open\">", "\n");
      add_menu_level(out, frame, depth + 1, hole_depth, hole);
      out.append(indent, ' ').append("  </li>\n");
    }
  }
  if (last < shown.size()) {
    out.append(indent, ' ').append("  <li class=\"menu-more\">…</li>\n");
  }
  out.append(indent, ' ').append("</ul>\n");
}

// What the menus of a folder's pages share, but for its index page: the levels around the
// folder's own, and the lines of its own level with none marked as the current page. They are
// kept for the next page of the folder on the same thread: the pages of a folder come one after
// another.
struct shared_levels {
  std::uint64_t making = 0;
  std::size_t folder = 0;
  std::string before;
  std::string after;
  bool own_shown = false;            // the folder's own level has a place between them
  std::string own;                   // a line for each entry the own level shows
  std::vector<std::size_t> line_at;  // where each line of `own` starts, and where the last ends
  std::vector<std::size_t> mark_at;  // where the line of a page takes the current page's mark
};

void keep_levels(shared_levels& kept, const frame_context& frame) {
  const std::size_t own = frame.path.size() - 1;
  std::string around;
  std::size_t hole = not_listed;
  add_menu_level(around, frame, 0, own, hole);
  kept.own_shown = hole != not_listed;
  kept.before = around.substr(0, kept.own_shown ? hole : around.size());
  kept.after = around.substr(kept.before.size());
  frame_context unmarked = frame;
  unmarked.marked = nullptr;
  kept.own.clear();
  kept.line_at.clear();
  kept.mark_at.clear();
  for (const menu_entry& entry : frame.map.folders[frame.path.back()].shown) {
    const std::size_t start = kept.own.size();
    kept.line_at.push_back(start);
    add_menu_line(kept.own, unmarked, entry, own,
                  entry.is_folder ? "  <li class=\"menu-folder\">" : "  <li>", "</li>\n");
    kept.mark_at.push_back(entry.is_folder ? not_listed : kept.own.find("\">", start) + 1);
  }
  kept.line_at.push_back(kept.own.size());
  kept.making = frame.map.making.number;
  kept.folder = frame.path.back();
}

// Writes the page's own level of the menu from the kept lines, marking the page's own.
void add_own_level(std::string& out, const frame_context& frame, const shared_levels& kept) {
  const std::size_t depth = frame.path.size() - 1;
  const std::size_t indent = 6 + 4 * depth;
  out.append(indent, ' ').append("<ul>\n");
  if (depth == 0 && frame.map.folders[0].index_page) {
    add_menu_line(out, frame, {false, *frame.map.folders[0].index_page}, 0, "  <li>", "</li>\n");
  }
  const auto [first, last] = menu_window(frame, depth);
  if (first > 0) {
    out.append(indent, ' ').append("  <li class=\"menu-more\">…</li>\n");
  }
  std::size_t from = kept.line_at[first];
  if (const std::size_t at = frame.page->shown_at; at >= first && at < last) {
    out.append(kept.own, from, kept.mark_at[at] - from).append(" aria-current=\"page\"");
    from = kept.mark_at[at];
  }
  out.append(kept.own, from, kept.line_at[last] - from);
  if (last + 1 < kept.line_at.size()) {
    out.append(indent, ' ').append("  <li class=\"menu-more\">…</li>\n");
  }
  out.append(indent, ' ').append("</ul>\n");
}

void add_menu(std::string& out, const frame_context& frame) {
  const std::optional<std::size_t> index = frame.map.folders[frame.path.back()].index_page;
  if (frame.page == nullptr || frame.map.making.number == 0 ||
      (index && &frame.map.pages[*index] == frame.page)) {
    std::size_t no_hole = not_listed;
    add_menu_level(out, frame, 0, not_listed, no_hole);
    return;
  }
  thread_local shared_levels kept;
  if (kept.making != frame.map.making.number || kept.folder != frame.path.back()) {
    keep_levels(kept, frame);
  }
  out.append(kept.before);
  if (kept.own_shown) {
    add_own_level(out, frame, kept);
  }
  out.append(kept.after);
}

void add_header(std::string& out, const frame_context& frame) {
  const site_settings& settings = frame.site.settings;
  out.append("  <header class=\"site-header\">\n");
  if (!settings.title.empty()) {
    out.append("    <a class=\"site-title\" href=\"").append(frame.up).append("index");
    out.append(settings.page_extension).append("\">");
    append_escaped(out, settings.title);
    out.append("</a>\n");
  }
  if (settings.menu) {
    out.append(
        "    <input type=\"checkbox\" id=\"menu-toggle\" class=\"menu-toggle\" "
        "aria-label=\"Menu\">\n"
        "    <label for=\"menu-toggle\" class=\"menu-button\">Menu</label>\n"
        "    <nav class=\"site-menu\" aria-label=\"Site\">\n");
    add_menu(out, frame);
    out.append("    </nav>\n");
  }
  out.append("  </header>\n");
}

void add_breadcrumbs(std::string& out, const frame_context& frame) {
  if (!frame.site.settings.breadcrumbs || frame.page == nullptr || frame.path.size() < 2) {
    return;
  }
  const site_map& map = frame.map;
  out.append("  <nav class=\"breadcrumbs\" aria-label=\"Breadcrumb\">\n    <ol>");
  if (map.folders[0].index_page) {
    out.append("<li>");
    add_entry_link(out, frame, {false, *map.folders[0].index_page}, 0);
    out.append("</li>");
  }
  for (std::size_t depth = 1; depth < frame.path.size(); ++depth) {
    const std::optional<std::size_t> index = map.folders[frame.path[depth]].index_page;
    if (index && &map.pages[*index] == frame.page) {
      break;  // the page itself, the last crumb
    }
    out.append("<li>");
    add_entry_link(out, frame, {true, frame.path[depth]}, depth - 1);
    out.append("</li>");
  }
  out.append("<li aria-current=\"page\">");
  add_page_title(out, frame);
  out.append("</li></ol>\n  </nav>\n");
}

// Appends the link to the previous or next page, `to`, in the page's folder.
void add_turn_link(std::string& out, const frame_context& frame, std::string_view kind,
                   const site_page& to) {
  out.append("    <a class=\"page-").append(kind == "Previous" ? "prev" : "next");
  out.append("\" rel=\"").append(kind == "Previous" ? "prev" : "next").append("\" href=\"");
  add_href(out, frame, 0, nullptr, to);
  out.append("\">").append(kind).append(": ");
  add_text(out, to.facts.title, to.plain_title);
  out.append("</a>\n");
}

void add_page_turn(std::string& out, const frame_context& frame) {
  const site_page* page = frame.page;
  if (!frame.site.settings.page_turn || page == nullptr || !page->facts.menu) {
    return;
  }
  const std::vector<std::size_t>& turn = frame.map.folders[page->folder].turn;
  const std::size_t at = page->turn_at;
  if (at == not_listed || turn.size() < 2) {
    return;
  }
  out.append("  <nav class=\"page-turn\" aria-label=\"Previous and next\">\n");
  if (at > 0) {
    add_turn_link(out, frame, "Previous", frame.map.pages[turn[at - 1]]);
  }
  if (at + 1 < turn.size()) {
    add_turn_link(out, frame, "Next", frame.map.pages[turn[at + 1]]);
  }
  out.append("  </nav>\n");
}

void add_footer(std::string& out, const frame_context& frame) {
  const site_settings& settings = frame.site.settings;
  if (settings.footer_text.empty() && !settings.footer_date) {
    return;
  }
  out.append("  <footer class=\"site-footer\">");
  if (!settings.footer_text.empty()) {
    out.append("<p>");
    append_escaped(out, settings.footer_text);
    out.append("</p>");
  }
  if (settings.footer_date) {
    out.append("<p>Built on <time datetime=\"").append(frame.site.build_date).append("\">");
    out.append(frame.site.build_date).append("</time></p>");
  }
  out.append("</footer>\n");
}

}  // namespace

page_frame frame_page(const site_frame& site, std::string_view place, const page_icon& icon) {
  static const std::vector<std::size_t> top_only{0};
  const site_page* page = page_at(site.map, place);
  const std::string unknown_href =
      page != nullptr ? std::string() : page_place(site, place).generic_string();
  const std::string_view href = page != nullptr ? std::string_view(page->href) : unknown_href;
  std::string up;
  for (std::size_t slash = href.find('/'); slash != std::string_view::npos;
       slash = href.find('/', slash + 1)) {
    up += "../";
  }
  const std::vector<std::size_t>& path =
      page != nullptr ? site.map.folders[page->folder].lineage : top_only;
  const frame_context frame{site, site.map, page, page, href, std::move(up), path};
  page_frame framed;
  framed.head.reserve(4096);
  add_head(framed.head, frame, icon);
  add_header(framed.head, frame);
  add_breadcrumbs(framed.head, frame);
  framed.head.append("  <main id=\"content\" class=\"page\">\n");
  framed.foot.reserve(512);
  framed.foot.append("  </main>\n");
  add_page_turn(framed.foot, frame);
  add_footer(framed.foot, frame);
  framed.foot.append("</body>\n</html>\n");
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
