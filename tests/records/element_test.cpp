#include <gtest/gtest.h>

#include "records/element.h"
#include "records/scenario_list.h"
#include "support/record_bytes.h"

namespace skyh {
namespace {

// The definition of one E line (offset 0 unless the line says otherwise).
ScnElementDef Def(const std::string& eLine) {
  ClistScn list;
  list.LoadText("S:1,0x10,T,t,0\nE:" + eLine + "\n");
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.At(0).elements.size(), 1u);
  return list.At(0).elements.at(0);
}

std::string Text(const std::string& eLine, std::vector<uint8_t> bytes) {
  return CreateElement(Def(eLine), bytes.data(), bytes.size())->GetText();
}

int32_t Value(const std::string& eLine, std::vector<uint8_t> bytes) {
  auto e = CreateElement(Def(eLine), bytes.data(), bytes.size());
  auto* m = dynamic_cast<CElementMeasure*>(e.get());
  EXPECT_NE(m, nullptr);
  EXPECT_EQ(e->status(), kStatusValue);
  return m ? m->value() : 0;
}

TEST(ElementMeasure, TemperatureAndGaugeSentinels) {
  EXPECT_EQ(Value("VAL_TEMP,0,D=1", {0x52, 0x03}), 450);
  EXPECT_EQ(Text("VAL_TEMP,0,D=1", {0x52, 0x03}), "45.0");
  EXPECT_EQ(Text("VAL_TEMP,0,D=1", {0x00, 0x00}), "-40.0");
  EXPECT_EQ(Text("VAL_TEMP,0,D=1,SEP=2C", {0xFE, 0xFF}), "");  // no suffix either
  EXPECT_EQ(Text("VAL_TEMP,0,SEP=2C", {0xFC, 0xFF}), "Underflow");
  EXPECT_EQ(Text("VAL_TEMP,0", {0xFD, 0xFF}), "Overflow");
  EXPECT_EQ(Text("VAL_TEMP,0", {0xF7, 0xFF}), "error");
  EXPECT_EQ(Text("VAL_TEMP,0", {0xFF, 0xFF}), "error");
  EXPECT_EQ(Text("VAL_TEMP,0", {0xF8, 0xFF}), "-408");  // not a sentinel
  EXPECT_EQ(Text("VAL_TEMP,0", {0xFB, 0xFF}), "-405");
  auto empty = CreateElement(Def("VAL_RG,0"), std::vector<uint8_t>{0xFE, 0xFF}.data(), 2);
  EXPECT_EQ(empty->status(), kStatusEmpty);
  EXPECT_EQ(Text("VAL_RG,0", {0xFE, 0xFF}), "");
  EXPECT_EQ(Text("VAL_RGDEV,0", {0xFC, 0xFF}), "Underflow");
  EXPECT_EQ(Text("VAL_RG,0", {0x10, 0x80}), "-32752");
  EXPECT_EQ(Text("VAL_RGDEV,0", {0xF0, 0xFF}), "-16");
  // Pressure and words have no sentinels.
  EXPECT_EQ(Text("VAL_PRES,0", {0xFE, 0xFF}), "65534");
  EXPECT_EQ(Text("VAL_WORD,0", {0xFF, 0xFF}), "65535");
}

TEST(ElementMeasure, HumidityReadsTheNextByteOnlyInsideTheRecord) {
  EXPECT_EQ(Text("VAL_HUM,0,D=1", {0x78, 0x00}), "60.0");
  EXPECT_EQ(Text("VAL_HUM,0", {0x78, 0x12}), "600");
  EXPECT_EQ(Text("VAL_HUM,0", {0xFF, 0xFF}), "error");
  EXPECT_EQ(Text("VAL_HUM,0", {0xFC, 0xFF}), "Underflow");
  EXPECT_EQ(Text("VAL_HUM,0", {0xFE, 0xFF}), "1270");  // no empty state for humidity
  // On the record's last byte the byte behind it is not the record's.
  const uint8_t buffer[] = {0x00, 0xFF, 0xFF};
  auto last = CreateElement(Def("VAL_HUM,1"), buffer, 2);
  EXPECT_EQ(last->status(), kStatusValue);
  EXPECT_EQ(last->GetText(), "1275");
}

TEST(ElementMeasure, IntegerTypesAndFormats) {
  EXPECT_EQ(Text("VAL_BAT,0", {0xC8}), "200");
  EXPECT_EQ(Text("VAL_BYTE,0,D=CHAR", {0x41}), "A");
  EXPECT_EQ(Text("VAL_BYTE,0,D=CHAR,SEP=3B", {0x00}), ";");  // a NUL adds nothing
  EXPECT_EQ(Text("VAL_WORD,0,D=HEX", {0xFF, 0xFF}), "0xffff");
  EXPECT_EQ(Text("VAL_SHORT,0,D=HEX", {0xFF, 0xFF}), "0xffffffff");
  EXPECT_EQ(Text("VAL_SHORT,0", {0x00, 0x80}), "-32768");
  EXPECT_EQ(Text("VAL_DWORD,0", {0xFF, 0xFF, 0xFF, 0xFF}), "-1");
  EXPECT_EQ(Text("VAL_LONG,0", {0x78, 0x56, 0x34, 0x12}), "305419896");
  EXPECT_EQ(Text("VAL_DWORD,0,D=HEX", {0x78, 0x56, 0x34, 0x12}), "0x12345678");
  EXPECT_EQ(Text("VAL_RPT,0", {0x07}), "7");
  // Multiply first, then divide truncating toward zero.
  EXPECT_EQ(Text("VAL_BYTE,0,MUL=3,DIV=2", {5}), "7");
  EXPECT_EQ(Text("VAL_SHORT,0,MUL=3,DIV=2", {0xFB, 0xFF}), "-7");
  EXPECT_EQ(Text("VAL_BYTE,0,MUL=0,DIV=0", {5}), "5");
  EXPECT_EQ(Text("VAL_BYTE,0,MUL=-2,DIV=-2", {5}), "5");
  EXPECT_EQ(Text("VAL_DWORD,0,MUL=2", {0xFF, 0xFF, 0xFF, 0x7F}), "-2");  // 32-bit wrap
  EXPECT_EQ(Text("VAL_WORD,0,DIV=10,D=CHAR", {0x8A, 0x02}), "A");
}

TEST(ElementMeasure, CountsAndAngles) {
  EXPECT_EQ(Value("VAL_CN,0", {0x10, 0x00, 0x80, 0x00}), -4);
  EXPECT_EQ(Value("VAL_CN,0", {0x10, 0x00, 0x00, 0x00}), 4);
  EXPECT_EQ(Value("VAL_CN,0", {0x07, 0x00, 0x80, 0x00}), -1);  // toward zero
  EXPECT_EQ(Value("VAL_CN,0", {0xFF, 0xFF, 0x7F, 0x00}), 2097151);
  EXPECT_EQ(Text("VAL_CN,0", {0xF8, 0x00, 0x00, 0x01}), "Underflow");
  EXPECT_EQ(Text("VAL_CN,0", {0xF9, 0x00, 0x00, 0x01}), "Overflow");
  EXPECT_EQ(Text("VAL_CN,0", {0xF8, 0x00, 0x00, 0x00}), "62");
  EXPECT_EQ(Text("VAL_CN,0,SEP=2C", {0x00, 0x00, 0x00, 0x80}), "error");

  EXPECT_EQ(Value("VAL_ANGLE,0", {0x40, 0x01, 0x00, 0x00}), 100);
  EXPECT_EQ(Text("VAL_ANGLE,0,D=2", {0x40, 0x01, 0x00, 0x00}), "1.00");
  EXPECT_EQ(Text("VAL_ANGLE,0,D=2", {0xC0, 0xFE, 0xFF, 0xFF}), "-1.00");
  EXPECT_EQ(Value("VAL_ANGLE,0", {0x3F, 0x01, 0x00, 0x00}), 99);
  // The product is taken in 32 bits: 50000000 * 100 wraps.
  EXPECT_EQ(Value("VAL_ANGLE,0", {0x80, 0xF0, 0xFA, 0x02}), 2203227);
}

TEST(ElementMeasure, Decimals) {
  EXPECT_EQ(Text("VAL_WORD,0,D=3", {0x39, 0x30}), "12.345");
  EXPECT_EQ(Text("VAL_SHORT,0,D=2", {0xFB, 0xFF}), "-0.05");
  EXPECT_EQ(Text("VAL_WORD,0,D=1,SEP=2C", {0x05, 0x00}), "0.5,");
  EXPECT_EQ(Text("VAL_WORD,0,D=0", {0x05, 0x00}), "5");
  // Negative counts scale up and print no decimals.
  EXPECT_EQ(Text("VAL_WORD,0,D=-2", {0x05, 0x00}), "500");
  EXPECT_EQ(Text("VAL_WORD,0,D=x", {0x05, 0x00}), "50");
  // Huge counts are clamped to 20 decimals.
  EXPECT_EQ(Text("VAL_WORD,0,D=99999999999", {0x05, 0x00}), "0.00000000000000000005");
  EXPECT_EQ(Text("VAL_WORD,0,D=-99999999999", {0x05, 0x00}), "500000000000000000000");
}

TEST(ElementMeasure, NumberAsTheTextShowsIt) {
  auto number = [](const std::string& eLine, std::vector<uint8_t> bytes, double& n) {
    return ElementNumber(Def(eLine), bytes.data(), bytes.size(), n);
  };
  double n = 0;
  ASSERT_TRUE(number("VAL_TEMP,0,D=1", {0x52, 0x03}, n));
  EXPECT_DOUBLE_EQ(n, 45.0);
  ASSERT_TRUE(number("VAL_SHORT,0,MUL=3,DIV=2,D=1", {5, 0}, n));  // 5*3/2 = 7, one decimal
  EXPECT_DOUBLE_EQ(n, 0.7);
  ASSERT_TRUE(number("VAL_CN,0,DIV=10,D=2", {0x10, 0x00, 0x80, 0x00}, n));  // -4 / 10 truncates to 0
  EXPECT_DOUBLE_EQ(n, 0.0);
  ASSERT_TRUE(number("VAL_ANGLE,0,D=2", {0x40, 0x01, 0, 0}, n));
  EXPECT_DOUBLE_EQ(n, 1.0);
  ASSERT_TRUE(number("VAL_BYTE,0,D=-2", {7}, n));
  EXPECT_DOUBLE_EQ(n, 700.0);
  ASSERT_TRUE(number("VAL_DWORD,0", {0xFF, 0xFF, 0xFF, 0xFF}, n));
  EXPECT_DOUBLE_EQ(n, -1.0);
  // States, characters, hexadecimal, dates and bytes outside the record
  // have no number; n keeps what it held.
  n = 99;
  EXPECT_FALSE(number("VAL_TEMP,0,D=1", {0xFE, 0xFF}, n));
  EXPECT_FALSE(number("VAL_TEMP,0", {0xFC, 0xFF}, n));
  EXPECT_FALSE(number("VAL_BYTE,0,D=CHAR", {0x41}, n));
  EXPECT_FALSE(number("VAL_WORD,0,D=HEX", {1, 2}, n));
  EXPECT_FALSE(number("VAL_DATE_TIME,0", {1, 2, 3, 4}, n));
  EXPECT_FALSE(number("VAL_DWORD,2", {1, 2, 3, 4}, n));
  EXPECT_EQ(n, 99);
}

TEST(ElementDateTime, TextsAndCarries) {
  const uint32_t p = test::PackDateTime(2021, 3, 1, 12, 34, 56);
  std::vector<uint8_t> b = {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), uint8_t(p >> 24)};
  auto e = CreateElement(Def("VAL_DATE_TIME,0,SEP=3B"), b.data(), b.size());
  ASSERT_NE(dynamic_cast<CElementDateTime*>(e.get()), nullptr);
  EXPECT_EQ(dynamic_cast<CElementDateTime*>(e.get())->time(), 1614602096);
  EXPECT_EQ(e->GetText(), "01/03/2021,12:34:56;");
  // Zero is converted too: month 0 and day 0 carry back to 30 November 1999.
  EXPECT_EQ(Text("VAL_DATE_TIME,0", {0, 0, 0, 0}), "30/11/1999,00:00:00");
  const uint32_t q = test::PackDateTime(2021, 13, 31, 23, 59, 63);
  EXPECT_EQ(Text("VAL_DATE_TIME,0", {uint8_t(q), uint8_t(q >> 8), uint8_t(q >> 16), uint8_t(q >> 24)}),
            "01/02/2022,00:00:03");
}

TEST(ElementKinds, CreationAndBytesOutsideTheRecord) {
  const std::vector<uint8_t> b = {1, 2, 3};
  ScnElementDef plain;
  plain.decodeType = 0;
  plain.suffix = ',';
  auto e = CreateElement(plain, b.data(), b.size());
  EXPECT_EQ(e->GetText(), "???");
  plain.decodeType = 16;
  EXPECT_EQ(CreateElement(plain, b.data(), b.size())->GetText(), "???");

  // Wholly and partly outside.
  auto outside = CreateElement(Def("VAL_BYTE,3,SEP=2C"), b.data(), b.size());
  EXPECT_EQ(outside->status(), kStatusError);
  EXPECT_EQ(outside->GetText(), "error");
  EXPECT_EQ(CreateElement(Def("VAL_WORD,2"), b.data(), b.size())->GetText(), "error");
  EXPECT_EQ(CreateElement(Def("VAL_DATE_TIME,0"), b.data(), b.size())->GetText(), "error");
  EXPECT_EQ(CreateElement(Def("VAL_CN,65535"), b.data(), b.size())->GetText(), "error");
  EXPECT_EQ(CreateElement(Def("VAL_WORD,1"), b.data(), b.size())->GetText(), "770");

  EXPECT_STREQ(StatusText(kStatusAbsent), "Abs.");
}

}  // namespace
}  // namespace skyh
