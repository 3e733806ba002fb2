#pragma once
// Names and scripted answers shared by the engine tests on the in-memory link.
#include <vector>

#include "protocol/command_codes.h"
#include "support/memory_link.h"
#include "support/record_bytes.h"

namespace skyh::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Answers every request with `payload` under `command` (0: the request's own, flagged).
inline void AnswerWith(MemoryLink& link, const Bytes& payload, uint8_t command = 0) {
  link.SetResponder([payload, command](const WireFrame& f) {
    return BuildFrame(f.sequence, command ? command : static_cast<uint8_t>(f.command | 0x80), payload);
  });
}

// Every request gets `reply` back, as it is.
inline void Reply(MemoryLink& link, const Bytes& reply) {
  link.SetResponder([reply](const WireFrame&) { return reply; });
}

// What the first data command after an Open does: the line is learnt not to
// echo (a version reply). The record of what was written is cleared.
inline void LearnNoEcho(MemoryLink& link) {
  AnswerWith(link, {2, 1, 0});
  uint8_t major, minor, patch;
  link.GetFirmwareVersion(major, minor, patch, 0);
  link.SetResponder(nullptr);
  link.ClearRecord();
}

}  // namespace skyh::test
