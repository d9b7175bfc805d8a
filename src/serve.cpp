#include "serve.h"

#include <iostream>

int run_serve(const serve_options&, const std::string&) {
  std::cerr << "orvello: serve is not built yet\n";
  return 1;
}
