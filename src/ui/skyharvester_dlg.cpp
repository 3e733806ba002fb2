#include "ui/skyharvester_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

#include "core/folders.h"
#include "core/format.h"
#include "core/log_file.h"
#include "core/time_util.h"
#include "core/version.h"
#include "data/ascii_export.h"
#include "data/file_naming.h"
#include "settings/instrument_info.h"
#include "data/k8_export.h"
#include "records/scenario_list.h"
#include "ui/dialogs/settings_command.h"
#include "ui/models/record_table_model.h"
#include "ui/plot/plot_window.h"
#include "ui/progress_dlg.h"
#include "ui/worker_thread.h"

// Resources of a static library are registered by hand.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace skyh::ui {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A freedesktop theme icon, or our own drawing when the theme has none.
QIcon Icon(const char* themeName, const char* bundled) {
  return QIcon::fromTheme(themeName, QIcon(QString(":/icons/") + bundled + ".svg"));
}

}  // namespace

CSkyHarvesterDlg::CSkyHarvesterDlg(const StartUpPaths& paths, QWidget* parent)
    : QMainWindow(parent), paths_(paths), store_(std::make_unique<RecordStore>()) {
  InitIconResources();
  nowUtc = [] { return static_cast<int64_t>(QDateTime::currentSecsSinceEpoch()); };
  prompts_.ask = [this](QMessageBox::Icon icon, const QString& caption, const QString& text, bool okCancel) {
    QMessageBox box(icon, caption, text,
                    okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Yes | QMessageBox::No, this);
    int answer = box.exec();
    return answer == QMessageBox::Ok || answer == QMessageBox::Yes;
  };
  prompts_.message = [this](QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, this);
    box.exec();
  };
  prompts_.openFiles = [this] {
    return QFileDialog::getOpenFileNames(this, "Open", QString(), "k8 file (*.k8)");
  };
  prompts_.saveFile = [this] {
    QFileDialog dialog(this, "Save as", QString(), "k8 file (*.k8)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("k8");
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                    : QString();
  };
  prompts_.folder = [this](const QString& start) { return QFileDialog::getExistingDirectory(this, "Select folder", start); };
  bridge_.answer = [this](const QString& caption, const QString& text) {
    return !closing_ && Ask(QMessageBox::Question, caption, text);
  };

  setWindowTitle("SkyHarvester");
  resize(1000, 640);
  setAcceptDrops(true);
  progress_ = new CProgressDlg(bridge_, this);
  connect(progress_, &CProgressDlg::ended, this, &CSkyHarvesterDlg::MaybeUnlock);
  connect(&bridge_, &ProgressBridge::statusChanged, this, [this](const QString& text) { SetPane(4, text); });
  BuildActions();
  BuildStatusBar();
  BuildCentre();
  timer_ = new QTimer(this);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, [this] { Tick(nowUtc()); });
  Refill();
}

CSkyHarvesterDlg::~CSkyHarvesterDlg() {
  timer_->stop();
  bridge_.Abort();
  workers_.clear();  // joins
}

void CSkyHarvesterDlg::BuildActions() {
  struct Item {
    const char* text;
    void (CSkyHarvesterDlg::*slot)();
    const char* theme;
    const char* icon;
    const char* toolText;
  };
  auto add = [this](QMenu* menu, const Item& item) {
    QAction* a = menu->addAction(item.text, this, item.slot);
    if (item.theme) a->setIcon(Icon(item.theme, item.icon));
    if (item.toolText) a->setIconText(item.toolText);
    a->setToolTip(QString(item.toolText ? item.toolText : item.text).remove('&'));
    return a;
  };
  QMenu* file = menuBar()->addMenu("&File");
  QAction* open = add(file, {"Open", &CSkyHarvesterDlg::OnOpen, "document-open", "open", "Open"});
  QAction* save = add(file, {"Save", &CSkyHarvesterDlg::OnSave, "document-save", "save", "Save"});
  add(file, {"Save as...", &CSkyHarvesterDlg::OnSaveAs, "document-save-as", "save", nullptr});
  QAction* close = add(file, {"Close", &CSkyHarvesterDlg::OnCloseData, "document-close", "close", "Close"});
  QAction* addFile = add(file, {"Add file...", &CSkyHarvesterDlg::OnAddFile, "list-add", "addfile", "Add file..."});
  file->addSeparator();
  add(file, {"E&xit", &CSkyHarvesterDlg::OnExit, nullptr, nullptr, nullptr});

  QMenu* tools = menuBar()->addMenu("&Tools");
  QAction* configuration =
      add(tools, {"&Configuration", &CSkyHarvesterDlg::OnConfiguration, "preferences-system", "configuration", "Configuration"});
  QAction* settings = add(tools, {"Settings", &CSkyHarvesterDlg::OnSettings, "document-properties", "settings", "Settings"});
  tools->addSeparator();
  add(tools, {"Update firmware", &CSkyHarvesterDlg::OnUpdateFirmware, nullptr, nullptr, nullptr});
  add(tools, {"Set time", &CSkyHarvesterDlg::OnSetTime, nullptr, nullptr, nullptr});
  tools->addSeparator();
  add(tools, {"Reset Control box", &CSkyHarvesterDlg::OnResetBoard, nullptr, nullptr, nullptr});
  add(tools, {"Clear flash memory", &CSkyHarvesterDlg::OnClearFlash, nullptr, nullptr, nullptr});

  QMenu* data = menuBar()->addMenu("&Data");
  QAction* get = add(data, {"&Get records", &CSkyHarvesterDlg::OnGetRecords, "network-receive", "getrecords", "Get records"});
  data->addSeparator();
  add(data, {"Remove duplicated...", &CSkyHarvesterDlg::OnRemoveDuplicated, nullptr, nullptr, nullptr});
  QMenu* order = data->addMenu("Order...");
  add(order, {"Ascending", &CSkyHarvesterDlg::OnAscending, nullptr, nullptr, nullptr});
  add(order, {"Descending", &CSkyHarvesterDlg::OnDescending, nullptr, nullptr, nullptr});
  data->addSeparator();
  QAction* ascii = add(data, {"Generate ASCII", &CSkyHarvesterDlg::OnGenerateAscii, "text-x-generic", "ascii", "ASCII"});
  add(data, {"&Export ASCII", &CSkyHarvesterDlg::OnExportAscii, nullptr, nullptr, nullptr});
  add(data, {"E&xport K8", &CSkyHarvesterDlg::OnExportK8, nullptr, nullptr, nullptr});
  data->addSeparator();
  QAction* plot = add(data, {"&Plot...", &CSkyHarvesterDlg::OnPlot, nullptr, nullptr, "Plot"});
  plot->setIcon(QIcon(":/icons/plot.svg"));

  QMenu* help = menuBar()->addMenu("&Help");
  QAction* about = add(help, {"&About ...", &CSkyHarvesterDlg::OnAbout, nullptr, nullptr, nullptr});
  about->setShortcuts({QKeySequence("Alt+/"), QKeySequence("Alt+?")});

  toolBar_ = addToolBar("Toolbar");
  toolBar_->setObjectName("toolbar");
  toolBar_->setMovable(false);
  toolBar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  toolBar_->setIconSize(QSize(24, 24));
  for (QAction* a : {open, save, addFile, close}) toolBar_->addAction(a);
  toolBar_->addSeparator();
  toolBar_->addAction(ascii);
  toolBar_->addAction(plot);
  toolBar_->addSeparator();
  toolBar_->addAction(settings);
  toolBar_->addAction(configuration);
  toolBar_->addSeparator();
  toolBar_->addAction(get);
}

void CSkyHarvesterDlg::BuildStatusBar() {
  static const int kWidths[] = {160, 80, 80, 80};
  for (int i = 0; i < 5; ++i) {
    auto* label = new QLabel(this);
    if (i < 4) label->setFixedWidth(kWidths[i]);
    statusBar()->addWidget(label, i == 4 ? 1 : 0);
    panes_.push_back(label);
  }
}

void CSkyHarvesterDlg::BuildCentre() {
  auto* centre = new QWidget(this);
  auto* layout = new QVBoxLayout(centre);
  layout->setContentsMargins(10, 6, 10, 4);
  info_ = new QWidget(centre);
  auto* line = new QHBoxLayout(info_);
  line->setContentsMargins(0, 0, 0, 0);
  for (const char* label : {"Latitude: ", "Longitude: ", "Number: ", "Records: "}) {
    line->addWidget(new QLabel(label, info_));
    auto* value = new QLabel("unknown", info_);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setMinimumWidth(90);
    line->addWidget(value);
    line->addSpacing(16);
    infoValues_.push_back(value);
  }
  line->addStretch(1);
  layout->addWidget(info_);

  model_ = new RecordTableModel(this);
  list_ = new QTableView(centre);
  list_->setModel(model_);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setWordWrap(false);
  list_->setShowGrid(false);
  list_->setAlternatingRowColors(true);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
  QHeaderView* header = list_->horizontalHeader();
  header->setSectionsClickable(true);
  header->setHighlightSections(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  const int widths[] = {70, 70, 150, 1200};
  for (int c = 0; c < 4; ++c) list_->setColumnWidth(c, widths[c]);
  header->setStretchLastSection(true);
  connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
    // Texts of every row are built for the Data column: say so while it runs.
    if (column == RecordTableModel::kData && model_->rowCount() > 10000) {
      SetPane(4, "Sorting...");
      statusBar()->repaint();
    }
    model_->SortByColumn(column);
    if (column == RecordTableModel::kData && model_->rowCount() > 10000) SetPane(4, "");
  });
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    if (rows.size() == 1) ShowDetails(rows.first().row(), false);
  });
  connect(list_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { ShowDetails(index.row(), true); });
  auto* del = new QAction("Delete", list_);
  del->setShortcut(QKeySequence::Delete);
  del->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(del, &QAction::triggered, this, &CSkyHarvesterDlg::OnDelete);
  list_->addAction(del);
  layout->addWidget(list_, 1);
  setCentralWidget(centre);
}

void CSkyHarvesterDlg::Initialise() {
  LoadConfiguration(paths_.iniPath, config_, &debug_);
  if (debug_.disableCloseButton) {
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                    Qt::WindowMinMaxButtonsHint) &
                   ~Qt::WindowCloseButtonHint);
  }
  GetScenarioList().Load(WithSlash(config_.configurationDirectory) + "ScnList.dat");
  link_.Select(config_);
  SetPane(0, Q(link_.Description()));
  if (CLogFile* log = GetLog()) log->Start(config_.logEnabled != 0);
  power_.Set(config_.automaticEnabled != 0);
  Refill();
  timer_->start();
}

void CSkyHarvesterDlg::ApplyConfiguration(const CConfiguration& config) {
  config_ = config;
  link_.Select(config_);
  SetPane(0, Q(link_.Description()));
  if (CLogFile* log = GetLog()) log->Start(config_.logEnabled != 0);
  GetScenarioList().Load(WithSlash(config_.configurationDirectory) + "ScnList.dat");
  SaveConfiguration(paths_.iniPath, config_);
  power_.Set(config_.automaticEnabled != 0);
  Refill();
}

QString CSkyHarvesterDlg::PaneText(int pane) const {
  return pane >= 0 && pane < static_cast<int>(panes_.size()) ? panes_[static_cast<size_t>(pane)]->text() : QString();
}

QString CSkyHarvesterDlg::InfoText() const {
  QStringList parts;
  for (QLabel* v : infoValues_) parts << v->text();
  return parts.join(" | ");
}

void CSkyHarvesterDlg::SetPane(int pane, const QString& text) {
  if (pane < 0 || pane >= static_cast<int>(panes_.size())) return;
  panes_[static_cast<size_t>(pane)]->setText(text);
  panes_[static_cast<size_t>(pane)]->setToolTip(text);
}

void CSkyHarvesterDlg::SetModified(bool modified) {
  modified_ = modified;
  RefreshTitle();
}

void CSkyHarvesterDlg::RefreshTitle() {
  QString title = "SkyHarvester";
  if (!store_->path.empty()) title += " - " + Q(store_->path.substr(FileNameStart(store_->path)));
  // Unsaved data shows, with or without a file name: closing never asks.
  if (modified_) title += " *";
  setWindowTitle(title);
}

void CSkyHarvesterDlg::Refill() {
  model_->Reset(store_.get(), config_.viewUnknown != 0);
  RefreshTitle();
  ShowInstrumentInfo();
  if (plot_) plot_->StoreChanged();
}

void CSkyHarvesterDlg::ShowInstrumentInfo() {
  const RecordStore& s = *store_;
  if (!s.Header()) {
    SetPane(2, "");
    SetPane(3, "");
    for (QLabel* v : infoValues_) v->setText("unknown");
  } else {
    if (s.versionCode[2] == 1) SetPane(2, Q(Sprintf("V%d.%02d", s.versionNumber[0], s.versionNumber[1])));
    else SetPane(2, Q(Sprintf("V%d.00", s.versionNumber[1])));
    SetPane(3, Q(s.scenarioKey));
    InstrumentInfo info = ShowSettingsRecord(config_.configurationDirectory, *store_);
    if (info.parametersLoaded) {
      infoValues_[0]->setText(Q(info.latitude) + QChar(0x00B0));
      infoValues_[1]->setText(Q(info.longitude) + QChar(0x00B0));
      infoValues_[2]->setText(Q(info.number));
    }
  }
  QString records = QString::number(s.Count());
  if (int32_t unknown = s.UnknownCount())
    records += Q(Sprintf(" ( %d unknown%c )", unknown, unknown == 1 ? ' ' : 's'));
  infoValues_[3]->setText(records);
}

void CSkyHarvesterDlg::ShowDetails(int row, bool box) {
  const CRecord* r = model_->RecordAt(row);
  if (!r || store_->Count() == 0) return;
  std::string text;
  DateTimeFields f;
  if (r->time() == 0) text = "Unknown record ID";
  else if (r->time() > 0 && TimeToFields(r->time(), f))
    text = Sprintf("%02d/%02d/%04d %02d:%02d:%02d\n%s", f.day, f.month, f.year, f.hour, f.minute, f.second,
                   r->description());
  else text = "---\n" + r->description();
  QString shown = Q(text).replace("\n", ": ");
  if (!box) {
    SetPane(4, shown);
    return;
  }
  QString caption = "Info";
  if (debug_.expert && r->scenario()) caption += Q(Sprintf(" (Scn: %d) ", r->scenario()->number));
  Message(QMessageBox::NoIcon, caption, shown);
}

bool CSkyHarvesterDlg::Ask(QMessageBox::Icon icon, const QString& caption, const QString& text, bool okCancel) {
  ModalScope scope(*this);
  return prompts_.ask(icon, caption, text, okCancel);
}

void CSkyHarvesterDlg::Message(QMessageBox::Icon icon, const QString& caption, const QString& text) {
  prompts_.message(icon, caption, text);
}

bool CSkyHarvesterDlg::NeedsData() {
  if (store_->Count() > 0) return true;
  Message(QMessageBox::Information, "Info", "No data in memory");
  return false;
}

// ---- File commands ----

void CSkyHarvesterDlg::AskSaveModified() {
  if (modified_ && Ask(QMessageBox::Warning, "Warning", "Current file is modified\nSave it?")) OnSave();
}

void CSkyHarvesterDlg::OnOpen() {
  AskSaveModified();
  QStringList files = prompts_.openFiles();
  if (files.isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& f : files) paths.push_back(f.toStdString());
  OpenFiles(paths, true);
}

void CSkyHarvesterDlg::OnAddFile() {
  AskSaveModified();
  QStringList files = prompts_.openFiles();
  if (files.isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& f : files) paths.push_back(f.toStdString());
  OpenFiles(paths, false);
}

void CSkyHarvesterDlg::OpenFiles(const std::vector<std::string>& paths, bool replace) {
  if (paths.empty()) return;
  if (replace) {
    modified_ = false;
    store_->Clear();
    store_->path.clear();
    Refill();
  }
  // The files load into a store of their own; the window's store changes
  // only on the window thread, after the worker returned.
  auto loaded = std::make_shared<std::unique_ptr<RecordStore>>();
  const bool wasEmpty = store_->Count() == 0;
  StartWorker(
      "Load k8 file",
      [this, paths, loaded] {
        bridge_.SetTitle("Load k8 file");
        bridge_.SetText("Please wait...");
        auto result = std::make_unique<RecordStore>();
        int added = 0;
        for (size_t i = 0; i < paths.size(); ++i) {
          auto one = std::make_unique<RecordStore>();
          if (!one->LoadFromFile(paths[i])) continue;
          if (added++ == 0 && paths.size() == 1) result = std::move(one);
          else {
            if (!result->Header() && one->Header()) result->SetHeader(one->Header()->raw(), one->Header()->length());
            result->AddAllFrom(*one);
          }
          bridge_.SetText(Sprintf("%d file added", static_cast<int>(i + 1)));
        }
        if (paths.size() != 1) result->path.clear();
        *loaded = std::move(result);
      },
      [this, loaded, wasEmpty] {
        std::unique_ptr<RecordStore> fresh = std::move(*loaded);
        if (!fresh) return;
        if (!wasEmpty) modified_ = true;
        bridge_.SetText("Import in dialog...");
        if (store_->Count() == 0 && !store_->Header()) {
          if (!store_->path.empty()) fresh->path = store_->path;
          SwapStore(std::move(fresh));
        } else {
          model_->Reset(nullptr, false);
          if (!store_->Header() && fresh->Header()) store_->SetHeader(fresh->Header()->raw(), fresh->Header()->length());
          if (store_->path.empty()) store_->path = fresh->path;
          store_->AddAllFrom(*fresh);
        }
        Refill();
        bridge_.SetText(Sprintf("Records loaded correctly ( %ld records )\n", static_cast<long>(store_->Count())));
        SetPane(4, "File loaded.");
        bridge_.CloseAfter(2000);
      });
}

void CSkyHarvesterDlg::SwapStore(std::unique_ptr<RecordStore> fresh) {
  model_->Reset(nullptr, false);
  store_ = std::move(fresh);
}

void CSkyHarvesterDlg::OnSave() {
  if (!modified_ && store_->Count() == 0) {
    Message(QMessageBox::Information, "Info", "No data in memory");
    return;
  }
  if (store_->path.empty()) {
    OnSaveAs();
    return;
  }
  if (!modified_) return;
  SaveTo();
}

void CSkyHarvesterDlg::OnSaveAs() {
  if (!NeedsData()) return;
  QString name = prompts_.saveFile();
  if (name.isEmpty()) return;
  store_->path = name.toStdString();
  SaveTo();
}

void CSkyHarvesterDlg::SaveTo() {
  if (store_->SaveToFile(store_->path, false)) {
    modified_ = false;
    RefreshTitle();
    SetPane(4, "File saved.");
  } else {
    RefreshTitle();
    Message(QMessageBox::Information, "Error", "Error during K8 files saving\n");
  }
}

void CSkyHarvesterDlg::OnCloseData() {
  if (!NeedsData()) return;
  AskSaveModified();
  modified_ = false;
  store_->Clear();
  store_->path.clear();
  Refill();
  SetPane(4, "File closed.");
}

void CSkyHarvesterDlg::OnExit() { close(); }

void CSkyHarvesterDlg::closeEvent(QCloseEvent* event) {
  // No question about unsaved data (unattended stations close at once),
  // but a running worker is asked to stop and waited for.
  timer_->stop();
  if (!workers_.empty() || sending_) {
    bridge_.Abort();
    closing_ = true;  // a worker's question is answered No at once
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto running = [this] {
      return std::any_of(workers_.begin(), workers_.end(), [](auto& w) { return !w->Done(); }) ||
             (settings_ && settings_->Sending());
    };
    while (running()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    for (auto& w : workers_) w->Join();
    if (settings_) settings_->Worker().Join();
    QApplication::restoreOverrideCursor();
  }
  SaveConfiguration(paths_.iniPath, config_);
  power_.Set(false);
  progress_->hide();
  event->accept();
}

void CSkyHarvesterDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !Busy()) event->acceptProposedAction();
}

void CSkyHarvesterDlg::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  DropUrls(event->mimeData()->urls());
}

void CSkyHarvesterDlg::DropUrls(const QList<QUrl>& urls) {
  std::vector<std::string> paths;
  for (const QUrl& url : urls)
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  if (paths.empty()) {
    Message(QMessageBox::Critical, QString(), "Error during dropping.");
    return;
  }
  OpenFiles(paths, true);
}

// ---- List interactions ----

void CSkyHarvesterDlg::OnDelete() {
  QModelIndexList rows = list_->selectionModel()->selectedRows();
  if (rows.isEmpty()) {
    Message(QMessageBox::Warning, "Warning", "Select one or more items to delete");
    return;
  }
  // The selected rows' own records, by their place in the store: records
  // equal in time and bytes are different rows.
  std::vector<int32_t> indices;
  for (const QModelIndex& i : rows) indices.push_back(model_->StoreIndex(i.row()));
  std::sort(indices.begin(), indices.end(), std::greater<>());
  model_->Reset(nullptr, false);
  for (int32_t index : indices) store_->RemoveAt(index);
  modified_ = true;
  Refill();
}

// ---- Data commands ----

void CSkyHarvesterDlg::OnRemoveDuplicated() {
  if (!NeedsData()) return;
  if (!Ask(QMessageBox::Question, "Info", "Do you want to delete duplicated data?", true)) return;
  SetPane(4, "Removing duplicated data...");
  model_->Reset(nullptr, false);  // the list reads the store again after the worker
  auto removed = std::make_shared<int32_t>(0);
  StartWorker(
      "Removing duplicated data...",
      [this, removed] {
        bridge_.SetTitle("Removing duplicated data...");
        bridge_.SetText("Please wait...");
        *removed = store_->RemoveDuplicates();
      },
      [this, removed] {
        if (*removed != 0) modified_ = true;
        bridge_.SetText("Import in dialog...");
        Refill();
        bridge_.SetText(Sprintf("Removing duplicated data finished.\n%d records removed.", *removed));
        SetPane(4, "Remove duplicated data OK.");
        bridge_.CloseAfter(2000);
      });
}

void CSkyHarvesterDlg::Order(bool ascending) {
  if (!NeedsData()) return;
  SetPane(4, "Ordering data...");
  model_->Reset(nullptr, false);
  auto changed = std::make_shared<bool>(false);
  StartWorker(
      "Ordering data...",
      [this, changed, ascending] {
        bridge_.SetTitle("Ordering data...");
        bridge_.SetText("Please wait...");
        *changed = store_->Order(ascending);
      },
      [this, changed] {
        modified_ = modified_ || *changed;
        bridge_.SetText("Import in dialog...");
        Refill();
        bridge_.SetText("Ordering data finished");
        SetPane(4, "Ordering data data OK.");
        bridge_.CloseAfter(2000);
      });
}

void CSkyHarvesterDlg::OnGenerateAscii() {
  if (!NeedsData()) return;
  GenerateAscii(*store_, FileNaming{config_.baseName, config_.filesPeriod});
  SetPane(4, "File exported.");
  Message(QMessageBox::Information, "Info",
          Q(Sprintf("ASCII files generated correctly ( %ld records )\n", static_cast<long>(store_->Count()))));
}

void CSkyHarvesterDlg::OnExportAscii() { Export(false); }
void CSkyHarvesterDlg::OnExportK8() { Export(true); }

void CSkyHarvesterDlg::Export(bool k8) {
  if (!NeedsData()) return;
  QString folder = prompts_.folder(Q(lastExportFolder_));
  if (folder.isEmpty()) return;
  lastExportFolder_ = folder.toStdString();
  const FileNaming naming{config_.baseName, config_.filesPeriod};
  int result = k8 ? ExportK8ByPeriod(*store_, WithSlash(lastExportFolder_), naming)
                  : ExportAsciiByPeriod(*store_, WithSlash(lastExportFolder_), naming);
  const char* kind = k8 ? "K8" : "ASCII";
  if (result == 0) {
    SetPane(4, "File exported.");
    Message(QMessageBox::Information, "Info",
            Q(Sprintf("%s files exported correctly ( %ld records )\n", kind, static_cast<long>(store_->Count()))));
  } else {
    Message(QMessageBox::Information, "Info", Q(Sprintf("Error during %s files export\n", kind)));
  }
}

// ---- Link commands ----

void CSkyHarvesterDlg::OnGetRecords() {
  // The retrieval replaces the store: unsaved data is offered a save first.
  AskSaveModified();
  auto result = std::make_shared<WorkerResult>();
  CConfiguration config = config_;
  config.outputDirectory = WithSlash(config.outputDirectory);
  StartWorker(
      "Get records",
      [this, result, config] { *result = link_.RunInteractive(config, paths_.iniPath, bridge_, bridge_); },
      [this, result] {
        // The walk started when the box's settings arrived; only then the
        // retrieved store replaces the window's.
        if (result->outcome.store) {
          auto fresh = std::make_unique<RecordStore>();
          TakeRetrievedStore(result->outcome, *fresh);
          SwapStore(std::move(fresh));
          modified_ = false;
          Refill();
        }
        SetPane(0, Q(link_.Description()));
      });
}

void CSkyHarvesterDlg::StartAutomaticRun() {
  ++automaticRuns_;
  // The run's records go to the exports; the window's store stays as it is.
  CConfiguration config = config_;
  config.outputDirectory = WithSlash(config.outputDirectory);
  StartWorker(
      "Get records", [this, config] { link_.RunAutomatic(config, paths_.iniPath, bridge_, bridge_); },
      [this] { SetPane(0, Q(link_.Description())); });
}

void CSkyHarvesterDlg::OnResetBoard() { BoardCommand(true); }
void CSkyHarvesterDlg::OnClearFlash() { BoardCommand(false); }

void CSkyHarvesterDlg::BoardCommand(bool reset) {
  if (!Ask(QMessageBox::NoIcon, "Info",
           reset ? "Do you want to reset the Photometer control box?" : "Do you want to clear the internal flash memory?"))
    return;
  // A box that does not answer takes a time-out: the window stays responsive.
  const QString title = reset ? "Reset Control box" : "Clear flash memory";
  auto ok = std::make_shared<bool>(false);
  StartWorker(
      title,
      [this, ok, reset, title] {
        bridge_.SetTitle(title.toStdString());
        bridge_.SetText("Please wait...");
        *ok = reset ? link_.ResetBoard() : link_.ClearFlash();
      },
      [this, ok, reset] {
        progress_->WorkerEnded();
        SetPane(0, Q(link_.Description()));
        const char* text = reset ? (*ok ? "Reset board success" : "Reset board error")
                                 : (*ok ? "Clear flash memory success" : "Clear flash memory error");
        Message(QMessageBox::NoIcon, "Info", text);
      });
}

// ---- Workers ----

bool CSkyHarvesterDlg::Busy() const {
  return !workers_.empty() || sending_ || modalDepth_ > 0 || progress_->isVisible();
}

void CSkyHarvesterDlg::StartWorker(const QString& title, std::function<void()> work, std::function<void()> done) {
  LockUi(true);
  progress_->ShowFor(title);
  auto worker = std::make_unique<WorkerThread>(std::move(work));
  WorkerThread* raw = worker.get();
  connect(raw, &WorkerThread::finished, this, [this, raw, done = std::move(done)] {
    raw->Join();
    done();
    WorkerEnded(raw);
  });
  workers_.push_back(std::move(worker));
  raw->Start();
}

void CSkyHarvesterDlg::WorkerEnded(WorkerThread* worker) {
  auto it = std::find_if(workers_.begin(), workers_.end(), [worker](auto& w) { return w.get() == worker; });
  if (it != workers_.end()) {
    it->release()->deleteLater();
    workers_.erase(it);
  }
  MaybeUnlock();
}

void CSkyHarvesterDlg::LockUi(bool locked) {
  menuBar()->setEnabled(!locked);
  toolBar_->setEnabled(!locked);
  centralWidget()->setEnabled(!locked);
  setAcceptDrops(!locked);
}

void CSkyHarvesterDlg::MaybeUnlock() {
  if (workers_.empty() && !sending_ && !progress_->isVisible()) LockUi(false);
}

// ---- Timer ----

void CSkyHarvesterDlg::Tick(int64_t now) {
  AutomaticScheduler::Tick tick = scheduler_.OnTick(config_, now);
  if (tick.newSecond) {
    DateTimeFields f;
    if (TimeToFields(now, f)) SetPane(1, Q(Sprintf("%02d:%02d:%02d", f.hour, f.minute, f.second)));
    // A USB box plugged or pulled: checked once a second.
    if (link_.IsUsb() && now != lastDeviceCheck_ && workers_.empty() && !sending_) {
      lastDeviceCheck_ = now;
      SetPane(0, Q(link_.Description()));
    }
  }
  if (tick.powerRequest) power_.Set(tick.keepAwake);
  if (tick.startRun) {
    if (runPending_) LogLine("Automatic retrieval skipped: the window was busy until the next run\n");
    runPending_ = true;
  }
  if (runPending_ && !Busy()) {
    runPending_ = false;
    StartAutomaticRun();
  }
}

void CSkyHarvesterDlg::OnAbout() {
  QMessageBox box(QMessageBox::NoIcon, "About SkyHarvester",
                  Q(Sprintf("SkyHarvester, Version %d.%d.%d", kVersionMajor, kVersionMinor, kVersionRevision)),
                  QMessageBox::Ok, this);
  box.setIconPixmap(QIcon(":/icons/app.svg").pixmap(48, 48));
  box.exec();
}

}  // namespace skyh::ui
