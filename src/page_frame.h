// The frame of a site with settings around each page: the head, the header with the site menu,
// the breadcrumbs, and after the page the links to the previous and next page and the footer.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "site_map.h"
#include "site_settings.h"
#include "utils.h"

// What every page's frame is made from.
struct site_frame {
  site_settings settings;
  site_map map;
  std::string build_date;  // "2026-12-07", shown in the footer
};

// The HTML before and after the blocks of one page.
struct page_frame {
  std::string head;
  std::string foot;
};

// The frame of the page compiled from the command file at `place` below proj/, linking `icon`.
page_frame frame_page(const site_frame& site, std::string_view place, const page_icon& icon);

// The page's place below site/ for a command file's place below proj/.
std::filesystem::path page_place(const site_frame& site, const std::filesystem::path& place);

// The link from a page at `from` (below site/) to the file at `to` (below site/), relative.
std::string relative_link(std::string_view from, std::string_view to);
