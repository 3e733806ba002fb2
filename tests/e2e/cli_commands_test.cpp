// skyharvester-cli's box and file commands as a user runs them, against the
// simulated box on a pseudo-terminal, with the demo instrument's files.
#include <sys/stat.h>

#include "core/clock_sync.h"
#include "core/time_util.h"
#include "demo_instrument.h"
#include "records/parameter_file.h"
#include "records/settings_area.h"
#include "settings/build_settings_items.h"
#include "sim_pty_bridge.h"
#include "support/test_common.h"

namespace skyh {
namespace {

const std::string kDemo = SKYH_SOURCE_DIR "/demo/";

namespace fs = std::filesystem;
using test::CliBox;
using test::Has;

constexpr int64_t kDecember1 = 1764547200;  // 2025-12-01
const auto DemoBox = test::Demo(1, 15, kDecember1);

// The value texts of a settings record, read with the demo files.
std::string ValueOf(std::vector<uint8_t> record, const char* key) {
  auto items =
      BuildSettingsItems(kDemo + "ParDesc.dat", kDemo + ParameterFileNameOfRecord(record), SettingsAreaOf(record));
  const CSettingsItem* item = items ? FindItemByKey(*items, key) : nullptr;
  return item ? item->GetValueText() : "(none)";
}

// What "settings show" prints of the demo instrument's settings.
const char kDemoSettingsShown[] =
    "InstrumentNumber     1234             Instrument number [0 : 9999]. Default: 1\n"
    "Latitude             43.56123         Latitude of the site in degrees (north positive) [-90.00000 : 90.00000]. "
    "Default: 0.00000\n"
    "Longitude            1.47890          Longitude of the site in degrees (east positive) [-180.00000 : 180.00000]. "
    "Default: 0.00000\n"
    "Altitude             1520             Altitude of the site in metres [-500 : 9000]. Default: 0\n"
    "SiteName             Demo Hill        Name of the site [ 16 characters max ]\n"
    "Password             *****            Password of the maintenance menu [ 8 characters max ]\n"
    "SerialKey            1A2B3C4D         Serial key of the control box\n"
    "AutoStart            yes              Start measuring at power-up [no : yes]. Default: yes\n"
    "GpsEnable            yes              Use the GPS receiver [no : yes]. Default: yes\n"
    "HeaterOn             no               Heat the optical head [no : yes]. Default: no\n"
    "Gain                 4                Amplifier gain step [0 : 15]. Default: 4\n"
    "FilterSet            2                Filter set installed [0 : 15]. Default: 2\n"
    "TempOffset           -1.5             Temperature sensor correction in degrees [-50.0 : 50.0]. Default: 0.0\n"
    "MeasureInterval      15               Interval between measurements in minutes [1 : 1440]. Default: 15\n"
    "TimeZone             0                Time zone of the local displays in hours [-12 : 12]. Default: 0\n"
    "ModemTimeout         60               Modem time-out in seconds [10 : 250]. Default: 60\n"
    "WheelMask            00FF             Filter wheel positions in use\n"
    "Operator             Sky Demo         Name of the operator [ 12 characters max ]\n";

TEST(SettingsCliE2E, SavedSettingsEditedAndLoadedWithSendAreTheBoxsSettings) {
  CliBox cli({}, DemoBox);
  EXPECT_EQ(cli.Run("settings show", 0).out, kDemoSettingsShown);

  EXPECT_EQ(cli.Run("settings save " + cli.Arg(""), 0).out, cli.home / "Settings_1234.set\n");
  EXPECT_TRUE(
      Has(test::ReadFile(cli.home / "Settings_1234.set"), "[Settings]\nInstrumentNumber=1234\nLatitude=43.56123\n"));

  test::WriteFile(cli.home / "edited.set",
                  "[Settings]\r\nSiteName=Pic du Midi\r\nGain=9\r\nHeaterOn=YES\r\nAutoStart=no\r\n"
                  "Password=newpw\r\nMeasureInterval=5000\r\n");
  const std::vector<uint8_t> before = cli.bridge.Box()->memory().settings();
  EXPECT_TRUE(Has(cli.Run("settings load " + cli.Arg("edited.set"), 0).out, "SiteName             Pic du Midi"));
  EXPECT_EQ(cli.bridge.Box()->memory().settings(), before) << "nothing sent without --send";

  test::CliRun load = cli.Run("settings load " + cli.Arg("edited.set") + " --send");
  EXPECT_TRUE(Has(load.err, "Write settings\nPlease wait...\nWriting settings...\nWrite settings OK.\n")) << load.err;
  const std::vector<uint8_t> after = cli.bridge.Box()->memory().settings();
  // A refused value (MeasureInterval) keeps the box's, as do the settings not in the file.
  for (auto [key, value] : {std::pair{"SITE", "Pic du Midi"},
                            {"GAIN", "9"},
                            {"HEAT", "yes"},
                            {"AUTO", "no"},
                            {"MINT", "15"},
                            {"IDNUM", "1234"},
                            {"OPER", "Sky Demo"}})
    EXPECT_EQ(ValueOf(after, key), value) << key;
  EXPECT_EQ(std::string(after.begin() + 13 + 28, after.begin() + 13 + 36), std::string("newpw\0\0\0", 8));

  // The settings of a data file need no box.
  sim::BoxMemory memory;
  memory.SetSettings(sim::MakeDemoSettingsRecord(42, 0));
  ASSERT_TRUE(memory.SaveK8(cli.home / "site.k8"));
  const int commands = cli.bridge.Box()->counters().commands;
  EXPECT_EQ(cli.Run("settings save " + cli.Arg("") + " --from " + cli.Arg("site.k8"), 0).out,
            cli.home / "Settings_0042.set\n");
  EXPECT_TRUE(Has(test::ReadFile(cli.home / "Settings_0042.set"), "InstrumentNumber=42\n"));
  EXPECT_EQ(cli.bridge.Box()->counters().commands, commands);
  EXPECT_TRUE(Has(cli.Run("settings load " + cli.Arg("nothing.set") + " --send", 1).err,
                  "Can't read " + cli.home / "nothing.set"));
}

TEST(BoxCliE2E, ClockGuardTimeResetAndClearFlash) {
  CliBox cli(test::BoxWith([](auto& o) { o.clockOffsetSeconds = 7200; }), DemoBox,
             "AutoSetTime=1\nretrieve_limited=0\nretrieve_missing=0\n");
  auto offset = [&cli] { return std::llabs(cli.bridge.Box()->clockOffsetSeconds()); };
  const size_t records = cli.bridge.Box()->memory().size();
  ASSERT_GT(records, 0u);

  // No terminal to answer: nothing done.
  EXPECT_TRUE(Has(cli.Run("clear-flash", 2).err, "Do you want to clear the internal flash memory?"));
  EXPECT_EQ(cli.bridge.Box()->counters().commands, 0);
  for (const char* bad :
       {"time set 2025-02-30 10:00:00", "time set 2025-03-07", "time set --system 2025-03-07 10:00:00"})
    cli.Run(bad, 1);
  EXPECT_EQ(cli.bridge.Box()->counters().commands, 0) << "nothing sent for bad input";

  // The clock check guarded by the computer's clock synchronisation: this
  // machine's kernel decides, and either way the run succeeds.
  const bool synchronised = ComputerClockSynchronised();
  cli.Run("retrieve --clock-needs-sync", 0);
  EXPECT_TRUE(synchronised ? offset() <= 2 : offset() == 7200) << offset();
  const std::string why = "Computer clock not synchronised: the photometer's clock was left unchanged.";
  EXPECT_NE(Has(test::ReadFile(cli.Files() + "SkyHarvester.log"), why), synchronised);
  cli.Run("retrieve", 0);  // off (the default): the clock is set as before
  EXPECT_LE(offset(), 2);
  // The key reads like the option; an explicit time set always goes out.
  cli.Ini("AutoSetTimeNeedsSync=1\n");
  EXPECT_TRUE(Has(cli.Run("config show").out, "communication/AutoSetTimeNeedsSync = 1\n"));

  EXPECT_TRUE(Has(cli.Run("time set 2025-03-07 14:05:09", 0).err, "Set time/date ok"));
  const int64_t expected = FieldsToTime(2025, 3, 7, 14, 5, 9) - NowUtc();
  EXPECT_NEAR(static_cast<double>(cli.bridge.Box()->clockOffsetSeconds()), static_cast<double>(expected), 2.0);
  EXPECT_EQ(cli.Run("time get", 0).out.substr(0, 17), "2025-03-07 14:05:");
  cli.Run("time set --system", 0);
  EXPECT_NEAR(static_cast<double>(cli.bridge.Box()->clockOffsetSeconds()), 0.0, 2.0);

  EXPECT_EQ(cli.Run("reset --yes", 0).out, "Reset board success\n");
  EXPECT_EQ(cli.bridge.Box()->memory().size(), records);
  EXPECT_EQ(cli.Run("clear-flash --yes", 0).out, "Clear flash memory success\n");
  EXPECT_EQ(cli.bridge.Box()->memory().size(), 0u);

  EXPECT_TRUE(Has(cli.Run("time get --port /dev/nonexistent-tty", 1).err, "Can't find Photometer\n"));
}

TEST(FileCliE2E, InfoDescribesAndConvertWritesTheDemoDataAndADamagedFileIsReadUpToTheDamageAndSaysSo) {
  CliBox cli;
  sim::BoxMemory memory;
  sim::GenerateDemoMemory({kDecember1, 2, 15, 7, 77}, memory);
  ASSERT_TRUE(memory.SaveK8(cli.home / "Demo Site.K8"));

  EXPECT_EQ(cli.Run("info " + cli.Arg("Demo Site.K8"), 0).out,
            "File: " + cli.home / "Demo Site.K8" +
                "\nVersion: 2.21\nScenario key: SPD7000201\nParameter file: SPD7FF0201.par\n"
                "Instrument number: 77\nLatitude: 43.56123\nLongitude: 1.47890\nRecords: 321\n"
                "  type 0x11 SUN          94\n  type 0x12 SKY          22\n  type 0x13 MET          192\n"
                "  type 0x14 (unknown)    1\n  type 0x14 GPS          2\n  type 0x14 STATUS       8\n"
                "  type 0x3F (unknown)    2\nUnknown records: 3\n"
                "First time: 2025-12-01 00:00:00 UTC\nLast time: 2025-12-02 23:45:00 UTC\n");
  test::CliRun convert = cli.Run("convert " + cli.Arg("Demo Site.K8") + " " + cli.Arg("missing.k8"), 1);
  EXPECT_EQ(convert.out, cli.home / "Demo Site.K8 -> " + cli.home / "demo site.*\n");
  EXPECT_TRUE(Has(convert.err, "Error, can't open " + cli.home / "missing.k8")) << convert.err;
  EXPECT_TRUE(std::filesystem::exists(cli.home / "demo site.---"));

  // The length of the 21st record one off: 20 records stay readable.
  std::string bytes = test::ReadFile(cli.home / "Demo Site.K8");
  size_t at = memory.settings().size();
  for (int i = 0; i < 20; ++i) at += memory.records()[i].size();
  bytes[at + 1] = static_cast<char>(bytes[at + 1] ^ 0x01);
  test::WriteFile(cli.home / "site.k8", bytes);
  const std::string said = cli.home / "site.k8: damaged at byte " + std::to_string(at) + ": 20 records read, " +
                           std::to_string(bytes.size() - at) + " bytes not read\n";
  test::CliRun info = cli.Run("info " + cli.Arg("site.k8"), 1);
  EXPECT_TRUE(Has(info.out, "Records: 20\n")) << info.out;
  EXPECT_EQ(info.err, said);
  convert = cli.Run("convert " + cli.Arg("site.k8"), 1);
  EXPECT_EQ(convert.err, said);
  EXPECT_TRUE(Has(convert.out, "(incomplete)")) << convert.out;
  EXPECT_TRUE(Has(test::ReadFile(cli.Files() + "SkyHarvester.log"), said));

  // A broken header length: nothing is read, and that is said too.
  bytes[1] = static_cast<char>(bytes[1] ^ 0x01);
  test::WriteFile(cli.home / "site.k8", bytes);
  info = cli.Run("info " + cli.Arg("site.k8"), 1);
  EXPECT_TRUE(Has(info.err, cli.home / "site.k8: damaged at byte 0: 0 records read, " + std::to_string(bytes.size()) +
                                " bytes not read\n"))
      << info.err;
  EXPECT_TRUE(Has(info.err, "Error, can't open")) << info.err;
}

TEST(FileCliE2E, FoldersAndPipesInPlaceOfFilesAreErrorsNeverAbortsNorBlocks) {
  CliBox cli;
  sim::BoxMemory memory;
  memory.SetSettings(sim::MakeDemoSettingsRecord(42, 0));
  ASSERT_TRUE(memory.SaveK8(cli.home / "site.k8"));
  ASSERT_EQ(::mkfifo((cli.home / "pipe.k8").c_str(), 0644), 0);
  cli.Run("info " + cli.Arg("pipe.k8"), 1);

  // A configuration folder whose ParDesc.dat and parameter file are folders.
  const std::string par = cli.home / "par/";
  fs::create_directories(par + "ParDesc.dat");
  fs::copy_file(kDemo + "SPD7FF0201.par", par + "SPD7FF0201.par");
  fs::copy_file(kDemo + "ScnList.dat", par + "ScnList.dat");
  test::WriteCliIni(cli.home, "[general]\nconfiguration=" + par + "\n");
  EXPECT_TRUE(Has(cli.Run("settings show --from " + cli.Arg("site.k8"), 0).out, "InstrumentNumber     42"));
  fs::remove(par + "SPD7FF0201.par");
  fs::create_directories(par + "SPD7FF0201.par");
  for (const char* command : {"settings show --from ", "info "})  // an error or not, never an abort
    EXPECT_LE(unsigned(cli.Run(command + cli.Arg("site.k8")).exitCode), 1u) << command;
  EXPECT_TRUE(Has(cli.Run("settings show --from " + cli.Arg("site.k8"), 1).err, "Can't load \"SPD7FF0201.par\" file"));

  fs::create_directories(cli.home / "folder.set");
  test::WriteCliIni(cli.home, "[general]\nconfiguration=" + kDemo + "\n");
  EXPECT_TRUE(Has(cli.Run("settings load " + cli.Arg("folder.set") + " --from " + cli.Arg("site.k8"), 1).err,
                  "Can't read " + cli.home / "folder.set: is a folder"));
}

// A parameter file whose texts round: two decimals shown with one, a tenth
// shown whole, a 2-bit switch holding 2, a text with bytes after its end.
const char kLossyDemoParameters[] =
    "P InstrumentNumber, IDNUM, 0, 16, 0, 0, 9999, 1, 0, 0, 0, 0, D\r\n"
    "P Latitude, IDLAT, 2, 32, 0, -9000000, 9000000, 0, 0, 0, 100000, 1, D\r\n"
    "P Longitude, IDLONG, 6, 32, 0, -18000000, 18000000, 0, 0, 0, 1000, 0, D\r\n"
    "P SiteName, SITE, 12, 128, 0, 0, 16, 0, 0, 0, 0, 0, S\r\n"
    "P Switches, SW, 40, 2, 0, 0, 3, 0, 0, 0, 0, 0, B\r\n"
    "P TempOffset, TOFF, 42, 16, 0, -500, 500, 0, 0, 0, 100, 1, D\r\n"
    "P MeasureInterval, MINT, 44, 16, 0, 1, 1440, 15, 0, 0, 0, 0, D\r\n";

TEST(SettingsCliE2E, AnUnchangedSetFileSentWithLossyTextsLeavesTheBoxByteIdentical) {
  CliBox cli({}, [](sim::ControlBox& box) {
    DemoBox(box);
    std::vector<uint8_t>& s = box.memory().settings();
    s[13 + 40] = static_cast<uint8_t>((s[13 + 40] & ~3) | 2);  // the switch holds 2
    s[13 + 42] = static_cast<uint8_t>(-15);                    // -0.15 shown as -0.1
    s[13 + 43] = 0xFF;
    std::copy_n("Hill\0old name..", 16, s.begin() + 13 + 12);  // bytes after the text's end
  });
  const std::string par = cli.home / "par/";
  fs::create_directories(par);
  fs::copy_file(kDemo + "ScnList.dat", par + "ScnList.dat");
  fs::copy_file(kDemo + "ParDesc.dat", par + "ParDesc.dat");
  test::WriteFile(par + "SPD7FF0201.par", kLossyDemoParameters);
  test::WriteCliIni(cli.home,
                    "[general]\nconfiguration=" + par + "\n[communication]\ntype=1\nport=" + cli.bridge.Path() + "\n");

  const std::vector<uint8_t> before = cli.bridge.Box()->memory().settings();
  cli.Run("settings save " + cli.Arg("box.set"), 0);
  cli.Run("settings load " + cli.Arg("box.set") + " --send", 0);
  EXPECT_EQ(cli.bridge.Box()->memory().settings(), before);

  // Refused values and unknown names are listed; the rest is sent.
  test::WriteFile(cli.home / "edit.set", "[Settings]\nMeasureInterval=30\nTempOffset=9999\nColour=blue\n");
  test::CliRun edit = cli.Run("settings load " + cli.Arg("edit.set") + " --send", 0);
  EXPECT_TRUE(Has(edit.err, "TempOffset = 9999 refused: Value too high\n")) << edit.err;
  EXPECT_TRUE(Has(edit.err, "Colour is not a setting of this instrument: ignored\n")) << edit.err;
  std::vector<uint8_t> expected = before;
  expected[13 + 44] = 30;
  expected[13 + 45] = 0;
  EXPECT_EQ(cli.bridge.Box()->memory().settings(), expected) << "only the interval changed";

  // No Settings section at all: an error, nothing sent.
  test::WriteFile(cli.home / "none.set", "[Other]\nMeasureInterval=60\n");
  EXPECT_TRUE(Has(cli.Run("settings load " + cli.Arg("none.set") + " --send", 1).err, "has no [Settings] section"));
  EXPECT_EQ(cli.bridge.Box()->memory().settings(), expected) << "nothing sent";
}

}  // namespace
}  // namespace skyh
