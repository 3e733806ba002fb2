#include "data/batch_conversion.h"

#include <cstdio>

#include "core/log_file.h"
#include "core/text_util.h"
#include "data/ascii_export.h"
#include "data/file_naming.h"
#include "data/k8_file.h"
#include "data/record_store.h"

namespace skyh {

std::string BatchBaseName(const std::string& inputPath) {
  size_t start = FileNameStart(inputPath);
  std::string name = ToLowerAscii(std::string_view(inputPath).substr(start));
  size_t k8 = name.find(".k8");
  if (k8 != std::string::npos) name.resize(k8);
  return inputPath.substr(0, start) + name;
}

int RunBatchConversion(const std::vector<std::string>& arguments, const std::string& commandLine) {
  if (CLogFile* log = GetLog()) log->Start(true);
  LogLine("SkyHarvester started from command line\n");
  LogLine("Command line (%d params): %s\n", static_cast<int>(arguments.size()), commandLine.c_str());
  bool failed = false;
  for (size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] != "-ASCII") continue;
    const std::string& argument = arguments[++i];
    if (argument.empty()) continue;
    std::string input;
    for (char c : argument) {
      if (c != '"') input += c;
    }
    // The log keeps its lines; whoever started the run reads stderr and
    // the exit code.
    switch (ConvertDataFile(input)) {
      case ConvertResult::kConverted: break;
      case ConvertResult::kCannotOpen:
        std::fprintf(stderr, "Error, can't open %s\n", input.c_str());
        failed = true;
        break;
      case ConvertResult::kCannotWrite:
        std::fprintf(stderr, "Error, can't write the ASCII files of %s\n", input.c_str());
        failed = true;
        break;
      case ConvertResult::kDamaged:  // written as far as read; the damage is said already
        failed = true;
        break;
    }
  }
  return failed ? 1 : 0;
}

ConvertResult ConvertDataFile(const std::string& input) {
  RecordStore store;
  K8Unread unread;
  const bool loaded = store.LoadFromFile(input, &unread);
  if (unread.bytes > 0) {
    // What was read is still converted, but nobody is to take it for the whole file.
    const std::string text = K8DamageText(input, unread.at, store.Count(), unread.bytes);
    LogLine("%s", text);
    std::fprintf(stderr, "%s", text.c_str());
  }
  if (!loaded) {
    LogLine("Error, can't open %s\n", input.c_str());
    return ConvertResult::kCannotOpen;
  }
  if (!WriteAsciiFiles(store, BatchBaseName(input), false)) {
    LogLine("Error, can't write the ASCII files of %s\n", input.c_str());
    return ConvertResult::kCannotWrite;
  }
  return unread.bytes > 0 ? ConvertResult::kDamaged : ConvertResult::kConverted;
}

}  // namespace skyh
