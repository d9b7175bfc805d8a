// Runs the fuzz target it is linked with once on every file named on the command line, or found
// below a folder named there (in name order), in the order of the arguments; a failed check
// aborts. Every build runs each target on its seed corpus, so the target's checks hold for the
// seeds whatever the compiler.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "page_fuzzer.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> inputs_named_by(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!fs::is_directory(argv[i])) {
      inputs.emplace_back(argv[i]);
      continue;
    }
    std::vector<fs::path> found;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(argv[i])) {
      if (entry.is_regular_file()) {
        found.push_back(entry.path());
      }
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
  }
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  LLVMFuzzerInitialize(&argc, &argv);
  const std::vector<fs::path> inputs = inputs_named_by(argc, argv);
  for (const fs::path& input : inputs) {
    std::ifstream file(input, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    if (!file.is_open() || file.bad()) {
      std::cerr << "Cannot read " << input << "\n";
      return 1;
    }
    std::cout << "Replaying " << input.filename().string() << std::endl;
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::cout << inputs.size() << " inputs passed the fuzz target's checks\n";
  return inputs.empty() ? 1 : 0;
}
