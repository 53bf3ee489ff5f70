#pragma once
// Texts the run windows show: sizes, times and output names.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace app {

/// Output size as the window shows it: up to 1048576 bytes in KB ("#,0 KB", rounded), above in MB
/// with two decimals ("#,0.#0 MB"). Separators are "," and "." whatever the locale.
QString FormatRunSize(int64_t bytes);
/// Seconds as "hh:nn:ss"; hours go on past 23. Negative counts show as "00:00:00".
QString FormatRunTime(int64_t seconds);
/// lbl_RemainingValue while a file runs: "calculation..." for its first 5 seconds, then the
/// remaining time extrapolated from the share done so far, or "N/A" while no share is known.
QString RemainingText(int64_t totalDuration, int64_t currentDuration, int fileSeconds);
/// fileName with its extension (from the last dot on) replaced by extension (which has its dot).
/// A name without one, or whose only dot leads it (".profile"), gets extension appended.
QString ChangeFileExt(const QString& fileName, const QString& extension);
/// path with " (n)" before its extension: "/out/clip.mkv", 2 gives "/out/clip (2).mkv".
QString NumberedFileName(const QString& path, int n);
/// The first of path's numbered names, from " (2)" up, that take accepts (it may act on the name,
/// and answer false to go on with the next one); empty when it accepted none of the first 9999.
QString FirstNumberedFileName(const QString& path, const std::function<bool(const QString& name)>& take);
/// How a conversion that succeeded with FFmpeg's errorLines (ErrorLines of the encoder) read the
/// source: empty when FFmpeg reported nothing, else one line saying how many packets were damaged
/// or could not be decoded, how many frames were damaged, and how many other errors FFmpeg reported.
QString DamageReport(const QStringList& errorLines);

}  // namespace app
