#include "burning_test_app.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

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

bool PumpUntil(const std::function<bool()>& done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

}  // namespace burning_test
