#include "command_video.h"

void command_video(const std::string& line, bool& in_block, std::ostream& /*page*/) {
  block_step(line, video_block, in_block);
}
