#pragma once
// The descriptors of one parameter file, in file order. Building the items
// hands each descriptor over to its item (TakeAt); whatever is left is freed
// with the list.
#include <cstddef>
#include <memory>
#include <vector>

#include "records/parameter_descriptor.h"

namespace skyh {

class CSettingsRecordList {
 public:
  void Add(std::unique_ptr<ParameterDescriptor> descriptor);
  size_t Count() const { return descriptors_.size(); }
  // Null once the descriptor has been taken.
  const ParameterDescriptor* At(size_t index) const;
  std::unique_ptr<ParameterDescriptor> TakeAt(size_t index);

 private:
  std::vector<std::unique_ptr<ParameterDescriptor>> descriptors_;
};

}  // namespace skyh
