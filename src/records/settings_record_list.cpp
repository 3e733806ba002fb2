#include "records/settings_record_list.h"

namespace skyh {

void CSettingsRecordList::Add(std::unique_ptr<ParameterDescriptor> descriptor) {
  descriptors_.push_back(std::move(descriptor));
}

const ParameterDescriptor* CSettingsRecordList::At(size_t index) const {
  return index < descriptors_.size() ? descriptors_[index].get() : nullptr;
}

std::unique_ptr<ParameterDescriptor> CSettingsRecordList::TakeAt(size_t index) {
  if (index >= descriptors_.size()) return nullptr;
  return std::move(descriptors_[index]);
}

}  // namespace skyh
