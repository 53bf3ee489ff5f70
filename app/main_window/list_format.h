#pragma once
// The texts of the main window's status bar and list columns.

#include <QString>
#include <cstdint>

namespace app {

/// Microseconds as "hh:mm:ss"; hours are not wrapped at 24 ("25:00:00").
QString FormatDuration(int64_t micros);
/// A size as the status bar shows it: whole MiB with thousands separators and " MB" up to and
/// including 1073741824 bytes ("1,024 MB"), else GiB with two decimals and " GB" ("1.00 GB").
QString FormatTotalSize(int64_t bytes);
/// Status panel 0: "Files: <count> (Size: <size>, Duration: <hh:mm:ss>)".
QString TotalsText(int count, int64_t bytes, int64_t micros);
/// Status panel 1: "Selected: 1 file, <size>" or "Selected: <count> files, <size>"; empty when
/// nothing is selected.
QString SelectionText(int count, int64_t bytes);

}  // namespace app
