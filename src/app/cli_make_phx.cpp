// skyharvester-cli make-phx: a firmware file from a plain image, for tests,
// demonstrations and instruments of our own.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/cli_commands.h"
#include "core/file_read.h"
#include "core/ini_file.h"
#include "protocol/phx_builder.h"

namespace skyh::cli {
namespace {

bool ReadBytes(const std::string& path, std::vector<uint8_t>& out) {
  return ReadWholeFile(path, out) == FileReadStatus::kRead;
}

int RunMakePhx(CliContext& ctx) {
  if (ctx.args.size() != 4) {
    std::fprintf(stderr, "Usage: skyharvester-cli make-phx IMAGE X.Y.Z KEYFILE OUT.phx\n");
    return kExitError;
  }
  const std::string& imagePath = ctx.args[0];
  const std::string& keyPath = ctx.args[2];
  const std::string& outPath = ctx.args[3];
  FirmwareVersion version;
  if (!ParseFirmwareVersion(ctx.args[1], version)) {
    std::fprintf(stderr, "\"%s\" is not a version X.Y.Z (each 0..255)\n", ctx.args[1].c_str());
    return kExitError;
  }
  std::vector<uint8_t> image, key;
  if (!ReadBytes(imagePath, image) || image.empty()) {
    std::fprintf(stderr, "Cannot read the image \"%s\"\n", imagePath.c_str());
    return kExitError;
  }
  if (!ReadBytes(keyPath, key) || key.size() != 32) {
    std::fprintf(stderr, "The key file \"%s\" must hold exactly 32 bytes\n", keyPath.c_str());
    return kExitError;
  }
  // A fresh initialisation vector per file.
  std::array<uint8_t, 16> iv{};
  std::ifstream random("/dev/urandom", std::ios::binary);
  if (!random.read(reinterpret_cast<char*>(iv.data()), iv.size())) {
    std::fprintf(stderr, "Cannot read /dev/urandom\n");
    return kExitError;
  }
  std::vector<uint8_t> phx;
  if (!BuildPhxBytes(image, version, key, iv, phx) ||
      !WriteFileAtomically(outPath, std::string(phx.begin(), phx.end()))) {
    std::fprintf(stderr, "Cannot write \"%s\"\n", outPath.c_str());
    return kExitError;
  }
  std::printf("%s: version %s, %zu code bytes\n", outPath.c_str(), ctx.args[1].c_str(), phx.size() - kPhxOverhead);
  return kExitOk;
}

const CliCommandRegistrar registrar({"make-phx", "build a .phx firmware file from a plain image",
                                     "Usage: skyharvester-cli make-phx IMAGE X.Y.Z KEYFILE OUT.phx\n\n"
                                     "Encrypts IMAGE (padded with 0xFF to a multiple of 16 bytes) with the\n"
                                     "32-byte key in KEYFILE (AES-256-CBC, a random initialisation vector)\n"
                                     "and writes it with version X.Y.Z in the .phx layout.\n",
                                     RunMakePhx, 95});

}  // namespace
}  // namespace skyh::cli
