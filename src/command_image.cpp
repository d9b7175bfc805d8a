#include "command_image.h"

void command_image(const std::string& line, bool& in_block, std::ostream& /*page*/) {
  block_step(line, image_block, in_block);
}
