#pragma once
// Opening and closing the active link for an operation, with the log lines
// every operation writes.
#include "link/ccom.h"

namespace skyh {

// Logs "Open media: OK" or "Open media: ERROR" and the link's error text.
bool OpenMedia(CCom& link);
// Logs "Close media" and closes the link.
void CloseMedia(CCom& link);

}  // namespace skyh
