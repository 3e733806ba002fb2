#pragma once
// The application's only top-level window: menu, toolbar, information line,
// record list and status bar over the window's record store. Long commands
// run on worker threads behind the progress dialog.
#include <QMainWindow>
#include <QMessageBox>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/configuration.h"
#include "core/start_up.h"
#include "data/auto_schedule.h"
#include "data/record_store.h"
#include "ui/bridge/progress_bridge.h"
#include "ui/link_adapter.h"
#include "ui/power_inhibitor.h"

class QLabel;
class QTableView;
class QTimer;
class QToolBar;

namespace skyh::ui {

class CProgressDlg;
class PlotWindow;
class RecordTableModel;
class SettingsCommand;
class WorkerThread;

// The window's questions and file choices; tests put answers in place.
struct WindowPrompts {
  std::function<bool(QMessageBox::Icon, const QString& caption, const QString& text, bool okCancel)> ask;
  std::function<void(QMessageBox::Icon, const QString& caption, const QString& text)> message;
  std::function<QStringList()> openFiles;
  std::function<QString()> saveFile;
  std::function<QString(const QString& start)> folder;
};

class CSkyHarvesterDlg : public QMainWindow {
  Q_OBJECT

 public:
  explicit CSkyHarvesterDlg(const StartUpPaths& paths, QWidget* parent = nullptr);
  ~CSkyHarvesterDlg() override;

  // Reads the configuration and the start-up switches, loads the scenario
  // list, chooses the link, then starts the 100 ms timer.
  void Initialise();
  // The load flow: `replace` for Open and dropped files, not for Add file.
  void OpenFiles(const std::vector<std::string>& paths, bool replace);

  // One timer tick at a UTC second (the timer passes the clock's).
  void Tick(int64_t nowUtc);

  const RecordStore& Store() const { return *store_; }
  bool Modified() const { return modified_; }
  void SetModified(bool modified);
  const CConfiguration& Config() const { return config_; }
  // A configuration accepted by the configuration dialog: link, log,
  // scenario list, written to the INI file.
  void ApplyConfiguration(const CConfiguration& config);
  const std::string& IniPath() const { return paths_.iniPath; }
  LinkAdapter& Link() { return link_; }
  CProgressDlg& Progress() { return *progress_; }
  ProgressBridge& Bridge() { return bridge_; }
  RecordTableModel& Model() { return *model_; }
  QTableView& List() { return *list_; }
  WindowPrompts& Prompts() { return prompts_; }
  QString PaneText(int pane) const;
  QString InfoText() const;
  bool Expert() const { return debug_.expert; }
  // A worker, a progress display or a dialog that edits the store or the
  // configuration is in use: automatic runs wait.
  bool Busy() const;
  // The command of the last Settings run (null before the first).
  SettingsCommand* Settings() { return settings_.get(); }
  int AutomaticRunsStarted() const { return automaticRuns_; }
  // Refreshes the title, panes 2 and 3, the information line and the list.
  void Refill();
  void RefreshTitle();

  // Modal dialogs that edit the store or the configuration hold this while open.
  class ModalScope {
   public:
    explicit ModalScope(CSkyHarvesterDlg& w) : w_(w) { ++w_.modalDepth_; }
    ~ModalScope() { --w_.modalDepth_; }

   private:
    CSkyHarvesterDlg& w_;
  };

  std::function<int64_t()> nowUtc;  // the timer's clock

 public slots:
  void OnOpen();
  void OnSave();
  void OnSaveAs();
  void OnCloseData();
  void OnAddFile();
  void OnExit();
  void OnConfiguration();
  void OnSettings();
  void OnUpdateFirmware();
  void OnSetTime();
  void OnResetBoard();
  void OnClearFlash();
  void OnGetRecords();
  void OnRemoveDuplicated();
  void OnAscending() { Order(true); }
  void OnDescending() { Order(false); }
  void OnGenerateAscii();
  void OnExportAscii();
  void OnExportK8();
  void OnPlot();
  void OnAbout();
  void OnDelete();
  // The drop flow: local files replace the data without a question.
  void DropUrls(const QList<QUrl>& urls);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildActions();
  void BuildStatusBar();
  void BuildCentre();
  void SetPane(int pane, const QString& text);
  void ShowInstrumentInfo();
  void ShowDetails(int row, bool box);
  bool NeedsData();
  bool Ask(QMessageBox::Icon icon, const QString& caption, const QString& text, bool okCancel = false);
  void Message(QMessageBox::Icon icon, const QString& caption, const QString& text);
  // Open's first step; false never (the data is only saved or dropped).
  void AskSaveModified();
  void SaveTo();
  void Order(bool ascending);
  void Export(bool k8);
  void BoardCommand(bool reset);
  // Shows the progress dialog, disables the window and starts `work`;
  // `done` runs on the window thread when the work returned.
  void StartWorker(const QString& title, std::function<void()> work, std::function<void()> done);
  void WorkerEnded(WorkerThread* worker);
  void LockUi(bool locked);
  void MaybeUnlock();
  void StartAutomaticRun();
  void SendFinished();
  // The link active when a dialog's button is pressed, with its lock.
  LinkProvider LinkNow();
  void SwapStore(std::unique_ptr<RecordStore> fresh);

  StartUpPaths paths_;
  CConfiguration config_;
  DebugSettings debug_;
  std::unique_ptr<RecordStore> store_;
  bool modified_ = false;
  std::string lastExportFolder_;
  LinkAdapter link_;
  ProgressBridge bridge_;
  CProgressDlg* progress_ = nullptr;
  RecordTableModel* model_ = nullptr;
  QTableView* list_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QWidget* info_ = nullptr;
  std::vector<QLabel*> infoValues_;
  std::vector<QLabel*> panes_;
  QTimer* timer_ = nullptr;
  PlotWindow* plot_ = nullptr;
  std::vector<std::unique_ptr<WorkerThread>> workers_;
  AutomaticScheduler scheduler_;
  PowerInhibitor power_;
  WindowPrompts prompts_;
  // After the progress bridge: it goes first and joins its sender.
  std::unique_ptr<SettingsCommand> settings_;
  bool sending_ = false;
  int modalDepth_ = 0;
  bool runPending_ = false;
  bool closing_ = false;
  int automaticRuns_ = 0;
  int64_t lastDeviceCheck_ = 0;
};

}  // namespace skyh::ui
