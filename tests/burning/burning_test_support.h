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
  template <typename Pred>
  bool PumpUntil(Pred done) {
    return burning_test::PumpUntil(done);
  }

  TFakeDiscburn* Fake = nullptr;
  std::unique_ptr<burning::TDiscBurnerSDK> Burner;

 private:
  void* FHandle = nullptr;
};

}  // namespace burning_test
