#pragma once
// The configuration dialog: every field of CConfiguration on the pages
// "General", "Data" and "Communication", edited on a private copy.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "core/configuration.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTimeEdit;
class QGroupBox;

namespace skyh::ui {

// The serial ports offered: the system's names in natural order, then the
// stable /dev/serial/by-id/ names.
using SerialPortLister = std::function<std::vector<std::string>()>;
std::vector<std::string> SystemSerialPorts();

class CConfigDlg : public QDialog {
  Q_OBJECT

 public:
  CConfigDlg(const CConfiguration& config, QWidget* parent = nullptr, const SerialPortLister& ports = SystemSerialPorts);

  // The edited copy; the caller takes it after OK.
  const CConfiguration& Configuration() const { return config_; }

  // Texts longer than this are cut when read back from the INI file.
  static constexpr int kMaxPathLength = 259;
  // The entry text of a configured port that is not present now.
  static QString AbsentPortText(const QString& port);

 public slots:
  void accept() override;

 private:
  QWidget* BuildGeneralPage();
  QWidget* BuildDataPage();
  QWidget* BuildCommunicationPage();
  void ApplyEnable();
  void ApplyPeriod();
  void ApplyLinkType();
  void UpdateExample();
  void OnPhoneChanged();
  // The live range check of a number edit: a value in lo..hi becomes
  // `field`, another text is replaced by `field`, empty sets `field` to 1.
  template <typename T>
  void CheckRange(QLineEdit* edit, int lo, int hi, T& field);
  // Refuses a text the INI file would cut; true when all fit.
  bool CheckLengths();
  void WriteGeneral();
  void WriteData();
  void WriteCommunication();

  CConfiguration config_;
  std::vector<std::string> ports_;
  bool portsFound_ = false;

  QTabWidget* tabs_ = nullptr;
  // General
  QLineEdit* configurationDirectory_ = nullptr;
  // Data
  QLineEdit* filesDirectory_ = nullptr;
  QCheckBox* enable_ = nullptr;
  QCheckBox* createK8_ = nullptr;
  QCheckBox* createAscii_ = nullptr;
  QTimeEdit* startTime_ = nullptr;
  QComboBox* period_ = nullptr;
  QLabel* daysLabel_ = nullptr;
  QLineEdit* days_ = nullptr;
  QButtonGroup* filesPeriod_ = nullptr;
  QLineEdit* prefix_ = nullptr;
  QLabel* example_ = nullptr;
  // Communication
  QComboBox* linkType_ = nullptr;
  QLabel* portLabel_ = nullptr;
  QComboBox* port_ = nullptr;
  QGroupBox* modemFrame_ = nullptr;
  QLineEdit* phone_ = nullptr;
  QCheckBox* getMissing_ = nullptr;
  QCheckBox* limitDays_ = nullptr;
  QLineEdit* maxDays_ = nullptr;
  QCheckBox* enableLog_ = nullptr;
  QCheckBox* autoSetTime_ = nullptr;
  QLineEdit* differenceMax_ = nullptr;
  QCheckBox* viewUnknown_ = nullptr;
};

}  // namespace skyh::ui
