#include "preview_server.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string_view>
#include <utility>

#include "byte_range.h"
#include "http_library.h"
#include "page_injection.h"
#include "request_path.h"
#include "utils.h"

namespace fs = std::filesystem;

namespace {

// One thread serves every connection; a slow or idle client costs a socket and at most the
// memory limit, and is closed after the idle time. An event stream waits suspended, costing
// nothing until there is news or a heartbeat, which finds the pages that went away.
constexpr std::size_t max_event_streams = 64;
constexpr auto heartbeat = std::chrono::seconds(15);
constexpr unsigned idle_seconds = 10;
constexpr std::size_t connection_memory = 64 * 1024;
constexpr std::size_t most_connections = 4096;
constexpr std::size_t descriptors_kept = 256;  // for the rebuilds and the files being sent
constexpr std::size_t send_block = 32 * 1024;
constexpr int ports_to_try = 50;
constexpr std::string_view reload_path = "__orvello/reload";
constexpr std::string_view reserved_folder = "__orvello/";

// Page script: the text between the quotes of `token` is replaced by the build the page shows.
constexpr std::string_view reload_script = R"(<script>
/* Added by orvello serve, not part of the site: reloads the page after each rebuild. */
(() => {
  const token = '@TOKEN@';
  const page = "@PAGE@";
  let source = null;
  let delay = 250;
  function overlay(text) {
    let box = document.getElementById('orvello-problems');
    if (!text) {
      if (box) box.remove();
      return;
    }
    if (!box) {
      box = document.createElement('pre');
      box.id = 'orvello-problems';
      box.style.cssText = 'position:fixed;left:1em;right:1em;bottom:1em;z-index:2147483647;' +
        'margin:0;padding:1em;max-height:50vh;overflow:auto;white-space:pre-wrap;' +
        'background:#fff0f0;color:#600;border:2px solid #c00;font:14px/1.4 monospace';
      document.body.appendChild(box);
    }
    box.textContent = 'The rebuild failed; this is the last good page.\n\n' + text;
  }
  function panel(lines) {
    let box = document.getElementById('orvello-findings');
    if (box) box.remove();
    if (!lines.length) return;
    box = document.createElement('div');
    box.id = 'orvello-findings';
    box.style.cssText = 'position:fixed;right:1em;top:1em;z-index:2147483646;max-width:40em;' +
      'max-height:40vh;overflow:auto;margin:0;padding:.5em 2.2em .5em .75em;white-space:pre-wrap;' +
      'background:#fffbe6;color:#5c4400;border:1px solid #d9a400;font:13px/1.4 monospace';
    const close = document.createElement('button');
    close.textContent = '\u00d7';
    close.title = 'Dismiss';
    close.style.cssText = 'position:absolute;top:.2em;right:.3em;border:0;background:none;' +
      'color:inherit;font:16px monospace;cursor:pointer';
    close.onclick = () => box.remove();
    const text = document.createElement('div');
    text.textContent = lines.join('\n');
    box.append(close, text);
    document.body.appendChild(box);
  }
  function connect() {
    if (source || document.visibilityState === 'hidden') return;
    source = new EventSource('/__orvello/reload?page=' + encodeURIComponent(page));
    source.addEventListener('state', (event) => {
      delay = 250;
      const [now, ...problems] = event.data.split('\n');
      if (problems.length) overlay(problems.join('\n'));
      else if (now !== token) location.reload();
      else overlay('');
    });
    source.addEventListener('findings', (event) => panel(event.data.split('\n').slice(1)));
    source.onerror = () => {
      source.close();
      source = null;
      setTimeout(connect, delay);
      delay = Math.min(delay * 2, 5000);
    };
  }
  // A hidden tab lets its stream go, so that many tabs do not hold many connections; it catches
  // up when shown again.
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState !== 'hidden') return connect();
    if (source) source.close();
    source = null;
  });
  connect();
})();
</script>
)";

struct event_stream;

// What the event streams tell the pages, and the streams open now.
struct build_news {
  std::mutex mutex;
  std::condition_variable stopped;
  std::uint64_t version = 0;  // counts announcements
  std::string token;          // the server's start and its count of good builds
  std::vector<std::string> problems;
  build_findings findings;  // orvello check's lines: of the last build, and by page
  bool stopping = false;
  std::set<event_stream*> streams;
};

// One open page's event stream: it sends what it has, then waits suspended until woken.
struct event_stream {
  build_news& news;
  MHD_Connection* connection;
  std::uint64_t seen = UINT64_MAX;
  bool suspended = false;
  bool beat = false;    // a heartbeat is due
  std::string pending;  // what is yet to be sent of the last message
  std::string page;     // the place below site/ of the page that opened it, if it said
};

}  // namespace

struct preview_server {
  preview_settings settings;
  int listen_fd = -1;
  int port = 0;
  std::string instance;
  std::uint64_t good_builds = 0;
  build_news news;
};

void preview_closer::operator()(preview_server* server) const {
  if (server->listen_fd >= 0) {
    close(server->listen_fd);
  }
  delete server;
}

namespace {

// A descriptor closed at the end of its scope unless released.
struct owned_fd {
  int fd = -1;
  explicit owned_fd(int descriptor) : fd(descriptor) {}
  owned_fd(const owned_fd&) = delete;
  owned_fd& operator=(const owned_fd&) = delete;
  ~owned_fd() {
    if (fd >= 0) {
      close(fd);
    }
  }
  int release() { return std::exchange(fd, -1); }
};

std::string content_type_of(const std::string& path) {
  static const std::vector<std::pair<std::string_view, std::string_view>> types{
      {".htm", "text/html; charset=utf-8"},
      {".html", "text/html; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},
      {".svg", "image/svg+xml"},
      {".ico", "image/x-icon"},
      {".webp", "image/webp"},
      {".webm", "video/webm"},
      {".mp4", "video/mp4"},
      {".ogg", "audio/ogg"},
      {".mp3", "audio/mpeg"},
      {".wav", "audio/wav"},
      {".pdf", "application/pdf"},
      {".txt", "text/plain; charset=utf-8"},
  };
  const std::size_t slash = path.rfind('/');
  std::string extension(file_extension(slash == std::string::npos ? path : path.substr(slash + 1)));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& [known, type] : types) {
    if (extension == known) {
      return std::string(type);
    }
  }
  return "application/octet-stream";
}

bool is_page(const std::string& type) {
  return type.starts_with("text/html");
}

// Every byte but the unreserved ones as %XX, so that a name is one safe path segment.
std::string percent_encoded(std::string_view path) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string encoded;
  for (const unsigned char c : path) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += digits[c >> 4];
      encoded += digits[c & 15];
    }
  }
  return encoded;
}

// The reload script as the page at `page` below site/ carries it now, or nothing without
// reloading.
std::string current_script(preview_server& server, const std::string& page) {
  if (!server.settings.reload) {
    return {};
  }
  std::string script(reload_script);
  script.replace(script.find("@PAGE@"), 6, javascript_string_escape(page));
  std::lock_guard lock(server.news.mutex);
  script.replace(script.find("@TOKEN@"), 7, server.news.token);
  return script;
}

// The HTTP library's functions, which open_preview opened before any of these can run.
const http_library& http() {
  std::string unused;
  return *preview_http_library(unused);
}

// --- Answers -----------------------------------------------------------------------------------

using header_list = std::vector<std::pair<std::string, std::string>>;

// Sends `response` with `status`, the headers every answer carries and `headers`.
MHD_Result send_answer(MHD_Connection* connection, int status, MHD_Response* response,
                       const header_list& headers = {}) {
  if (response == nullptr) {
    return MHD_NO;
  }
  http().add_response_header(response, "Cache-Control", "no-store");
  http().add_response_header(response, "X-Content-Type-Options", "nosniff");
  for (const auto& [name, value] : headers) {
    http().add_response_header(response, name.c_str(), value.c_str());
  }
  const MHD_Result queued =
      http().queue_response(connection, static_cast<unsigned>(status), response);
  http().destroy_response(response);
  return queued;
}

MHD_Result send_text(MHD_Connection* connection, int status, std::string_view text,
                     const std::string& type, header_list headers = {}) {
  MHD_Response* response = http().create_response_from_buffer(
      text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
  headers.emplace_back("Content-Type", type);
  return send_answer(connection, status, response, headers);
}

// A page of our own (a listing, a 404), with the reload script before its "</body>".
MHD_Result send_page(preview_server& server, MHD_Connection* connection, int status,
                     const std::string& title, const std::string& body) {
  return send_text(connection, status,
                   "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n  <meta charset=\"UTF-8\">\n"
                   "  <title>" +
                       html_escape(title) + "</title>\n</head>\n<body>\n" + body +
                       current_script(server, "") + "</body>\n</html>\n",
                   "text/html; charset=utf-8");
}

MHD_Result send_not_found(preview_server& server, MHD_Connection* connection,
                          const std::string& path) {
  return send_page(server, connection, 404, "Not found",
                   "<h1>Not found</h1>\n<p>There is no /" + html_escape(path) + " in site/.</p>\n");
}

MHD_Result send_bad_request(MHD_Connection* connection) {
  return send_text(connection, 400, "Bad request\n", "text/plain; charset=utf-8");
}

// Opens `path` below site/ read-only; nothing unless the open file lies below site/ once every
// link is resolved (the descriptor is checked, not the name, so a link swapped in between the
// check and the open cannot lead out).
std::optional<int> open_below_site(const preview_server& server, const std::string& path) {
  std::error_code error;
  const fs::path site = fs::canonical(server.settings.site, error);
  if (error) {
    return std::nullopt;
  }
  const fs::path name = path.empty() ? site : site / path;
  const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    return std::nullopt;
  }
  const fs::path opened = fs::read_symlink(fs::path("/proc/self/fd") / std::to_string(fd), error);
  const std::string top = site.native();
  const std::string real = opened.native();
  if (error || !(real == top || (real.starts_with(top) && real[top.size()] == '/'))) {
    close(fd);
    return std::nullopt;
  }
  return fd;
}

// The listing of the open folder `folder`, read through its descriptor, which was checked.
std::string listing_of(const owned_fd& folder, const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::path("/proc/self/fd") / std::to_string(folder.fd), error)) {
    names.push_back(entry.path().filename().string() + (entry.is_directory(error) ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  std::string items = path.empty() ? "" : "  <li><a href=\"../\">../</a></li>\n";
  for (const std::string& name : names) {
    items += "  <li><a href=\"" + percent_encoded(name) + "\">" + html_escape(name) + "</a></li>\n";
  }
  return "<h1>Index of /" + html_escape(path.empty() ? path : path + "/") + "</h1>\n<ul>\n" +
         items + "</ul>\n";
}

ssize_t read_page(void* page, std::uint64_t at, char* buffer, std::size_t max) {
  const std::int64_t got = read_injected(*static_cast<injected_page*>(page), at, buffer, max);
  return got == 0  ? MHD_CONTENT_READER_END_OF_STREAM
         : got < 0 ? MHD_CONTENT_READER_END_WITH_ERROR
                   : static_cast<ssize_t>(got);
}

void free_page(void* page) {
  auto* sent = static_cast<injected_page*>(page);
  close(sent->fd);
  delete sent;
}

// A page with the reload script, streamed from its open file with the script spliced in.
MHD_Result send_injected(preview_server& server, MHD_Connection* connection, owned_fd& file,
                         std::uint64_t size, const std::string& type, const std::string& path) {
  auto* page =
      new injected_page{file.fd, size, script_offset(file.fd, size), current_script(server, path)};
  MHD_Response* response = http().create_response_from_callback(
      size + page->script.size(), send_block, read_page, page, free_page);
  if (response == nullptr) {
    delete page;
    return MHD_NO;
  }
  file.release();
  return send_answer(connection, 200, response, {{"Content-Type", type}});
}

// `length` bytes of the open file from `first`, sent by the kernel from the descriptor.
MHD_Result send_file_part(MHD_Connection* connection, int status, owned_fd& file,
                          std::uint64_t first, std::uint64_t length, header_list headers) {
  MHD_Response* response =
      length == 0 ? http().create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT)
                  : http().create_response_from_fd_at_offset64(length, file.fd, first);
  if (response != nullptr && length != 0) {
    file.release();
  }
  return send_answer(connection, status, response, headers);
}

MHD_Result send_file(preview_server& server, MHD_Connection* connection, owned_fd& file,
                     std::uint64_t size, const std::string& path) {
  const std::string type = content_type_of(path);
  if (server.settings.reload && is_page(type)) {  // the script moves every byte after it
    return send_injected(server, connection, file, size, type, path);
  }
  const char* header = http().lookup_connection_value(connection, MHD_HEADER_KIND, "Range");
  header_list headers{{"Accept-Ranges", "bytes"}, {"Content-Type", type}};
  if (header == nullptr) {
    return send_file_part(connection, 200, file, 0, size, headers);
  }
  const std::optional<byte_range> range = requested_range(header, size);
  if (!range.has_value()) {
    return send_file_part(connection, 200, file, 0, size, headers);
  }
  const byte_range part = range.value();
  if (part.length == 0) {
    headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
    return send_file_part(connection, 416, file, 0, 0, headers);
  }
  headers.emplace_back("Content-Range", "bytes " + std::to_string(part.first) + "-" +
                                            std::to_string(part.first + part.length - 1) + "/" +
                                            std::to_string(size));
  return send_file_part(connection, 206, file, part.first, part.length, headers);
}

// The query of `target` with its "?", or nothing.
std::string query_of(std::string_view target) {
  target = target.substr(0, target.find('#'));
  const std::size_t mark = target.find('?');
  return mark == std::string_view::npos ? std::string() : std::string(target.substr(mark));
}

MHD_Result send_folder(preview_server& server, MHD_Connection* connection,
                       const std::string& target, const request_path& mapped,
                       const owned_fd& folder) {
  if (!mapped.folder) {  // relative links in the folder's page need the slash
    const std::string location = "/" + percent_encoded(mapped.path) + "/" + query_of(target);
    return send_text(connection, 301, "", "text/plain; charset=utf-8", {{"Location", location}});
  }
  for (const char* name : {"index.htm", "index.html"}) {  // as a site's settings name pages
    const std::string index = mapped.path.empty() ? name : mapped.path + "/" + name;
    if (const std::optional<int> fd = open_below_site(server, index)) {
      owned_fd file(*fd);
      struct stat status {};
      if (fstat(file.fd, &status) == 0 && S_ISREG(status.st_mode)) {
        return send_file(server, connection, file, static_cast<std::uint64_t>(status.st_size),
                         index);
      }
    }
  }
  return send_page(server, connection, 200, "Index of /" + mapped.path,
                   listing_of(folder, mapped.path));
}

// --- Event streams -----------------------------------------------------------------------------

// Each line of `lines` as a data line of an event.
std::string data_lines(const std::vector<std::string>& lines) {
  std::string data;
  for (const std::string& line : lines) {
    std::string_view rest = line;
    for (std::size_t end; (end = rest.find_first_of("\r\n")) != std::string_view::npos;) {
      data += "data: " + std::string(rest.substr(0, end)) + "\n";
      rest = rest.substr(end + 1);
    }
    data += "data: " + std::string(rest) + "\n";
  }
  return data;
}

// The state event, then the findings event, whose first line counts the findings so that it is
// never empty (an event without data would not reach the page).
std::string event_of(const build_news& news, const std::string& page) {
  static const std::vector<std::string> none;
  const auto own = news.findings.by_page.find(page);
  const std::vector<std::string>& findings = page.empty() ? news.findings.printed
                                             : own == news.findings.by_page.end() ? none
                                                                                  : own->second;
  return "event: state\ndata: " + news.token + "\n" + data_lines(news.problems) +
         "\nevent: findings\ndata: " + std::to_string(findings.size()) + "\n" +
         data_lines(findings) + "\n";
}

// Gives what a stream has to send: the news, a heartbeat, or nothing yet, in which case the
// stream is suspended until wake_streams. Runs on the server's thread.
ssize_t read_events(void* cls, std::uint64_t, char* buffer, std::size_t max) {
  event_stream& stream = *static_cast<event_stream*>(cls);
  build_news& news = stream.news;
  std::lock_guard lock(news.mutex);
  if (stream.pending.empty()) {
    if (news.stopping) {
      return MHD_CONTENT_READER_END_OF_STREAM;
    }
    if (news.version != stream.seen) {
      stream.pending = event_of(news, stream.page);
      stream.seen = news.version;
    } else if (stream.beat) {
      stream.pending = ": heartbeat\n\n";
    } else {
      stream.suspended = true;
      http().suspend_connection(stream.connection);
      return 0;
    }
    stream.beat = false;
  }
  const std::size_t length = std::min(max, stream.pending.size());
  std::memcpy(buffer, stream.pending.data(), length);
  stream.pending.erase(0, length);
  return static_cast<ssize_t>(length);
}

void free_stream(void* cls) {
  auto* stream = static_cast<event_stream*>(cls);
  {
    std::lock_guard lock(stream->news.mutex);
    stream->news.streams.erase(stream);
  }
  delete stream;
}

// Resumes every suspended stream, so that it sends what is new; with the news mutex held.
void wake_streams(build_news& news, bool beat) {
  for (event_stream* stream : news.streams) {
    stream->beat = stream->beat || beat;
    if (stream->suspended) {
      stream->suspended = false;
      http().resume_connection(stream->connection);
    }
  }
}

MHD_Result send_events(preview_server& server, MHD_Connection* connection) {
  build_news& news = server.news;
  const char* page = http().lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "page");
  auto* stream = new event_stream{news, connection, UINT64_MAX, false, false, {}, page ? page : ""};
  {
    std::lock_guard lock(news.mutex);
    if (news.stopping || news.streams.size() >= max_event_streams) {
      // Pages that went away hold their places until a write finds them gone: a heartbeat now
      // frees them before the page asking retries.
      wake_streams(news, true);
      delete stream;
      return send_text(connection, 503, "Too many open pages\n", "text/plain; charset=utf-8");
    }
    news.streams.insert(stream);
  }
  MHD_Response* response = http().create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, read_events,
                                                                stream, free_stream);
  if (response == nullptr) {
    free_stream(stream);
    return MHD_NO;
  }
  return send_answer(connection, 200, response, {{"Content-Type", "text/event-stream"}});
}

// Sends a heartbeat down every stream now and then until the server stops, so that the streams of
// pages that went away fail and give their places back.
void beat_streams(build_news& news) {
  std::unique_lock lock(news.mutex);
  while (!news.stopped.wait_for(lock, heartbeat, [&] { return news.stopping; })) {
    wake_streams(news, true);
  }
}

// --- Requests ----------------------------------------------------------------------------------

MHD_Result answer_request(preview_server& server, MHD_Connection* connection,
                          const std::string& target) {
  const request_path mapped = map_request_path(target);
  if (mapped.refusal == 400) {
    return send_bad_request(connection);
  }
  if (mapped.path == reload_path && server.settings.reload) {
    return send_events(server, connection);
  }
  const bool reserved = mapped.path.starts_with(reserved_folder) ||
                        mapped.path == reserved_folder.substr(0, reserved_folder.size() - 1);
  const std::optional<int> fd = reserved ? std::nullopt : open_below_site(server, mapped.path);
  if (mapped.refusal != 0 || !fd) {
    return send_not_found(server, connection, mapped.path);
  }
  owned_fd file(*fd);
  struct stat status {};
  if (fstat(file.fd, &status) != 0) {
    return send_not_found(server, connection, mapped.path);
  }
  if (S_ISDIR(status.st_mode)) {
    return send_folder(server, connection, target, mapped, file);
  }
  if (!S_ISREG(status.st_mode) || mapped.folder) {
    return send_not_found(server, connection, mapped.path);
  }
  return send_file(server, connection, file, static_cast<std::uint64_t>(status.st_size),
                   mapped.path);
}

// A request that says it carries a body (which a GET or HEAD never needs).
bool has_body(MHD_Connection* connection) {
  const char* length =
      http().lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
  return http().lookup_connection_value(connection, MHD_HEADER_KIND, "Transfer-Encoding") !=
             nullptr ||
         (length != nullptr && std::string_view(length) != "0");
}

// A request as it came: its target, query included, for the path mapping and redirects.
struct request_state {
  std::string target;
  bool headers_taken = false;
};

// Refuses a request at its headers, before any body is read, so that nothing of a body is kept;
// answers the others once they are complete, which keeps their connection open for the next.
MHD_Result take_request(void* cls, MHD_Connection* connection, const char* url, const char* method,
                        const char*, const char*, std::size_t* upload_size, void** context) {
  preview_server& server = *static_cast<preview_server*>(cls);
  auto* request = static_cast<request_state*>(*context);
  const std::string_view verb(method);
  if (verb != MHD_HTTP_METHOD_GET && verb != MHD_HTTP_METHOD_HEAD) {
    return send_text(connection, 405, "Method not allowed\n", "text/plain; charset=utf-8",
                     {{"Allow", "GET, HEAD"}});
  }
  if (has_body(connection) || *upload_size != 0) {
    return send_text(connection, 413, "A GET or HEAD request carries no body\n",
                     "text/plain; charset=utf-8");
  }
  if (request != nullptr && !request->headers_taken) {
    request->headers_taken = true;
    return MHD_YES;
  }
  return answer_request(server, connection, request != nullptr ? request->target : url);
}

// Keeps the request target as it came, before the library cuts the query off.
void* keep_target(void*, const char* uri, MHD_Connection*) {
  return new request_state{uri, false};
}

void forget_target(void*, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
  delete static_cast<request_state*>(*context);
  *context = nullptr;
}

// Leaves escapes as they came: the path mapping decodes them exactly once itself.
std::size_t keep_escapes(void*, MHD_Connection*, char* text) {
  return std::strlen(text);
}

// --- Listening ---------------------------------------------------------------------------------

// A listening socket on `bind`:`port`, or -1 with errno set (0: not an address at all).
int listen_on(const std::string& bind, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(bind.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    errno = 0;
    return -1;
  }
  int fd = -1;
  int failure = 0;
  for (const addrinfo* address = found; address != nullptr && fd < 0; address = address->ai_next) {
    fd = socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                address->ai_protocol);
    const int yes = 1;  // a restart finds its port again at once
    if (fd >= 0 &&
        (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
         ::bind(fd, address->ai_addr, address->ai_addrlen) != 0 || listen(fd, SOMAXCONN) != 0)) {
      failure = errno;
      close(fd);
      fd = -1;
    } else if (fd < 0) {
      failure = errno;
    }
  }
  freeaddrinfo(found);
  errno = failure;
  return fd;
}

int bound_port(int fd) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.ss_family == AF_INET6
                   ? reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port
                   : reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

std::string bind_failure(const preview_settings& settings, int port) {
  const std::string where = settings.bind + ":" + std::to_string(port);
  if (errno == EADDRINUSE) {
    return "port " + std::to_string(port) + " on " + settings.bind +
           " is in use by another program: choose another with --port";
  }
  return "cannot listen on " + where + ": " +
         (errno == 0 ? "not an address of this machine" : std::strerror(errno));
}

std::string new_instance() {
  std::random_device random;
  return std::to_string(random()) + std::to_string(random());
}

// How many connections the open-files limit leaves room for, after the rebuilds' own files.
unsigned connection_limit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return most_connections;
  }
  const std::size_t room =
      limit.rlim_cur > 2 * descriptors_kept ? limit.rlim_cur - descriptors_kept : descriptors_kept;
  return static_cast<unsigned>(std::min(room, most_connections));
}

MHD_Daemon* start_daemon(preview_server& server) {
  const unsigned connections = connection_limit();
  return http().start_daemon(
      MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME, 0, nullptr, nullptr, take_request,
      &server, MHD_OPTION_LISTEN_SOCKET, server.listen_fd, MHD_OPTION_CONNECTION_TIMEOUT,
      idle_seconds, MHD_OPTION_CONNECTION_LIMIT, connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
      connections / 2, MHD_OPTION_CONNECTION_MEMORY_LIMIT, connection_memory,
      MHD_OPTION_URI_LOG_CALLBACK, keep_target, nullptr, MHD_OPTION_NOTIFY_COMPLETED, forget_target,
      nullptr, MHD_OPTION_UNESCAPE_CALLBACK, keep_escapes, nullptr, MHD_OPTION_END);
}

}  // namespace

preview_handle open_preview(const preview_settings& settings, std::string& error) {
  if (preview_http_library(error) == nullptr) {
    return nullptr;
  }
  preview_handle server(new preview_server);
  server->settings = settings;
  server->instance = new_instance();
  server->news.token = server->instance + "-0";
  const int tries = settings.port_given ? 1 : ports_to_try;
  for (int port = settings.port; port < settings.port + tries && port <= 65535; ++port) {
    server->listen_fd = listen_on(settings.bind, port);
    if (server->listen_fd >= 0) {
      server->port = bound_port(server->listen_fd);
      return server;
    }
    if (errno != EADDRINUSE) {
      break;
    }
  }
  error = settings.port_given || errno != EADDRINUSE
              ? bind_failure(settings, settings.port)
              : "no free port from " + std::to_string(settings.port) + " to " +
                    std::to_string(settings.port + tries - 1) + " on " + settings.bind;
  return nullptr;
}

int preview_port(const preview_server& server) {
  return server.port;
}

bool serve_preview(preview_server& server) {
  MHD_Daemon* daemon = start_daemon(server);
  if (daemon == nullptr) {
    return false;
  }
  server.listen_fd = -1;      // the daemon closes it when it stops
  beat_streams(server.news);  // until stop_preview
  http().stop_daemon(daemon);
  return true;
}

void stop_preview(preview_server& server) {
  {
    std::lock_guard lock(server.news.mutex);
    server.news.stopping = true;
    wake_streams(server.news, false);
  }
  server.news.stopped.notify_all();
}

void announce_build(preview_server& server, bool succeeded,
                    const std::vector<std::string>& problems, build_findings findings) {
  std::lock_guard lock(server.news.mutex);
  if (succeeded) {
    server.news.token = server.instance + "-" + std::to_string(++server.good_builds);
    server.news.problems.clear();
    server.news.findings = std::move(findings);
  } else {
    server.news.problems = problems.empty()
                               ? std::vector<std::string>{"(the console tells what went wrong)"}
                               : problems;
  }
  ++server.news.version;
  wake_streams(server.news, false);
}
