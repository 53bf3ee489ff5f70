#pragma once
// The Qt application object of a test program: made on first use, of the type the test needs
// (QCoreApplication, QGuiApplication or QApplication), and destroyed when the program's tests are
// over, before the exit handlers run (Qt's globals must still exist when it goes).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace testing_support {

inline std::unique_ptr<QCoreApplication>& TestApplicationHolder() {
  static std::unique_ptr<QCoreApplication> app;
  return app;
}

class TTestApplicationEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { TestApplicationHolder().reset(); }
};
inline ::testing::Environment* const kTestApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new TTestApplicationEnvironment);

/// The application object, made as TApp on first use with name as the program name. Every call
/// of one program must ask for the same type.
template <typename TApp>
TApp& TestApplication(const char* name) {
  static int argc = 1;
  static char* argv[] = {const_cast<char*>(name), nullptr};
  if (!TestApplicationHolder()) TestApplicationHolder() = std::make_unique<TApp>(argc, argv);
  return static_cast<TApp&>(*TestApplicationHolder());
}

}  // namespace testing_support
