#pragma once
// The application's only top-level window: menu, toolbar, information line,
// record list and status bar over the window's record store.
#include <QMainWindow>
#include <string>
#include <vector>

#include "core/start_up.h"

class QLabel;

namespace skyh::ui {

class CSkyHarvesterDlg : public QMainWindow {
  Q_OBJECT

 public:
  explicit CSkyHarvesterDlg(const StartUpPaths& paths, QWidget* parent = nullptr);
  ~CSkyHarvesterDlg() override;

  // Reads the configuration, loads the scenario list, chooses the link.
  void Initialise();
  // The load flow: `replace` for Open and dropped files, not for Add file.
  void OpenFiles(const std::vector<std::string>& paths, bool replace);

  // Status bar pane (0 to 4) text, for the window's own use and tests.
  QString PaneText(int pane) const;

 public slots:
  void OnAbout();

 private:
  void BuildMenus();
  void BuildStatusBar();

  StartUpPaths paths_;
  std::vector<QLabel*> panes_;
};

}  // namespace skyh::ui
