#include "lsp_server.h"

#include <charconv>
#include <iostream>
#include <nlohmann/json.hpp>

#include "lsp_completion.h"
#include "lsp_definition.h"
#include "lsp_hover.h"
#include "lsp_text.h"

using nlohmann::json;

namespace {

// The protocol's error codes.
constexpr int parse_error = -32700;
constexpr int invalid_request = -32600;
constexpr int method_not_found = -32601;
constexpr int invalid_params = -32602;
constexpr int server_not_initialized = -32002;

constexpr std::size_t largest_message = std::size_t{64} << 20;

std::string response(const json& id, const json& result) {
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}.dump(
      -1, ' ', false, json::error_handler_t::replace);
}

std::string error_response(const json& id, int code, const std::string& message) {
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}}
      .dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string notification(const std::string& method, const json& params) {
  return json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump(
      -1, ' ', false, json::error_handler_t::replace);
}

json capabilities() {
  return {{"capabilities",
           {{"positionEncoding", "utf-16"},
            {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", true}}},
            {"completionProvider", {{"triggerCharacters", {"@"}}}},
            {"hoverProvider", true},
            {"definitionProvider", true}}},
          {"serverInfo", {{"name", "orvello"}}}};
}

std::string publish(const std::string& uri, const json& diagnostics) {
  return notification("textDocument/publishDiagnostics",
                      {{"uri", uri}, {"diagnostics", diagnostics}});
}

// Checks the document's text again and returns its findings to publish.
std::string recheck(const std::string& uri, lsp_document& document) {
  document.checked = check_buffer(document.page, document.text);
  return publish(uri, diagnostics_json(document.checked, document.text));
}

// Applies one entry of didChange's contentChanges: a whole text, or a range and its new text.
void apply_change(std::string& text, const json& change) {
  const std::string& replacement = change.at("text").get_ref<const std::string&>();
  if (!change.contains("range")) {
    text = replacement;
    return;
  }
  const json& range = change.at("range");
  const auto offset = [&](const json& position) {
    return text_offset(text, position.at("line").get<std::size_t>(),
                       position.at("character").get<std::size_t>());
  };
  const std::size_t start = offset(range.at("start"));
  const std::size_t end = std::max(start, offset(range.at("end")));
  text.replace(start, end - start, replacement);
}

// The notifications about buffers; anything else is dropped, as the protocol asks.
std::vector<std::string> handle_notification(lsp_session& session, const std::string& method,
                                             const json& params) {
  if (method == "exit") {
    session.exit_status = session.shutting_down ? 0 : 1;
    return {};
  }
  if (!session.initialized || session.shutting_down) {
    return {};
  }
  const std::string& uri = params.at("textDocument").at("uri").get_ref<const std::string&>();
  if (method == "textDocument/didOpen") {
    lsp_document& document = session.documents[uri];
    document.text = params.at("textDocument").at("text").get<std::string>();
    document.page = session.open_page(path_of_uri(uri));
    return {recheck(uri, document)};
  }
  const auto open = session.documents.find(uri);
  if (open == session.documents.end()) {
    return {};
  }
  if (method == "textDocument/didChange") {
    for (const json& change : params.at("contentChanges")) {
      apply_change(open->second.text, change);
    }
    return {recheck(uri, open->second)};
  }
  if (method == "textDocument/didSave") {  // other files may have changed with it
    open->second.page = session.open_page(path_of_uri(uri));
    return {recheck(uri, open->second)};
  }
  if (method == "textDocument/didClose") {
    session.documents.erase(open);
    return {publish(uri, json::array())};
  }
  return {};
}

// The answer to a request about a position in an open buffer.
json position_result(lsp_session& session, const std::string& method, const json& params) {
  const std::string& uri = params.at("textDocument").at("uri").get_ref<const std::string&>();
  const std::size_t line = params.at("position").at("line").get<std::size_t>();
  const std::size_t column = params.at("position").at("character").get<std::size_t>();
  const auto open = session.documents.find(uri);
  if (open == session.documents.end()) {
    return nullptr;
  }
  const lsp_document& document = open->second;
  if (method == "textDocument/completion") {
    return completion_items(document.text, document.checked, document.page.project.page_blocks,
                            line, column);
  }
  if (method == "textDocument/hover") {
    return hover_at(document.text, document.checked, line);
  }
  return definition_at(document.page, document.text, document.checked, line);
}

std::string handle_request(lsp_session& session, const json& id, const std::string& method,
                           const json& params) {
  if (method == "initialize") {
    session.initialized = true;
    return response(id, capabilities());
  }
  if (!session.initialized) {
    return error_response(id, server_not_initialized, "the server is not initialized");
  }
  if (session.shutting_down) {
    return error_response(id, invalid_request, "the server is shutting down");
  }
  if (method == "shutdown") {
    session.shutting_down = true;
    return response(id, nullptr);
  }
  if (method == "textDocument/completion" || method == "textDocument/hover" ||
      method == "textDocument/definition") {
    return response(id, position_result(session, method, params));
  }
  return error_response(id, method_not_found, "unknown method " + method);
}

}  // namespace

std::vector<std::string> handle_message(lsp_session& session, std::string_view body) {
  const json message = json::parse(body, nullptr, false);
  if (message.is_discarded()) {
    return {error_response(nullptr, parse_error, "the message is no JSON")};
  }
  const bool has_id = message.is_object() && message.contains("id");
  const json id = has_id ? message["id"] : json(nullptr);
  if (has_id && !id.is_string() && !id.is_number_integer()) {
    return {error_response(nullptr, invalid_request, "the id is neither a number nor a string")};
  }
  if (!message.is_object() || !message.contains("method") || !message["method"].is_string()) {
    if (has_id && (message.contains("result") || message.contains("error"))) {
      return {};  // a client's answer to a request this server never makes
    }
    return {error_response(id, invalid_request, "the message names no method")};
  }
  const std::string& method = message["method"].get_ref<const std::string&>();
  const json params = message.contains("params") ? message["params"] : json::object();
  try {
    return has_id ? std::vector<std::string>{handle_request(session, id, method, params)}
                  : handle_notification(session, method, params);
  } catch (const json::exception& error) {
    if (!has_id) {
      return {};
    }
    return {error_response(id, invalid_params, std::string("bad parameters: ") + error.what())};
  }
}

namespace {

// One framed message: its body, or why there is none.
struct framed {
  bool end = false;    // the input ended
  bool valid = false;  // the headers named a length that could be read
  std::string body;
};

std::optional<std::size_t> content_length(std::string_view header) {
  constexpr std::string_view name = "content-length:";
  if (header.size() < name.size()) {
    return std::nullopt;
  }
  for (std::size_t at = 0; at < name.size(); ++at) {
    if (std::tolower(static_cast<unsigned char>(header[at])) != name[at]) {
      return std::nullopt;
    }
  }
  std::string_view value = header.substr(name.size());
  value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
  std::size_t length = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
  if (error != std::errc() || end != value.data() + value.size()) {
    return std::nullopt;
  }
  return length;
}

framed read_framed(std::istream& in) {
  framed message;
  std::optional<std::size_t> length;
  bool any_header = false;
  std::string header;
  while (std::getline(in, header)) {
    if (header.ends_with('\r')) {
      header.pop_back();
    }
    if (header.empty()) {
      if (any_header) {
        break;
      }
      continue;  // blank lines between messages
    }
    any_header = true;
    length = length ? length : content_length(header);
  }
  if (!any_header) {
    message.end = true;
    return message;
  }
  if (length && *length > largest_message) {
    in.ignore(static_cast<std::streamsize>(*length));
    message.end = static_cast<std::size_t>(in.gcount()) != *length;
    return message;
  }
  if (!length) {
    return message;
  }
  message.body.resize(*length);
  in.read(message.body.data(), static_cast<std::streamsize>(*length));
  message.end = static_cast<std::size_t>(in.gcount()) != *length;
  message.valid = !message.end;
  return message;
}

void send(std::ostream& out, const std::string& body) {
  out << "Content-Length: " << body.size() << "\r\n\r\n" << body;
  out.flush();
}

}  // namespace

int serve_lsp(lsp_session& session, std::istream& in, std::ostream& out) {
  while (!session.exit_status) {
    const framed message = read_framed(in);
    if (message.end) {
      break;
    }
    if (!message.valid) {
      send(out, error_response(nullptr, parse_error,
                               "the message has no Content-Length header that can be used"));
      continue;
    }
    for (const std::string& answer : handle_message(session, message.body)) {
      send(out, answer);
    }
  }
  return session.exit_status.value_or(1);
}

int run_lsp() {
  lsp_session session;
  session.open_page = open_lsp_page;
  std::ios::sync_with_stdio(false);
  return serve_lsp(session, std::cin, std::cout);
}
