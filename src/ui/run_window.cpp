#include "ui/run_window.h"

#include <QApplication>
#include <QIcon>

#include "core/log_file.h"
#include "ui/skyharvester_dlg.h"

namespace skyh::ui {

int RunMainWindow(int argc, char** argv, const StartUpPaths& paths, const std::vector<std::string>& files) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("SkyHarvester");
  QGuiApplication::setDesktopFileName("org.skyharvester.SkyHarvester");
  QApplication::setWindowIcon(QIcon(":/icons/app.svg"));
  CSkyHarvesterDlg window(paths);
  window.show();
  window.Initialise();
  if (!files.empty()) window.OpenFiles(files, true);
  int code = app.exec();
  if (CLogFile* log = GetLog()) log->Log("Application stopped properly\n");
  return code;
}

}  // namespace skyh::ui
