// The fuzz target of the language server's message handling. An input is what a client writes to
// the server: messages framed by Content-Length headers, whole or broken. Each input is served
// by a fresh session whose buffers all stand for page.orv in a scratch folder, and every answer
// must be a framed JSON-RPC 2.0 message: a result or an error for a request, or a notification.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>

#include "block_records.h"
#include "generator.h"
#include "lsp_server.h"
#include "page_fuzzer.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

fs::path scratch;

[[noreturn]] void broken(std::string_view why, std::string_view answer) {
  std::cerr << "Broken answer: " << why << "\n" << answer.substr(0, 4096) << "\n";
  std::abort();
}

void check_answer(std::string_view body) {
  const json message = json::parse(body, nullptr, false);
  if (!message.is_object() || message.value("jsonrpc", "") != "2.0") {
    broken("not a JSON-RPC 2.0 object", body);
  }
  const bool answer =
      message.contains("id") && (message.contains("result") != message.contains("error"));
  const bool notification = !message.contains("id") && message.contains("method");
  if (!answer && !notification) {
    broken("neither an answer nor a notification", body);
  }
  if (message.contains("error") && !message["error"]["code"].is_number_integer()) {
    broken("an error without a code", body);
  }
}

// Every framed message of `out`; aborts when the framing is broken.
void check_answers(std::string_view out) {
  while (!out.empty()) {
    constexpr std::string_view header = "Content-Length: ";
    const std::size_t blank = out.find("\r\n\r\n");
    if (!out.starts_with(header) || blank == std::string_view::npos) {
      broken("an answer is not framed", out);
    }
    const std::size_t length = std::stoul(std::string(out.substr(header.size(), blank)));
    if (out.size() < blank + 4 + length) {
      broken("an answer is cut short", out);
    }
    check_answer(out.substr(blank + 4, length));
    out.remove_prefix(blank + 4 + length);
  }
}

// True when the input could make a text or code block read a file outside the scratch folder:
// an absolute name or one that climbs, written plainly or behind JSON's escapes.
bool may_name_a_file_outside(std::string_view input) {
  for (const std::string_view risky : {"..", "\\u", "\\/", "src /", "src\t/"}) {
    if (input.find(risky) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

void remove_scratch() {
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string folder = (fs::temp_directory_path() / "orvello-lsp-fuzz-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    std::cerr << "Cannot make a scratch folder below " << fs::temp_directory_path() << "\n";
    std::abort();
  }
  scratch = folder;
  fs::create_directory(scratch / "proj");
  std::atexit(remove_scratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (may_name_a_file_outside(input)) {
    return -1;
  }
  lsp_session session;
  session.open_page = [](const fs::path&) {
    lsp_page page;
    page.place = {scratch / "proj/page.orv", "page.orv"};
    page.project.input = scratch / "proj";
    page.project.resolved = scratch / "proj";
    page.project.extensions = command_file_extensions();
    return page;
  };
  std::istringstream in{std::string(input)};
  std::ostringstream out;
  serve_lsp(session, in, out);
  check_answers(out.str());
  return 0;
}
