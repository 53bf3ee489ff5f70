#pragma once
// Widget tests: the program's QApplication (support/test_application.h) and small pictures.

#include <QApplication>
#include <QImage>

#include "support/test_application.h"

namespace testing_support {

/// The program's application object, a QApplication.
inline QApplication& WidgetApp() { return TestApplication<QApplication>("widget_tests"); }

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
