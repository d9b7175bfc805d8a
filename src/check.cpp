#include "check.h"

#include <iostream>

int run_check(const check_options&) {
  std::cerr << "orvello: check is not built yet\n";
  return 1;
}
