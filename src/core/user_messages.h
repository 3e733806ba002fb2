#pragma once
// Texts the window shows in message boxes. The window implements this with
// boxes; batch and command-line use print them (and log them) instead, so
// nothing there ever waits for a person.
#include <string>

namespace skyh {

enum class MessageKind { Info, Warning, Error };

const char* MessageCaption(MessageKind kind);  // "Info", "Warning", "Error"

class IUserMessages {
 public:
  virtual ~IUserMessages() = default;
  virtual void Show(MessageKind kind, const std::string& text) = 0;
};

// Prints "<Caption>: text" to stderr and logs the text when the log is on.
class StderrUserMessages : public IUserMessages {
 public:
  void Show(MessageKind kind, const std::string& text) override;
};

// The process-wide sink; defaults to StderrUserMessages.
IUserMessages& UserMessages();
// Installs another sink (not owned); null restores the default.
void SetUserMessages(IUserMessages* sink);

inline void ShowMessage(MessageKind kind, const std::string& text) { UserMessages().Show(kind, text); }

}  // namespace skyh
