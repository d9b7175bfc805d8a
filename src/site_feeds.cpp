#include "site_feeds.h"

#include <algorithm>
#include <fstream>
#include <iostream>

#include "html_escape.h"

namespace fs = std::filesystem;

namespace {

bool forbidden_in_xml(char c) {
  return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// Appends `text` escaped for XML, without the control characters that XML 1.0 forbids even as
// entities.
void append_xml_text(std::string& out, std::string_view text) {
  if (std::none_of(text.begin(), text.end(), forbidden_in_xml)) {
    append_html_escaped(out, text, html_use::attribute);
    return;
  }
  std::string allowed(text);
  std::erase_if(allowed, forbidden_in_xml);
  append_html_escaped(out, allowed, html_use::attribute);
}

std::string xml_text(const std::string& text) {
  std::string escaped;
  append_xml_text(escaped, text);
  return escaped;
}

std::vector<const site_page*> dated_pages(const site_map& map) {
  std::vector<const site_page*> pages;
  for (const site_page& page : map.pages) {
    if (!page.facts.date.empty()) {
      pages.push_back(&page);
    }
  }
  std::stable_sort(pages.begin(), pages.end(), [](const site_page* a, const site_page* b) {
    return a->facts.date != b->facts.date ? a->facts.date > b->facts.date : a->href < b->href;
  });
  return pages;
}

void add_entry(std::string& out, const site_frame& site, const site_page& page) {
  const std::string address = xml_text(site.settings.base_url + page.href);
  out += "  <entry>\n";
  out += "    <title>" + xml_text(page.facts.title) + "</title>\n";
  out += "    <link href=\"" + address + "\"/>\n";
  out += "    <id>" + address + "</id>\n";
  out += "    <updated>" + page.facts.date + "T00:00:00Z</updated>\n";
  if (!page.facts.description.empty()) {
    out += "    <summary>" + xml_text(page.facts.description) + "</summary>\n";
  }
  out += "  </entry>\n";
}

bool write_file(const fs::path& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  file.close();
  if (file.fail()) {
    std::cerr << "Error: Could not write " << path.string() << "\n";
    return false;
  }
  return true;
}

}  // namespace

std::string sitemap_text(const site_frame& site) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
  const std::string base = xml_text(site.settings.base_url);
  for (const site_page& page : site.map.pages) {
    out.append("  <url><loc>").append(base);
    append_xml_text(out, page.href);
    out.append("</loc>");
    if (!page.facts.date.empty()) {
      out.append("<lastmod>").append(page.facts.date).append("</lastmod>");
    }
    out.append("</url>\n");
  }
  return out + "</urlset>\n";
}

std::string feed_text(const site_frame& site) {
  const std::vector<const site_page*> pages = dated_pages(site.map);
  const std::string& base = site.settings.base_url;
  const std::string title = site.settings.title.empty() ? base : site.settings.title;
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n";
  out += "  <title>" + xml_text(title) + "</title>\n";
  out += "  <link href=\"" + xml_text(base) + "\"/>\n";
  out += "  <link rel=\"self\" href=\"" + xml_text(base + "feed.xml") + "\"/>\n";
  out += "  <id>" + xml_text(base) + "</id>\n";
  out += "  <updated>" + (pages.empty() ? site.build_date : pages.front()->facts.date) +
         "T00:00:00Z</updated>\n";
  out += "  <author><name>" + xml_text(title) + "</name></author>\n";
  for (const site_page* page : pages) {
    add_entry(out, site, *page);
  }
  return out + "</feed>\n";
}

bool write_site_feeds(const std::string& output, const site_frame& site) {
  if (site.settings.base_url.empty()) {
    return true;
  }
  return write_file(fs::path(output) / "sitemap.xml", sitemap_text(site)) &&
         write_file(fs::path(output) / "feed.xml", feed_text(site));
}
