// Layering fixture: a front end uses every room and Qt, but not the simulator.
#include <QApplication>
#include "settings/settings_pieces.h"
#include "sim/box_server.h"
#include "ui/main_window.h"
