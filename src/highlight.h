// Highlighting source text as HTML with CSS classes. The engine is a module of its own
// (orvello-highlight.so), opened the first time a language is looked up, so that a run whose
// pages highlight nothing never loads it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The engine's name of the language `name` means: a language name in any case ("c++", "Python")
// or a usual extension ("py", "js", "sh"); none when the engine knows no such language or cannot
// be loaded.
std::optional<std::string> find_language(std::string_view name);

// The engine's name of the language of a file, from its name ("hello.c", "main.css"); none when no
// language matches or the engine cannot be loaded.
std::optional<std::string> language_of_file(std::string_view file_name);

// Every language name the engine knows, sorted; empty when it cannot be loaded.
std::vector<std::string> known_languages();

// Each of `lines` as HTML, highlighted as `language` (a name that find_language or
// language_of_file gave): text escaped, tokens in spans whose class names their style ("hl-kw",
// "hl-str", "hl-com", ...). Empty when the engine cannot be loaded.
std::vector<std::string> highlight_lines(const std::string& language,
                                         std::span<const std::string> lines);

// As highlight_lines above, for lines seen through views.
std::vector<std::string> highlight_lines(const std::string& language,
                                         std::span<const std::string_view> lines);

// Why the engine could not be loaded, once it was tried and failed; empty otherwise.
std::string highlight_engine_error();

// The warning why listings are not coloured, for a page that looked a language up (`looked_up`)
// when the engine could not be loaded: given once per process, to the first such page that asks
// at its turn; else empty.
std::string highlight_failure_warning(bool looked_up);
