#include "records/element.h"
#include "records/scenario_list.h"
#include "support/record_bytes.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using Bytes = std::vector<uint8_t>;

// The definition of one E line (offset 0 unless the line says otherwise).
ScnElementDef Def(const std::string& eLine) {
  ClistScn list;
  list.LoadText("S:1,0x10,T,t,0\nE:" + eLine + "\n");
  EXPECT_EQ(list.Count(), 1u);
  return list.At(0).elements.at(0);
}

std::string Text(const std::string& eLine, const Bytes& bytes) {
  return CreateElement(Def(eLine), bytes.data(), bytes.size())->GetText();
}

Bytes Le32(uint32_t p) { return {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), uint8_t(p >> 24)}; }

TEST(ElementMeasure, TextAndNumberOfEachTypeSentinelScaleAndFormat) {
  const struct {
    const char* line;
    Bytes bytes;
    const char* text;
  } cases[] = {
      {"VAL_TEMP,0,D=1", {0x52, 0x03}, "45.0"},
      {"VAL_TEMP,0,D=1,SEP=2C", {0xFE, 0xFF}, ""},  // no suffix either
      {"VAL_TEMP,0,SEP=2C", {0xFC, 0xFF}, "Underflow"},
      {"VAL_TEMP,0", {0xFD, 0xFF}, "Overflow"},
      {"VAL_TEMP,0", {0xF7, 0xFF}, "error"},
      {"VAL_TEMP,0", {0xFF, 0xFF}, "error"},
      {"VAL_TEMP,0", {0xF8, 0xFF}, "-408"},  // not a sentinel
      {"VAL_RG,0", {0xFE, 0xFF}, ""},
      {"VAL_RGDEV,0", {0xFC, 0xFF}, "Underflow"},
      {"VAL_RG,0", {0x10, 0x80}, "-32752"},
      {"VAL_RGDEV,0", {0xF0, 0xFF}, "-16"},
      // Pressure and words have no sentinels.
      {"VAL_PRES,0", {0xFE, 0xFF}, "65534"},
      {"VAL_WORD,0", {0xFF, 0xFF}, "65535"},
      // Humidity reads the next byte only inside the record; no empty state.
      {"VAL_HUM,0", {0x78, 0x12}, "600"},
      {"VAL_HUM,0", {0xFF, 0xFF}, "error"},
      {"VAL_HUM,0", {0xFC, 0xFF}, "Underflow"},
      {"VAL_HUM,0", {0xFE, 0xFF}, "1270"},
      {"VAL_BAT,0", {0xC8}, "200"},
      {"VAL_BYTE,0,D=CHAR", {0x41}, "A"},
      {"VAL_BYTE,0,D=CHAR,SEP=3B", {0x00}, ";"},  // a NUL adds nothing
      {"VAL_WORD,0,D=HEX", {0xFF, 0xFF}, "0xffff"},
      {"VAL_SHORT,0,D=HEX", {0xFF, 0xFF}, "0xffffffff"},
      {"VAL_SHORT,0", {0x00, 0x80}, "-32768"},
      {"VAL_DWORD,0", {0xFF, 0xFF, 0xFF, 0xFF}, "-1"},
      {"VAL_LONG,0", {0x78, 0x56, 0x34, 0x12}, "305419896"},
      {"VAL_DWORD,0,D=HEX", {0x78, 0x56, 0x34, 0x12}, "0x12345678"},
      {"VAL_RPT,0", {0x07}, "7"},
      // Multiply first, then divide truncating toward zero.
      {"VAL_BYTE,0,MUL=3,DIV=2", {5}, "7"},
      {"VAL_SHORT,0,MUL=3,DIV=2", {0xFB, 0xFF}, "-7"},
      {"VAL_BYTE,0,MUL=0,DIV=0", {5}, "5"},
      {"VAL_BYTE,0,MUL=-2,DIV=-2", {5}, "5"},
      {"VAL_DWORD,0,MUL=2", {0xFF, 0xFF, 0xFF, 0x7F}, "-2"},  // 32-bit wrap
      {"VAL_WORD,0,DIV=10,D=CHAR", {0x8A, 0x02}, "A"},
      // Counts: 21 bits and a sign, sentinels in the top byte.
      {"VAL_CN,0", {0x10, 0x00, 0x80, 0x00}, "-4"},
      {"VAL_CN,0", {0x07, 0x00, 0x80, 0x00}, "-1"},  // toward zero
      {"VAL_CN,0", {0xFF, 0xFF, 0x7F, 0x00}, "2097151"},
      {"VAL_CN,0", {0xF8, 0x00, 0x00, 0x01}, "Underflow"},
      {"VAL_CN,0", {0xF9, 0x00, 0x00, 0x01}, "Overflow"},
      {"VAL_CN,0", {0xF8, 0x00, 0x00, 0x00}, "62"},
      {"VAL_CN,0,SEP=2C", {0x00, 0x00, 0x00, 0x80}, "error"},
      {"VAL_ANGLE,0,D=2", {0x40, 0x01, 0x00, 0x00}, "1.00"},
      {"VAL_ANGLE,0,D=2", {0xC0, 0xFE, 0xFF, 0xFF}, "-1.00"},
      {"VAL_ANGLE,0", {0x3F, 0x01, 0x00, 0x00}, "99"},
      {"VAL_ANGLE,0", {0x80, 0xF0, 0xFA, 0x02}, "2203227"},  // 50000000 * 100 wraps in 32 bits
      // Decimals; negative counts scale up; huge counts are clamped to 20.
      {"VAL_WORD,0,D=3", {0x39, 0x30}, "12.345"},
      {"VAL_SHORT,0,D=2", {0xFB, 0xFF}, "-0.05"},
      {"VAL_WORD,0,D=1,SEP=2C", {0x05, 0x00}, "0.5,"},
      {"VAL_WORD,0,D=-2", {0x05, 0x00}, "500"},
      {"VAL_WORD,0,D=x", {0x05, 0x00}, "50"},
      {"VAL_WORD,0,D=99999999999", {0x05, 0x00}, "0.00000000000000000005"},
      {"VAL_WORD,0,D=-99999999999", {0x05, 0x00}, "500000000000000000000"},
      // Dates: zero is converted too, and out-of-range fields carry.
      {"VAL_DATE_TIME,0,SEP=3B", Le32(test::PackDateTime(2021, 3, 1, 12, 34, 56)), "01/03/2021,12:34:56;"},
      {"VAL_DATE_TIME,0", {0, 0, 0, 0}, "30/11/1999,00:00:00"},
      {"VAL_DATE_TIME,0", Le32(test::PackDateTime(2021, 13, 31, 23, 59, 63)), "01/02/2022,00:00:03"},
      // Wholly and partly outside the record.
      {"VAL_BYTE,3,SEP=2C", {1, 2, 3}, "error"},
      {"VAL_WORD,2", {1, 2, 3}, "error"},
      {"VAL_DATE_TIME,0", {1, 2, 3}, "error"},
      {"VAL_CN,65535", {1, 2, 3}, "error"},
      {"VAL_WORD,1", {1, 2, 3}, "770"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(c.line, c.bytes), c.text) << c.line;

  EXPECT_EQ(CreateElement(Def("VAL_RG,0"), Bytes{0xFE, 0xFF}.data(), 2)->status(), kStatusEmpty);
  EXPECT_EQ(CreateElement(Def("VAL_BYTE,3"), Bytes{1, 2, 3}.data(), 3)->status(), kStatusError);
  // On the record's last byte the byte behind it is not the record's.
  const uint8_t buffer[] = {0x00, 0xFF, 0xFF};
  auto last = CreateElement(Def("VAL_HUM,1"), buffer, 2);
  EXPECT_EQ(last->status(), kStatusValue);
  EXPECT_EQ(last->GetText(), "1275");
  const Bytes stamp = Le32(test::PackDateTime(2021, 3, 1, 12, 34, 56));
  auto date = CreateElement(Def("VAL_DATE_TIME,0"), stamp.data(), 4);
  EXPECT_EQ(dynamic_cast<CElementDateTime&>(*date).time(), 1614602096);
  ScnElementDef plain;
  for (int type : {0, 16}) {
    plain.decodeType = type;
    EXPECT_EQ(CreateElement(plain, buffer, 3)->GetText(), "???");
  }
  EXPECT_STREQ(StatusText(kStatusAbsent), "Abs.");

  auto number = [](const std::string& eLine, Bytes bytes, double& n) {
    return ElementNumber(Def(eLine), bytes.data(), bytes.size(), n);
  };
  const std::pair<const char*, Bytes> none[] = {{"VAL_TEMP,0,D=1", {0xFE, 0xFF}},  {"VAL_TEMP,0", {0xFC, 0xFF}},
                                                {"VAL_BYTE,0,D=CHAR", {0x41}},     {"VAL_WORD,0,D=HEX", {1, 2}},
                                                {"VAL_DATE_TIME,0", {1, 2, 3, 4}}, {"VAL_DWORD,2", {1, 2, 3, 4}}};
  double n = 0;
  const std::tuple<const char*, Bytes, double> numbers[] = {
      {"VAL_TEMP,0,D=1", {0x52, 0x03}, 45.0},
      {"VAL_SHORT,0,MUL=3,DIV=2,D=1", {5, 0}, 0.7},          // 5*3/2 = 7, one decimal
      {"VAL_CN,0,DIV=10,D=2", {0x10, 0x00, 0x80, 0x00}, 0},  // -4 / 10 truncates to 0
      {"VAL_ANGLE,0,D=2", {0x40, 0x01, 0, 0}, 1.0},
      {"VAL_BYTE,0,D=-2", {7}, 700.0},
      {"VAL_DWORD,0", {0xFF, 0xFF, 0xFF, 0xFF}, -1.0}};
  for (const auto& [line, bytes, expected] : numbers) {
    ASSERT_TRUE(number(line, bytes, n)) << line;
    EXPECT_DOUBLE_EQ(n, expected) << line;
  }
  // States, characters, hexadecimal, dates and bytes outside the record
  // have no number; n keeps what it held.
  n = 99;
  for (const auto& [line, bytes] : none) EXPECT_FALSE(number(line, bytes, n)) << line;
  EXPECT_EQ(n, 99);
}

}  // namespace
}  // namespace skyh
