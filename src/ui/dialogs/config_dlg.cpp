#include "ui/dialogs/config_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "core/configuration.h"
#include "data/file_naming.h"
#include "link/ccom_modem.h"
#include "link/network_line.h"
#include "link/serial_ports_list.h"
#include "ui/dialogs/dialog_boxes.h"

namespace skyh::ui {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// "ttyUSB0" names the same port as "/dev/ttyUSB0"; Windows-style names
// compare without case.
bool SamePort(const std::string& a, const std::string& b) {
  auto norm = [](const std::string& s) {
    QString q = Q(s);
    if (!q.contains('/')) q = "/dev/" + q;
    return q.toLower();
  };
  return !a.empty() && norm(a) == norm(b);
}

QLineEdit* DigitsEdit(int maxLength, const QString& tip, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
  if (maxLength > 0) edit->setMaxLength(maxLength);
  edit->setToolTip(tip);
  return edit;
}

QPushButton* BrowseButton(QWidget* parent) { return new QPushButton("Browse...", parent); }

}  // namespace

std::vector<std::string> SystemSerialPorts() {
  std::vector<std::string> ports;
  ListSerialPorts(ports);
  ListStableSerialPorts(ports);
  return ports;
}

QString CConfigDlg::AbsentPortText(const QString& port) { return port + " (not present)"; }

CConfigDlg::CConfigDlg(const CConfiguration& config, QWidget* parent, const SerialPortLister& ports)
    : QDialog(parent), config_(config), ports_(ports ? ports() : std::vector<std::string>{}) {
  setWindowTitle("Configuration");
  // The system's names in natural order (COM2 before COM10), the stable
  // names after them.
  std::stable_sort(ports_.begin(), ports_.end(), [](const std::string& a, const std::string& b) {
    const bool aStable = a.find("/by-id/") != std::string::npos, bStable = b.find("/by-id/") != std::string::npos;
    return aStable != bStable ? bStable : NaturalLess(a, b);
  });
  portsFound_ = !ports_.empty();
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("tabs");
  tabs_->addTab(BuildGeneralPage(), "General");
  tabs_->addTab(BuildDataPage(), "Data");
  tabs_->addTab(BuildCommunicationPage(), "Communication");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CConfigDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CConfigDlg::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
}

QWidget* CConfigDlg::BuildGeneralPage() {
  auto* page = new QWidget;
  auto* frame = new QGroupBox("Directory", page);
  configurationDirectory_ = new QLineEdit(Q(config_.configurationDirectory), frame);
  configurationDirectory_->setObjectName("configurationDirectory");
  auto* browse = BrowseButton(frame);
  browse->setObjectName("browseConfiguration");
  connect(browse, &QPushButton::clicked, this, [this] {
    QString folder = Boxes().FolderName(this, "Select configuration directopry", QString());
    if (!folder.isEmpty()) configurationDirectory_->setText(folder);
  });
  auto* row = new QHBoxLayout;
  row->addWidget(configurationDirectory_, 1);
  row->addWidget(browse);
  auto* inner = new QVBoxLayout(frame);
  inner->addWidget(new QLabel("Configuration:", frame));
  inner->addLayout(row);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(frame);
  layout->addStretch(1);
  return page;
}

QWidget* CConfigDlg::BuildDataPage() {
  auto* page = new QWidget;
  // Output folder.
  filesDirectory_ = new QLineEdit(Q(config_.outputDirectory), page);
  filesDirectory_->setObjectName("filesDirectory");
  filesDirectory_->setToolTip(
      "Output directory for files.\nAn empty field indicates than output files are saved in the same folder than this "
      "application.");
  auto* browse = BrowseButton(page);
  browse->setObjectName("browseFiles");
  browse->setToolTip("Select an output directory for files.");
  connect(browse, &QPushButton::clicked, this, [this] {
    QString folder = Boxes().FolderName(this, "Select folder for output ASCII files", filesDirectory_->text());
    if (!folder.isEmpty()) filesDirectory_->setText(folder);
  });
  auto* filesRow = new QHBoxLayout;
  filesRow->addWidget(new QLabel("Files directory:", page));
  filesRow->addWidget(filesDirectory_, 1);
  filesRow->addWidget(browse);

  // Automatic retrieval.
  auto* automatic = new QGroupBox("Automatic retrieval", page);
  enable_ = new QCheckBox("Enable", automatic);
  enable_->setObjectName("enable");
  enable_->setToolTip("Enable automatic recording.");
  enable_->setChecked(config_.automaticEnabled == 1);
  createK8_ = new QCheckBox("Create K8", automatic);
  createK8_->setObjectName("createK8");
  createK8_->setToolTip("Enable automatic K8 files creation.");
  createK8_->setChecked(config_.createK8 == 1);
  createAscii_ = new QCheckBox("Create ASCII", automatic);
  createAscii_->setObjectName("createAscii");
  createAscii_->setToolTip("Enable automatic ASCII files creation.");
  createAscii_->setChecked(config_.createAscii == 1);
  startTime_ = new QTimeEdit(automatic);
  startTime_->setObjectName("startTime");
  startTime_->setDisplayFormat("HH:mm:ss");
  startTime_->setToolTip("Start time for automatic data retrieval.");
  startTime_->setTime(QTime(config_.startHour % 24, config_.startMinute % 60, config_.startSecond % 60));
  period_ = new QComboBox(automatic);
  period_->setObjectName("period");
  period_->setToolTip("Automatic data retrieval period.");
  for (int i = 0; i < 8; ++i) period_->addItem(RetrievalPeriodName(i));
  period_->setCurrentIndex(config_.retrievalPeriod < 8 ? config_.retrievalPeriod : 0);
  daysLabel_ = new QLabel("Day(s):", automatic);
  days_ = DigitsEdit(2, "Range: [1..10]", automatic);
  days_->setObjectName("days");
  days_->setText(QString::number(config_.periodDays));
  connect(enable_, &QCheckBox::clicked, this, &CConfigDlg::ApplyEnable);
  connect(period_, &QComboBox::currentIndexChanged, this, &CConfigDlg::ApplyPeriod);
  connect(days_, &QLineEdit::textChanged, this, [this] { CheckRange(days_, 1, 10, config_.periodDays); });
  auto* grid = new QGridLayout(automatic);
  grid->addWidget(enable_, 0, 0);
  grid->addWidget(createK8_, 1, 0);
  grid->addWidget(createAscii_, 2, 0);
  grid->addWidget(new QLabel("Start time:", automatic), 0, 1);
  grid->addWidget(startTime_, 0, 2);
  grid->addWidget(new QLabel("Period:", automatic), 1, 1);
  grid->addWidget(period_, 1, 2);
  grid->addWidget(daysLabel_, 2, 1);
  grid->addWidget(days_, 2, 2);
  grid->setColumnStretch(3, 1);

  // Files period.
  auto* periodFrame = new QGroupBox("Files period", page);
  filesPeriod_ = new QButtonGroup(this);
  static const char* const kNames[] = {"None", "Daily", "Monthly", "Annual", "Retrieval date"};
  static const char* const kTips[] = {
      "Create files without recording period.", "Create files with daily recording period.",
      "Create files with monthly recording period.", "Create files with annual recording period.",
      "Create files after each export.\nThe used base name is the date of the computer."};
  auto* radios = new QVBoxLayout(periodFrame);
  for (int i = 0; i < 5; ++i) {
    auto* radio = new QRadioButton(kNames[i], periodFrame);
    radio->setObjectName(QString("filesPeriod%1").arg(i));
    radio->setToolTip(kTips[i]);
    filesPeriod_->addButton(radio, i);
    radios->addWidget(radio);
  }
  if (QAbstractButton* b = filesPeriod_->button(config_.filesPeriod)) b->setChecked(true);
  connect(filesPeriod_, &QButtonGroup::idClicked, this, &CConfigDlg::UpdateExample);

  // Base name.
  auto* baseFrame = new QGroupBox("Base name", page);
  prefix_ = new QLineEdit(Q(config_.baseName), baseFrame);
  prefix_->setObjectName("prefix");
  example_ = new QLabel(baseFrame);
  example_->setObjectName("example");
  example_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  connect(prefix_, &QLineEdit::textChanged, this, &CConfigDlg::UpdateExample);
  auto* base = new QFormLayout(baseFrame);
  base->addRow("Prefix:", prefix_);
  base->addRow(new QLabel("%VERS%: Photometer version", baseFrame));
  base->addRow(new QLabel("%HEAD%: head number", baseFrame));
  base->addRow("Example:", example_);

  auto* lower = new QHBoxLayout;
  lower->addWidget(periodFrame);
  lower->addWidget(baseFrame, 1);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(filesRow);
  layout->addWidget(automatic);
  layout->addLayout(lower);
  layout->addStretch(1);

  ApplyEnable();
  ApplyPeriod();
  UpdateExample();
  return page;
}

QWidget* CConfigDlg::BuildCommunicationPage() {
  auto* page = new QWidget;
  auto* linkFrame = new QGroupBox("Link", page);
  linkType_ = new QComboBox(linkFrame);
  linkType_->setObjectName("linkType");
  linkType_->setToolTip("Choose the communication type.");
  portLabel_ = new QLabel("Port:", linkFrame);
  port_ = new QComboBox(linkFrame);
  port_->setObjectName("port");
  port_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  // A name may be typed too: a network port (socket://HOST:PORT,
  // rfc2217://HOST:PORT) or a device the list does not show.
  port_->setEditable(true);
  port_->setInsertPolicy(QComboBox::NoInsert);
  port_->setToolTip("A serial port, or a device server as socket://HOST:PORT or rfc2217://HOST:PORT.");
  // A configured port that is absent now (an adapter unplugged) stays the
  // choice unless the operator picks another; a network port is never absent.
  const bool serialConfigured = config_.linkType == kLinkSerial || config_.linkType == kLinkModem;
  int selected = -1;
  for (const std::string& name : ports_) {
    if (selected < 0 && SamePort(name, config_.port)) selected = port_->count();
    port_->addItem(Q(name), Q(name));
  }
  if (selected < 0 && !config_.port.empty() && (serialConfigured || portsFound_)) {
    selected = port_->count();
    const QString name = Q(config_.port);
    port_->addItem(IsNetworkPortName(config_.port) ? name : AbsentPortText(name), name);
  }
  port_->setCurrentIndex(selected >= 0 ? selected : 0);
  linkType_->addItem("USB");
  if (port_->count() > 0 || serialConfigured) {
    linkType_->addItem("Serial");
    linkType_->addItem("Modem");
  }
  linkType_->setCurrentIndex(config_.linkType < linkType_->count() ? config_.linkType : 0);
  auto* linkForm = new QFormLayout(linkFrame);
  linkForm->addRow("Type:", linkType_);
  linkForm->addRow(portLabel_, port_);

  modemFrame_ = new QGroupBox("Modem", page);
  modemFrame_->setObjectName("modemFrame");
  phone_ = new QLineEdit(Q(config_.phoneNumber), modemFrame_);
  phone_->setObjectName("phone");
  // Room for a whole international number even beside a long typed port name.
  phone_->setMinimumWidth(phone_->fontMetrics().horizontalAdvance(QString(16, QChar('0'))) + 12);
  connect(phone_, &QLineEdit::textChanged, this, &CConfigDlg::OnPhoneChanged);
  auto* modemForm = new QFormLayout(modemFrame_);
  modemForm->addRow("Phone num:", phone_);

  auto* misc = new QGroupBox("Miscellaneous", page);
  getMissing_ = new QCheckBox("Get missing data", misc);
  getMissing_->setObjectName("getMissing");
  getMissing_->setToolTip("Retrieve only missings records.");
  getMissing_->setChecked(config_.retrieveMissing == 1);
  limitDays_ = new QCheckBox("Limit retrieving days", misc);
  limitDays_->setObjectName("limitDays");
  limitDays_->setToolTip("Limit the number of days to retrieve.");
  limitDays_->setChecked(config_.retrieveLimited == 1);
  maxDays_ = DigitsEdit(2, "Number of days to retrieve.\nRange[1..30]", misc);
  maxDays_->setObjectName("maxDays");
  maxDays_->setText(QString::number(config_.retrieveMaxDays));
  connect(maxDays_, &QLineEdit::textChanged, this, [this] { CheckRange(maxDays_, 1, 30, config_.retrieveMaxDays); });
  enableLog_ = new QCheckBox("Enable log", misc);
  enableLog_->setObjectName("enableLog");
  enableLog_->setToolTip("Add debugging information to log file.");
  enableLog_->setChecked(config_.logEnabled == 1);
  autoSetTime_ = new QCheckBox("Enable auto set time", misc);
  autoSetTime_->setObjectName("autoSetTime");
  autoSetTime_->setToolTip("Set instrument time from PC automatically.");
  autoSetTime_->setChecked(config_.autoSetTime == 1);
  differenceMax_ = DigitsEdit(9, "Difference max allowed between the instrument and the PC (seconds).", misc);
  differenceMax_->setObjectName("differenceMax");
  differenceMax_->setText(QString::number(config_.autoSetTimeMax));
  viewUnknown_ = new QCheckBox("View unknown records", misc);
  viewUnknown_->setObjectName("viewUnknown");
  viewUnknown_->setToolTip("Display unknown records in the list.");
  viewUnknown_->setChecked(config_.viewUnknown == 1);
  auto* grid = new QGridLayout(misc);
  grid->addWidget(getMissing_, 0, 0, 1, 3);
  grid->addWidget(limitDays_, 1, 0);
  grid->addWidget(maxDays_, 1, 1);
  grid->addWidget(enableLog_, 2, 0, 1, 3);
  grid->addWidget(autoSetTime_, 3, 0, 1, 3);
  grid->addWidget(new QLabel("Difference max (sec):", misc), 4, 0);
  grid->addWidget(differenceMax_, 4, 1);
  grid->addWidget(viewUnknown_, 5, 0, 1, 3);
  grid->setColumnStretch(2, 1);

  connect(linkType_, &QComboBox::currentIndexChanged, this, &CConfigDlg::ApplyLinkType);
  connect(limitDays_, &QCheckBox::clicked, this, &CConfigDlg::ApplyLinkType);
  connect(autoSetTime_, &QCheckBox::clicked, this, &CConfigDlg::ApplyLinkType);

  auto* top = new QHBoxLayout;
  top->addWidget(linkFrame, 1);
  top->addWidget(modemFrame_, 1);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(top);
  layout->addWidget(misc);
  layout->addStretch(1);
  ApplyLinkType();
  return page;
}

void CConfigDlg::ApplyEnable() {
  const bool on = enable_->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{period_, days_, startTime_, createK8_, createAscii_})
    w->setEnabled(on);
}

void CConfigDlg::ApplyPeriod() {
  const bool days = period_->currentIndex() == 7;
  daysLabel_->setVisible(days);
  days_->setVisible(days);
}

void CConfigDlg::ApplyLinkType() {
  const int type = linkType_->currentIndex();
  portLabel_->setVisible(type != kLinkUsb);
  port_->setVisible(type != kLinkUsb);
  modemFrame_->setVisible(type == kLinkModem);
  maxDays_->setEnabled(limitDays_->isChecked());
  differenceMax_->setEnabled(autoSetTime_->isChecked());
}

void CConfigDlg::UpdateExample() {
  int period = filesPeriod_->checkedId();
  example_->setText(Q(FormatExample(prefix_->text().toStdString(),
                                    static_cast<uint8_t>(period < 0 ? kPeriodRetrievalDate : period))));
}

void CConfigDlg::OnPhoneChanged() {
  const QString text = phone_->text();
  const QString clean = Q(CleanPhoneNumber(text.toStdString()));
  if (clean == text) return;
  // The caret keeps its place among the characters that stay.
  const int caret = static_cast<int>(CleanPhoneNumber(text.left(phone_->cursorPosition()).toStdString()).size());
  phone_->setText(clean);
  phone_->setCursorPosition(caret);
}

template <typename T>
void CConfigDlg::CheckRange(QLineEdit* edit, int lo, int hi, T& field) {
  const QString text = edit->text();
  if (text.isEmpty()) {
    field = 1;
    return;
  }
  bool ok = false;
  const int value = text.toInt(&ok);
  if (ok && value >= lo && value <= hi) {
    field = static_cast<T>(value);
    return;
  }
  edit->setText(QString::number(field));
  edit->setCursorPosition(edit->text().size());
}

bool CConfigDlg::CheckLengths() {
  struct Field {
    QLineEdit* edit;
    int tab;
    const char* name;
  };
  const Field fields[] = {{configurationDirectory_, 0, "configuration directory"},
                          {filesDirectory_, 1, "files directory"},
                          {prefix_, 1, "base name prefix"}};
  for (const Field& f : fields) {
    // The configuration directory gets its separator on OK.
    const int extra = f.edit == configurationDirectory_ && !f.edit->text().isEmpty() && !f.edit->text().endsWith('/');
    if (f.edit->text().toLocal8Bit().size() + extra <= kMaxPathLength) continue;
    tabs_->setCurrentIndex(f.tab);
    f.edit->setFocus();
    Boxes().Show(this, QMessageBox::Warning, "Warning",
                 QString("The %1 is longer than %2 characters and could not be stored.\nPlease choose a shorter one.")
                     .arg(f.name)
                     .arg(kMaxPathLength));
    return false;
  }
  return true;
}

void CConfigDlg::accept() {
  if (!CheckLengths()) return;
  WriteGeneral();
  WriteData();
  WriteCommunication();
  QDialog::accept();
}

void CConfigDlg::WriteGeneral() {
  std::string dir = configurationDirectory_->text().toStdString();
  if (!dir.empty() && dir.back() != '/') dir += '/';
  config_.configurationDirectory = dir;
}

void CConfigDlg::WriteData() {
  config_.automaticEnabled = enable_->isChecked() ? 1 : 0;
  config_.retrievalPeriod = static_cast<uint8_t>(std::max(0, period_->currentIndex()));
  config_.outputDirectory = filesDirectory_->text().toStdString();
  const int period = filesPeriod_->checkedId();
  config_.filesPeriod = static_cast<uint8_t>(period >= 0 && period <= 3 ? period : kPeriodRetrievalDate);
  const QTime t = startTime_->time();
  config_.startHour = static_cast<uint8_t>(t.hour());
  config_.startMinute = static_cast<uint8_t>(t.minute());
  config_.startSecond = static_cast<uint8_t>(t.second());
  config_.createK8 = createK8_->isChecked() ? 1 : 0;
  config_.createAscii = createAscii_->isChecked() ? 1 : 0;
  config_.baseName = prefix_->text().toStdString();
}

void CConfigDlg::WriteCommunication() {
  config_.linkType = static_cast<uint8_t>(std::max(0, linkType_->currentIndex()));
  // An entry chosen from the list stands for its name; other text was typed.
  const QString text = port_->currentText().trimmed();
  const int index = port_->currentIndex();
  if (index >= 0 && text == port_->itemText(index)) config_.port = port_->currentData().toString().toStdString();
  else if (!text.isEmpty()) config_.port = text.toStdString();
  config_.phoneNumber = phone_->text().toStdString();
  config_.logEnabled = enableLog_->isChecked() ? 1 : 0;
  config_.retrieveMissing = getMissing_->isChecked() ? 1 : 0;
  config_.retrieveLimited = limitDays_->isChecked() ? 1 : 0;
  config_.autoSetTime = autoSetTime_->isChecked() ? 1 : 0;
  config_.viewUnknown = viewUnknown_->isChecked() ? 1 : 0;
  config_.autoSetTimeMax = differenceMax_->text().toInt();
}

}  // namespace skyh::ui
