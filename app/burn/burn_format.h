#pragma once
// Texts and small calculations of the burn windows: sizes, the log's data and disc lines, the
// written amount, the medium name and the write-speed list.

#include <QString>
#include <QStringList>
#include <QTime>
#include <cstdint>
#include <functional>

namespace app {

/// A size in the log: above 1073741824 bytes in GB with two decimals ("1.50 GB"), else in whole
/// MB with "," between thousands ("1,024 MB"). Separators do not follow the locale.
QString BurnSizeText(double bytes);
/// The log's data line: "Data: 1 file, 3 MB" or "Data: 2 files, 3 MB". The project's size is
/// shown with one MB added for the file system.
QString BurnDataLine(int64_t fileCount, int64_t projectBytes);
/// The log's last line of a burn that wrote the disc without some rows of the list:
/// "Done. 1 file of the list is not on the disc." / "Done. 2 files of the list are not on the disc."
QString BurnLeftOutLine(int64_t rowsLeftOut);
/// The log's disc line: "Disc: DVD+R, 4.38 GB".
QString BurnDiscLine(const QString& mediumText, double mediumBytes);
/// lbl_Written: "Written: 12 of 700 MB" (whole MB, "," between thousands).
QString BurnWrittenText(double bytesWritten, double imageBytes);
/// "[hh:mm:ss] " + text, the log's time stamp.
QString BurnTimeStamped(const QString& text, const QTime& time = QTime::currentTime());
/// The erase window's clock: seconds as "nn:ss" (minutes wrap at 60, as a clock does).
QString EraseClockText(int64_t seconds);

/// The medium's name in the "Disc: " line: the library's medium type, or "DVD-RW" for a
/// DVD-RW medium (MMC profile 0x13 or 0x14) whose status byte is 7 or 9.
QString BurnMediumText(const QString& mediumType, int status, int profileCode);

/// The number in a speed text such as "16x" or "2.4x" (rounded to a whole number); 0 when there
/// is none.
int BurnSpeedNumber(const QString& speedText);

/// The write-speed list of a drive.
struct TBurnSpeedList {
  QStringList Items;  ///< texts, highest first; no text twice in a row
  int SpeedStep = 0;  ///< KB/s of one step (0 = no steps)
};
/// Builds the list from the drive's highest speed (maxKBps, shown as maxText). With a medium,
/// the step is maxKBps divided by the number in maxText; the speeds below are tried one step at
/// a time through setAndShow (sets the drive to the given KB/s and returns the text of the speed
/// the drive took).
TBurnSpeedList BuildBurnSpeedList(int32_t maxKBps, const QString& maxText, bool hasMedium,
                                  const std::function<QString(int32_t kbps)>& setAndShow);

}  // namespace app
