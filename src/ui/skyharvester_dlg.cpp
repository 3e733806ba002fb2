#include "ui/skyharvester_dlg.h"

#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

#include "core/version.h"

namespace skyh::ui {

CSkyHarvesterDlg::CSkyHarvesterDlg(const StartUpPaths& paths, QWidget* parent) : QMainWindow(parent), paths_(paths) {
  setWindowTitle("SkyHarvester");
  resize(900, 600);
  BuildMenus();
  BuildStatusBar();
  setCentralWidget(new QWidget(this));
}

CSkyHarvesterDlg::~CSkyHarvesterDlg() = default;

void CSkyHarvesterDlg::BuildMenus() {
  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction("&About ...", this, &CSkyHarvesterDlg::OnAbout);
}

void CSkyHarvesterDlg::BuildStatusBar() {
  static const int kWidths[] = {160, 80, 80, 80};
  for (int i = 0; i < 5; ++i) {
    auto* label = new QLabel(this);
    if (i < 4) label->setMinimumWidth(kWidths[i]);
    statusBar()->addWidget(label, i == 4 ? 1 : 0);
    panes_.push_back(label);
  }
}

void CSkyHarvesterDlg::Initialise() {}

void CSkyHarvesterDlg::OpenFiles(const std::vector<std::string>&, bool) {}

QString CSkyHarvesterDlg::PaneText(int pane) const {
  return pane >= 0 && pane < static_cast<int>(panes_.size()) ? panes_[pane]->text() : QString();
}

void CSkyHarvesterDlg::OnAbout() {
  QMessageBox::about(this, "About SkyHarvester",
                     QString::asprintf("SkyHarvester, Version %d.%d.%d", SKYH_VERSION_MAJOR, SKYH_VERSION_MINOR,
                                       SKYH_VERSION_PATCH));
}

}  // namespace skyh::ui
