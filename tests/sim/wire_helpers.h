#pragma once
// The host's side of the wire for the box's tests: requests as the box's
// encoder lays out frames (the layout is the same both ways), and replies
// read back with the program's own decoder, so every exchange crosses the
// two independent codecs.
#include "box_frame.h"
#include "link/ccom.h"
#include "protocol/reply_parser.h"
#include "support/record_bytes.h"
#include "support/test_common.h"

namespace skyh::sim {
inline std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
}  // namespace skyh::sim

namespace skyh::sim::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Request(uint8_t seq, uint8_t cmd, const Bytes& payload = {}) {
  return EncodeReplyFrame(seq, cmd, payload);
}

struct Reply {
  uint8_t seq = 0, cmd = 0;
  Bytes payload;
};

// The good reply frames in `wire`, in order.
inline std::vector<Reply> Replies(const Bytes& wire) {
  std::vector<Reply> out;
  Bytes buffer(kMaxReplyBytes + 2);
  ReplyParser parser(buffer.data(), kMaxReplyBytes);
  for (size_t pos = 0; pos < wire.size();) {
    size_t used = 0;
    const ReplyParser::Result r = parser.Feed(wire.data() + pos, wire.size() - pos, &used);
    pos += used;
    if (r == ReplyParser::kComplete)
      out.push_back({parser.Sequence(), buffer[0], Bytes(buffer.begin() + 1, buffer.begin() + parser.Count())});
  }
  return out;
}

// The single reply expected in `wire`.
inline Reply OneReply(const Bytes& wire) {
  std::vector<Reply> all = Replies(wire);
  EXPECT_EQ(all.size(), 1u) << "replies on the wire";
  return all.empty() ? Reply{} : all.front();
}

// Records in the box's layout, built by the shared test helper.
inline constexpr auto* Record = &skyh::test::MakeRecordBytes;
inline constexpr auto* Packed = &skyh::test::PackDateTime;

}  // namespace skyh::sim::test
