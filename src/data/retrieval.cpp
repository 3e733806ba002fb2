#include "data/retrieval.h"

#include <zlib.h>

#include <cctype>
#include <memory>
#include <optional>
#include <vector>

#include "core/clock_sync.h"
#include "core/format.h"
#include "core/ini_file.h"
#include "core/log_file.h"
#include "core/text_util.h"
#include "core/time_util.h"
#include "link/tick_timer.h"
#include "records/record.h"
#include "records/settings_area.h"

namespace skyh {
namespace {

// Log and show an error text.
void Report(RetrievalEnv& env, const std::string& text) {
  LogLine("%s", text);
  env.progress.SetText(text);
  env.reportedError = text;
}

std::string LastSection(const std::string& head) { return "head_" + head; }

// Eight hexadecimal digits, as WriteLastKey writes them.
std::optional<uint32_t> ParseFingerprint(const std::string& text) {
  if (text.size() != 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(HexDigitValue(c));
  }
  return value;
}

class Walk {
 public:
  explicit Walk(RetrievalEnv& env) : env(env) { timer.emplace(env.link.Clock()); }

  RetrievalStatus Run(RetrievalOutcome& out);

 private:
  bool CheckClock();
  void FindStopPointFromLast();
  RetrievalStatus Empty(RetrievalOutcome& out);
  void Hand(RetrievalOutcome& out);
  // A step's reply, asked for again once when it does not decode.
  bool TakeReply();
  void Finish(RetrievalOutcome& out);
  bool Believable(int64_t t) const { return t <= NowUtc() + kFutureTolerance; }
  bool EndsWalk(const CRecord& record) const;
  StopReason StopAt() const { return stopFromDayLimit ? StopReason::kDayLimit : StopReason::kKnownRecord; }
  void SeeNewest(const CRecord& record);

  RetrievalEnv& env;
  // Handed to the caller whole once the walk has started; never shared while it grows.
  std::shared_ptr<RecordStore> collectedStore = std::make_shared<RecordStore>();
  RecordStore& collected = *collectedStore;
  std::optional<TickTimer> timer;
  int64_t stopTime = 0;
  // Of the record that was newest at the last retrieval, when the stop
  // point is "last".
  std::optional<uint32_t> lastFingerprint;
  int64_t newest = 0;
  uint32_t newestFingerprint = 0;
  bool endedAtStopRecord = false;
  bool stopFromDayLimit = false;
  StopReason stopReason = StopReason::kEndOfMemory;
  RetrievalStatus status = RetrievalStatus::kFinished;
  bool done = false;
  ComResult result = ComResult::kOk;
  std::vector<uint8_t> reply;
  std::vector<uint8_t> lastAdded;  // bytes of the record added last
};

bool Walk::CheckClock() {
  env.progress.SetText("Get Photometer date");
  int64_t boxTime = 0;
  ComResult r = env.link.GetDateTime(boxTime);
  if (r != ComResult::kOk) {
    Report(env, Sprintf("Get Photometer date error: %d\n", ResultCode(r)));
    return false;
  }
  const int64_t pcTime = NowUtc();
  const int64_t difference = boxTime - pcTime;
  const int64_t bound = env.config.autoSetTimeMax;
  if (difference < -bound || difference > bound) {
    if (env.config.autoSetTimeNeedsSync == 1 && !ComputerClockSynchronised()) {
      LogLine("Computer clock not synchronised: the photometer's clock was left unchanged.\n");
      return true;
    }
    r = env.link.SetDateTime(pcTime);
    if (r != ComResult::kOk) {
      Report(env, Sprintf("Get Photometer date error: %d\n", ResultCode(r)));
      return false;
    }
    LogLine("Difference bewteen Photometer and PC is %lld seconds.\n", static_cast<long long>(difference));
  }
  return true;
}

void Walk::FindStopPointFromLast() {
  if (collected.headNumber.empty()) return;
  CIniFile ini(env.iniPath, true);
  const std::string value = ini.GetString(LastSection(collected.headNumber), "last", "");
  if (value.empty()) return;
  LogLine("Last = \"%s\"\n", value);
  if (value.find(' ') == std::string::npos) return;
  const int64_t t = ParseLastTime(value);
  if (t == kInvalidTime) {
    LogLine("Can't convert last time \"%s\"\n", value);
    return;
  }
  // A "last" from a box clock that was once set far ahead would hide every
  // record until real time catches up with it.
  if (!Believable(t)) {
    LogLine("Last time \"%s\" lies in the future, ignored\n", value);
    return;
  }
  stopTime = t;
  const std::string fingerprint = ini.GetString(LastSection(collected.headNumber), "last_crc", "");
  lastFingerprint = ParseFingerprint(fingerprint);
  if (!lastFingerprint && !fingerprint.empty()) LogLine("Can't convert last_crc \"%s\"\n", fingerprint);
}

// Records older than the stop point end the walk, and so do those stamped
// with it, unless the fingerprint of the newest record of the last
// retrieval is known: then only that record does, and the records written
// after it within the same second are taken too.
bool Walk::EndsWalk(const CRecord& record) const {
  const int64_t t = record.time();
  if (t <= 0 || t > stopTime) return false;
  if (t < stopTime || !lastFingerprint) return true;
  return RecordFingerprint(record.raw(), record.length()) == *lastFingerprint;
}

// The first record met with the latest time is the one written last.
void Walk::SeeNewest(const CRecord& record) {
  const int64_t t = record.time();
  if (t <= newest || !Believable(t)) return;
  newest = t;
  newestFingerprint = RecordFingerprint(record.raw(), record.length());
}

// The walk has started: what was collected becomes the caller's store.
void Walk::Hand(RetrievalOutcome& out) { out.store = collectedStore; }

RetrievalStatus Walk::Empty(RetrievalOutcome& out) {
  Hand(out);
  out.stopReason = stopReason;
  env.progress.SetText("The Photometer is empty");
  return RetrievalStatus::kFinished;
}

bool Walk::TakeReply() {
  // A repeat after a lost request answers with the record we already hold:
  // the box never stepped, so nothing is new.
  auto decodeAndAdd = [&]() -> int {
    CRecord record;
    if (!record.Decode(collected.scenarioKey, reply.data(), reply.size())) return -1;
    if (EndsWalk(record)) {
      done = true;
      endedAtStopRecord = true;
      stopReason = StopAt();
    } else {
      SeeNewest(record);
    }
    collected.AddCopy(reply.data(), static_cast<uint16_t>(reply.size()));
    lastAdded = reply;
    return 1;
  };
  if (decodeAndAdd() > 0) return true;
  // A reply that passed its checksum but is no record: ask for it once more.
  std::vector<uint8_t> again;
  if (env.link.RepeatRecord(again) == ComResult::kOk) {
    reply = again;
    if (decodeAndAdd() > 0) return true;
  }
  LogLine("Wrong record (%d bytes) skipped\n", static_cast<int>(reply.size()));
  return false;
}

RetrievalStatus Walk::Run(RetrievalOutcome& out) {
  env.link.ResetReceivedBytes();
  if (env.config.autoSetTime == 1 && !CheckClock()) return RetrievalStatus::kError;

  env.progress.SetText("Get settings");
  std::vector<uint8_t> settings;
  ComResult r = env.link.GetSettings(settings);
  // A reply that is no settings record would head every file with nothing.
  if (r == ComResult::kOk && !IsSettingsRecord(settings)) r = ComResult::kChecksumError;
  if (r != ComResult::kOk) {
    Report(env, Sprintf("Get settings error: %d\n", ResultCode(r)));
    return RetrievalStatus::kError;
  }
  collected.SetHeader(settings.data(), static_cast<uint16_t>(settings.size()));
  const std::string noNumberReason = env.readHeadNumber
                                         ? env.readHeadNumber(env.config.configurationDirectory, collected)
                                         : "the settings record was not read";
  out.headNumber = collected.headNumber;
  // Without a number there is no "last" to start from nor to write.
  if (env.config.retrieveMissing == 1 && collected.headNumber.empty())
    LogLine("Missing records mode skipped: %s\n", noNumberReason);

  if (env.config.retrieveMissing == 1) FindStopPointFromLast();

  timer.emplace(env.link.Clock());
  env.progress.SetText("Get last record");
  r = env.link.GetLastRecord(reply);
  if (r != ComResult::kOk) {
    Report(env, Sprintf("Get last record error: %d\n", ResultCode(r)));
    return RetrievalStatus::kError;
  }
  if (reply.empty()) {
    out.stopTime = stopTime;
    stopReason = StopReason::kEmpty;
    return Empty(out);
  }
  CRecord last;
  if (!last.Decode(collected.scenarioKey, reply.data(), reply.size())) {
    Report(env, "Wrong last record\n");
    return RetrievalStatus::kError;
  }
  if (env.config.retrieveLimited == 1) {
    const int64_t limit = last.time() - int64_t(env.config.retrieveMaxDays) * 86400;
    if (stopTime < limit) {
      stopTime = limit;
      stopFromDayLimit = true;
      lastFingerprint.reset();
    }
  }
  out.stopTime = stopTime;
  if (EndsWalk(last)) {
    stopReason = StopAt();
    return Empty(out);
  }
  collected.AddCopy(reply.data(), static_cast<uint16_t>(reply.size()));
  lastAdded = reply;
  SeeNewest(last);

  env.progress.SetText("Get previous record");
  status = RetrievalStatus::kFinished;
  done = false;
  const int retries = env.config.retryCount;
  bool aborted = false;
  while (true) {
    bool repeated = false;
    result = env.link.GetPreviousRecord(reply);
    if (result == ComResult::kChecksumError) {
      result = env.link.RepeatRecord(reply);
      repeated = true;
    }
    if (result == ComResult::kTimeout) {
      for (int n = 1;; ++n) {
        env.progress.SetCounter(Sprintf("Connexion lost ( retry: %d / %d )\nReconnect", n, retries),
                                {ProgressCounter::Kind::kRetry, n, retries, 0});
        LogLine("Connexion lost ( retry: %d / %d )\n", n, retries);
        env.link.Close();
        if (env.link.Open()) {
          result = env.link.RepeatRecord(reply);
          repeated = true;
        }
        if (env.progress.Aborted()) {
          status = RetrievalStatus::kAborted;
          done = true;
        }
        if (result == ComResult::kOk || n >= retries || done) break;
      }
    }
    if (result == ComResult::kOk) {
      if (!(repeated && reply == lastAdded)) TakeReply();
      const int64_t bytes = env.link.ReceivedBytes();
      env.progress.SetCounter(Sprintf("Received blocks: %d (%ld bytes)", collected.Count(), static_cast<long>(bytes)),
                              {ProgressCounter::Kind::kRecords, collected.Count(), 0, bytes});
    } else {
      if (result != ComResult::kNoRecord) status = RetrievalStatus::kError;
      done = true;
    }
    if (env.progress.Aborted()) {
      env.status.SetStatus("Received blocks: Aborted");
      env.progress.SetText("Received blocks: Aborted");
      status = RetrievalStatus::kAborted;
      aborted = true;
      break;
    }
    if (done) break;
  }

  if (!aborted && status == RetrievalStatus::kError) {
    Report(env, Sprintf("Receiving records error: %d\n", ResultCode(result)));
  } else if (!aborted && status == RetrievalStatus::kFinished) {
    Finish(out);
  }
  if (collected.Count() > 0) Hand(out);
  out.endedAtStopRecord = endedAtStopRecord;
  out.stopReason = stopReason;
  return status;
}

void Walk::Finish(RetrievalOutcome& out) {
  const double seconds = (timer->ElapsedMs() + 1) / 1000.0;
  const double rate = env.link.ReceivedBytes() / seconds;
  env.progress.SetText(Sprintf("Get records finished in %.1lfs (%.1lf o/s)\n", seconds, rate));
  LogLine("%d records received correctly (%ld in %.1lfs: %.1lf o/s)\n", collected.Count(),
          static_cast<long>(env.link.ReceivedBytes()), seconds, rate);
  out.newest = newest;
  out.newestFingerprint = newestFingerprint;
  out.lastDue = newest != 0 && !collected.headNumber.empty();
  if (out.lastDue && !env.deferLast && !WriteLastKey(env.iniPath, collected.headNumber, newest, newestFingerprint)) {
    Report(env, LastNotWrittenText(env.iniPath));
    status = RetrievalStatus::kError;
  }
}

}  // namespace

const char* StopReasonName(StopReason reason) {
  switch (reason) {
    case StopReason::kEndOfMemory: return "end_of_memory";
    case StopReason::kKnownRecord: return "known_record";
    case StopReason::kDayLimit: return "day_limit";
    case StopReason::kEmpty: return "empty";
    case StopReason::kError: return "error";
    case StopReason::kAborted: return "aborted";
  }
  return "error";
}

std::string FormatLastTime(int64_t time) {
  DateTimeFields f;
  if (!TimeToFields(time, f)) return {};
  return Sprintf("%02d/%02d/%02d %02d:%02d:%02d", f.year - 2000, f.month, f.day, f.hour, f.minute, f.second);
}

int64_t ParseLastTime(const std::string& text) {
  const size_t space = text.find(' ');
  if (space == std::string::npos) return kInvalidTime;
  std::vector<std::string> date = SplitFields(std::string_view(text).substr(0, space), "/");
  std::vector<std::string> time = SplitFields(std::string_view(text).substr(space + 1), ":");
  auto piece = [](const std::vector<std::string>& parts, size_t i) {
    return i < parts.size() ? ParseNumberField(parts[i]) : -1;
  };
  const int y = piece(date, 0), mo = piece(date, 1), d = piece(date, 2);
  const int h = piece(time, 0), mi = piece(time, 1), s = piece(time, 2);
  if (y < 0 || y > 99 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 ||
      s > 59)
    return kInvalidTime;
  return FieldsToTime(y + 2000, mo, d, h, mi, s);
}

bool WriteLastKey(const std::string& iniPath, const std::string& headNumber, int64_t newest, uint32_t fingerprint) {
  if (headNumber.empty() || newest <= 0) return true;
  CIniFile ini(iniPath, true);
  const std::string section = LastSection(headNumber);
  // One replace of the file: the two keys never disagree.
  return ini.WriteStrings({{section, "last", FormatLastTime(newest)}, {section, "last_crc", Sprintf("%08X", fingerprint)}});
}

uint32_t RecordFingerprint(const uint8_t* bytes, size_t length) {
  return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), bytes, static_cast<uInt>(length)));
}

std::string LastNotWrittenText(const std::string& iniPath) {
  return Sprintf("Can't write \"last\" to \"%s\"\n", CIniFile(iniPath, true).Path());
}

RetrievalOutcome Retrieve(RetrievalEnv& env) {
  RetrievalOutcome out;
  Walk walk(env);
  out.status = walk.Run(out);
  out.records = out.store ? out.store->Count() : 0;
  if (out.status == RetrievalStatus::kError) {
    out.stopReason = StopReason::kError;
    out.errorText = env.reportedError;
    while (!out.errorText.empty() && out.errorText.back() == '\n') out.errorText.pop_back();
  } else if (out.status == RetrievalStatus::kAborted) {
    out.stopReason = StopReason::kAborted;
  }
  return out;
}

void TakeRetrievedStore(const RetrievalOutcome& outcome, RecordStore& store) {
  if (!outcome.store) return;
  store.AssignFrom(*outcome.store);
  store.headNumber = outcome.store->headNumber;
}

}  // namespace skyh
