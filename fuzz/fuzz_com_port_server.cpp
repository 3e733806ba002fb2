// The Telnet COM-PORT-OPTION server: any bytes from a client give data no
// longer than what came in, and bounded answers; the data the box sends back
// survives escaping.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "com_port_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  skyh::sim::ComPortServer server;
  server.SetNotifyEvery(5);
  size_t passed = 0;
  server.onData = [&](const uint8_t*, size_t n) { passed += n; };
  // Two calls, split in the middle: state carries over between reads.
  const size_t half = size / 2;
  size_t answers = server.FromClient(data, half).size();
  answers += server.FromClient(data + half, size - half).size();
  if (passed > size) std::abort();
  // Each three input bytes at most one answer of at most 4 + 2 * 64 + 2 bytes.
  if (answers > (size / 3 + 1) * 134) std::abort();
  const std::vector<uint8_t> out = server.ToClient(data, size);
  size_t ff = 0;
  for (size_t i = 0; i < size; ++i) ff += data[i] == 0xFF;
  if (out.size() < size + ff) std::abort();
  return 0;
}
