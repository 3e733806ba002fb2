// The Telnet side of an rfc2217:// line: any bytes from a server decode
// without reading outside them, the data and the answers stay within what
// the input can account for, and the result does not depend on where the
// reads were cut.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/telnet_codec.h"

namespace {

struct Decoded {
  std::vector<uint8_t> data, answers;
  bool ok = true;
};

Decoded Decode(const uint8_t* in, size_t size, size_t cut) {
  skyh::TelnetCodec codec;
  Decoded d;
  std::vector<uint8_t> offers;
  codec.Start(offers);
  for (size_t at = 0; at < size; at += cut) {
    const size_t n = size - at < cut ? size - at : cut;
    d.ok = codec.Feed(in + at, n, d.data, d.answers);
    if (!d.ok && codec.Error().empty()) std::abort();
  }
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 8192) return 0;
  const size_t cut = size_t(data[0] % 7) + 1;
  const Decoded whole = Decode(data + 1, size - 1, size);
  const Decoded pieces = Decode(data + 1, size - 1, cut);
  if (whole.data != pieces.data || whole.answers != pieces.answers || whole.ok != pieces.ok) std::abort();
  // Every data byte takes at least one input byte; the answers grow with
  // the requests (the line settings go again each time the server takes the
  // option anew), never beyond them.
  if (whole.data.size() > size || whole.answers.size() > 16 * size + 64) std::abort();
  return 0;
}
