// Pages sent with a script added to them, read piece by piece as they go out, so that a page of
// any size costs one buffer, not its size, in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// An open page and the script it is sent with, before its last "</body>" (at its end without).
struct injected_page {
  int fd = -1;             // the page, open for reading; its owner closes it
  std::uint64_t size = 0;  // of the page file
  std::uint64_t mark = 0;  // where in the page the script goes
  std::string script;
};

// Where the script goes in the page `fd` of `size` bytes: the offset of its last "</body>", or
// its size when it has none. Reads the page from its end in pieces until the tag is found.
std::uint64_t script_offset(int fd, std::uint64_t size);

// Copies up to `max` bytes of the page with its script, from `at` on, into `buffer`: how many, 0
// at the end, -1 when the page could not be read (it shrank or failed).
std::int64_t read_injected(const injected_page& page, std::uint64_t at, char* buffer,
                           std::size_t max);
