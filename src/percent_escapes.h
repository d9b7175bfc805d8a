// Escapes of the form "%XX" in addresses: a byte written as two hexadecimal digits.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The byte that the escape at `at` of `text` stands for; nothing when no escape starts there ("%"
// followed by two hexadecimal digits).
std::optional<char> percent_escape_at(std::string_view text, std::size_t at);

// `text` with every escape replaced by its byte; a "%" that starts none stays as it is.
std::string percent_decoded(std::string_view text);
