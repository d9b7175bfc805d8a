#include "command_code.h"

void command_code(const std::string& line, bool& in_block, std::ostream& /*page*/) {
  block_step(line, code_block, in_block);
}
