#pragma once
// Registers a QtTest class under the name of its source file, so that each
// file of tests/ui is one CTest test without a CMake edit. Use the macro in
// the class's namespace.
#include <QObject>
#include <functional>
#include <memory>
#include <string>

namespace skyh::uitest {

using TestFactory = std::function<std::unique_ptr<QObject>()>;

struct TestRegistrar {
  TestRegistrar(const char* sourceFile, TestFactory factory);
};

}  // namespace skyh::uitest

// The class name is a type: it cannot be put in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SKYH_UI_TEST(Class)                                      \
  [[maybe_unused]] static const ::skyh::uitest::TestRegistrar skyhUiRegistrar##Class( \
      __FILE__, [] { return std::unique_ptr<QObject>(new Class); })
// NOLINTEND(bugprone-macro-parentheses)
