#include "core/user_messages.h"

#include <atomic>
#include <cstdio>

#include "core/log_file.h"

namespace skyh {
namespace {
StderrUserMessages g_default;
std::atomic<IUserMessages*> g_sink{nullptr};
}  // namespace

const char* MessageCaption(MessageKind kind) {
  switch (kind) {
    case MessageKind::Info: return "Info";
    case MessageKind::Warning: return "Warning";
    case MessageKind::Error: return "Error";
  }
  return "Info";
}

void StderrUserMessages::Show(MessageKind kind, const std::string& text) {
  std::string line = std::string(MessageCaption(kind)) + ": " + text;
  if (line.empty() || line.back() != '\n') line += '\n';
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  if (CLogFile* log = GetLog()) log->LogText(line);
}

IUserMessages& UserMessages() {
  IUserMessages* s = g_sink.load();
  return s ? *s : g_default;
}

void SetUserMessages(IUserMessages* sink) { g_sink.store(sink); }

}  // namespace skyh
