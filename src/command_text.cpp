#include "command_text.h"

void command_text(const std::string& line, bool& in_block, std::ostream& /*page*/) {
  block_step(line, text_block, in_block);
}
