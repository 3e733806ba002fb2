#pragma once
// Sending edited settings to the control box: the box's current settings
// are read, the edited values merged into them by key, and the result
// written back in pieces. Runs on a worker thread; a lease on the session's
// link keeps every other user off it meanwhile.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/progress.h"
#include "data/record_store.h"
#include "link/link_session.h"
#include "settings/settings_pieces.h"

namespace skyh {

struct SendSettingsJob {
  // The edited settings record (a copy, so the caller's store may change
  // while the worker runs).
  std::vector<uint8_t> editedRecord;
  // Holds ParDesc.dat and the parameter files.
  std::string configurationDirectory;
  uint32_t lockWaitMs = LinkSession::kOperatorWaitMs;
  int pauseMs = 1000;                 // after the exchange, before the result
  int closeAfterMs = 2000;
};

// The settings record of a store, or empty without one.
std::vector<uint8_t> SettingsRecordOf(const RecordStore& store);

// The whole worker: progress, a lease on the session's link (open media),
// exchange, end of session, close media. True when the settings were
// written.
bool SendSettings(LinkSession& session, const SendSettingsJob& job, IProgressSink& progress, IStatusLine& status);

// The exchange on an open link: GetSettings, merge, WriteSettings pieces.
// True when every piece was written.
bool WriteSettingsExchange(CCom& link, const SendSettingsJob& job, IProgressSink& progress);

// Merges `editedArea` (read through `editedParameterFile`) into `boxArea`
// (read through `boxParameterFile`) by key. An item whose text is not exact
// (rounded decimals, a boolean holding 2) has its field bits copied when both
// sides store it alike; items not copied keep the box's bytes. Gives the fields of the box's items for the piece splitting;
// false when the box's parameter file cannot be used (`boxArea` untouched).
bool MergeSettingsAreas(const std::string& parDescPath, const std::string& editedParameterFile,
                        std::span<const uint8_t> editedArea, const std::string& boxParameterFile,
                        std::span<uint8_t> boxArea, std::vector<SettingsSpan>& fields);

}  // namespace skyh
