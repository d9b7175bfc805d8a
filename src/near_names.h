// Names near a mistyped one, for the "did you mean" of the check and of the settings file.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// The number of single-byte insertions, deletions, changes and swaps of neighbours that turn
// `a` into `b`.
std::size_t edit_distance(std::string_view a, std::string_view b);

// The first of `names` nearest to `typed` if it is near enough to be a slip of the fingers
// (one edit in a short name, two in a longer one); empty when none is.
std::string_view nearest_name(std::string_view typed, const std::vector<std::string_view>& names);
