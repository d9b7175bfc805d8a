// orvello serve through the real program: it listens on a free port of 127.0.0.1 in a scratch
// folder, answers requests, rebuilds after edits and ends on SIGTERM with status 0.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "http_library.h"
#include "scratch_run.h"
#include "serve.h"
#include "site_lock.h"

namespace fs = std::filesystem;

namespace {

constexpr auto wait_limit = std::chrono::seconds(20);

int free_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

// A connection to the preview on 127.0.0.1 that gives up after the wait limit.
int connect_to(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const timeval limit{static_cast<time_t>(wait_limit.count()), 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

struct response {
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

response parse_response(const std::string& raw) {
  response parsed;
  const std::size_t end = raw.find("\r\n\r\n");
  if (raw.size() < 12 || end == std::string::npos) {
    return parsed;
  }
  parsed.status = std::stoi(raw.substr(9, 3));
  parsed.body = raw.substr(end + 4);
  for (std::size_t at = raw.find("\r\n") + 2; at < end;) {
    const std::size_t line_end = raw.find("\r\n", at);
    const std::string line = raw.substr(at, line_end - at);
    std::string name = line.substr(0, line.find(':'));
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    parsed.headers[name] = line.substr(line.find(':') + 2);
    at = line_end + 2;
  }
  return parsed;
}

// Sends `request` as it is and reads what comes back until the server closes (or the wait limit).
std::string exchange_raw(int port, const std::string& request) {
  const int fd = connect_to(port);
  if (fd < 0) {
    return {};
  }
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string raw;
  char buffer[65536];
  for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
    raw.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return raw;
}

// Sends `method target` as it is, byte for byte, and reads the answer to its end.
response fetch(int port, const std::string& target, const std::string& extra_headers = "",
               const std::string& method = "GET") {
  const int fd = connect_to(port);
  if (fd < 0) {
    return {};
  }
  const std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                              extra_headers + "Connection: close\r\n\r\n";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string raw;
  char buffer[65536];
  for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
    raw.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return parse_response(raw);
}

// Opens an event stream (for the page at `page` below site/, when given) and returns its socket
// once the first event has arrived (-1 if not).
int open_event_stream(int port, std::string& first_event, const std::string& page = "") {
  const int fd = connect_to(port);
  const std::string request = "GET /__orvello/reload" + (page.empty() ? "" : "?page=" + page) +
                              " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  char buffer[4096];
  for (ssize_t got; first_event.find("\n\n") == std::string::npos &&
                    (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
    first_event.append(buffer, static_cast<std::size_t>(got));
  }
  return first_event.find("\n\n") == std::string::npos ? -1 : fd;
}

// Reads from `fd` into `text` until `wanted` is in it, the stream ends or the wait limit passes.
bool read_until(int fd, std::string& text, const std::string& wanted) {
  const auto deadline = std::chrono::steady_clock::now() + wait_limit;
  char buffer[4096];
  while (text.find(wanted) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd out{fd, POLLIN, 0};
    if (poll(&out, 1, 100) > 0) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got <= 0) {
        break;
      }
      text.append(buffer, static_cast<std::size_t>(got));
    }
  }
  return text.find(wanted) != std::string::npos;
}

class ServeTest : public ScratchRun {
 protected:
  // Starts serve on a free port (0: the one it picks); true once it says where it serves.
  bool start_serve(std::vector<std::string> args = {}, int chosen_port = free_port()) {
    args.insert(args.begin(), {"serve", "--port", std::to_string(chosen_port)});
    server = start(with_args(args));
    const std::string serving = "Serving site/ at http://127.0.0.1:" +
                                (chosen_port == 0 ? "" : std::to_string(chosen_port));
    read_until(server.out_fd, console, serving);
    const std::size_t at = console.find(serving);
    if (at == std::string::npos) {
      return false;
    }
    port = std::stoi(console.substr(at + std::string("Serving site/ at http://127.0.0.1:").size()));
    return true;
  }

  // Stops serve with SIGTERM; its exit status, with the console kept in `console`.
  int stop_serve() {
    const run_result ended = finish(server, SIGTERM);
    console += ended.out;
    errors = ended.err;
    return ended.exit_status;
  }

  void TearDown() override {
    if (server.pid > 0) {
      finish(server, SIGKILL);
    }
    ScratchRun::TearDown();
  }

  started_run server;
  int port = 0;
  std::string console;
  std::string errors;
};

struct exchange {
  std::string target;
  std::string headers;  // extra request headers
  int status;
  std::string content_type;
  std::string body;              // the exact body, or "*" for any
  std::string header_line = "";  // "name: value" that must be in the answer, when given
};

TEST_F(ServeTest, AnswersFilesFoldersRangesAndRefusals) {
  write_project({{"index.orv", "@title\n@@text Home\n@end_title\n"},
                 {"docs/data.txt", "abcdefghijklmnopqrstuvw"},
                 {"docs/clip.webm", "webm"},
                 {"docs/logo.PNG", "png"},
                 {"docs/README", "no extension"},
                 {"docs/a b&<c>.txt", "odd"},
                 {"empty/.keep", ""}});
  write("secret.txt", "outside");
  ASSERT_TRUE(start_serve()) << console;
  fs::create_symlink(work / "secret.txt", work / "site/leak.txt");
  fs::create_symlink(work, work / "site/up");
  const std::string page = read("site/index.htm");
  const std::vector<exchange> table{
      {"/docs/data.txt", "", 200, "text/plain; charset=utf-8", "abcdefghijklmnopqrstuvw",
       "accept-ranges: bytes"},
      {"/docs/clip.webm", "", 200, "video/webm", "webm"},
      {"/docs/logo.PNG", "", 200, "image/png", "png"},
      {"/docs/README", "", 200, "application/octet-stream", "no extension"},
      {"/main.css", "", 200, "text/css; charset=utf-8", "*", "cache-control: no-store"},
      {"/docs/data.txt?v=1", "Range: bytes=2-5\r\n", 206, "text/plain; charset=utf-8", "cdef",
       "content-range: bytes 2-5/23"},
      {"/docs/data.txt", "Range: bytes=20-99\r\n", 206, "text/plain; charset=utf-8", "uvw",
       "content-range: bytes 20-22/23"},
      {"/docs/data.txt", "Range: bytes=-3\r\n", 206, "text/plain; charset=utf-8", "uvw"},
      {"/docs/data.txt", "Range: bytes=23-\r\n", 416, "", "", "content-range: bytes */23"},
      {"/docs/data.txt", "Range: bytes=0-1,4-5\r\n", 200, "text/plain; charset=utf-8",
       "abcdefghijklmnopqrstuvw"},
      {"/docs/data.txt", "Range: bytes=x\r\n", 200, "text/plain; charset=utf-8",
       "abcdefghijklmnopqrstuvw"},
      {"/docs/data.txt", "X-Not-Range: bytes=2-5\r\n", 200, "text/plain; charset=utf-8",
       "abcdefghijklmnopqrstuvw"},
      {"/docs/data.txt", "Range: bytes=0-99999999999999999999\r\n", 206,
       "text/plain; charset=utf-8", "abcdefghijklmnopqrstuvw", "content-range: bytes 0-22/23"},
      {"http://127.0.0.1/docs/data.txt", "", 200, "text/plain; charset=utf-8",
       "abcdefghijklmnopqrstuvw"},
      {"/docs", "", 301, "", "*", "location: /docs/"},
      {"/docs?a=1&b", "", 301, "", "*", "location: /docs/?a=1&b"},
      {"/empty/", "", 200, "text/html; charset=utf-8", "*"},
      {"/nothing.htm", "", 404, "text/html; charset=utf-8", "*"},
      {"/docs/data.txt/", "", 404, "text/html; charset=utf-8", "*"},
      {"/__orvello/other", "", 404, "text/html; charset=utf-8", "*"},
      {"/leak.txt", "", 404, "text/html; charset=utf-8", "*"},
      {"/up/secret.txt", "", 404, "text/html; charset=utf-8", "*"},
      {"/../secret.txt", "", 400, "text/plain; charset=utf-8", "*"},
      {"/docs/../../secret.txt", "", 400, "text/plain; charset=utf-8", "*"},
      {"/%2e%2e/secret.txt", "", 400, "text/plain; charset=utf-8", "*"},
      {"/%2E%2E%2Fsecret.txt", "", 400, "text/plain; charset=utf-8", "*"},
      {"/..%5csecret.txt", "", 400, "text/plain; charset=utf-8", "*"},
      {"/..\\secret.txt", "", 400, "text/plain; charset=utf-8", "*"},
      {"/docs/data.txt%00.png", "", 400, "text/plain; charset=utf-8", "*"},
      {"/C:/secret.txt", "", 400, "text/plain; charset=utf-8", "*"},
      {"/%zz", "", 400, "text/plain; charset=utf-8", "*"},
      {work.string() + "/secret.txt", "", 404, "text/html; charset=utf-8", "*"},
  };
  for (const exchange& row : table) {
    response answer = fetch(port, row.target, row.headers);
    EXPECT_EQ(row.status, answer.status) << row.target;
    if (!row.content_type.empty()) {
      EXPECT_EQ(row.content_type, answer.headers["content-type"]) << row.target;
    }
    if (row.body != "*") {
      EXPECT_EQ(row.body, answer.body) << row.target;
    }
    EXPECT_EQ(std::string::npos, answer.body.find("outside")) << row.target;
    if (!row.header_line.empty()) {
      const std::string name = row.header_line.substr(0, row.header_line.find(':'));
      EXPECT_EQ(row.header_line.substr(name.size() + 2), answer.headers[name]) << row.target;
    }
  }
  const response home = fetch(port, "/");
  EXPECT_EQ(page.substr(0, page.rfind("</body>")), home.body.substr(0, page.rfind("</body>")));
  EXPECT_NE(std::string::npos, home.body.find("/__orvello/reload"));
  EXPECT_EQ(std::string::npos, read("site/index.htm").find("__orvello"));
  EXPECT_FALSE(home.headers.contains("accept-ranges"));
  response head = fetch(port, "/docs/data.txt", "", "HEAD");
  EXPECT_EQ("23", head.headers["content-length"]);
  EXPECT_EQ("", head.body);
  const std::string listing = fetch(port, "/docs/").body;
  EXPECT_NE(std::string::npos,
            listing.find("<a href=\"a%20b%26%3Cc%3E.txt\">a b&amp;&lt;c&gt;.txt</a>"));
  EXPECT_NE(std::string::npos, listing.find("<a href=\"README\">README</a>"));
  EXPECT_EQ(0, stop_serve()) << errors;
}

TEST_F(ServeTest, ServesTheNewBytesAfterAnEditAndLeavesOutTheScriptOnRequest) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"--poll", "--no-reload"}}) {
    write_project({{"index.orv", "@title\n@@text Before\n@end_title\n"}});
    ASSERT_TRUE(start_serve(args)) << console;
    EXPECT_EQ(args.empty(), fetch(port, "/").body.find("__orvello") != std::string::npos);
    write_project({{"index.orv", "@title\n@@text After\n@end_title\n"}});
    const auto deadline = std::chrono::steady_clock::now() + wait_limit;
    while (fetch(port, "/index.htm").body.find("After") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_NE(std::string::npos, fetch(port, "/index.htm").body.find("After"));
    EXPECT_EQ(0, stop_serve()) << errors;
    EXPECT_NE(std::string::npos, console.find("Rebuilt (proj/index.orv) in ")) << console;
    console.clear();
  }
}

TEST_F(ServeTest, PrintsTheFindingsOfTheRebuiltPagesUnderTheRebuildsLine) {
  write_project({{"about.orv", "@title\n@end_title\n"}});
  ASSERT_TRUE(start_serve({"--no-reload"})) << console;
  write_project({{"about.orv", "@title\n@end_title\n@text\nx\n"}});
  const std::string finding =
      "\n  proj/about.orv:3:1: error: @text is never closed before the end of the file: the "
      "block is dropped from the page [unclosed-block]\n";
  EXPECT_TRUE(read_until(server.out_fd, console, finding)) << console;
  write_project({{"about.orv", "@title\n@end_title\n@text\nx\n@end_text\n"}});
  std::string fixed;
  EXPECT_TRUE(read_until(server.out_fd, fixed, " removed\n")) << fixed;
  EXPECT_EQ(0, stop_serve()) << errors;
  fixed += console.substr(console.find(finding) + finding.size());
  EXPECT_EQ(std::string::npos, fixed.find("[unclosed-block]")) << "fixed, it goes: " << fixed;
}

TEST_F(ServeTest, OpenPagesAreSentTheFindingsOfTheRebuiltPagesUntilFixed) {
  write_project({{"about.orv", "@title\n@end_title\n"}});
  ASSERT_TRUE(start_serve()) << console;
  EXPECT_NE(std::string::npos, fetch(port, "/about.htm").body.find("orvello-findings"));
  std::string events;
  const int stream = open_event_stream(port, events);
  ASSERT_NE(-1, stream);
  write_project({{"about.orv", "@title\n@end_title\n@text\nx\n"}});
  const std::string finding =
      "proj/about.orv:3:1: error: @text is never closed before the end of the file: the block is "
      "dropped from the page [unclosed-block]\n";
  EXPECT_TRUE(read_until(stream, events, "event: findings\ndata: 1\ndata: " + finding)) << events;
  EXPECT_TRUE(read_until(server.out_fd, console, "\n  " + finding)) << console;
  events.clear();
  write_project({{"about.orv", "@title\n@end_title\n@text\nx\n@end_text\n"}});
  EXPECT_TRUE(read_until(stream, events, "event: findings\ndata: 0\n\n"))
      << "fixed, it goes: " << events;
  close(stream);
  EXPECT_EQ(0, stop_serve()) << errors;
}

TEST_F(ServeTest, EachPageShowsItsOwnFindingsFromTheFirstBuildAndAfterItsLinksChange) {
  write_project({{"index.orv", "@link\n@@url img/forest.png\n@end_link\n"},
                 {"img/forest.png", "png"},
                 {"docs/about.orv", "@title\n@end_title\n@text\nx\n"},
                 {"quote\"'.orv", "@title\n@end_title\n"}});
  ASSERT_TRUE(start_serve()) << console;
  const std::string unclosed =
      "proj/docs/about.orv:3:1: error: @text is never closed before the end of the file: the "
      "block is dropped from the page [unclosed-block]\n";
  EXPECT_NE(std::string::npos, console.find("\n  " + unclosed + "Serving site/ at ")) << console;
  EXPECT_NE(std::string::npos,
            fetch(port, "/docs/about.htm").body.find("const page = \"docs/about.htm\";"));
  EXPECT_NE(std::string::npos,
            fetch(port, "/quote%22'.htm").body.find("const page = \"quote\\\"'.htm\";"));
  std::string about;
  std::string index;
  const int about_stream = open_event_stream(port, about, "docs/about.htm");
  const int index_stream = open_event_stream(port, index, "index.htm");
  ASSERT_NE(-1, about_stream);
  ASSERT_NE(-1, index_stream);
  EXPECT_TRUE(read_until(about_stream, about, "event: findings\ndata: 1\ndata: " + unclosed));
  EXPECT_TRUE(read_until(index_stream, index, "event: findings\ndata: 0\n\n")) << index;
  about.clear();
  write_project({{"docs/about.orv", "@title\n@end_title\n@text\nx\n@end_text\n"}});
  EXPECT_TRUE(read_until(about_stream, about, "event: findings\ndata: 0\n\n"))
      << "fixed, it goes: " << about;
  index.clear();
  fs::remove(work / "proj/img/forest.png");
  const std::string broken =
      "proj/index.orv:2:7: error: the link \"img/forest.png\" leads to nothing in the site: there "
      "is no proj/img/forest.png [broken-link]\n";
  EXPECT_TRUE(read_until(index_stream, index, "event: findings\ndata: 1\ndata: " + broken))
      << "a removed file breaks its linker: " << index;
  EXPECT_TRUE(read_until(server.out_fd, console, " removed\n  " + broken)) << console;
  close(about_stream);
  close(index_stream);
  EXPECT_EQ(0, stop_serve()) << errors;
}

TEST_F(ServeTest, TwentyEventStreamsLeavePagesServedAndAFailedBuildReachesThem) {
  write_project({{"index.orv", "@title\n@@text Home\n@end_title\n"}, {"index.htm/x", ""}});
  ASSERT_TRUE(start_serve()) << console;
  std::vector<int> streams;
  std::string first_event;
  for (int i = 0; i < 20; ++i) {
    first_event.clear();
    streams.push_back(open_event_stream(port, first_event));
    ASSERT_NE(-1, streams.back());
  }
  EXPECT_NE(std::string::npos,
            first_event.find("data: Error: Could not create output HTM site/index.htm\n"))
      << first_event;
  EXPECT_EQ(200, fetch(port, "/main.css").status);
  for (const int stream : streams) {
    close(stream);
  }
  EXPECT_EQ(0, stop_serve()) << errors;
}

TEST_F(ServeTest, UnusableSettingsAreAFailedBuildUntilMended) {
  write_project({{"index.orv", "@title\n@@text Home\n@end_title\n"}});
  write("orvello.toml", "[site]\ntitel = \"Notes\"\n");
  ASSERT_TRUE(start_serve()) << console;
  std::string first_event;
  const int stream = open_event_stream(port, first_event);
  EXPECT_NE(std::string::npos, first_event.find("data: orvello.toml:2:1: error: unknown key "
                                                "'titel' in [site]; did you mean 'title'?\n"))
      << first_event;
  close(stream);
  write("orvello.toml", "[site]\ntitle = \"Notes\"\n[pages]\nextension = \"html\"\n");
  const auto deadline = std::chrono::steady_clock::now() + wait_limit;
  while (fetch(port, "/").body.find("<title>Notes</title>") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_NE(std::string::npos, fetch(port, "/").body.find("<title>Notes</title>"));
  EXPECT_EQ(0, stop_serve()) << errors;
}

TEST_F(ServeTest, ATakenPortIsAnErrorBeforeAnythingIsBuilt) {
  write_project({{"index.orv", "@title\n@@text Home\n@end_title\n"}});
  const int taken = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(0, bind(taken, reinterpret_cast<sockaddr*>(&address), size));
  ASSERT_EQ(0, listen(taken, 1));
  getsockname(taken, reinterpret_cast<sockaddr*>(&address), &size);
  const std::string port_text = std::to_string(ntohs(address.sin_port));
  const run_result result = run(with_args({"serve", "--port", port_text}));
  close(taken);
  EXPECT_EQ(1, result.exit_status);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("orvello: port " + port_text +
                " on 127.0.0.1 is in use by another program: choose another with --port\n",
            result.err);
  EXPECT_FALSE(exists("site"));
}

TEST_F(ServeTest, RefusesWhatItWillNotReadAndAnswersPipelinedRequestsInOrder) {
  write_project({{"a.txt", "first"}, {"b.txt", "second"}});
  ASSERT_TRUE(start_serve({}, 0)) << console;
  const std::string post = exchange_raw(port, "POST /a.txt HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_TRUE(post.starts_with("HTTP/1.1 405 ")) << post;
  EXPECT_NE(std::string::npos, post.find("\r\nAllow: GET, HEAD\r\n")) << post;
  const std::string body =
      exchange_raw(port, "GET /a.txt HTTP/1.1\r\nHost: x\r\nContent-Length: 300000000\r\n\r\nxxxx");
  EXPECT_TRUE(body.starts_with("HTTP/1.1 413 ")) << body;
  const std::string pipelined =
      exchange_raw(port,
                   "GET /a.txt HTTP/1.1\r\nHost: x\r\n\r\nGET /b.txt HTTP/1.1\r\nHost: x\r\n\r\n"
                   "GET /a.txt HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  const std::size_t first = pipelined.find("\r\n\r\nfirst");
  const std::size_t second = pipelined.find("\r\n\r\nsecond");
  EXPECT_TRUE(first < second && pipelined.rfind("\r\n\r\nfirst") > second) << pipelined;
  const std::string old = exchange_raw(port, "GET /a.txt HTTP/1.0\r\n\r\n");
  EXPECT_NE(std::string::npos, old.find("\r\n\r\nfirst")) << old;
  EXPECT_EQ(std::string::npos, old.find("Keep-Alive")) << old;
  EXPECT_EQ(0, stop_serve()) << errors;
}

TEST_F(ServeTest, EndlessHeadersGet431AndTheConnectionCloses) {
  write_project({{"a.txt", "first"}});
  ASSERT_TRUE(start_serve()) << console;
  const int fd = connect_to(port);
  const std::string start = "GET /a.txt HTTP/1.1\r\nHost: x\r\n";
  send(fd, start.data(), start.size(), MSG_NOSIGNAL);
  std::string headers;
  for (int i = 0; i < 2000; ++i) {
    headers += "X-Filler: " + std::string(38, 'v') + "\r\n";
  }
  std::size_t sent = 0;  // up to 100 MB, while the server still reads
  while (sent < 100'000'000 && send(fd, headers.data(), headers.size(), MSG_NOSIGNAL) > 0) {
    sent += headers.size();
  }
  char answer[64] = {};
  EXPECT_GT(recv(fd, answer, sizeof answer - 1, 0), 0);
  EXPECT_TRUE(std::string(answer).starts_with("HTTP/1.1 431 ")) << answer;
  EXPECT_LT(sent, 100'000'000u);
  close(fd);
  EXPECT_EQ(0, stop_serve()) << errors;
}

TEST_F(ServeTest, ASecondServeInTheSameFolderIsRefusedAndTheFirstKeepsServing) {
  write_project({{"index.orv", "@title\n@@text Home\n@end_title\n"}});
  ASSERT_TRUE(start_serve()) << console;
  const run_result second = run(with_args({"serve", "--port", std::to_string(free_port())}));
  EXPECT_EQ(1, second.exit_status);
  EXPECT_EQ("", second.out);
  EXPECT_EQ("orvello: another orvello serve is running in this folder; stop it first\n",
            second.err);
  EXPECT_EQ(200, fetch(port, "/").status);
  EXPECT_EQ(0, run().exit_status);  // a plain run between rebuilds goes ahead
  write_project({{"index.orv", "@title\n@@text After\n@end_title\n"}});
  EXPECT_TRUE(read_until(server.out_fd, console, ", full\n")) << console;
  EXPECT_NE(std::string::npos, console.find("site/ was built by another run meanwhile")) << console;
  EXPECT_NE(std::string::npos, fetch(port, "/").body.find("After"));
  EXPECT_EQ(0, stop_serve()) << errors;
}

TEST_F(ServeTest, ARunWaitsForTheBuildUnderWayThenBuildsAsAFreshRunWould) {
  write_project({{"index.orv", "@title\n@@text Home\n@end_title\n"}, {"a/b.txt", "b"}});
  const run_result fresh = run();
  const std::vector<std::string> fresh_tree = tree(work / "site");
  fs::remove_all(work / "site");
  std::optional<held_lock> building(lock_site(work / "proj", site_use::build, std::cerr));
  started_run waiting = start();
  std::string err;
  EXPECT_TRUE(read_until(waiting.err_fd, err, "waiting for it to end\n")) << err;
  EXPECT_FALSE(exists("site"));
  building.reset();
  const run_result ended = finish(waiting);
  EXPECT_EQ(0, ended.exit_status) << ended.err;
  EXPECT_EQ("orvello: another orvello is building site/ here; waiting for it to end\n",
            err + ended.err);
  EXPECT_EQ(fresh.exit_status, ended.exit_status);
  EXPECT_EQ(fresh_tree, tree(work / "site"));
}

TEST(ServeHttpLibrary, ALibraryThatCannotServeIsNamedWithTheCause) {
  const struct {
    const char* library;
    std::string cause;
  } cases[] = {
      {"libnot-there.so.0", "could not be loaded (libnot-there.so.0: cannot open shared object"},
      {"libc.so.6", "lacks the function MHD_start_daemon"},
  };
  for (const auto& each : cases) {
    std::string error;
    EXPECT_FALSE(open_http_library(each.library, error));
    EXPECT_EQ(0u, error.find("cannot serve: the HTTP library " + std::string(each.library) + " " +
                             each.cause))
        << error;
  }
}

TEST(ServeWatchSettings, PollingWaitsBetweenScans) {
  serve_options options;
  options.poll = true;
  const watch_settings settings = watch_settings_of(options);
  EXPECT_TRUE(settings.poll);
  EXPECT_EQ("proj", settings.folder);
  EXPECT_GE(settings.poll_interval, std::chrono::milliseconds(100));
}

TEST_F(ServeTest, AMissingProjEndsServeWithTheRunsStatus) {
  const run_result built = run();
  const run_result served = run(with_args({"serve", "--port", std::to_string(free_port())}));
  EXPECT_EQ(built.exit_status, served.exit_status);
  EXPECT_EQ(built.err, served.err);
}

}  // namespace

TEST_F(ServeTest, RebuildsAPageWhenItsMarkdownFileChanges) {
  write("orvello.toml", "");
  write_project(
      {{"index.orv", "@markdown\n@@src notes.md\n@end_markdown\n"}, {"notes.md", "# Before\n"}});
  ASSERT_TRUE(start_serve()) << console;
  EXPECT_NE(std::string::npos, read("site/index.htm").find("<h1 id=\"before\">Before</h1>"));
  // Two edits one after the other: the second cannot ride on a rebuild that anything else began.
  for (const std::string heading : {"After", "Again"}) {
    write_project({{"notes.md", "# " + heading + " *all*\n"}});
    const std::string wanted =
        "<h1 id=\"" + std::string(heading == "After" ? "after" : "again") + "-all\">" + heading;
    const auto deadline = std::chrono::steady_clock::now() + wait_limit;
    while (read("site/index.htm").find(wanted) == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_NE(std::string::npos, read("site/index.htm").find(wanted)) << heading;
  }
  EXPECT_EQ(0, stop_serve()) << errors;
  EXPECT_NE(std::string::npos, console.find("Rebuilt (proj/notes.md) in ")) << console;
  if (HasFailure()) {  // which rebuilds ran, and what they said, tells why a wait above ran out
    ADD_FAILURE() << "serve's console:\n" << console << errors;
  }
}

// A rebuild warns as a run does when a page it compiles asks for colour from a highlighter that
// cannot be loaded (the program copied where it is not), and only once in the whole serve.
TEST_F(ServeTest, RebuildWarnsOnceWhenAPageAsksForColourWithoutTheHighlighter) {
  write("orvello.toml", "");
  write_project({{"index.orv", "@title\n@@text Home\n@end_title\n"}});
  const fs::path alone = root / "alone/bin/orvello";
  fs::create_directories(alone.parent_path());
  fs::copy_file(ORVELLO_BINARY, alone);
  run_options options = with_args({"serve", "--port", std::to_string(free_port())});
  options.program = alone;
  server = start(options);
  ASSERT_TRUE(read_until(server.out_fd, console, "Serving site/ at ")) << console;
  for (const std::string language : {"cpp", "python"}) {
    const std::string line = "line_in_" + language;
    write_project({{"index.orv", "@code\n@@language " + language + "\n" + line + "\n@end_code\n"}});
    const auto deadline = std::chrono::steady_clock::now() + wait_limit;
    while (read("site/index.htm").find(line) == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  EXPECT_EQ(0, stop_serve()) << errors;
  const std::string warning =
      "Warning: listings are not coloured: the highlighter could not be "
      "loaded (";
  const std::size_t first = errors.find(warning);
  EXPECT_NE(std::string::npos, first) << console << errors;
  EXPECT_EQ(std::string::npos, errors.find(warning, first + 1)) << errors;
  EXPECT_EQ(std::string::npos, console.find(warning)) << console;
}
