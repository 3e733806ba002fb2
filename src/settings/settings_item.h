#pragma once
// A typed view of one setting inside the settings area. The item owns its
// descriptor; the area is only borrowed for each read or write.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/result_code.h"
#include "records/parameter_descriptor.h"

namespace skyh {

// Answers of SetValueFromText.
enum class SetValueResult : int {
  kAccepted = 0,
  kTooLow = 1,
  kTooHigh = 2,  // also: text too long
  kInvalid = 3,
};

class CSettingsItem {
 public:
  explicit CSettingsItem(std::unique_ptr<ParameterDescriptor> descriptor);
  virtual ~CSettingsItem();
  CSettingsItem(const CSettingsItem&) = delete;
  CSettingsItem& operator=(const CSettingsItem&) = delete;

  virtual void ReadFromRecord(std::span<const uint8_t> area);
  virtual void WriteToRecord(std::span<uint8_t> area) const;
  // What the editor shows and what a .set file stores.
  virtual std::string GetValueText() const;
  virtual void SetDescription(const std::string& text);
  // The value is unchanged unless the text is accepted.
  virtual SetValueResult SetValueFromText(const std::string& text);
  // Called by the editor on every change of the value text.
  virtual void NoteEditedText(const std::string& text);
  // The text to copy into another item of the same key: the value text,
  // except for a password, whose real value is never shown.
  virtual std::string GetStoredText() const { return GetValueText(); }

  // May be null.
  const ParameterDescriptor* descriptor() const { return descriptor_.get(); }
  const std::string& description() const { return description_; }
  // Descriptor fields; empty / 0 without a descriptor.
  const std::string& name() const;
  const std::string& key() const;
  // Upper-case type letter: 'B', 'D', 'H', 'P' or 'S'.
  char typeLetter() const;

 protected:
  std::unique_ptr<ParameterDescriptor> descriptor_;
  std::string description_;
};

}  // namespace skyh
