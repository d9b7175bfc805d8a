// The interface between the program and its highlighting module, orvello-highlight.so: plain C
// functions, so that nothing of the engine's libraries crosses into the program, which opens the
// module only when a page asks for a language.
#pragma once

#include <cstddef>

extern "C" {

// A piece of UTF-8 text.
struct orvello_text {
  const char* data;
  std::size_t size;
};

// Receives one piece of output; `context` is the caller's.
using orvello_text_sink = void (*)(void* context, orvello_text text);

// Calls `sink` with the name of every language the engine knows, in no set order.
using orvello_list_languages_fn = void (*)(orvello_text_sink sink, void* context);

// Calls `sink` once with the engine's name of the language that `name` means (a language name in
// any case, or a file name whose extension or pattern the engine knows, as `by_file_name` says);
// never when nothing matches.
using orvello_find_language_fn = void (*)(orvello_text name, int by_file_name,
                                          orvello_text_sink sink, void* context);

// Calls `sink` once per line of `lines` with that line as HTML: text escaped, each token in a
// span whose class names its style ("hl-kw", "hl-str", ...); a token state carries from line to
// line. `language` is a name that the find function gave.
using orvello_highlight_lines_fn = void (*)(orvello_text language, const orvello_text* lines,
                                            std::size_t count, orvello_text_sink sink,
                                            void* context);

// The exported names of the three functions.
inline constexpr const char* orvello_list_languages_symbol = "orvello_list_languages";
inline constexpr const char* orvello_find_language_symbol = "orvello_find_language";
inline constexpr const char* orvello_highlight_lines_symbol = "orvello_highlight_lines";
}
