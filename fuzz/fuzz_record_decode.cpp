// Record decoding against a fixed scenario list: any bytes are accepted or
// refused without reading outside them, and every accepted record's texts and
// elements stay inside its bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "records/record.h"
#include "records/scenario_list.h"

namespace {

constexpr const char* kLayouts =
    "S:1,0x10,Sun,Direct sun,0\nI:SP81000000-SP810001FF\n"
    "E:VAL_DATE_TIME,3\nE:VAL_TEMP,7,D=1\nE:VAL_HUM,9,D=1\nE:VAL_BAT,10\nE:VAL_PRES,11\n"
    "E:VAL_ANGLE,13,D=2\nE:VAL_CN,17\nE:VAL_DATE_TIME,21,SEP=3B\n"
    "S:2,0x11,Sky,Sky scan,0\nE:VAL_TEMP,7\nE:VAL_RPT,9\nE:VAL_RG,10,D=1\nE:VAL_RPT,12\n"
    "E:VAL_RGDEV,13,MUL=3,DIV=7\nE:VAL_HUM,15\n"
    "S:3,0x12,Met,Weather,0\nC:BEQ,7,1\nC:BEQ,40,2\n"
    "E:VAL_BYTE,7,D=CHAR\nE:VAL_WORD,8,D=HEX\nE:VAL_SHORT,10,D=-3\nE:VAL_DWORD,12,D=9999\n"
    "E:VAL_LONG,16,D=x\nE:VAL_HUM,60000\n"
    "S:4,0x12,Met2,Weather,14\nE:VAL_HUM,13\n";

const skyh::ClistScn& Layouts() {
  static skyh::ClistScn list = [] {
    skyh::ClistScn l;
    l.LoadText(kLayouts);
    return l;
  }();
  return list;
}

void Exercise(const skyh::CRecord& r) {
  (void)r.GetText();
  (void)r.hex();
  for (const auto& e : r.Elements()) (void)e->GetText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const skyh::ClistScn& list = Layouts();
  // The bytes as they come, in a buffer of exactly their size.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
  if (size) std::memcpy(exact.get(), data, size);
  skyh::CRecord r;
  if (r.Decode(list, "SP81000102", exact.get(), size)) Exercise(r);

  // The bytes as a well-framed record, so that the layouts see them.
  if (size >= 1 && size <= 2000) {
    const size_t n = size - 1 + 10;
    std::vector<uint8_t> framed = {static_cast<uint8_t>(0x10 + data[0] % 4), uint8_t(n), uint8_t(n >> 8)};
    framed.insert(framed.end(), 4, 0);
    if (size >= 5) std::memcpy(framed.data() + 3, data + 1, 4);
    framed.insert(framed.end(), data + 1, data + size);
    framed.resize(n - 3);
    framed.insert(framed.end(), {0xFE, uint8_t(n), uint8_t(n >> 8)});
    if (r.Decode(list, "SP81000102", framed.data(), framed.size())) Exercise(r);
  }
  return 0;
}
