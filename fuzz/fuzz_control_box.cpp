// Host bytes of any kind into the control box: frames, raw boot-loader
// frames, modem commands, noise. The box must neither crash nor grow
// without bound.
#include <cstddef>
#include <cstdint>

#include "control_box.h"
#include "demo_instrument.h"

using namespace skyh::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  int64_t ms = 0;
  BoxOptions o;
  o.modem.enabled = (mode & 1) != 0;
  o.faults.echoRequests = (mode & 2) != 0;
  o.boot.installed = (mode & 4) != 0;
  o.boot.keyBytes.resize(mode >> 5);
  o.faults.corruptProbability = (mode & 8) ? 0.3 : 0;
  o.baud = (mode & 16) ? 9600 : 0;
  ControlBox box(o, [&ms] { return ms; }, [] { return int64_t{1700000000}; });
  box.memory().SetSettings(MakeDemoSettingsRecord(1, 1700000000));
  for (int i = 0; i < 3; ++i) box.memory().Append(MakeRecord(0x11, PackTime(1700000000 + i), Bytes(5, static_cast<uint8_t>(i))));
  size_t p = 1;
  while (p < size) {
    const size_t chunk = 1 + data[p] % 64;
    const size_t n = std::min(chunk, size - p);
    box.Receive(data + p, n);
    p += n;
    ms += 700;
    box.TakeOutput();
  }
  box.TakeAllOutput();
  return 0;
}
