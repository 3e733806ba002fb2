#pragma once
// Layering fixture: settings may include data.
#include "data/record_store.h"
#include "settings/settings_item.h"
