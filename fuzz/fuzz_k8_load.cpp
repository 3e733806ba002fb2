// Any bytes as a K8 data file: load what is loadable, never read outside the
// buffer, and what was loaded saves back to bytes that load the same. What
// lies behind the loaded part is told apart (clean, torn, damaged) without
// reading outside the buffer either.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/k8_layout.h"
#include "data/record_store.h"
#include "records/scenario_list.h"

namespace {

const char kScenarios[] =
    "S:1,0x1A,SUN,Direct sun,0\n"
    "E:VAL_DATE_TIME,3\n"
    "E:VAL_TEMP,7,D=1\n"
    "E:VAL_RPT,9\n"
    "E:VAL_HUM,10\n"
    "S:2,0x2B,SKY,Sky scan,12\n"
    "E:VAL_CN,7,D=2\n"
    "S:3,0x7C,PAR,Settings,0\n"
    "E:VAL_BYTE,7\n";

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool loaded = skyh::GetScenarioList().LoadText(kScenarios);
  (void)loaded;

  size_t end = skyh::WalkK8Buffer(data, size, nullptr);
  Check(end <= size);

  const skyh::K8End tail = skyh::ClassifyK8End(data, size, end);
  Check((tail == skyh::K8End::kClean) == (end == size));
  // A torn end is less than one record.
  Check(tail != skyh::K8End::kTorn || size - end < 0x3FFF);

  skyh::RecordStore store;
  skyh::K8Unread unread;
  bool ok = store.LoadFromBuffer(data, size, &unread);
  Check(ok == (end > 0));
  Check(unread.bytes == 0 || (unread.at == end && unread.at + unread.bytes == size));
  Check(store.TotalSize() <= end);
  int unknown = 0;
  for (int32_t i = 0; i < store.Count(); ++i) {
    const skyh::CRecord* r = store.At(i);
    unknown += r->scenario() == nullptr;
    (void)r->GetText();
  }
  Check(unknown == store.UnknownCount());

  if (store.Header()) {
    // What was loaded is a data file again, record for record.
    std::string image = store.FileImage(true);
    skyh::RecordStore back;
    Check(back.LoadFromBuffer(reinterpret_cast<const uint8_t*>(image.data()), image.size()));
    Check(back.Count() == store.Count());
  }
  int32_t before = store.Count();
  int32_t removed = store.RemoveDuplicates();
  Check(removed >= 0 && store.Count() == before - removed);
  store.Order(false);
  Check(!store.Order(false));
  return 0;
}
