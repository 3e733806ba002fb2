// skyharvester-cli's box and file commands as a user runs them, against the
// simulated box on a pseudo-terminal, with the demo instrument's files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "core/format.h"
#include "core/time_util.h"
#include "demo_instrument.h"
#include "records/parameter_file.h"
#include "records/settings_area.h"
#include "settings/build_settings_items.h"
#include "sim_pty_bridge.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

const std::string kDemo = SKYH_SOURCE_DIR "/demo/";

// A home whose INI points at the box's terminal and the demo configuration
// directory.
class CliHome {
 public:
  explicit CliHome(const std::string& port) {
    test::WriteCliIni(dir, "[general]\nconfiguration=" + kDemo + "\n[communication]\ntype=1\nport=" + port + "\n");
  }
  test::CliRun Run(const std::string& args) const { return test::RunCli(dir, args); }
  // A file of the home, quoted for the command line.
  std::string Arg(const std::string& name) const { return "'" + dir / name + "'"; }
  test::TempDir dir;
};

using test::Has;

constexpr int64_t kDecember1 = 1764547200;  // 2025-12-01
const auto DemoBox = test::Demo(1, 15, kDecember1);

// The value texts of a settings record, read with the demo files.
std::string ValueOf(std::vector<uint8_t> record, const char* key) {
  auto items = BuildSettingsItems(kDemo + "ParDesc.dat", kDemo + ParameterFileNameOfRecord(record),
                                  SettingsAreaOf(record));
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
  test::SimPtyBridge bridge({}, DemoBox);
  ASSERT_TRUE(bridge.ok());
  CliHome home(bridge.Path());

  test::CliRun show = home.Run("settings show");
  EXPECT_EQ(show.exitCode, 0) << show.err;
  EXPECT_EQ(show.out, kDemoSettingsShown);

  test::CliRun save = home.Run("settings save " + home.Arg(""));
  EXPECT_EQ(save.exitCode, 0) << save.err;
  EXPECT_EQ(save.out, home.dir / "Settings_1234.set\n");
  EXPECT_TRUE(Has(test::ReadFile(home.dir / "Settings_1234.set"), "[Settings]\nInstrumentNumber=1234\nLatitude=43.56123\n"));

  test::WriteFile(home.dir / "edited.set",
                  "[Settings]\r\nSiteName=Pic du Midi\r\nGain=9\r\nHeaterOn=YES\r\nAutoStart=no\r\n"
                  "Password=newpw\r\nMeasureInterval=5000\r\n");
  const std::vector<uint8_t> before = bridge.Box()->memory().settings();
  test::CliRun preview = home.Run("settings load " + home.Arg("edited.set"));
  EXPECT_TRUE(Has(preview.out, "SiteName             Pic du Midi")) << preview.out;
  EXPECT_EQ(bridge.Box()->memory().settings(), before) << "nothing sent without --send";

  test::CliRun load = home.Run("settings load " + home.Arg("edited.set") + " --send");
  EXPECT_EQ(load.exitCode, 0) << load.err;
  EXPECT_TRUE(Has(load.err, "Write settings\nPlease wait...\nWriting settings...\nWrite settings OK.\n")) << load.err;
  const std::vector<uint8_t> after = bridge.Box()->memory().settings();
  EXPECT_EQ(ValueOf(after, "SITE"), "Pic du Midi");
  EXPECT_EQ(ValueOf(after, "GAIN"), "9");
  EXPECT_EQ(ValueOf(after, "HEAT"), "yes");
  EXPECT_EQ(ValueOf(after, "AUTO"), "no");
  EXPECT_EQ(ValueOf(after, "MINT"), "15") << "a refused value keeps the box's";
  for (const char* key : {"IDNUM", "IDLAT", "IDLONG", "ALT", "SERIAL", "GPS", "FSET", "TOFF", "TZONE", "OPER"})
    EXPECT_EQ(ValueOf(after, key), ValueOf(before, key)) << key;
  EXPECT_EQ(std::string(after.begin() + 13 + 28, after.begin() + 13 + 36), std::string("newpw\0\0\0", 8));

  // The settings of a data file need no box.
  sim::BoxMemory memory;
  memory.SetSettings(sim::MakeDemoSettingsRecord(42, 0));
  ASSERT_TRUE(memory.SaveK8(home.dir / "site.k8"));
  const int commands = bridge.Box()->counters().commands;
  save = home.Run("settings save " + home.Arg("") + " --from " + home.Arg("site.k8"));
  EXPECT_EQ(save.out, home.dir / "Settings_0042.set\n") << save.err;
  EXPECT_TRUE(Has(test::ReadFile(home.dir / "Settings_0042.set"), "InstrumentNumber=42\n"));
  EXPECT_EQ(bridge.Box()->counters().commands, commands);
  test::CliRun missing = home.Run("settings load " + home.Arg("nothing.set") + " --send");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(Has(missing.err, "Can't read " + home.dir / "nothing.set")) << missing.err;
}

TEST(BoxCliE2E, ClockResetAndClearFlash) {
  test::SimPtyBridge bridge({}, DemoBox);
  ASSERT_TRUE(bridge.ok());
  CliHome home(bridge.Path());
  const size_t records = bridge.Box()->memory().size();
  ASSERT_GT(records, 0u);

  test::CliRun no = home.Run("clear-flash");  // no terminal to answer: nothing done
  EXPECT_EQ(no.exitCode, 2);
  EXPECT_TRUE(Has(no.err, "Do you want to clear the internal flash memory?")) << no.err;
  EXPECT_EQ(bridge.Box()->counters().commands, 0);
  for (const char* bad : {"time set 2025-02-30 10:00:00", "time set 2025-03-07", "time set --system 2025-03-07 10:00:00"}) {
    test::CliRun run = home.Run(bad);
    EXPECT_EQ(run.exitCode, 1) << bad;
    EXPECT_FALSE(run.err.empty()) << bad;
  }
  EXPECT_EQ(bridge.Box()->counters().commands, 0) << "nothing sent for bad input";

  test::CliRun set = home.Run("time set 2025-03-07 14:05:09");
  EXPECT_EQ(set.exitCode, 0) << set.err;
  EXPECT_TRUE(Has(set.err, "Set time/date ok")) << set.err;
  const int64_t expected = FieldsToTime(2025, 3, 7, 14, 5, 9) - NowUtc();
  EXPECT_NEAR(static_cast<double>(bridge.Box()->clockOffsetSeconds()), static_cast<double>(expected), 2.0);
  test::CliRun get = home.Run("time get");
  EXPECT_EQ(get.out.substr(0, 17), "2025-03-07 14:05:") << get.out << get.err;
  EXPECT_EQ(home.Run("time set --system").exitCode, 0);
  EXPECT_NEAR(static_cast<double>(bridge.Box()->clockOffsetSeconds()), 0.0, 2.0);

  test::CliRun reset = home.Run("reset --yes");
  EXPECT_EQ(reset.out, "Reset board success\n") << reset.err;
  EXPECT_EQ(bridge.Box()->memory().size(), records);
  test::CliRun clear = home.Run("clear-flash --yes");
  EXPECT_EQ(clear.exitCode, 0) << clear.err;
  EXPECT_EQ(clear.out, "Clear flash memory success\n");
  EXPECT_EQ(bridge.Box()->memory().size(), 0u);

  test::CliRun noBox = home.Run("time get --port /dev/nonexistent-tty");
  EXPECT_EQ(noBox.exitCode, 1);
  EXPECT_TRUE(Has(noBox.err, "Can't find Photometer\n")) << noBox.err;
}

TEST(FileCliE2E, InfoDescribesAndConvertWritesTheDemoData) {
  CliHome home("/dev/nonexistent-tty");
  sim::BoxMemory memory;
  sim::GenerateDemoMemory({kDecember1, 2, 15, 7, 77}, memory);
  ASSERT_TRUE(memory.SaveK8(home.dir / "Demo Site.K8"));

  test::CliRun info = home.Run("info " + home.Arg("Demo Site.K8"));
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_EQ(info.out, "File: " + home.dir / "Demo Site.K8" +
                          "\nVersion: 2.21\nScenario key: SPD7000201\nParameter file: SPD7FF0201.par\n"
                          "Instrument number: 77\nLatitude: 43.56123\nLongitude: 1.47890\nRecords: 321\n"
                          "  type 0x11 SUN          94\n  type 0x12 SKY          22\n  type 0x13 MET          192\n"
                          "  type 0x14 (unknown)    1\n  type 0x14 GPS          2\n  type 0x14 STATUS       8\n"
                          "  type 0x3F (unknown)    2\nUnknown records: 3\n"
                          "First time: 2025-12-01 00:00:00 UTC\nLast time: 2025-12-02 23:45:00 UTC\n");

  test::CliRun convert = home.Run("convert " + home.Arg("Demo Site.K8") + " " + home.Arg("missing.k8"));
  EXPECT_EQ(convert.exitCode, 1) << "one file could not be read";
  EXPECT_EQ(convert.out, home.dir / "Demo Site.K8 -> " + home.dir / "demo site.*\n");
  EXPECT_TRUE(Has(convert.err, "Error, can't open " + home.dir / "missing.k8")) << convert.err;
  EXPECT_TRUE(std::filesystem::exists(home.dir / "demo site.---"));

  test::CliRun bad = home.Run("info " + home.Arg("missing.k8"));
  EXPECT_EQ(bad.exitCode, 1);
}

TEST(FileCliE2E, ADamagedFileIsReadUpToTheDamageAndSaysSo) {
  CliHome home("/dev/nonexistent-tty");
  test::WriteCliIni(home.dir, "[general]\nconfiguration=" + kDemo + "\n[communication]\nlog=1\n");
  sim::BoxMemory memory;
  sim::GenerateDemoMemory({kDecember1, 1}, memory);
  ASSERT_TRUE(memory.SaveK8(home.dir / "site.k8"));
  std::string bytes = test::ReadFile(home.dir / "site.k8");
  // The length of the 21st record one off: 20 records stay readable.
  size_t at = memory.settings().size();
  for (int i = 0; i < 20; ++i) at += memory.records()[i].size();
  bytes[at + 1] = static_cast<char>(bytes[at + 1] ^ 0x01);
  test::WriteFile(home.dir / "site.k8", bytes);
  const std::string said = home.dir / "site.k8: damaged at byte " + std::to_string(at) + ": 20 records read, " +
                           std::to_string(bytes.size() - at) + " bytes not read\n";

  test::CliRun info = home.Run("info " + home.Arg("site.k8"));
  EXPECT_EQ(info.exitCode, 1);
  EXPECT_TRUE(Has(info.out, "Records: 20\n")) << info.out;
  EXPECT_EQ(info.err, said);
  test::CliRun convert = home.Run("convert " + home.Arg("site.k8"));
  EXPECT_EQ(convert.exitCode, 1);
  EXPECT_EQ(convert.err, said);
  EXPECT_TRUE(Has(convert.out, "(incomplete)")) << convert.out;
  int asciiLines = 0;  // the records read are converted
  for (auto& e : std::filesystem::directory_iterator(home.dir.path())) {
    if (e.path().stem() != "site" || e.path().extension() == ".k8") continue;
    const std::string text = test::ReadFile(e.path().string());
    asciiLines += static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  }
  EXPECT_EQ(asciiLines, 20);
  const std::string log = test::ReadFile(home.dir / "Documents/SkyHarvester/SkyHarvester.log");
  EXPECT_TRUE(Has(log, said)) << log;

  // A broken header length: nothing is read, and that is said too.
  bytes[1] = static_cast<char>(bytes[1] ^ 0x01);
  test::WriteFile(home.dir / "site.k8", bytes);
  info = home.Run("info " + home.Arg("site.k8"));
  EXPECT_EQ(info.exitCode, 1);
  EXPECT_TRUE(Has(info.err, home.dir / "site.k8: damaged at byte 0: 0 records read, " +
                                std::to_string(bytes.size()) + " bytes not read\n"))
      << info.err;
  EXPECT_TRUE(Has(info.err, "Error, can't open")) << info.err;
}

namespace fs = std::filesystem;

TEST(StartUpCliE2E, FailuresEndWithOneAndSayWhyAndAnUnreadableIniIsLeftAlone) {
  // What is in the way (a folder or a file) and what is said; the documents
  // folder is taken as usual when user-dirs.dirs is a folder.
  const struct {
    const char* path;
    bool folder;
    const char* said;
  } cases[] = {
      {"cfg/SkyHarvester/SkyHarvester.ini", true, "Can't read \"%scfg/SkyHarvester/SkyHarvester.ini\": is a folder"},
      {"Documents", false, "Can't create documents folder \"%sDocuments/\""},
      {"cfg", false, "Can't find roaming folder"},
      {"cfg/user-dirs.dirs", true, ""}};
  for (const auto& c : cases) {
    test::TempDir home;
    c.folder ? (void)fs::create_directories(home / c.path) : test::WriteFile(home / c.path, "in the way");
    for (const char* command : {"config show", "retrieve --port /dev/nonexistent-tty"}) {
      if (command[0] == 'r' && !std::string(c.path).ends_with(".ini")) continue;
      test::CliRun run = test::RunCli(home, command);
      EXPECT_EQ(run.exitCode, *c.said ? 1 : 0) << command << run.err;
      EXPECT_TRUE(Has(run.err, Sprintf(c.said, home.path().c_str()))) << command << run.err;
    }
    EXPECT_EQ(fs::is_directory(home / c.path), c.folder) << "left alone";
  }
}

TEST(FileCliE2E, FoldersAndPipesInPlaceOfFilesAreErrorsNeverAbortsNorBlocks) {
  CliHome home("/dev/nonexistent-tty");
  sim::BoxMemory memory;
  memory.SetSettings(sim::MakeDemoSettingsRecord(42, 0));
  ASSERT_TRUE(memory.SaveK8(home.dir / "site.k8"));
  ASSERT_EQ(::mkfifo((home.dir / "pipe.k8").c_str(), 0644), 0);
  test::CliRun pipe = home.Run("info " + home.Arg("pipe.k8"));
  EXPECT_EQ(pipe.exitCode, 1) << pipe.err;

  // A configuration folder whose ParDesc.dat and parameter file are folders.
  const std::string par = home.dir / "par/";
  fs::create_directories(par + "ParDesc.dat");
  fs::copy_file(kDemo + "SPD7FF0201.par", par + "SPD7FF0201.par");
  fs::copy_file(kDemo + "ScnList.dat", par + "ScnList.dat");
  test::WriteCliIni(home.dir, "[general]\nconfiguration=" + par + "\n");
  test::CliRun noDescriptions = home.Run("settings show --from " + home.Arg("site.k8"));
  EXPECT_EQ(noDescriptions.exitCode, 0) << noDescriptions.err;
  EXPECT_TRUE(Has(noDescriptions.out, "InstrumentNumber     42")) << noDescriptions.out;
  fs::remove(par + "SPD7FF0201.par");
  fs::create_directories(par + "SPD7FF0201.par");
  for (const char* command : {"settings show --from ", "info "}) {
    test::CliRun run = home.Run(command + home.Arg("site.k8"));
    EXPECT_NE(run.exitCode, 134) << command;
    EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << command << run.exitCode;
  }
  test::CliRun show = home.Run("settings show --from " + home.Arg("site.k8"));
  EXPECT_EQ(show.exitCode, 1);
  EXPECT_TRUE(Has(show.err, "Can't load \"SPD7FF0201.par\" file")) << show.err;

  fs::create_directories(home.dir / "folder.set");
  test::WriteCliIni(home.dir, "[general]\nconfiguration=" + kDemo + "\n");
  test::CliRun set = home.Run("settings load " + home.Arg("folder.set") + " --from " + home.Arg("site.k8"));
  EXPECT_EQ(set.exitCode, 1);
  EXPECT_TRUE(Has(set.err, "Can't read " + home.dir / "folder.set: is a folder")) << set.err;
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
  test::SimPtyBridge bridge({}, [](sim::ControlBox& box) {
    DemoBox(box);
    std::vector<uint8_t>& s = box.memory().settings();
    s[13 + 40] = static_cast<uint8_t>((s[13 + 40] & ~3) | 2);  // the switch holds 2
    s[13 + 42] = static_cast<uint8_t>(-15);                    // -0.15 shown as -0.1
    s[13 + 43] = 0xFF;
    std::copy_n("Hill\0old name..", 16, s.begin() + 13 + 12);  // bytes after the text's end
  });
  ASSERT_TRUE(bridge.ok());
  CliHome home(bridge.Path());
  const std::string par = home.dir / "par/";
  fs::create_directories(par);
  fs::copy_file(kDemo + "ScnList.dat", par + "ScnList.dat");
  fs::copy_file(kDemo + "ParDesc.dat", par + "ParDesc.dat");
  test::WriteFile(par + "SPD7FF0201.par", kLossyDemoParameters);
  test::WriteCliIni(home.dir, "[general]\nconfiguration=" + par + "\n[communication]\ntype=1\nport=" + bridge.Path() + "\n");

  const std::vector<uint8_t> before = bridge.Box()->memory().settings();
  test::CliRun save = home.Run("settings save " + home.Arg("box.set"));
  ASSERT_EQ(save.exitCode, 0) << save.err;
  test::CliRun send = home.Run("settings load " + home.Arg("box.set") + " --send");
  EXPECT_EQ(send.exitCode, 0) << send.err;
  EXPECT_TRUE(Has(send.err, "Write settings OK.")) << send.err;
  EXPECT_EQ(bridge.Box()->memory().settings(), before);

  // Refused values and unknown names are listed; the rest is sent.
  test::WriteFile(home.dir / "edit.set", "[Settings]\nMeasureInterval=30\nTempOffset=9999\nColour=blue\n");
  test::CliRun edit = home.Run("settings load " + home.Arg("edit.set") + " --send");
  EXPECT_EQ(edit.exitCode, 0) << edit.err;
  EXPECT_TRUE(Has(edit.err, "TempOffset = 9999 refused: Value too high\n")) << edit.err;
  EXPECT_TRUE(Has(edit.err, "Colour is not a setting of this instrument: ignored\n")) << edit.err;
  std::vector<uint8_t> expected = before;
  expected[13 + 44] = 30;
  expected[13 + 45] = 0;
  EXPECT_EQ(bridge.Box()->memory().settings(), expected) << "only the interval changed";

  // No Settings section at all: an error, nothing sent.
  int commands = bridge.Box()->counters().commands;
  ASSERT_EQ(home.Run("settings show").exitCode, 0);
  const int readOnly = bridge.Box()->counters().commands - commands;
  commands = bridge.Box()->counters().commands;
  test::WriteFile(home.dir / "none.set", "[Other]\nMeasureInterval=60\n");
  test::CliRun none = home.Run("settings load " + home.Arg("none.set") + " --send");
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_TRUE(Has(none.err, "has no [Settings] section")) << none.err;
  EXPECT_EQ(bridge.Box()->counters().commands - commands, readOnly) << "the settings read, nothing sent";
}

}  // namespace
}  // namespace skyh
