#include "command_link.h"

void command_link(const std::string& line, bool& in_block, std::ostream& /*page*/) {
  block_step(line, link_block, in_block);
}
