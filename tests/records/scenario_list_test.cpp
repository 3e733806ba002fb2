#include <gtest/gtest.h>

#include "message_recorder.h"
#include "records/scenario_list.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

using test::MessageRecorder;
using test::TempDir;
using test::WriteFile;

// Loads layout text through a real file, as the program does.
bool LoadFile(ClistScn& list, const std::string& text) {
  TempDir dir;
  WriteFile(dir / "ScnList.dat", text);
  return list.Load(dir / "ScnList.dat");
}

TEST(ScenarioListFile, CommentsMissingFilesAndLineEnds) {
  ClistScn list;
  EXPECT_TRUE(LoadFile(list, "; layouts of the test box\n\n# nothing here\n\n s:1,0x10,a,b,0\n"));
  EXPECT_EQ(list.Count(), 0u);

  ASSERT_TRUE(LoadFile(list, "S:1,0x10,Met,Weather,0\n"));
  ASSERT_EQ(list.Count(), 1u);
  // A missing file or a folder leaves the previous contents.
  EXPECT_FALSE(list.Load("/nonexistent/ScnList.dat"));
  TempDir dir;
  EXPECT_FALSE(list.Load(dir.path()));
  EXPECT_EQ(list.Count(), 1u);

  const std::string lf = "S:1,0x10,Met,Weather,0\nI:SP00000000-SP0000FFFF\nC:BEQ,9,2\nE:VAL_TEMP,7,D=1\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  ClistScn a, b;
  ASSERT_TRUE(LoadFile(a, lf));
  ASSERT_TRUE(LoadFile(b, crlf));
  ASSERT_EQ(a.Count(), 1u);
  ASSERT_EQ(b.Count(), 1u);
  EXPECT_EQ(b.At(0).description, "Weather");
  ASSERT_EQ(b.At(0).idRanges.size(), 2u);
  EXPECT_EQ(b.At(0).idRanges[1], "SP0000FFFF");
  ASSERT_EQ(b.At(0).conditions.size(), 1u);
  EXPECT_EQ(b.At(0).conditions[0].value, 2);
  ASSERT_EQ(b.At(0).elements.size(), 1u);
  EXPECT_EQ(b.At(0).elements[0].decimals, 1);
}

TEST(ScenarioListFile, ScenarioAndElementFields) {
  ClistScn list;
  ASSERT_TRUE(LoadFile(list,
                       "S:3,0x1A,Temp,Temperature record,0\n"
                       "E:VAL_TEMP,7,D=1,SEP=2C\n"
                       "S:4,0x1a,Lower,hex digits,24,extra,fields\n"
                       "S:5,1A,NoPrefix,type without 0x,12.5\n"
                       "S:6 ,0xZ1,Odd,trailing space,12 \n"));
  ASSERT_EQ(list.Count(), 4u);
  const CScnType& s = list.At(0);
  EXPECT_EQ(s.number, 3);
  EXPECT_EQ(s.type, 0x1A);
  EXPECT_EQ(s.name, "Temp");
  EXPECT_EQ(s.description, "Temperature record");
  EXPECT_EQ(s.length, 0);
  ASSERT_EQ(s.elements.size(), 1u);
  const ScnElementDef& e = s.elements[0];
  EXPECT_EQ(e.decodeType, kValTemp);
  EXPECT_EQ(e.width, 2);
  EXPECT_EQ(e.offset, 7);
  EXPECT_EQ(e.decimals, 1);
  EXPECT_EQ(e.format, kFormatNumber);
  EXPECT_EQ(e.suffix, ',');
  EXPECT_EQ(e.divisor, 1);
  EXPECT_EQ(e.multiplier, 1);

  EXPECT_EQ(list.At(1).type, 0x1A);
  EXPECT_EQ(list.At(1).length, 24);
  EXPECT_EQ(list.At(2).type, 0);
  EXPECT_EQ(list.At(2).length, 12);
  // Non-digits make -1, stored in its low 16 bits; a bad hex digit is 0.
  EXPECT_EQ(list.At(3).number, 65535);
  EXPECT_EQ(list.At(3).length, 65535);
  EXPECT_EQ(list.At(3).type, 0x01);
}

TEST(ScenarioListFile, ElementOptions) {
  ClistScn list;
  ASSERT_TRUE(LoadFile(list,
                       "S:1,0x20,Opt,options,0\n"
                       "E:VAL_BYTE,9,D=CHAR\n"
                       "E:VAL_WORD,10,D=HEX,DIV=4,MUL=3,SEP=3B\n"
                       "E:VAL_SHORT,12,D=HEX,D=2,X=5,D,A=B=C,SEP=\n"
                       "E:VAL_DWORD,14,D=x,DIV=-3,d=4,SEP=4\n"
                       "E:VAL_CN,abc\n"
                       "E:VAL_ANGLE\n"
                       "E:VAL_RPT,,,,20\n"));
  ASSERT_EQ(list.Count(), 1u);
  const auto& el = list.At(0).elements;
  ASSERT_EQ(el.size(), 6u);  // the E line without offset is skipped
  EXPECT_EQ(el[0].format, kFormatChar);
  EXPECT_EQ(el[0].width, 1);
  EXPECT_EQ(el[1].format, kFormatHex);
  EXPECT_EQ(el[1].divisor, 4);
  EXPECT_EQ(el[1].multiplier, 3);
  EXPECT_EQ(el[1].suffix, ';');
  // A later option overrides; malformed options and unknown keys do nothing.
  EXPECT_EQ(el[2].format, kFormatNumber);
  EXPECT_EQ(el[2].decimals, 2);
  EXPECT_EQ(el[2].suffix, 0);
  EXPECT_EQ(el[3].decimals, -1);
  EXPECT_EQ(el[3].divisor, -3);
  EXPECT_EQ(el[3].suffix, 0x40);  // a missing second digit counts as 0
  EXPECT_EQ(el[3].width, 4);
  EXPECT_EQ(el[4].offset, 65535);
  EXPECT_EQ(el[5].decodeType, kValRpt);
  EXPECT_EQ(el[5].offset, 20);
}

TEST(ScenarioListFile, UnknownDecodeTypeStopsTheLoad) {
  MessageRecorder messages;
  ClistScn list;
  ASSERT_TRUE(LoadFile(list,
                       "S:1,0x10,First,first,0\n"
                       "E:VAL_BAT,7\n"
                       "S:2,0x11,Second,second,0\n"
                       "E:VAL_BYTE,7\n"
                       "E: VAL_TEMP,8\n"
                       "E:VAL_WORD,9\n"
                       "S:3,0x12,Third,third,0\n"));
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_EQ(messages.texts[0], "Unknown decode type \" VAL_TEMP\" in ScnList.dat");
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.At(1).name, "Second");
  ASSERT_EQ(list.At(1).elements.size(), 1u);
  EXPECT_EQ(list.At(1).elements[0].decodeType, kValByte);

  // Keywords are exact: lower case is unknown too.
  messages.texts.clear();
  ASSERT_TRUE(LoadFile(list, "S:1,0x10,First,first,0\nE:val_temp,7\n"));
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_EQ(messages.texts[0], "Unknown decode type \"val_temp\" in ScnList.dat");
  EXPECT_EQ(list.Count(), 1u);
}

TEST(ScenarioListFile, MalformedAndShortLines) {
  MessageRecorder messages;
  ClistScn list;
  ASSERT_TRUE(LoadFile(list,
                       "E:VAL_BAT,7\n"           // no scenario yet
                       "E:NOT_A_TYPE,7\n"        // also ignored without a scenario
                       "S:1,0x10,Short,line\n"   // too few fields
                       "I:A-B\n"
                       "C:BEQ,7,1\n"
                       "E:VAL_BYTE,7\n"
                       "S\nI\nC\nE\nS:\nE:\n"
                       "S:2,0x11,Good,good,0\n"
                       "I\n"
                       "I:A-B-C\n"
                       "I:SP1-\n"
                       "C\n"
                       "C:BEQ,9\n"
                       "C:BNE,9,2\n"
                       "E\n"
                       "E:VAL_BYTE\n"));
  EXPECT_TRUE(messages.texts.empty());
  ASSERT_EQ(list.Count(), 1u);
  const CScnType& s = list.At(0);
  EXPECT_EQ(s.name, "Good");
  EXPECT_TRUE(s.idRanges.empty());
  EXPECT_TRUE(s.elements.empty());
  // Every C line adds a condition; incomplete ones and other keywords are inert.
  ASSERT_EQ(s.conditions.size(), 3u);
  for (const ScnCondition& c : s.conditions) {
    EXPECT_EQ(c.kind, 0u);
    EXPECT_EQ(c.offset, 0);
    EXPECT_EQ(c.value, 0);
  }
}

// A record's first ten bytes with a type and byte 9 set; lengths are not
// checked by the lookup itself.
std::vector<uint8_t> Bytes(uint8_t type, uint8_t byte9 = 0) {
  std::vector<uint8_t> b(16, 0);
  b[0] = type;
  b[9] = byte9;
  return b;
}

TEST(ScenarioLookup, ConditionsOrderAndLength) {
  ClistScn list;
  ASSERT_TRUE(LoadFile(list,
                       "S:1,0x30,Cond,byte 9 is 2,0\nC:BEQ,9,2\n"
                       "S:2,0x30,Plain,fallback,0\n"
                       "S:3,0x31,Fixed,twelve bytes,12\n"
                       "S:4,0x32,Inert,never,0\nC:BNE,9,2\n"
                       "S:5,0x33,Either,byte 9 or 10,0\nC:BEQ,9,7\nC:BEQ,10,8\n"));
  auto b = Bytes(0x30, 2);
  EXPECT_EQ(list.Find("", b.data(), 10)->number, 1);
  // Offset 9 lies outside a record of 9 bytes.
  EXPECT_EQ(list.Find("", b.data(), 9)->number, 2);
  b = Bytes(0x30, 3);
  EXPECT_EQ(list.Find("", b.data(), 16)->number, 2);

  b = Bytes(0x31);
  EXPECT_EQ(list.Find("", b.data(), 12)->number, 3);
  EXPECT_EQ(list.Find("", b.data(), 13), nullptr);

  b = Bytes(0x32, 2);
  EXPECT_EQ(list.Find("", b.data(), 16), nullptr);

  b = Bytes(0x33, 0);
  b[10] = 8;
  EXPECT_EQ(list.Find("", b.data(), 16)->number, 5);
  EXPECT_EQ(list.Find("", b.data(), 10), nullptr);

  b = Bytes(0x40);
  EXPECT_EQ(list.Find("", b.data(), 16), nullptr);
}

TEST(ScenarioLookup, KeyRanges) {
  ClistScn list;
  ASSERT_TRUE(LoadFile(list,
                       "S:1,0x50,Old,old firmware,0\nI:SP810000-SP8100FF\nI:SPA00000-SPA0FFFF\n"
                       "S:2,0x50,New,new firmware,0\nI:sp820000-sp82ffff\n"
                       "S:3,0x50,Any,any firmware,0\n"));
  auto b = Bytes(0x50);
  auto number = [&](std::string_view key) { return list.Find(key, b.data(), 16)->number; };
  EXPECT_EQ(number("SP810000"), 1);
  EXPECT_EQ(number("SP8100FF"), 1);
  EXPECT_EQ(number("sp8100a0"), 1);  // case is ignored on both sides
  EXPECT_EQ(number("SPA0B000"), 1);  // second pair
  EXPECT_EQ(number("SP810100"), 3);
  EXPECT_EQ(number("SP82ABCD"), 2);
  EXPECT_EQ(number("SP820000"), 2);
  EXPECT_EQ(number("SP81000000"), 3);  // lengths differ
  EXPECT_EQ(number("SP8100"), 3);
  EXPECT_EQ(number(""), 3);

  ClistScn ranged;
  ASSERT_TRUE(LoadFile(ranged, "S:1,0x50,Old,old,0\nI:SP810000-SP8100FF\n"));
  EXPECT_EQ(ranged.Find("", b.data(), 16), nullptr);
}

}  // namespace
}  // namespace skyh
