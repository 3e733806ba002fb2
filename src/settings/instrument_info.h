#pragma once
// What the window shows of a store's settings record (instrument number,
// position, version), and the head number it gives the store.
#include <string>

#include "data/record_store.h"

namespace skyh {

struct InstrumentInfo {
  bool hasHeader = false;
  bool parametersLoaded = false;  // the parameter file matched the header
  std::string number;             // IDNUM as read
  std::string latitude;           // IDLAT
  std::string longitude;          // IDLONG
  std::string version;            // "%d.%d" of the version number bytes
  std::string noNumberReason;     // why there is no instrument number
};

// Reads the header's parameters through configuration directory +
// "ParDesc.dat" and + the store's parameter file name.
InstrumentInfo ReadInstrumentInfo(const std::string& configurationDirectory, const RecordStore& store);

// IDNUM left-padded with "0" to at least four characters.
std::string PadHeadNumber(const std::string& number);

// The display of the settings record: sets the store's head number when the
// parameter file gives an instrument number and leaves it alone otherwise
// (no "0000" that every such instrument would share).
InstrumentInfo ShowSettingsRecord(const std::string& configurationDirectory, RecordStore& store);

// ShowSettingsRecord as the retrieval asks for it (a HeadNumberReader): the
// reason there is no instrument number, empty when the head number was set.
std::string SetHeadNumberFromSettings(const std::string& configurationDirectory, RecordStore& store);

}  // namespace skyh
