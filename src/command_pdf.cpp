#include "command_pdf.h"

void command_pdf(const std::string& line, bool& in_block, std::ostream& /*page*/) {
  block_step(line, pdf_block, in_block);
}
