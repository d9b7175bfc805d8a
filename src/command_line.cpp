#include "command_line.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>

#include "check.h"
#include "generator.h"
#include "init_project.h"
#include "lsp_server.h"
#include "serve.h"
#include "site_lock.h"

namespace {

constexpr int usage_error = 2;

// Everything the command line can ask for; each verb reads its own part.
struct command_line {
  std::string folder;  // -C: where to run, empty for here
  std::string init_folder = ".";
  serve_options serve;
  check_options check;
};

struct verb {
  CLI::App* app;
  std::function<int(const std::string& timestamp)> run;
};

void declare_serve(CLI::App& serve, serve_options& options) {
  serve.add_option("--bind", options.bind, "Address to listen on (default 127.0.0.1)")
      ->type_name("ADDR");
  serve
      .add_option(
          "--port", options.port,
          "Port to listen on (default 8000, or the next free one when it is taken; 0 for any)")
      ->check(CLI::Range(0, 65535).description(""))
      ->type_name("N");
  serve.add_flag("--poll", options.poll, "Look for changes by polling instead of inotify");
  serve.add_flag_callback(
      "--no-reload", [&options] { options.reload = false; },
      "Do not add the reload script to served pages");
}

// A build of its own, after any other process's build of this site has ended.
int build_alone(const std::string& timestamp) {
  const held_lock writing = lock_site(run_input_folder, site_use::build, std::cerr);
  return run_generator(timestamp);
}

// The verbs, in the order --help lists them; a run that names none builds.
std::vector<verb> declare_verbs(CLI::App& app, command_line& line) {
  CLI::App* build = app.add_subcommand("build", "Build site/ from proj/ (what orvello alone does)");
  CLI::App* init = app.add_subcommand("init", "Start a project: DIR/proj/ with one page to edit");
  init->add_option("DIR", line.init_folder, "Folder to create proj/ in (default: here)");
  CLI::App* serve =
      app.add_subcommand("serve", "Build, serve site/ and rebuild and reload as proj/ changes");
  declare_serve(*serve, line.serve);
  CLI::App* check = app.add_subcommand("check", "Report mistakes in proj/ at file and line");
  check->add_flag("--werror", line.check.werror, "Count warnings as errors");
  CLI::App* lsp =
      app.add_subcommand("lsp", "Serve editors as a language server on standard input and output");
  return {
      {build, [](const std::string& timestamp) { return build_alone(timestamp); }},
      {init, [&line](const std::string&) { return run_init(line.init_folder); }},
      {serve,
       [&line, serve](const std::string& timestamp) {
         line.serve.port_given = serve->count("--port") > 0;
         return run_serve(line.serve, timestamp);
       }},
      {check,
       [&line](const std::string&) {
         const held_lock reading = lock_site(run_input_folder, site_use::check, std::cerr);
         return run_check(line.check);
       }},
      {lsp, [](const std::string&) { return run_lsp(); }},
  };
}

// CLI11's own text, but an unknown option, or a stray word where a verb belongs, is named as such.
std::string usage_error_text(const CLI::ParseError& error, const CLI::App& app) {
  const std::vector<std::string> extras = app.remaining(true);
  if (dynamic_cast<const CLI::ExtrasError*>(&error) == nullptr || extras.empty()) {
    return error.what();
  }
  if (extras.front().starts_with('-')) {
    return "unknown option '" + extras.front() + "'";
  }
  if (app.get_subcommands().empty()) {
    return "unknown verb '" + extras.front() + "'";
  }
  return "unexpected argument '" + extras.front() + "'";
}

int report_usage_error(const std::string& message) {
  std::cerr << "orvello: " << message << " (see 'orvello --help')\n";
  return usage_error;
}

bool enter_folder(const std::string& folder) {
  if (folder.empty() || chdir(folder.c_str()) == 0) {
    return true;
  }
  std::cerr << "orvello: cannot enter '" << folder << "': " << std::strerror(errno) << "\n";
  return false;
}

}  // namespace

int run_command_line(int argc, const char* const* argv) {
  CLI::App app{"Orvello builds a static web site from the folder proj/ into the folder site/.",
               "orvello"};
  app.footer(
      "Run without a verb, orvello builds. Exit status: 0 on success, 1 when the verb failed, 2 "
      "for a command line that cannot be used.");
  app.set_version_flag("--version", "orvello " + std::string(orvello_version),
                       "Print the version and exit");
  app.require_subcommand(0, 1);
  command_line line;
  app.add_option("-C", line.folder, "Run as if started in DIR")->type_name("DIR");
  const std::vector<verb> verbs = declare_verbs(app, line);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) {  // --help or --version
      return app.exit(error);
    }
    return report_usage_error(usage_error_text(error, app));
  }

  const source_date_epoch_setting epoch = read_source_date_epoch();
  if (!epoch.error.empty()) {
    return report_usage_error(epoch.error);
  }
  if (!enter_folder(line.folder)) {
    return usage_error;
  }
  const std::string timestamp = footer_time_text(epoch.seconds);
  for (const verb& candidate : verbs) {
    if (candidate.app->parsed()) {
      return candidate.run(timestamp);
    }
  }
  return build_alone(timestamp);
}
