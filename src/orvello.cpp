// orvello: run in a folder holding proj/, it replaces site/ beside it with a fresh static site.
#include <chrono>
#include <ctime>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "utils.h"

namespace {

std::string local_time_text(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[64];
  std::strftime(text, sizeof text, "%d-%m-%Y at %H:%M:%S", &local);
  return text;
}

void print_banner() {
  for (const char* line :
       {"***************************", "APP VERSION: 1-10.2026", "AUTHOR ....: The Orvello authors",
        "COUNTRY ...: International", "SITE: .....: https://orvello.example", "LICENSE ...: MIT",
        "***************************", "", "[ORVELLO] START GENERATOR"}) {
    std::cout << line << std::endl;
  }
}

// Runs one step of the run between its STARTED line and its COMPLETED or FAILED line.
template <typename Step>
bool run_step(int number, std::string_view description, Step step) {
  std::cout << "[ORVELLO] STARTED Step " << number << "/5 - " << description << std::endl;
  bool succeeded = false;
  try {
    succeeded = step();
  } catch (const std::exception& error) {  // such as memory exhaustion: fail the step, not abort
    std::cerr << "Error: " << error.what() << "\n";
  }
  std::cout << "[ORVELLO] " << (succeeded ? "COMPLETED" : "FAILED") << " Step " << number << "/5"
            << std::endl;
  return succeeded;
}

}  // namespace

int main() {
  // The console lines that must reach the user at once are flushed explicitly.
  std::ios::sync_with_stdio(false);
  const auto start = std::chrono::system_clock::now();
  build_timestamp = local_time_text(std::chrono::system_clock::now());
  print_banner();

  const std::string input = "proj";
  const std::string output = "site";
  const std::vector<std::string> extensions{".orv", ".c", ".cpp"};
  const bool generated =
      run_step(1, "delete 'site' dir", [&] { return delete_directory(output); }) &&
      run_step(2, "replicated 'proj' dir structure to 'site'",
               [&] { return replicate_directory_structure(input, output); }) &&
      run_step(3, "copied non-command files from 'proj' dir to 'site' dir",
               [&] { return copy_non_command_files(input, output, extensions); }) &&
      run_step(4, "generated main.css in 'site' dir", [&] { return create_main_css(output); }) &&
      run_step(5, "process command files in 'proj' dir to 'site' dir",
               [&] { return process_command_files(input, output, extensions); });
  if (!generated) {
    return 1;
  }

  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now() - start);
  std::cout << "[ORVELLO] Generated site in " << elapsed.count() << " ms" << std::endl;
  std::cout << "[ORVELLO] END GENERATOR" << std::endl;
  return 0;
}
