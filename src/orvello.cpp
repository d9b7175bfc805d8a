// orvello: run in a folder holding proj/, it replaces site/ beside it with a fresh static site.
#include "command_line.h"

int main(int argc, char** argv) {
  return run_command_line(argc, argv);
}
