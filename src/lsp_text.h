// The text of an open buffer as the language server protocol addresses it: lines, and positions
// counted in UTF-16 code units, and file addresses ("file:///...") to paths and back.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The lines of `text`, each without its line feed and carriage return.
std::vector<std::string_view> buffer_lines(std::string_view text);

// The number of UTF-16 code units that the bytes of `line` up to `bytes` stand for.
std::size_t utf16_column(std::string_view line, std::size_t bytes);

// The byte offset in `line` of the UTF-16 column `column`, at most the end of the line.
std::size_t byte_column(std::string_view line, std::size_t column);

// The byte offset in `text` of a protocol position, at most the end of the text.
std::size_t text_offset(std::string_view text, std::size_t line, std::size_t column);

// The path of a "file://" address, percent-decoded; empty for any other scheme.
std::filesystem::path path_of_uri(std::string_view uri);

// The "file://" address of an absolute `path`, percent-encoded.
std::string uri_of_path(const std::filesystem::path& path);
