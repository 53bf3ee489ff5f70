#pragma once
// The process's QApplication for widget tests, made on first use and
// destroyed when the tests are over (before the exit handlers run).

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace testing_support {

inline std::unique_ptr<QApplication>& WidgetAppHolder() {
  static std::unique_ptr<QApplication> app;
  return app;
}

inline QApplication& WidgetApp() {
  static int argc = 1;
  static char name[] = "widget_tests";
  static char* argv[] = {name, nullptr};
  if (!WidgetAppHolder()) WidgetAppHolder() = std::make_unique<QApplication>(argc, argv);
  return *WidgetAppHolder();
}

class TWidgetAppEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { WidgetAppHolder().reset(); }
};
inline ::testing::Environment* const kWidgetAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new TWidgetAppEnvironment);

/// A fixture member declared before any widget member: makes the application first.
struct TWidgetAppFirst {
  TWidgetAppFirst() { WidgetApp(); }
};

/// A picture of w x h pixels in one colour.
inline QImage SolidPicture(int w, int h, QRgb argb) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(argb);
  return image;
}

}  // namespace testing_support
