#pragma once
// Opening and closing the active link as the window's commands do, with
// their log lines.
#include "link/ccom.h"

namespace skyh {

// Opens the link; logs "Open media: OK\n", or "Open media: ERROR\n" and
// "ERROR: %s\n" with the link's last error text.
bool OpenMedia(CCom& link);

// Logs "Close media\n" and closes the link.
void CloseMedia(CCom& link);

}  // namespace skyh
