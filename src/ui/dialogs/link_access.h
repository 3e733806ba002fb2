#pragma once
// The link session a dialog talks through, asked for when a button is
// pressed, so that a link chosen anew in the configuration is the one used.
// Every exchange holds a lease from it.
#include <functional>

#include "link/link_session.h"

namespace skyh::ui {

using LinkProvider = std::function<LinkSession*()>;

}  // namespace skyh::ui
