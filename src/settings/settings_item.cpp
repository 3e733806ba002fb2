#include "settings/settings_item.h"

#include <cctype>

namespace skyh {

CSettingsItem::CSettingsItem(std::unique_ptr<ParameterDescriptor> descriptor)
    : descriptor_(std::move(descriptor)) {}

CSettingsItem::~CSettingsItem() = default;

void CSettingsItem::ReadFromRecord(std::span<const uint8_t>) {}

void CSettingsItem::WriteToRecord(std::span<uint8_t>) const {}

std::string CSettingsItem::GetValueText() const { return "(value)"; }

void CSettingsItem::SetDescription(const std::string&) { description_ = "(Description)"; }

SetValueResult CSettingsItem::SetValueFromText(const std::string&) { return SetValueResult::kInvalid; }

void CSettingsItem::NoteEditedText(const std::string&) {}

const std::string& CSettingsItem::name() const {
  static const std::string empty;
  return descriptor_ ? descriptor_->name : empty;
}

const std::string& CSettingsItem::key() const {
  static const std::string empty;
  return descriptor_ ? descriptor_->key : empty;
}

char CSettingsItem::typeLetter() const {
  if (!descriptor_) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(descriptor_->type)));
}

}  // namespace skyh
