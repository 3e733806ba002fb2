#pragma once
// The engine over a test pump it inherits, so a test holds one object with
// the pump's controls and the engine's commands; the engine's names win
// where both have one.
#include <utility>

#include "link/ccom.h"

namespace skyh::test {

template <typename Pump>
class EngineOver : public Pump, public CCom {
 public:
  template <typename... Args>
  explicit EngineOver(Args&&... args) : Pump(std::forward<Args>(args)...), CCom(static_cast<Pump&>(*this)) {}
  using CCom::Clock, CCom::Close, CCom::Open, CCom::Read, CCom::SetClock, CCom::Write;
};

}  // namespace skyh::test
