// skyharvester-sim: plays a photometer control box for SkyHarvester, on a
// pseudo-terminal, a loopback TCP port or standard input and output.
#include <getopt.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "box_server.h"
#include "control_box.h"
#include "core/text_util.h"
#include "core/time_util.h"
#include "core/version.h"
#include "demo_instrument.h"

using namespace skyh;
using namespace skyh::sim;

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop = true; }

const char kUsage[] =
    "Usage: skyharvester-sim [options]\n"
    "Plays a sun photometer's control box for SkyHarvester.\n"
    "\n"
    "Where it answers (one of; default --pty):\n"
    "  --pty                 serve on a new pseudo-terminal; its path is printed on standard output\n"
    "  --link PATH           with --pty: also make a symbolic link PATH to the terminal (removed at exit)\n"
    "  --tcp PORT            serve on 127.0.0.1:PORT (0 picks a free port; \"127.0.0.1:PORT\" is printed)\n"
    "  --stdio               read the host's bytes on standard input, answer on standard output\n"
    "  --rfc2217             with --tcp: speak Telnet with the COM-PORT-OPTION (RFC 2217) as a serial\n"
    "                        device server does; the line speed the host sets is shown on standard error\n"
    "                        and, with --baud, sets the line timing\n"
    "  --notify-every BYTES  with --rfc2217: a modem-state notification after every BYTES bytes of answers\n"
    "\n"
    "Memory:\n"
    "  --memory FILE         load the settings record and the records from a K8 file\n"
    "                        (default: demo records generated as with --generate)\n"
    "  --empty               keep the demo settings record but no records\n"
    "  --save FILE           write the memory (with settings changed by the host) to a K8 file at exit\n"
    "  --generate FILE       write a demo K8 file and exit\n"
    "  --days N              demo: days of records (default 3)\n"
    "  --interval MINUTES    demo: minutes between measurements (default 15)\n"
    "  --start YYYY-MM-DD    demo: first day (default: the days ending today, UTC)\n"
    "  --seed N              demo: seed of the measurement noise (default 7)\n"
    "  --instrument N        demo: instrument number IDNUM (default 1234)\n"
    "\n"
    "Line and clock:\n"
    "  --baud N              emulate a line of N baud, 8N1 (N/10 bytes per second each way; default: no delay).\n"
    "                        A pseudo-terminal takes the host's bytes at once, so the line time of a long\n"
    "                        request (a 2048-byte code block: 4.3 s at 9600) counts against the host's time-out\n"
    "  --clock-offset SEC    the box's clock runs SEC seconds ahead of the host's UTC clock (default 0)\n"
    "\n"
    "Firmware and boot loader:\n"
    "  --firmware X.Y.Z      firmware version the box reports (default 2.1.0)\n"
    "  --firmware-bytes N    2: report major and minor only; 3: all three (default 3)\n"
    "  --boot-version N      boot loader version (default 2; 0: the boot block is written first; 255: debug build)\n"
    "  --boot-version-after N  boot loader version once a boot block was written (default 2)\n"
    "  --block-size N        block size the boot loader reports (default 1024)\n"
    "  --key HEX             key bytes the boot loader reports, in hexadecimal (default 5C21A73E904BD217)\n"
    "  --no-boot-loader      the application runs without boot loader: boot info mode 0 until\n"
    "                        an application-mode image has been written and verified\n"
    "  --reboot-ms MS        silent period after an application is verified (default 3000)\n"
    "  --version-after X.Y.Z firmware version after an update (default: minor number + 1)\n"
    "\n"
    "Modem front end:\n"
    "  --modem               answer as a Hayes modem until ATD connects the call\n"
    "  --modem-no-echo       the modem does not echo commands after power-up or ATZ\n"
    "  --modem-dial WORD     answer to ATD: connect, busy, no-carrier or no-answer (default connect)\n"
    "  --modem-failing-dials N  with --modem-dial other than connect: that many dials fail, then\n"
    "                        the call connects (default: every dial fails)\n"
    "\n"
    "Faults (reproducible from --fault-seed):\n"
    "  --fault-seed N        seed of the fault pattern (default 1)\n"
    "  --corrupt P           change one digit of a reply with probability P (0..1)\n"
    "  --drop Q              lose a reply with probability Q (the command still takes effect)\n"
    "  --silent-after N      fall silent after N replies until the host closes and reopens the line\n"
    "  --hang-up-after N     with --tcp: close the connection once, right after reply N; the box keeps\n"
    "                        its state for the next connection\n"
    "  --slow MS             answer every command MS milliseconds late\n"
    "  --echo                send every request back before its answer (half-duplex adapter)\n"
    "  --late P              with probability P send a reply after the host's time-out\n"
    "  --late-ms MS          how late such a reply is (default 3500)\n"
    "\n"
    "  --verbose             trace every chunk in both directions on standard error\n"
    "  --help                show this text\n"
    "  --version             show the version\n"
    "\n"
    "SIGINT or SIGTERM ends the simulator cleanly.\n";

enum Option {
  kPty = 1000, kLink, kTcp, kStdio, kMemory, kEmpty, kSave, kGenerate, kDays, kInterval, kStart, kSeed,
  kInstrument, kBaud, kClockOffset, kFirmware, kFirmwareBytes, kBootVersion, kBootVersionAfter, kBlockSize,
  kKey, kNoBootLoader, kRebootMs, kVersionAfter, kModem, kModemNoEcho, kModemDial, kModemFailingDials,
  kFaultSeed, kCorrupt, kDrop, kSilentAfter, kHangUpAfter, kRfc2217, kNotifyEvery, kSlow, kEcho, kLate, kLateMs,
  kVerbose, kHelp, kShowVersion,
};

bool ParseInt(const char* text, long long low, long long high, long long& out) {
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  out = v;
  return true;
}

bool ParseProbability(const char* text, double& out) {
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= 0 && v <= 1)) return false;
  out = v;
  return true;
}

bool ParseVersion(const char* text, FirmwareVersion& out) {
  std::vector<std::string> parts = SplitFields(text, ".");
  if (parts.size() != 3) return false;
  long long v[3];
  for (int i = 0; i < 3; ++i)
    if (!ParseInt(parts[static_cast<size_t>(i)].c_str(), 0, 255, v[i])) return false;
  out = {static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]), static_cast<uint8_t>(v[2])};
  return true;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& out) {
  if (text.size() % 2 != 0) return false;
  out.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int h = HexDigitValue(text[i]), l = HexDigitValue(text[i + 1]);
    if (!std::isxdigit(static_cast<unsigned char>(text[i])) || !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
      return false;
    out.push_back(static_cast<uint8_t>(h * 16 + l));
  }
  return true;
}

bool ParseDate(const char* text, int64_t& out) {
  int y, m, d;
  char tail;
  if (std::sscanf(text, "%d-%d-%d%c", &y, &m, &d, &tail) != 3 || m < 1 || m > 12 || d < 1 || d > 31) return false;
  out = FieldsToTime(y, m, d, 0, 0, 0);
  return out != kInvalidTime;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "skyharvester-sim: %s\n", message.c_str());
  return 2;
}

void TraceChunk(bool toBox, const uint8_t* data, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t c = data[i];
    if (c >= 0x20 && c < 0x7F) {
      text.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", c);
      text += hex;
    }
  }
  std::fprintf(stderr, "%s %s\n", toBox ? "host>" : "box< ", text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  static const option kOptions[] = {
      {"pty", no_argument, nullptr, kPty},
      {"link", required_argument, nullptr, kLink},
      {"tcp", required_argument, nullptr, kTcp},
      {"stdio", no_argument, nullptr, kStdio},
      {"rfc2217", no_argument, nullptr, kRfc2217},
      {"notify-every", required_argument, nullptr, kNotifyEvery},
      {"memory", required_argument, nullptr, kMemory},
      {"empty", no_argument, nullptr, kEmpty},
      {"save", required_argument, nullptr, kSave},
      {"generate", required_argument, nullptr, kGenerate},
      {"days", required_argument, nullptr, kDays},
      {"interval", required_argument, nullptr, kInterval},
      {"start", required_argument, nullptr, kStart},
      {"seed", required_argument, nullptr, kSeed},
      {"instrument", required_argument, nullptr, kInstrument},
      {"baud", required_argument, nullptr, kBaud},
      {"clock-offset", required_argument, nullptr, kClockOffset},
      {"firmware", required_argument, nullptr, kFirmware},
      {"firmware-bytes", required_argument, nullptr, kFirmwareBytes},
      {"boot-version", required_argument, nullptr, kBootVersion},
      {"boot-version-after", required_argument, nullptr, kBootVersionAfter},
      {"block-size", required_argument, nullptr, kBlockSize},
      {"key", required_argument, nullptr, kKey},
      {"no-boot-loader", no_argument, nullptr, kNoBootLoader},
      {"reboot-ms", required_argument, nullptr, kRebootMs},
      {"version-after", required_argument, nullptr, kVersionAfter},
      {"modem", no_argument, nullptr, kModem},
      {"modem-no-echo", no_argument, nullptr, kModemNoEcho},
      {"modem-dial", required_argument, nullptr, kModemDial},
      {"modem-failing-dials", required_argument, nullptr, kModemFailingDials},
      {"fault-seed", required_argument, nullptr, kFaultSeed},
      {"corrupt", required_argument, nullptr, kCorrupt},
      {"drop", required_argument, nullptr, kDrop},
      {"silent-after", required_argument, nullptr, kSilentAfter},
      {"hang-up-after", required_argument, nullptr, kHangUpAfter},
      {"slow", required_argument, nullptr, kSlow},
      {"echo", no_argument, nullptr, kEcho},
      {"late", required_argument, nullptr, kLate},
      {"late-ms", required_argument, nullptr, kLateMs},
      {"verbose", no_argument, nullptr, kVerbose},
      {"help", no_argument, nullptr, kHelp},
      {"version", no_argument, nullptr, kShowVersion},
      {nullptr, 0, nullptr, 0},
  };
  enum class Serve { Pty, Tcp, Stdio } serve = Serve::Pty;
  std::string linkPath, memoryPath, savePath, generatePath;
  long long tcpPort = 0;
  bool empty = false, verbose = false, rfc2217 = false;
  long long notifyEvery = 0;
  DemoOptions demo;
  BoxOptions box;
  long long v = 0;
  int c;
  while ((c = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
    const std::string arg = optarg ? optarg : "";
    switch (c) {
      case kPty: serve = Serve::Pty; break;
      case kLink: linkPath = arg; break;
      case kTcp:
        if (!ParseInt(optarg, 0, 65535, tcpPort)) return Fail("--tcp wants a port number 0..65535");
        serve = Serve::Tcp;
        break;
      case kStdio: serve = Serve::Stdio; break;
      case kRfc2217: rfc2217 = true; break;
      case kNotifyEvery:
        if (!ParseInt(optarg, 1, 1000000, notifyEvery)) return Fail("--notify-every wants 1..1000000 bytes");
        break;
      case kMemory: memoryPath = arg; break;
      case kEmpty: empty = true; break;
      case kSave: savePath = arg; break;
      case kGenerate: generatePath = arg; break;
      case kDays:
        if (!ParseInt(optarg, 1, 3660, v)) return Fail("--days wants 1..3660");
        demo.days = static_cast<int>(v);
        break;
      case kInterval:
        if (!ParseInt(optarg, 1, 1440, v)) return Fail("--interval wants 1..1440 minutes");
        demo.intervalMinutes = static_cast<int>(v);
        break;
      case kStart:
        if (!ParseDate(optarg, demo.startUtc)) return Fail("--start wants a date YYYY-MM-DD");
        break;
      case kSeed:
        if (!ParseInt(optarg, 0, INT64_MAX, v)) return Fail("--seed wants a number");
        demo.seed = static_cast<uint64_t>(v);
        break;
      case kInstrument:
        if (!ParseInt(optarg, 0, 9999, v)) return Fail("--instrument wants 0..9999");
        demo.instrumentNumber = static_cast<uint16_t>(v);
        break;
      case kBaud:
        if (!ParseInt(optarg, 0, 4000000, v)) return Fail("--baud wants 0..4000000");
        box.baud = static_cast<int>(v);
        break;
      case kClockOffset:
        if (!ParseInt(optarg, -3153600000LL, 3153600000LL, v)) return Fail("--clock-offset wants seconds");
        box.clockOffsetSeconds = v;
        break;
      case kFirmware:
        if (!ParseVersion(optarg, box.firmware)) return Fail("--firmware wants X.Y.Z");
        break;
      case kFirmwareBytes:
        if (!ParseInt(optarg, 2, 3, v)) return Fail("--firmware-bytes wants 2 or 3");
        box.firmwareVersionBytes = static_cast<int>(v);
        break;
      case kBootVersion:
        if (!ParseInt(optarg, 0, 255, v)) return Fail("--boot-version wants 0..255");
        box.boot.version = static_cast<uint8_t>(v);
        break;
      case kBootVersionAfter:
        if (!ParseInt(optarg, 1, 254, v)) return Fail("--boot-version-after wants 1..254");
        box.boot.versionAfterBootBlock = static_cast<uint8_t>(v);
        break;
      case kBlockSize:
        if (!ParseInt(optarg, 1, 65535, v)) return Fail("--block-size wants 1..65535");
        box.boot.blockSize = static_cast<uint16_t>(v);
        break;
      case kKey:
        if (!ParseHexBytes(arg, box.boot.keyBytes) || box.boot.keyBytes.size() > 64)
          return Fail("--key wants up to 64 bytes in hexadecimal");
        break;
      case kNoBootLoader: box.boot.installed = false; break;
      case kRebootMs:
        if (!ParseInt(optarg, 0, 600000, v)) return Fail("--reboot-ms wants 0..600000");
        box.boot.rebootMs = static_cast<int>(v);
        break;
      case kVersionAfter:
        if (!ParseVersion(optarg, box.boot.versionAfterUpdate)) return Fail("--version-after wants X.Y.Z");
        box.boot.hasVersionAfterUpdate = true;
        break;
      case kModem: box.modem.enabled = true; break;
      case kModemNoEcho: box.modem.echo = false; break;
      case kModemDial:
        if (!ParseDialResult(arg, box.modem.dialResult))
          return Fail("--modem-dial wants connect, busy, no-carrier or no-answer");
        break;
      case kModemFailingDials:
        if (!ParseInt(optarg, 0, 1000, v)) return Fail("--modem-failing-dials wants 0..1000");
        box.modem.failingDials = static_cast<int>(v);
        break;
      case kFaultSeed:
        if (!ParseInt(optarg, 0, INT64_MAX, v)) return Fail("--fault-seed wants a number");
        box.faults.seed = static_cast<uint64_t>(v);
        break;
      case kCorrupt:
        if (!ParseProbability(optarg, box.faults.corruptProbability)) return Fail("--corrupt wants 0..1");
        break;
      case kDrop:
        if (!ParseProbability(optarg, box.faults.dropProbability)) return Fail("--drop wants 0..1");
        break;
      case kSilentAfter:
        if (!ParseInt(optarg, 0, 1000000000, v)) return Fail("--silent-after wants a count");
        box.faults.silentAfterReplies = static_cast<int>(v);
        break;
      case kHangUpAfter:
        if (!ParseInt(optarg, 1, 1000000000, v)) return Fail("--hang-up-after wants a count from 1");
        box.faults.hangUpAfterReplies = static_cast<int>(v);
        break;
      case kSlow:
        if (!ParseInt(optarg, 0, 600000, v)) return Fail("--slow wants 0..600000 ms");
        box.faults.answerDelayMs = static_cast<int>(v);
        break;
      case kEcho: box.faults.echoRequests = true; break;
      case kLate:
        if (!ParseProbability(optarg, box.faults.lateProbability)) return Fail("--late wants 0..1");
        break;
      case kLateMs:
        if (!ParseInt(optarg, 0, 600000, v)) return Fail("--late-ms wants 0..600000 ms");
        box.faults.lateDelayMs = static_cast<int>(v);
        break;
      case kVerbose: verbose = true; break;
      case kHelp: std::fputs(kUsage, stdout); return 0;
      case kShowVersion:
        std::printf("skyharvester-sim %d.%d.%d\n", kVersionMajor, kVersionMinor, kVersionRevision);
        return 0;
      default: std::fputs(kUsage, stderr); return 2;
    }
  }
  if (optind < argc) return Fail(std::string("unexpected argument \"") + argv[optind] + "\" (see --help)");
  if (serve != Serve::Tcp && (rfc2217 || box.faults.hangUpAfterReplies > 0))
    return Fail("--rfc2217 and --hang-up-after need --tcp");

  BoxMemory memory;
  if (!generatePath.empty()) {
    DemoSummary s = GenerateDemoMemory(demo, memory);
    if (!memory.SaveK8(generatePath)) return Fail("cannot write \"" + generatePath + "\"");
    std::fprintf(stderr, "skyharvester-sim: wrote %d records (%d of no known type) to %s\n", s.records,
                 s.unknownRecords, generatePath.c_str());
    return 0;
  }

  ControlBox controlBox(box);
  if (!memoryPath.empty()) {
    std::string error;
    if (!controlBox.memory().LoadK8(memoryPath, &error)) return Fail("cannot load \"" + memoryPath + "\": " + error);
  } else {
    GenerateDemoMemory(demo, controlBox.memory());
  }
  if (empty) controlBox.memory().Clear();

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  BoxServer server(controlBox);
  if (verbose) server.trace = TraceChunk;
  if (rfc2217) {
    server.SpeakComPortOption(static_cast<size_t>(notifyEvery));
    server.onLineSettings = [](const LineSettings& s) {
      std::fprintf(stderr, "skyharvester-sim: the host set the line to %s\n", s.Text().c_str());
    };
  }
  std::string error;
  if (serve == Serve::Pty) {
    std::string path;
    if (!server.OpenPseudoTerminal(path, error)) return Fail(error);
    if (!linkPath.empty()) {
      ::unlink(linkPath.c_str());
      if (::symlink(path.c_str(), linkPath.c_str()) != 0) return Fail("cannot make the link \"" + linkPath + "\"");
    }
    std::printf("%s\n", path.c_str());
  } else if (serve == Serve::Tcp) {
    uint16_t bound = 0;
    if (!server.ListenTcp(static_cast<uint16_t>(tcpPort), bound, error)) return Fail(error);
    std::printf("127.0.0.1:%u\n", bound);
  } else {
    server.UseDescriptors(STDIN_FILENO, STDOUT_FILENO);
  }
  std::fflush(stdout);
  std::fprintf(stderr, "skyharvester-sim: %zu records, firmware %d.%d.%d\n", controlBox.memory().size(),
               controlBox.firmware().major, controlBox.firmware().minor, controlBox.firmware().patch);

  server.Run(g_stop);

  if (!linkPath.empty()) ::unlink(linkPath.c_str());
  if (!savePath.empty() && !controlBox.memory().SaveK8(savePath)) return Fail("cannot write \"" + savePath + "\"");
  return 0;
}
