#include "burning_test_app.h"

#include <chrono>
#include <thread>

#include "support/test_application.h"

namespace burning_test {

QCoreApplication& App() {
  return testing_support::TestApplication<QCoreApplication>("burning_tests");
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
