#pragma once
// Layering fixture: data may not include settings.
#include "data/record_store.h"
#include "settings/set_file.h"
