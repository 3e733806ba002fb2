// Any ScnList.dat content loads without a crash or a read outside a line;
// the loaded layouts then decode a few records without reading outside them.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/user_messages.h"
#include "records/record.h"
#include "records/scenario_list.h"

namespace {

class SilentMessages : public skyh::IUserMessages {
 public:
  void Show(skyh::MessageKind, const std::string&) override {}
};

void Append(std::vector<uint8_t>& out, uint8_t type, const std::vector<uint8_t>& body) {
  const size_t n = body.size() + 10;
  out = {type, uint8_t(n), uint8_t(n >> 8), 0x47, 0x2C, 0x43, 0x54};
  out.insert(out.end(), body.begin(), body.end());
  out.insert(out.end(), {0xFE, uint8_t(n), uint8_t(n >> 8)});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentMessages silent;
  skyh::SetUserMessages(&silent);
  skyh::ClistScn list;
  list.LoadText(std::string_view(reinterpret_cast<const char*>(data), size));

  // One short and one longer record for every scenario's type byte.
  std::vector<uint8_t> record;
  for (size_t i = 0; i < list.Count() && i < 16; ++i) {
    const uint8_t type = list.At(i).type;
    for (size_t bodySize : {size_t(0), size_t(3), size_t(40)}) {
      std::vector<uint8_t> body(bodySize);
      for (size_t k = 0; k < bodySize; ++k) body[k] = static_cast<uint8_t>(k * 37 + i);
      if (bodySize) body[0] = 4;  // a small repeat count
      Append(record, type, body);
      skyh::CRecord r;
      for (std::string_view key : {"", "SP81000102", "sp00"}) {
        if (r.Decode(list, key, record.data(), record.size())) (void)r.GetText();
      }
    }
  }
  return 0;
}
