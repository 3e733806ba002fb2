// Layering fixture: the command-line tool uses every room, but neither Qt nor
// the window.
#include <QWidget>
#include "records/record.h"
#include "ui/run_window.h"
