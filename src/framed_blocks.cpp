#include "framed_blocks.h"

namespace {

// The stream slot that marks a page's blocks as framed.
int framed_slot() {
  static const int slot = std::ios_base::xalloc();
  return slot;
}

}  // namespace

framed_blocks_scope::framed_blocks_scope(std::ostream& page, bool framed)
    : page_(page), saved_(page.iword(framed_slot())) {
  page.iword(framed_slot()) = framed ? 1 : 0;
}

framed_blocks_scope::~framed_blocks_scope() {
  page_.iword(framed_slot()) = saved_;
}

bool blocks_are_framed(std::ostream& page) {
  return page.iword(framed_slot()) != 0;
}

std::string_view panel_focus(std::ostream& page) {
  return blocks_are_framed(page) ? " tabindex=\"0\"" : "";
}
