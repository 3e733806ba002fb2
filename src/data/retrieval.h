#pragma once
// "Get records": walks the control box's memory from the newest record back
// to the stop point, the end of the memory, or the day limit.
#include <cstdint>
#include <memory>
#include <string>

#include "core/configuration.h"
#include "core/progress.h"
#include "data/record_store.h"
#include "link/ccom.h"

namespace skyh {

// Long operations end with one of these.
enum class RetrievalStatus : int { kFinished = 0, kError = 1, kAborted = 2 };

// Gives a store its head number from its settings record and returns why
// there is none (empty when set). The settings items know how to read the
// record, so the caller hands this in: SetHeadNumberFromSettings.
using HeadNumberReader = std::string (*)(const std::string& configurationDirectory, RecordStore& store);

struct RetrievalEnv {
  CCom& link;
  const CConfiguration& config;  // clock, stop points, retries, configuration directory
  std::string iniPath;           // holds the per-instrument "last" keys
  IProgressSink& progress;
  IStatusLine& status;
  // The workers write "last" themselves once their files are written.
  bool deferLast = false;
  HeadNumberReader readHeadNumber;
  // Filled by the walk: the last error text it showed and logged.
  std::string reportedError;
};

// What ended a walk.
enum class StopReason {
  kEndOfMemory,  // the oldest record was reached
  kKnownRecord,  // a record of the last retrieval ("last")
  kDayLimit,     // a record beyond the day limit
  kEmpty,        // the box holds no records
  kError,
  kAborted,
};
const char* StopReasonName(StopReason reason);

struct RetrievalOutcome {
  RetrievalStatus status = RetrievalStatus::kFinished;
  int64_t stopTime = 0;      // where the walk was to end
  // The store's last record is the one that ended the walk: known already
  // (or beyond the day limit), so no export writes it again.
  bool endedAtStopRecord = false;
  int64_t newest = 0;        // what "last" becomes
  uint32_t newestFingerprint = 0;  // and "last_crc"
  std::string headNumber;    // of the retrieved instrument; empty without parameter file
  bool lastDue = false;      // a finished walk whose "last" is to be written
  int32_t records = 0;
  StopReason stopReason = StopReason::kEndOfMemory;
  std::string errorText;  // why the run failed, without the line end
  // The retrieved records, set once the walk has started, whatever its end:
  // they then replace the caller's store. Null when the run failed before
  // (the caller's store stays as it was).
  std::shared_ptr<RecordStore> store;
};

// The caller holds a lease on the link. Fills a store of its own, never the
// caller's: the caller swaps it in on its own thread when the run ends.
RetrievalOutcome Retrieve(RetrievalEnv& env);

// The caller's side of the rule above: replaces `store` with the retrieved
// one when there is one.
void TakeRetrievedStore(const RetrievalOutcome& outcome, RecordStore& store);

// "last" of section "head_" + head, as "%02d/%02d/%02d %02d:%02d:%02d", and
// beside it "last_crc", the fingerprint of the record that was newest then:
// a record stamped "last" ends the next walk only when its fingerprint
// matches, so records written later in the same second are not missed.
// False (after logging why) when the file could not be written.
bool WriteLastKey(const std::string& iniPath, const std::string& headNumber, int64_t newest, uint32_t fingerprint);
// CRC-32 of a record's bytes, as "last_crc" holds it ("%08X").
uint32_t RecordFingerprint(const uint8_t* bytes, size_t length);
// The text shown and logged when "last" could not be written.
std::string LastNotWrittenText(const std::string& iniPath);
std::string FormatLastTime(int64_t time);
// kInvalidTime when the text is not a valid "last" value.
int64_t ParseLastTime(const std::string& text);

// A record stamped more than this after the PC's UTC time is not believed.
constexpr int64_t kFutureTolerance = 86400;

}  // namespace skyh
