// Whether the blocks written to a page stand in the frame of a site with settings, where they
// carry what that frame's accessibility needs: a scrolling panel can take the keyboard's focus,
// and a document frame has a name. The mark travels with the page's stream.
#pragma once

#include <ostream>
#include <string_view>

// Marks the blocks written to `page` as `framed` or not until it goes out of scope.
class framed_blocks_scope {
 public:
  framed_blocks_scope(std::ostream& page, bool framed);
  ~framed_blocks_scope();
  framed_blocks_scope(const framed_blocks_scope&) = delete;
  framed_blocks_scope& operator=(const framed_blocks_scope&) = delete;

 private:
  std::ostream& page_;
  long saved_;
};

// True while a framed_blocks_scope marks `page`.
bool blocks_are_framed(std::ostream& page);

// What a panel that may scroll sideways carries in its opening tag on `page`: ` tabindex="0"` when
// framed (a scrolling region must be reachable by keyboard), else nothing.
std::string_view panel_focus(std::ostream& page);
