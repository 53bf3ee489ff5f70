#pragma once

#include <QCoreApplication>

#include <functional>

namespace burning_test {

/// The test program's application object.
QCoreApplication& App();

/// Processes events until `done` holds or `seconds` pass; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, int seconds = 60);

}  // namespace burning_test
