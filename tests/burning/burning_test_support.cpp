#include "burning_test_app.h"

#include <gtest/gtest.h>

#include <memory>

namespace burning_test {
namespace {

std::unique_ptr<QCoreApplication>& AppHolder() {
  static std::unique_ptr<QCoreApplication> app;
  return app;
}

class TQtEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { AppHolder().reset(); }
};
::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

}  // namespace

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "burning_tests";
  static char* argv[] = {name, nullptr};
  if (!AppHolder()) AppHolder() = std::make_unique<QCoreApplication>(argc, argv);
  return *AppHolder();
}

}  // namespace burning_test
