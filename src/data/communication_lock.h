#pragma once
// The lock lives with the links; kept here for older includes.
#include "link/communication_lock.h"
