#include "records/scenario_list.h"
#include "core/format.h"
#include "message_recorder.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::TempDir;

// Loads layout text through a real file, as the program does.
bool LoadFile(ClistScn& list, const std::string& text) {
  TempDir dir;
  test::WriteFile(dir / "ScnList.dat", text);
  return list.Load(dir / "ScnList.dat");
}

// Every field of the list, one line per scenario.
std::string Dump(const ClistScn& list) {
  std::string out;
  for (size_t i = 0; i < list.Count(); ++i) {
    const CScnType& s = list.At(i);
    out += Sprintf("S%u,%02X,%s,%s,%u", s.number, s.type, s.name.c_str(), s.description.c_str(), s.length);
    for (const std::string& r : s.idRanges) out += " I" + r;
    for (const ScnCondition& c : s.conditions) out += Sprintf(" C%u,%u,%u", c.kind, c.offset, c.value);
    for (const ScnElementDef& e : s.elements)
      out += Sprintf(" E%d@%d,w%u,f%d,d%d,div%d,mul%d,sep%02X", e.decodeType, e.offset, e.width, e.format,
                     e.decimals, e.divisor, e.multiplier, e.suffix);
    out += "\n";
  }
  return out;
}

TEST(ScenarioListFile, EveryFieldCommentsMalformedLinesMissingFilesAndUnknownDecodeTypes) {
  ClistScn list;
  EXPECT_TRUE(LoadFile(list, "; layouts of the test box\n\n# nothing here\n\n s:1,0x10,a,b,0\n"));
  EXPECT_EQ(list.Count(), 0u);

  ASSERT_TRUE(LoadFile(list, "S:1,0x10,Met,Weather,0\r\nI:SP00000000-SP0000FFFF\r\nC:BEQ,9,2\r\nE:VAL_TEMP,7,D=1\r\n"));
  const std::string dump = "S1,10,Met,Weather,0 ISP00000000 ISP0000FFFF C1,9,2 E2@7,w2,f0,d1,div1,mul1,sep00\n";
  EXPECT_EQ(Dump(list), dump);
  // A missing file or a folder leaves the previous contents.
  EXPECT_FALSE(list.Load("/nonexistent/ScnList.dat"));
  TempDir dir;
  EXPECT_FALSE(list.Load(dir.path()));
  EXPECT_EQ(Dump(list), dump);

  ASSERT_TRUE(LoadFile(list,
                       "S:3,0x1A,Temp,Temperature record,0\nE:VAL_TEMP,7,D=1,SEP=2C\n"
                       "S:4,0x1a,Lower,hex digits,24,extra,fields\nS:5,1A,NoPrefix,type without 0x,12.5\n"
                       // Non-digits make -1 (low 16 bits kept); a bad hex digit is 0.
                       "S:6 ,0xZ1,Odd,trailing space,12 \n"
                       "S:1,0x20,Opt,options,0\nE:VAL_BYTE,9,D=CHAR\nE:VAL_WORD,10,D=HEX,DIV=4,MUL=3,SEP=3B\n"
                       // A later option overrides; malformed options and unknown keys do nothing.
                       "E:VAL_SHORT,12,D=HEX,D=2,X=5,D,A=B=C,SEP=\n"
                       // A missing second SEP digit counts as 0.
                       "E:VAL_DWORD,14,D=x,DIV=-3,d=4,SEP=4\n"
                       "E:VAL_CN,abc\nE:VAL_RPT,,,,20\n"
                       "E:VAL_ANGLE\n"));  // no offset: skipped
  EXPECT_EQ(Dump(list),
            "S3,1A,Temp,Temperature record,0 E2@7,w2,f0,d1,div1,mul1,sep2C\n"
            "S4,1A,Lower,hex digits,24\n"
            "S5,00,NoPrefix,type without 0x,12\n"
            "S65535,01,Odd,trailing space,65535\n"
            "S1,20,Opt,options,0 E6@9,w1,f1,d0,div1,mul1,sep00 E7@10,w2,f2,d0,div4,mul3,sep3B"
            " E8@12,w2,f0,d2,div1,mul1,sep00 E9@14,w4,f0,d-1,div-3,mul1,sep40 E11@65535,w4,f0,d0,div1,mul1,sep00"
            " E13@20,w1,f0,d0,div1,mul1,sep00\n");

  test::MessageRecorder messages;
  ASSERT_TRUE(LoadFile(list,
                       "E:VAL_BAT,7\n"          // no scenario yet
                       "E:NOT_A_TYPE,7\n"       // also ignored without a scenario
                       "S:1,0x10,Short,line\n"  // too few fields
                       "I:A-B\nC:BEQ,7,1\nE:VAL_BYTE,7\nS\nI\nC\nE\nS:\nE:\n"
                       "S:2,0x11,Good,good,0\nI\nI:A-B-C\nI:SP1-\nC\nC:BEQ,9\nC:BNE,9,2\nE\nE:VAL_BYTE\n"));
  EXPECT_TRUE(messages.texts.empty());
  // Every C line adds a condition; incomplete ones and other keywords are inert.
  EXPECT_EQ(Dump(list), "S2,11,Good,good,0 C0,0,0 C0,0,0 C0,0,0\n");

  ASSERT_TRUE(LoadFile(list,
                       "S:1,0x10,First,first,0\nE:VAL_BAT,7\nS:2,0x11,Second,second,0\nE:VAL_BYTE,7\n"
                       "E: VAL_TEMP,8\nE:VAL_WORD,9\nS:3,0x12,Third,third,0\n"));
  EXPECT_EQ(messages.texts, std::vector<std::string>{"Unknown decode type \" VAL_TEMP\" in ScnList.dat"});
  EXPECT_EQ(Dump(list),
            "S1,10,First,first,0 E4@7,w1,f0,d0,div1,mul1,sep00\nS2,11,Second,second,0 E6@7,w1,f0,d0,div1,mul1,sep00\n");
}

TEST(ScenarioLookup, ConditionsOrderLengthAndKeyRanges) {
  ClistScn list;
  ASSERT_TRUE(LoadFile(list,
                       "S:1,0x30,Cond,byte 9 is 2,0\nC:BEQ,9,2\n"
                       "S:2,0x30,Plain,fallback,0\n"
                       "S:3,0x31,Fixed,twelve bytes,12\n"
                       "S:4,0x32,Inert,never,0\nC:BNE,9,2\n"
                       "S:5,0x33,Either,byte 9 or 10,0\nC:BEQ,9,7\nC:BEQ,10,8\n"));
  // {type, byte 9, byte 10, length, scenario found (0: none)}; offset 9
  // lies outside a record of 9 bytes.
  const int cases[][5] = {{0x30, 2, 0, 10, 1}, {0x30, 2, 0, 9, 2},  {0x30, 3, 0, 16, 2},
                          {0x31, 0, 0, 12, 3}, {0x31, 0, 0, 13, 0}, {0x32, 2, 0, 16, 0},
                          {0x33, 0, 8, 16, 5}, {0x33, 0, 8, 10, 0}, {0x40, 0, 0, 16, 0}};
  for (const auto& c : cases) {
    // Lengths are not checked by the lookup itself.
    std::vector<uint8_t> b(16, 0);
    b[0] = uint8_t(c[0]), b[9] = uint8_t(c[1]), b[10] = uint8_t(c[2]);
    auto found = list.Find("", b.data(), size_t(c[3]));
    EXPECT_EQ(found ? found->number : 0, c[4]) << c[0] << "," << c[3];
  }

  ASSERT_TRUE(LoadFile(list,
                       "S:1,0x50,Old,old firmware,0\nI:SP810000-SP8100FF\nI:SPA00000-SPA0FFFF\n"
                       "S:2,0x50,New,new firmware,0\nI:sp820000-sp82ffff\n"
                       "S:3,0x50,Any,any firmware,0\n"));
  std::vector<uint8_t> b(16, 0x50);
  auto number = [&](std::string_view key) { return list.Find(key, b.data(), 16)->number; };
  // Case is ignored on both sides; keys of another length are in no range.
  const std::pair<const char*, int> keys[] = {{"SP810000", 1}, {"SP8100FF", 1}, {"sp8100a0", 1}, {"SPA0B000", 1},
                                              {"SP810100", 3}, {"SP82ABCD", 2}, {"SP820000", 2}, {"SP81000000", 3},
                                              {"SP8100", 3},   {"", 3}};
  for (auto [key, n] : keys) EXPECT_EQ(number(key), n) << key;

  ClistScn ranged;
  ASSERT_TRUE(LoadFile(ranged, "S:1,0x50,Old,old,0\nI:SP810000-SP8100FF\n"));
  EXPECT_EQ(ranged.Find("", b.data(), 16), nullptr);
}

}  // namespace
}  // namespace skyh
