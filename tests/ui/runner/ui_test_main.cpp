// Runs the test classes of tests/ui: the one named by the first argument (a
// source file's name without extension), or all of them.
#include <QApplication>
#include <QTest>
#include <filesystem>
#include <map>

#include "runner/ui_test.h"

namespace skyh::uitest {

static std::map<std::string, TestFactory>& Registry() {
  static std::map<std::string, TestFactory> registry;
  return registry;
}

TestRegistrar::TestRegistrar(const char* sourceFile, TestFactory factory) {
  Registry()[std::filesystem::path(sourceFile).stem().string()] = std::move(factory);
}

}  // namespace skyh::uitest

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::string only = argc > 1 && argv[1][0] != '-' ? argv[1] : "";
  int failed = 0, run = 0;
  for (auto& [name, factory] : skyh::uitest::Registry())
    if (only.empty() || name == only) failed += QTest::qExec(factory().get(), 1, argv), ++run;
  return run > 0 && failed == 0 ? 0 : 1;
}
