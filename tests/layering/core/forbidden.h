#pragma once
// Layering fixture: the core is Qt-free and never uses the simulator.
#include <QString>
#include "sim/control_box.h"
