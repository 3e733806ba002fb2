// Preparing firmware blocks: AES-256-CBC decryption and scrambling of a
// 46320-byte image in 2048-byte blocks, as the update does before each write.
#include <benchmark/benchmark.h>

#include <vector>

#include "protocol/aes_cbc.h"
#include "protocol/firmware_blocks.h"

namespace {

void BM_DecryptAndScrambleImage(benchmark::State& state) {
  const size_t length = 46320, blockSize = 2048;
  std::vector<uint8_t> image(length, 0x5A), key(32, 0x11), iv(16, 0x22), block(blockSize);
  const std::vector<uint8_t> bootKey(static_cast<size_t>(state.range(0)), 0x3C);
  for (auto _ : state) {
    skyh::AesCbc cipher;
    cipher.Init(skyh::AesCbc::Direction::Decrypt, key.data(), iv.data());
    uint16_t scramble = bootKey.back();
    for (size_t offset = 0; offset < length; offset += blockSize) {
      size_t n = std::min(blockSize, length - offset);
      cipher.Update(image.data() + offset, n, block.data());
      skyh::ScrambleBlock(scramble, block.data(), n, bootKey.data(), static_cast<int>(bootKey.size()));
      benchmark::DoNotOptimize(skyh::IsErasedBlock(block.data(), blockSize));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
}
BENCHMARK(BM_DecryptAndScrambleImage)->Arg(8)->Arg(64);

}  // namespace

BENCHMARK_MAIN();
