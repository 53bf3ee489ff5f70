#pragma once

#include <QCoreApplication>

namespace burning_test {

/// The application object, made on first use and destroyed when the tests are over, before
/// the exit handlers run (Qt's globals must still exist when it goes).
QCoreApplication& App();

}  // namespace burning_test
