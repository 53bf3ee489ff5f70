#pragma once
// Shared set-up of the burning tests: the application object, the recording fake library held
// loaded for the whole test (so its state outlives the component's own load and release),
// and a component pointed at it.

#include <QCoreApplication>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "burning/disc_burner_sdk.h"
#include "burning_test_app.h"
#include "fake_discburn.h"

namespace burning_test {

class FakeLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    FHandle = dlopen(FAKE_DISCBURN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(FHandle, nullptr) << dlerror();
    auto reset = reinterpret_cast<void (*)()>(dlsym(FHandle, "FakeDiscburnReset"));
    auto state = reinterpret_cast<TFakeDiscburn* (*)()>(dlsym(FHandle, "FakeDiscburnState"));
    ASSERT_TRUE(reset && state);
    reset();
    Fake = state();
    Burner = std::make_unique<burning::TDiscBurnerSDK>();
    Burner->SetDLLName(QStringLiteral(FAKE_DISCBURN_PATH));
  }
  void TearDown() override {
    Burner.reset();
    if (FHandle) {
      reinterpret_cast<void (*)()>(dlsym(FHandle, "FakeDiscburnReset"))();
      dlclose(FHandle);
    }
  }
  // Activates and checks that it worked.
  void Activate() {
    Burner->SetActive(true);
    ASSERT_TRUE(Burner->Active()) << "LastError " << Burner->LastError();
  }
  // Processes queued events until `done` holds (or a generous limit passes).
  template <typename Pred>
  bool PumpUntil(Pred done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
  }

  TFakeDiscburn* Fake = nullptr;
  std::unique_ptr<burning::TDiscBurnerSDK> Burner;

 private:
  void* FHandle = nullptr;
};

}  // namespace burning_test
