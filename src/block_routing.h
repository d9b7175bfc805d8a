// How the page compiler hands each line of a command file to a block kind: the ten kinds in
// routing order, each with its opening and closing line, its handler and its setting keys. The
// checker reads the same table, so that it routes lines exactly as a run does.
#pragma once

#include <ostream>
#include <span>
#include <string_view>

#include "block_lines.h"
#include "block_records.h"
#include "command_audio.h"
#include "command_code.h"
#include "command_download.h"
#include "command_image.h"
#include "command_link.h"
#include "command_markdown.h"
#include "command_pdf.h"
#include "command_text.h"
#include "command_title.h"
#include "command_video.h"
#include "page_context.h"
#include "prose_settings.h"

// One in-block flag per block kind, in routing order; all false when a command file starts.
struct block_flags {
  bool title = false;
  bool text = false;
  bool link = false;
  bool image = false;
  bool video = false;
  bool audio = false;
  bool pdf = false;
  bool download = false;
  bool code = false;
  bool markdown = false;

  bool operator==(const block_flags&) const = default;
};

// A block kind's handler: it takes each line that the router gives the kind, and keeps its
// settings in the records of `context`.
using block_handler = void (*)(std::string_view line, bool& in_block, page_context& context,
                               std::ostream& page);

// A block kind as the router sees it.
struct block_route {
  block_names names;
  bool block_flags::*in_block;
  block_handler handler;
  // The kind's keys under the run's prose settings, in the order they are tried.
  std::span<const setting_key> (*settings)(const prose_settings& prose);
  bool needs_settings;  // a kind of sites with settings only: elsewhere its lines are dropped
  // The lines the kind keeps in the records, where its handler puts each line inside its block that
  // opens, closes and sets nothing; null for a kind that keeps none.
  block_lines* (*lines)(block_records& records);
};

// The routing order: an earlier kind can open inside a later one, never the other way round.
inline constexpr block_route block_routes[] = {
    {title_block, &block_flags::title, command_title, title_settings, false, nullptr},
    {text_block, &block_flags::text, command_text, text_settings, false,
     record_field<&block_records::text, &text_template_config::lines>},
    {link_block, &block_flags::link, command_link, link_settings, false, nullptr},
    {image_block, &block_flags::image, command_image, image_settings, false, nullptr},
    {video_block, &block_flags::video, command_video, video_settings, false, nullptr},
    {audio_block, &block_flags::audio, command_audio, audio_settings, false, nullptr},
    {pdf_block, &block_flags::pdf, command_pdf, pdf_settings, false, nullptr},
    {download_block, &block_flags::download, command_download, download_settings, false, nullptr},
    {code_block, &block_flags::code, command_code, code_settings, false,
     record_field<&block_records::code, &code_template_config::lines>},
    {markdown_block, &block_flags::markdown, command_markdown, markdown_settings, true,
     record_field<&block_records::markdown, &markdown_template_config::lines>},
};

// The first kind whose block is open: the kind that takes a line that opens and closes none;
// nullptr when no block is open. The kinds of sites with settings count only when the prose
// settings of `context` are enabled.
inline const block_route* open_route(const block_flags& flags, const page_context& context) {
  for (const block_route& route : block_routes) {
    if (flags.*route.in_block && (!route.needs_settings || context.prose.enabled)) {
      return &route;
    }
  }
  return nullptr;
}

// The first block kind that opens, closes or holds open `line`; nullptr when no kind takes it. The
// kinds of sites with settings take lines only when the prose settings of `context` are enabled.
// Only a line with "@" at its front can open or close a block.
inline const block_route* route_of(std::string_view line, const block_flags& flags,
                                   const page_context& context) {
  if (!line.starts_with('@')) {
    return open_route(flags, context);
  }
  for (const block_route& route : block_routes) {
    if (route.needs_settings && !context.prose.enabled) {
      continue;
    }
    if (flags.*route.in_block || is_name(line, route.names.opening) ||
        is_name(line, route.names.closing)) {
      return &route;
    }
  }
  return nullptr;
}

// Hands `line` to the kind route_of() finds and returns its route; nullptr when no kind takes the
// line, which is then dropped.
inline const block_route* route_line(std::string_view line, block_flags& flags,
                                     page_context& context, std::ostream& page) {
  const block_route* route = route_of(line, flags, context);
  if (route != nullptr) {
    route->handler(line, flags.*route->in_block, context, page);
  }
  return route;
}
