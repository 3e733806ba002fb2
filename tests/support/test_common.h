#pragma once
// What nearly every test file needs, in one place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.h"
