#include "preview_server.h"

#include <fcntl.h>
#include <httplib.h>
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
#include <string_view>

#include "request_path.h"
#include "utils.h"

namespace fs = std::filesystem;

namespace {

// Each open page holds one event stream, and a stream holds a worker thread for its whole life,
// so the pool has a worker for every stream allowed and more for the pages themselves.
constexpr std::size_t max_event_streams = 64;
constexpr std::size_t page_workers = 16;
constexpr auto heartbeat = std::chrono::seconds(5);
constexpr int ports_to_try = 50;
constexpr std::string_view reload_path = "__orvello/reload";
constexpr std::string_view reserved_folder = "__orvello/";

// Page script: the text between the quotes of `token` is replaced by the build the page shows.
constexpr std::string_view reload_script = R"(<script>
/* Added by orvello serve, not part of the site: reloads the page after each rebuild. */
(() => {
  const token = '@TOKEN@';
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
  function connect() {
    if (source || document.visibilityState === 'hidden') return;
    source = new EventSource('/__orvello/reload');
    source.addEventListener('state', (event) => {
      delay = 250;
      const [now, ...problems] = event.data.split('\n');
      if (problems.length) overlay(problems.join('\n'));
      else if (now !== token) location.reload();
      else overlay('');
    });
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

// What the event streams tell the pages, and how many streams are open.
struct build_news {
  std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t version = 0;  // counts announcements
  std::string token;          // the server's start and its count of good builds
  std::vector<std::string> problems;
  bool stopping = false;
  std::size_t streams = 0;
};

}  // namespace

struct preview_server {
  preview_settings settings;
  httplib::Server http;
  int listen_fd = -1;
  bool bound = false;
  int port = 0;
  std::string instance;
  std::uint64_t good_builds = 0;
  build_news news;
};

void preview_closer::operator()(preview_server* server) const {
  delete server;
}

namespace {

// An open file, closed when the last response that streams it is gone.
struct open_file {
  int fd = -1;
  explicit open_file(int descriptor) : fd(descriptor) {}
  open_file(const open_file&) = delete;
  open_file& operator=(const open_file&) = delete;
  ~open_file() {
    if (fd >= 0) {
      close(fd);
    }
  }
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

std::string current_token(build_news& news) {
  std::lock_guard lock(news.mutex);
  return news.token;
}

// `page` with the reload script before its last "</body>", or at its end without one.
std::string with_reload_script(preview_server& server, std::string page) {
  if (!server.settings.reload) {
    return page;
  }
  std::string script(reload_script);
  const std::size_t mark = script.find("@TOKEN@");
  script.replace(mark, 7, current_token(server.news));
  const std::size_t body_end = page.rfind("</body>");
  page.insert(body_end == std::string::npos ? page.size() : body_end, script);
  return page;
}

void answer_with_page(preview_server& server, httplib::Response& res, int status,
                      const std::string& title, const std::string& body) {
  res.status = status;
  res.set_content(with_reload_script(server,
                                     "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n"
                                     "  <meta charset=\"UTF-8\">\n  <title>" +
                                         html_escape(title) + "</title>\n</head>\n<body>\n" + body +
                                         "</body>\n</html>\n"),
                  "text/html; charset=utf-8");
}

void answer_not_found(preview_server& server, httplib::Response& res, const std::string& path) {
  answer_with_page(server, res, 404, "Not found",
                   "<h1>Not found</h1>\n<p>There is no /" + html_escape(path) + " in site/.</p>\n");
}

void answer_bad_request(httplib::Response& res) {
  res.status = 400;
  res.set_content("Bad request\n", "text/plain; charset=utf-8");
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
std::string listing_of(const open_file& folder, const std::string& path) {
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

// The single range a Range header asks for in a file of `size` bytes: nothing for the whole file
// (no header, several ranges, or one that cannot be read), or {first, length}; a length of 0 when
// the range lies beyond the end.
std::optional<std::pair<std::uint64_t, std::uint64_t>> requested_range(const std::string& header,
                                                                       std::uint64_t size) {
  if (!header.starts_with("bytes=") || header.find(',') != std::string::npos) {
    return std::nullopt;
  }
  const std::string range = header.substr(6);
  const std::size_t dash = range.find('-');
  const auto digits = [](const std::string& text) {
    return !text.empty() && text.size() < 19 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
  };
  if (dash == std::string::npos) {
    return std::nullopt;
  }
  const std::string from = range.substr(0, dash);
  const std::string to = range.substr(dash + 1);
  if (from.empty()) {  // the last `to` bytes
    if (!digits(to)) {
      return std::nullopt;
    }
    const std::uint64_t tail = std::min<std::uint64_t>(std::stoull(to), size);
    return std::pair{size - tail, tail};
  }
  if (!digits(from) || (!to.empty() && !digits(to))) {
    return std::nullopt;
  }
  const std::uint64_t first = std::stoull(from);
  const std::uint64_t last = to.empty() ? UINT64_MAX : std::stoull(to);
  if (last < first) {
    return std::nullopt;
  }
  if (first >= size) {
    return std::pair{first, std::uint64_t{0}};
  }
  return std::pair{first, std::min(last, size - 1) - first + 1};
}

// Streams `length` bytes of `file` from `first`, never holding more than one buffer of it.
void stream_file(httplib::Response& res, std::shared_ptr<open_file> file, std::uint64_t first,
                 std::uint64_t length, const std::string& type) {
  if (length == 0) {
    res.set_content("", type);
    return;
  }
  res.set_content_provider(
      length, type, [file, first](std::size_t offset, std::size_t left, httplib::DataSink& sink) {
        char buffer[16 * 1024];  // on each worker's stack: small, so idle workers stay small
        const ssize_t got = pread(file->fd, buffer, std::min(left, sizeof buffer),
                                  static_cast<off_t>(first + offset));
        return got > 0 && sink.write(buffer, static_cast<std::size_t>(got));
      });
}

std::string read_whole(int fd, std::uint64_t size) {
  std::string bytes(size, '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = pread(fd, bytes.data() + done, bytes.size() - done, done);
    if (got <= 0) {
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

void answer_file(preview_server& server, const httplib::Request& req, httplib::Response& res,
                 std::shared_ptr<open_file> file, std::uint64_t size, const std::string& path) {
  const std::string type = content_type_of(path);
  if (server.settings.reload && is_page(type)) {  // pages are whole: the script changes them
    res.status = 200;
    res.set_content(with_reload_script(server, read_whole(file->fd, size)), type);
    return;
  }
  res.set_header("Accept-Ranges", "bytes");
  const auto range =
      req.has_header("Range") ? requested_range(req.get_header_value("Range"), size) : std::nullopt;
  if (!range) {
    res.status = 200;
    stream_file(res, std::move(file), 0, size, type);
  } else if (range->second == 0) {
    res.status = 416;
    res.set_header("Content-Range", "bytes */" + std::to_string(size));
  } else {
    res.status = 206;
    res.set_header("Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                        std::to_string(range->first + range->second - 1) + "/" +
                                        std::to_string(size));
    stream_file(res, std::move(file), range->first, range->second, type);
  }
}

void answer_folder(preview_server& server, const httplib::Request& req, httplib::Response& res,
                   const request_path& mapped, const open_file& folder) {
  if (!mapped.folder) {  // relative links in the folder's page need the slash
    std::string location = percent_encoded(mapped.path);
    location.insert(location.begin(), '/');
    location += '/';
    res.set_redirect(location, 301);
    return;
  }
  const std::string index = mapped.path.empty() ? "index.htm" : mapped.path + "/index.htm";
  if (const std::optional<int> fd = open_below_site(server, index)) {
    auto file = std::make_shared<open_file>(*fd);
    struct stat status {};
    if (fstat(file->fd, &status) == 0 && S_ISREG(status.st_mode)) {
      answer_file(server, req, res, std::move(file), static_cast<std::uint64_t>(status.st_size),
                  index);
      return;
    }
  }
  answer_with_page(server, res, 200, "Index of /" + mapped.path, listing_of(folder, mapped.path));
}

std::string event_of(const build_news& news) {
  std::string message = "event: state\ndata: " + news.token + "\n";
  for (const std::string& problem : news.problems) {
    std::string_view rest = problem;
    for (std::size_t end; (end = rest.find_first_of("\r\n")) != std::string_view::npos;) {
      message += "data: " + std::string(rest.substr(0, end)) + "\n";
      rest = rest.substr(end + 1);
    }
    message += "data: " + std::string(rest) + "\n";
  }
  return message + "\n";
}

// A place among the open event streams, given back when the stream ends.
struct stream_slot {
  build_news& news;
  explicit stream_slot(build_news& shared) : news(shared) {}
  stream_slot(const stream_slot&) = delete;
  stream_slot& operator=(const stream_slot&) = delete;
  ~stream_slot() {
    std::lock_guard lock(news.mutex);
    --news.streams;
  }
};

// One step of an event stream: the news when there are some, else a heartbeat after a while;
// false when the server stops or the page is gone, which ends the stream and frees its worker.
bool send_news(build_news& news, std::uint64_t& seen, httplib::DataSink& sink) {
  std::string message;
  {
    std::unique_lock lock(news.mutex);
    news.changed.wait_for(lock, heartbeat, [&] { return news.stopping || news.version != seen; });
    if (news.stopping) {
      return false;
    }
    message = news.version != seen ? event_of(news) : ": heartbeat\n\n";
    seen = news.version;
  }
  return sink.is_writable() && sink.write(message.data(), message.size());
}

void answer_events(preview_server& server, httplib::Response& res) {
  build_news& news = server.news;
  {
    std::lock_guard lock(news.mutex);
    if (news.stopping || news.streams >= max_event_streams) {
      res.status = 503;
      res.set_content("Too many open pages\n", "text/plain; charset=utf-8");
      return;
    }
    ++news.streams;
  }
  auto slot = std::make_shared<stream_slot>(news);
  auto seen = std::make_shared<std::uint64_t>(UINT64_MAX);
  res.status = 200;
  res.set_chunked_content_provider("text/event-stream",
                                   [slot, seen](std::size_t, httplib::DataSink& sink) {
                                     return send_news(slot->news, *seen, sink);
                                   });
}

// Keeps the library from changing our answers: it would apply the ranges it parsed once more to
// what we send, and compress pages and event streams (brotli at its slowest setting, tens of
// milliseconds a page, and an event held back until the compressor's buffer fills), which on the
// local host only costs time.
void take_over_from_library(const httplib::Request& req) {
  httplib::Request& ours = const_cast<httplib::Request&>(req);  // the library's own, not const
  ours.ranges.clear();
  ours.headers.erase("Accept-Encoding");
}

void answer_request(preview_server& server, const httplib::Request& req, httplib::Response& res) {
  take_over_from_library(req);
  const request_path mapped = map_request_path(req.target);
  if (mapped.refusal == 400) {
    answer_bad_request(res);
    return;
  }
  if (mapped.path == reload_path && server.settings.reload) {
    answer_events(server, res);
    return;
  }
  const bool reserved = mapped.path.starts_with(reserved_folder) ||
                        mapped.path == reserved_folder.substr(0, reserved_folder.size() - 1);
  const std::optional<int> fd = reserved ? std::nullopt : open_below_site(server, mapped.path);
  if (mapped.refusal != 0 || !fd) {
    answer_not_found(server, res, mapped.path);
    return;
  }
  auto file = std::make_shared<open_file>(*fd);
  struct stat status {};
  if (fstat(file->fd, &status) != 0) {
    answer_not_found(server, res, mapped.path);
  } else if (S_ISDIR(status.st_mode)) {
    answer_folder(server, req, res, mapped, *file);
  } else if (!S_ISREG(status.st_mode) || mapped.folder) {
    answer_not_found(server, res, mapped.path);
  } else {
    answer_file(server, req, res, std::move(file), static_cast<std::uint64_t>(status.st_size),
                mapped.path);
  }
}

}  // namespace

namespace {

// The library gives its own answer, without our headers, to a Range header it cannot parse;
// such a header is ignored instead, as a client may expect.
httplib::Server::HandlerResponse answer_library_error(preview_server& server,
                                                      const httplib::Request& req,
                                                      httplib::Response& res) {
  if (res.status != 416 || res.has_header("Content-Range")) {
    return httplib::Server::HandlerResponse::Unhandled;
  }
  res.headers.erase("Accept-Ranges");
  const_cast<httplib::Request&>(req).headers.erase("Range");
  answer_request(server, req, res);
  return httplib::Server::HandlerResponse::Handled;
}

void configure(preview_server& server) {
  httplib::Server& http = server.http;
  http.new_task_queue = [] { return new httplib::ThreadPool(max_event_streams + page_workers); };
  // Only SO_REUSEADDR, so that a restart finds its port again at once: the library's default
  // also shares the port with any other server bound to it, which would open the wrong one.
  http.set_socket_options([&server](int fd) {
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (!server.bound) {
      server.listen_fd = fd;
    }
  });
  http.set_tcp_nodelay(true);
  http.set_keep_alive_timeout(2);
  http.set_default_headers({{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}});
  http.Get(".*", [&server](const httplib::Request& req, httplib::Response& res) {
    answer_request(server, req, res);
  });
  http.set_error_handler(httplib::Server::HandlerWithResponse(
      [&server](const httplib::Request& req, httplib::Response& res) {
        return answer_library_error(server, req, res);
      }));
}

bool bind_port(preview_server& server, int port) {
  errno = 0;
  if (!server.http.bind_to_port(server.settings.bind, port)) {
    return false;
  }
  server.bound = true;
  server.port = port;
  // The library listens with a backlog of 5; a burst of connections needs more.
  listen(server.listen_fd, SOMAXCONN);
  return true;
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

}  // namespace

preview_handle open_preview(const preview_settings& settings, std::string& error) {
  preview_handle server(new preview_server);
  server->settings = settings;
  server->instance = new_instance();
  server->news.token = server->instance + "-0";
  configure(*server);
  const int tries = settings.port_given ? 1 : ports_to_try;
  for (int port = settings.port; port < settings.port + tries && port <= 65535; ++port) {
    if (bind_port(*server, port)) {
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
  return server.http.listen_after_bind();
}

void stop_preview(preview_server& server) {
  {
    std::lock_guard lock(server.news.mutex);
    server.news.stopping = true;
  }
  server.news.changed.notify_all();
  server.http.stop();
}

void announce_build(preview_server& server, bool succeeded,
                    const std::vector<std::string>& problems) {
  {
    std::lock_guard lock(server.news.mutex);
    if (succeeded) {
      server.news.token = server.instance + "-" + std::to_string(++server.good_builds);
      server.news.problems.clear();
    } else {
      server.news.problems = problems.empty()
                                 ? std::vector<std::string>{"(the console tells what went wrong)"}
                                 : problems;
    }
    ++server.news.version;
  }
  server.news.changed.notify_all();
}
