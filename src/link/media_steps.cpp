#include "link/media_steps.h"

#include "core/log_file.h"

namespace skyh {

bool OpenMedia(CCom& link) {
  if (link.Open()) {
    LogLine("Open media: OK\n");
    return true;
  }
  LogLine("Open media: ERROR\n");
  LogLine("ERROR: %s\n", link.GetLastErrorText());
  return false;
}

void CloseMedia(CCom& link) {
  LogLine("Close media\n");
  link.Close();
}

}  // namespace skyh
