// orvello lsp: a language server for command files over standard input and output. Messages are
// framed by a Content-Length header; each is handed to the server's features (findings,
// completion, hover, definition), and bad ones are answered with the protocol's errors.
#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checker.h"
#include "lsp_diagnostics.h"

// An open buffer: its text, its page in the project, and check's reading of the text.
struct lsp_document {
  std::string text;
  lsp_page page;
  checked_text checked;
};

// The state of one connection.
struct lsp_session {
  std::function<lsp_page(const std::filesystem::path& file)> open_page;  // the page of a buffer
  bool initialized = false;
  bool shutting_down = false;
  std::optional<int> exit_status;  // set by the exit notification
  std::map<std::string, lsp_document> documents;
};

// Handles the body of one message and returns the messages to send back, as JSON texts.
std::vector<std::string> handle_message(lsp_session& session, std::string_view body);

// Reads framed messages from `in` and answers them on `out` until the exit notification or the
// end of `in`; returns the exit status: 0 after shutdown and exit, else 1.
int serve_lsp(lsp_session& session, std::istream& in, std::ostream& out);

// Serves standard input and output, with the pages of buffers read from disk.
int run_lsp();
