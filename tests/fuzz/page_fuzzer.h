// The entry points of the page compiler's fuzz target, as libFuzzer calls them.
#pragma once

#include <cstddef>
#include <cstdint>

// Makes the scratch folder that plays the command file's folder, and fixes the footer's time.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

// Compiles one input into a page and aborts when the page is not whole; -1 for an input that
// names a file outside the scratch folder, which is skipped.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
