#pragma once

#include <QCoreApplication>

#include <functional>

namespace burning_test {

/// The application object, made on first use and destroyed when the tests are over, before
/// the exit handlers run (Qt's globals must still exist when it goes).
QCoreApplication& App();

/// Processes events until `done` holds or `seconds` pass; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, int seconds = 60);

}  // namespace burning_test
