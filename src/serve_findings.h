// The findings of orvello check that a serve session keeps for the files of proj/ between builds,
// with the places of the site that each page's addresses name, so that after a rebuild only the
// pages it compiled and the pages whose links it changed are looked at again.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "checker.h"
#include "site_rebuild.h"

struct site_frame;

// What the session knows of the findings, by file as the walk names it ("proj/about.orv").
struct kept_findings {
  project_folder project;  // as the last look read it; its `walked` kept up to date
  std::map<std::string, std::vector<std::string>> lines;  // check's lines, of files with any
  std::map<std::string, std::vector<std::string>> named;  // the places each file's pages name
  std::map<std::string, std::set<std::string>> linkers;   // by place: the files that name it
  std::map<std::string, bool> held;                       // by place: the site held it then
};

// Checks all of proj/ as orvello check does, keeps what it finds in place of what `kept` held,
// and returns the findings' lines in check's order.
std::vector<std::string> find_everything(kept_findings& kept);

// Prepares a rebuild after the watcher reported `changed`: forgets the files that went, checks
// the other files that are no pages, and returns the looks to hand to rebuild_site, which check
// the pages it compiles and those whose addresses name a place that came or went. The lines of
// every file looked at are appended to `found`, in the order they are looked at.
page_looks looks_for_rebuild(kept_findings& kept, const std::vector<std::filesystem::path>& changed,
                             std::vector<std::string>& found);

// The kept findings by page, keyed by the page's place below site/ ("docs/guide.htm"), for a site
// framed by `frame` (null without settings).
std::map<std::string, std::vector<std::string>> findings_by_page(const kept_findings& kept,
                                                                 const site_frame* frame);
