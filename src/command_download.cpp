#include "command_download.h"

void command_download(const std::string& line, bool& in_block, std::ostream& /*page*/) {
  block_step(line, download_block, in_block);
}
