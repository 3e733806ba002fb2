// Layering fixture: the window's entry point uses every room, the window and
// Qt, but not the simulator.
#include <QApplication>
#include "settings/settings_pieces.h"
#include "sim/box_server.h"
#include "ui/main_window.h"
