#include "settings/settings_sender.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <thread>

#include "core/folders.h"
#include "core/format.h"
#include "core/log_file.h"
#include "records/settings_area.h"
#include "settings/build_settings_items.h"
#include "settings/settings_field.h"

namespace skyh {

std::vector<uint8_t> SettingsRecordOf(const RecordStore& store) {
  const CRecord* header = store.Header();
  if (!header) return {};
  return std::vector<uint8_t>(header->raw(), header->raw() + header->length());
}

namespace {

bool IsNumeric(char type) { return type == 'D' || type == 'B'; }

// Whether two descriptors store a value the same way, so that its bits mean
// the same on both sides.
bool SameEncoding(const ParameterDescriptor& a, const ParameterDescriptor& b) {
  const char type = static_cast<char>(std::toupper(static_cast<unsigned char>(a.type)));
  if (type != std::toupper(static_cast<unsigned char>(b.type)) || a.bits != b.bits) return false;
  if (!IsNumeric(type)) return true;
  return a.shift == b.shift && a.bias == b.bias && a.multiplier == b.multiplier && a.divisor == b.divisor &&
         (a.min < 0) == (b.min < 0);
}

// Whether the item's text, read back into its own field, gives the bits it
// was read from (a scaled value shown with fewer decimals, a boolean holding
// 2, a text with bytes after its end do not).
bool TextKeepsBits(const CSettingsItem& item, std::span<const uint8_t> area) {
  const ParameterDescriptor* d = item.descriptor();
  if (!d) return true;
  std::vector<uint8_t> copy(area.begin(), area.end());
  auto probe = CreateSettingsItem(std::make_unique<ParameterDescriptor>(*d), copy);
  if (!probe || probe->SetValueFromText(item.GetValueText()) != SetValueResult::kAccepted) return false;
  probe->WriteToRecord(copy);
  return std::equal(copy.begin(), copy.end(), area.begin());
}

// Copies the field of `from` (in `fromArea`) into the field of `to`.
void CopyFieldBits(const ParameterDescriptor& from, std::span<const uint8_t> fromArea, const ParameterDescriptor& to,
                   std::span<uint8_t> toArea) {
  if (IsNumeric(static_cast<char>(std::toupper(static_cast<unsigned char>(from.type))))) {
    uint32_t raw = 0;
    if (ReadRawField(fromArea, from, raw)) WriteRawField(toArea, to, raw);
    return;
  }
  const size_t n = std::min(TextFieldSize(&from, fromArea.size()), TextFieldSize(&to, toArea.size()));
  if (n > 0) std::copy_n(fromArea.begin() + from.offset, n, toArea.begin() + to.offset);
}

}  // namespace

bool MergeSettingsAreas(const std::string& parDescPath, const std::string& editedParameterFile,
                        std::span<const uint8_t> editedArea, const std::string& boxParameterFile,
                        std::span<uint8_t> boxArea, std::vector<SettingsSpan>& fields) {
  auto boxItems = BuildSettingsItems(parDescPath, boxParameterFile, boxArea);
  if (!boxItems) return false;
  // Without a usable edited list nothing is copied: the box's own values
  // go back unchanged.
  if (auto edited = BuildSettingsItems(parDescPath, editedParameterFile, editedArea)) {
    for (const auto& item : *edited) {
      CSettingsItem* target = FindItemByKey(*boxItems, item->key());
      // A refusal leaves the box's value, and its bytes.
      if (!target || target->SetValueFromText(item->GetStoredText()) != SetValueResult::kAccepted) continue;
      if (target->typeLetter() == 'P') continue;  // written below, by the placeholder rule
      // The text would round or cut the value: the exact bits go instead.
      if (item->typeLetter() != 'P' && SameEncoding(*item->descriptor(), *target->descriptor()) &&
          !TextKeepsBits(*item, editedArea)) {
        CopyFieldBits(*item->descriptor(), editedArea, *target->descriptor(), boxArea);
      } else {
        target->WriteToRecord(boxArea);
      }
    }
  }
  // Items nobody changed keep the box's bytes as they are; a password is
  // always written, so that an unchanged one tells the box to keep it.
  for (const auto& item : *boxItems) {
    if (item->typeLetter() == 'P') item->WriteToRecord(boxArea);
  }
  fields = FieldSpans(*boxItems);
  return true;
}

namespace {

std::string ParameterFileOf(const std::vector<uint8_t>& record) {
  if (record.empty() || record.size() > kMaxRecordBytes) return {};
  RecordStore store;
  store.SetHeader(record.data(), static_cast<uint16_t>(record.size()));
  return store.parameterFileName;
}

}  // namespace

bool WriteSettingsExchange(CCom& link, const SendSettingsJob& job, IProgressSink& progress) {
  std::vector<uint8_t> boxRecord;
  ComResult e = link.GetSettings(boxRecord);
  // Merging into what is no settings record would write garbage back.
  if (e == ComResult::kOk && !IsSettingsRecord(boxRecord)) e = ComResult::kChecksumError;
  if (e != ComResult::kOk) {
    const std::string text = Sprintf("Get settings error: %d\n", ResultCode(e));
    LogLine("%s", text);
    progress.SetText(text);
    return false;
  }
  const std::string dir = WithSlash(job.configurationDirectory);
  const std::string boxParameterFile = ParameterFileOf(boxRecord);
  std::span<uint8_t> boxArea = SettingsAreaOf(boxRecord);
  std::vector<SettingsSpan> fields;
  if (!MergeSettingsAreas(dir + "ParDesc.dat", dir + ParameterFileOf(job.editedRecord),
                          SettingsAreaOf(job.editedRecord), dir + boxParameterFile, boxArea, fields)) {
    // Without the box's own layout nothing could be merged, and pieces
    // could split its fields: send nothing.
    const std::string text = Sprintf("Can't load \"%s\" file\nor the file is invalid.", boxParameterFile);
    LogLine("%s\n", text);
    progress.SetText(text);
    return false;
  }
  // Offsets count from the start of the settings area.
  for (const SettingsSpan& piece : SplitSettingsPieces(boxArea.size(), fields)) {
    e = link.WriteSettings(boxArea.data(), static_cast<uint16_t>(piece.offset),
                           static_cast<uint16_t>(piece.length));
    if (e != ComResult::kOk) {
      const std::string text = Sprintf("Write settings error: %d\n", ResultCode(e));
      LogLine("%s", text);
      progress.SetText(text);
      return false;
    }
  }
  progress.SetText("Write settings OK.");
  return true;
}

bool SendSettings(LinkSession& session, const SendSettingsJob& job, IProgressSink& progress, IStatusLine& status) {
  progress.SetTitle("Write settings");
  progress.SetText("Please wait...");
  status.SetStatus("Writing settings...");

  LinkLease lease = session.Acquire(job.lockWaitMs, true);
  if (!lease) {
    status.SetStatus("Write settings error.");
    progress.SetText(lease.ErrorText());
    progress.CloseAfter(job.closeAfterMs);
    return false;
  }
  const bool ok = WriteSettingsExchange(lease.Link(), job, progress);
  if (job.pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(job.pauseMs));
  status.SetStatus(ok ? "Write settings OK." : "Write settings error.");
  progress.SetText("Stopping communication...");
  // After a failed exchange the box may not be listening: no end of session.
  lease.EndSessionOnRelease(ok);
  lease.Release();
  progress.CloseAfter(job.closeAfterMs);
  return ok;
}

}  // namespace skyh
