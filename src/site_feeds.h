// The files a host and feed readers look for in a site with an address: sitemap.xml with every
// page, and feed.xml, an Atom feed of the dated pages, newest first.
#pragma once

#include <string>

#include "page_frame.h"

// The text of sitemap.xml.
std::string sitemap_text(const site_frame& site);

// The text of feed.xml.
std::string feed_text(const site_frame& site);

// Writes both into `output` when the settings give the site's address; false, after an error
// line, when one cannot be written.
bool write_site_feeds(const std::string& output, const site_frame& site);
