// Wording shared by the console lines of the verbs.
#pragma once

#include <cstddef>
#include <string>

// `count` and `noun`, plural unless the count is one: "1 error", "2 warnings".
std::string counted(std::size_t count, const std::string& noun);
