#include "command_audio.h"

void command_audio(const std::string& line, bool& in_block, std::ostream& /*page*/) {
  block_step(line, audio_block, in_block);
}
