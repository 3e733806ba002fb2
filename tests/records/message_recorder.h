#pragma once
// Collects the texts shown to the user while it lives.
#include <string>
#include <vector>

#include "core/user_messages.h"

namespace skyh::test {

class MessageRecorder : public IUserMessages {
 public:
  MessageRecorder() { SetUserMessages(this); }
  ~MessageRecorder() override { SetUserMessages(nullptr); }
  void Show(MessageKind, const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

}  // namespace skyh::test
