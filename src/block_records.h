// The settings records of the nine block kinds and the PDF counter: the state that carries from
// one page to the next for the whole run, kept in one place so that it can be saved, compared and
// restored as a whole.
#pragma once

#include <cstdint>

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

// Everything a page starts from besides its own file: each kind's last settings (a closing line
// without an opening line repeats them) and the number of PDF blocks compiled so far.
struct block_records {
  title_template_config title;
  text_template_config text;
  link_template_config link;
  image_template_config image;
  video_template_config video;
  audio_template_config audio;
  pdf_template_config pdf;
  download_template_config download;
  code_template_config code;
  markdown_template_config markdown;
  std::int64_t pdf_counter = 0;

  bool operator==(const block_records&) const = default;
};

// The field `field` of the record `kind` in `records`: what a setting key fills.
template <auto kind, auto field>
auto* record_field(block_records& records) {
  return &(records.*kind.*field);
}

// Swaps between `a` and `b` the records of the kinds whose bits `kinds` sets, a bit per kind in
// the order of the fields above (the routing order).
void swap_kinds(block_records& a, block_records& b, std::uint32_t kinds);

// Copies the text of the lines that the kinds keep in `records` into the records, before the page
// whose text they see goes away.
void keep_lines(block_records& records);

// A digest of every field of `records`: equal records give equal digests, and different ones
// almost surely different digests, so that a page's start and end state can be remembered in
// eight bytes.
std::uint64_t records_digest(const block_records& records);
