// orvello lsp through the real binary: a scripted client writes a whole conversation to its
// standard input, and the test reads the framed answers back in order.
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "lsp_text.h"
#include "scratch_run.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string framed(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string framed(const json& message) {
  return framed(message.dump());
}

json request(int id, const std::string& method, const json& params = json::object()) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}};
}

json notice(const std::string& method, const json& params = json::object()) {
  return {{"jsonrpc", "2.0"}, {"method", method}, {"params", params}};
}

json at(const std::string& uri, int line, int character) {
  return {{"textDocument", {{"uri", uri}}},
          {"position", {{"line", line}, {"character", character}}}};
}

json opened(const std::string& uri, const std::string& text) {
  return notice("textDocument/didOpen",
                {{"textDocument",
                  {{"uri", uri}, {"languageId", "orvello"}, {"version", 1}, {"text", text}}}});
}

// The bodies of the framed messages in `out`, in order.
std::vector<json> answers(const std::string& out) {
  std::vector<json> messages;
  for (std::size_t at = 0; at < out.size();) {
    const std::size_t blank = out.find("\r\n\r\n", at);
    const std::string header = out.substr(at, blank - at);
    EXPECT_TRUE(header.starts_with("Content-Length: ")) << header;
    const std::size_t length = std::stoul(header.substr(16));
    messages.push_back(json::parse(out.substr(blank + 4, length)));
    at = blank + 4 + length;
  }
  return messages;
}

json range(int line, int start, int end) {
  return {{"start", {{"line", line}, {"character", start}}},
          {"end", {{"line", line}, {"character", end}}}};
}

// The codes and ranges of a publishDiagnostics notification.
std::vector<std::pair<std::string, json>> findings(const json& published) {
  std::vector<std::pair<std::string, json>> found;
  EXPECT_EQ("textDocument/publishDiagnostics", published.value("method", ""));
  for (const json& diagnostic : published["params"]["diagnostics"]) {
    found.emplace_back(diagnostic["code"], diagnostic["range"]);
  }
  return found;
}

std::vector<std::string> labels(const json& items) {
  std::vector<std::string> found;
  for (const json& item : items) {
    found.push_back(item["label"]);
  }
  return found;
}

class Lsp : public ScratchRun {
 protected:
  std::string uri_of(const std::string& below_work) const {
    return uri_of_path(fs::canonical(work) / below_work);
  }

  run_result converse(const std::vector<std::string>& messages) {
    run_options options = with_args({"lsp"});
    options.input = "";
    for (const std::string& message : messages) {
      *options.input += message;
    }
    return run(options);
  }
};

TEST_F(Lsp, ServesABufferFromOpenToShutdown) {
  write_project({{"page.orv", "the file on disk is not read\n"}, {"img/forest.png", ""}});
  const std::string uri = uri_of("proj/page.orv");
  const std::string text = "@image\n@@src img/forest.png\n@@width 50em\n@end_image\n@text\nx\n";
  const json end_text = {{"range", range(6, 0, 0)}, {"text", "@end_text\n"}};
  const run_result result = converse({
      framed(request(1, "initialize", {{"capabilities", json::object()}})),
      framed(notice("initialized")),
      framed(opened(uri, text)),
      framed(notice("textDocument/didChange", {{"textDocument", {{"uri", uri}, {"version", 2}}},
                                               {"contentChanges", {end_text}}})),
      framed(request(2, "textDocument/completion", at(uri, 2, 2))),
      framed(request(3, "textDocument/completion", at(uri, 7, 0))),
      framed(request(4, "textDocument/hover", at(uri, 2, 3))),
      framed(request(5, "textDocument/definition", at(uri, 1, 8))),
      framed(request(6, "shutdown")),
      framed(notice("exit")),
  });
  EXPECT_EQ(0, result.exit_status);
  const std::vector<json> out = answers(result.out);
  ASSERT_EQ(8u, out.size()) << result.out;
  EXPECT_EQ(1, out[0]["id"]);
  EXPECT_EQ(true, out[0]["result"]["capabilities"]["hoverProvider"]);
  using found = std::vector<std::pair<std::string, json>>;
  EXPECT_EQ((found{{"bad-length", range(2, 8, 12)}, {"unclosed-block", range(4, 0, 5)}}),
            findings(out[1]));
  EXPECT_EQ((found{{"bad-length", range(2, 8, 12)}}), findings(out[2]));
  EXPECT_EQ((std::vector<std::string>{"@@src", "@@url", "@@alt", "@@width", "@@height"}),
            labels(out[3]["result"]));
  EXPECT_EQ("default: \"auto\"", out[3]["result"][3]["detail"]);
  EXPECT_EQ((std::vector<std::string>{"@title", "@text", "@link", "@image", "@video", "@audio",
                                      "@pdf", "@download", "@code"}),
            labels(out[4]["result"]));
  const std::string hover = out[5]["result"]["contents"]["value"];
  EXPECT_NE(std::string::npos, hover.find("Default: `auto`.")) << hover;
  EXPECT_NE(std::string::npos, hover.find("Becomes `width: 50empx;`, which browsers drop"))
      << hover;
  EXPECT_EQ(uri_of("proj/img/forest.png"), out[6]["result"]["uri"]);
  EXPECT_EQ((json{{"jsonrpc", "2.0"}, {"id", 6}, {"result", nullptr}}), out[7]);
}

TEST_F(Lsp, CompletesThePageBlockOnlyInASiteWithSettings) {
  write_project({{"page.orv", ""}});
  write("orvello.toml", "");
  const std::string uri = uri_of("proj/page.orv");
  const run_result result = converse({
      framed(request(1, "initialize")),
      framed(opened(uri, "@page\n@@\n@end_page\n\n")),
      framed(request(2, "textDocument/completion", at(uri, 1, 2))),
      framed(request(3, "textDocument/completion", at(uri, 3, 0))),
      framed(request(4, "textDocument/hover", at(uri, 1, 1))),
      framed(request(5, "shutdown")),
      framed(notice("exit")),
  });
  const std::vector<json> out = answers(result.out);
  ASSERT_EQ(6u, out.size()) << result.out;
  EXPECT_EQ((std::vector<std::string>{"@@title", "@@description", "@@date", "@@order", "@@menu"}),
            labels(out[2]["result"]));
  EXPECT_EQ("default: \"true\"", out[2]["result"][4]["detail"]);
  EXPECT_EQ("@page", labels(out[3]["result"]).back());
  EXPECT_TRUE(out[4].contains("result")) << out[4];
}

TEST_F(Lsp, AnswersBadMessagesWithTheProtocolsErrors) {
  write_project({{"page.orv", ""}});
  const std::string uri = uri_of("proj/page.orv");
  const run_result result = converse({
      framed(request(1, "textDocument/hover", at(uri, 0, 0))),
      framed(request(2, "initialize")),
      framed(std::string("{\"jsonrpc\": \"2.0\", \"id\": 3, \"method\"")),
      framed(std::string("[1, 2]")),
      framed(request(4, "no/such/method")),
      framed(notice("no/such/notification")),
      framed(request(5, "textDocument/hover", {{"position", 7}})),
      "Content-Type: text/plain\r\n\r\n",
      framed(notice("exit")),
  });
  EXPECT_EQ(1, result.exit_status) << "exit without shutdown";
  const std::vector<json> out = answers(result.out);
  ASSERT_EQ(7u, out.size()) << result.out;
  const std::vector<std::pair<json, int>> expected = {{1, -32002},       {nullptr, -32700},
                                                      {nullptr, -32600}, {4, -32601},
                                                      {5, -32602},       {nullptr, -32700}};
  EXPECT_EQ(2, out[1]["id"]);
  for (std::size_t i = 0, answer = 0; i < expected.size(); ++i, ++answer) {
    answer += answer == 1 ? 1 : 0;  // the answer to initialize
    EXPECT_EQ(expected[i].first, out[answer]["id"]) << out[answer];
    EXPECT_EQ(expected[i].second, out[answer]["error"]["code"]) << out[answer];
  }
}

TEST_F(Lsp, StartsFromTheSettingsThatEarlierPagesLeave) {
  write_project({{"first.orv", "@image\n@@src gone.png\n@end_image\n"}, {"second.orv", ""}});
  bool first_is_earlier = false;
  for (const fs::directory_entry& entry : fs::directory_iterator(work / "proj")) {
    first_is_earlier = first_is_earlier || entry.path().filename() == "first.orv";
    if (entry.path().filename() == "second.orv") {
      break;
    }
  }
  const std::string uri = uri_of("proj/second.orv");
  const run_result result =
      converse({framed(request(1, "initialize")), framed(opened(uri, "@end_image\n")),
                framed(request(2, "shutdown")), framed(notice("exit"))});
  const std::vector<json> out = answers(result.out);
  ASSERT_EQ(3u, out.size()) << result.out;
  const std::string repeated = first_is_earlier ? "missing-source" : "empty-source";
  EXPECT_EQ((std::vector<std::pair<std::string, json>>{{"closing-without-opening", range(0, 0, 10)},
                                                       {repeated, range(0, 0, 10)}}),
            findings(out[1]));
}

}  // namespace
