#include "command_title.h"

void command_title(const std::string& line, bool& in_block, std::ostream& /*page*/) {
  block_step(line, title_block, in_block);
}
