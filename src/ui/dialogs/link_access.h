#pragma once
// The link a dialog talks through, asked for when a button is pressed, so
// that a link chosen anew in the configuration is the one used, together
// with the lock every user of the link holds.
#include <functional>

#include "link/ccom.h"
#include "link/communication_lock.h"

namespace skyh::ui {

struct LinkAccess {
  CCom* link = nullptr;
  CommunicationLock* lock = nullptr;
};

using LinkProvider = std::function<LinkAccess()>;

}  // namespace skyh::ui
