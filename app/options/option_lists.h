#pragma once
// The entries of the main window's output lists and the encoder lists of each container. The
// texts are both what the user sees and what the option-string builders read.

#include <QString>
#include <QStringList>

namespace app {

/// The custom frame size of a first start: the last entry of the frame-size list until the user
/// types another one.
inline constexpr const char* kDefaultCustomFrameSize = "7680x4800";
/// Number of entries of the frame-size list, the custom entry included.
inline constexpr int kFrameSizeCount = 30;

const QStringList& VideoFormats();      // "AVI" ... "WMV"
const QStringList& VideoAspects();      // "Original", "4:3", ...
const QStringList& VideoFrameRates();   // "Original", "10", ...
const QStringList& VideoBitrates();     // "Original", "256", ... (kbit/s)
const QStringList& AudioFormats();      // extraction only: "MP3", "WAV", "OGG", "FLAC", "WMA"
const QStringList& AudioSampleRates();  // "Original", "8000", ...
const QStringList& AudioChannels();     // "Original", "Mono", "Stereo"
const QStringList& AudioBitrates();     // "32" ... "384" (kbit/s, no "Original")
/// "Original", the 28 fixed sizes, then customSize as the last entry.
QStringList VideoFrameSizes(const QString& customSize);

/// The video and audio encoder lists offered for a container text of VideoFormats(); empty for
/// any other text.
QStringList VideoEncodersFor(const QString& videoFormat);
QStringList AudioEncodersFor(const QString& videoFormat);

/// entries[index], or an empty text when index is outside the list (a list without selection).
QString EntryText(const QStringList& entries, int index);

/// True for a frame size the custom entry may hold: "<width>x<height>", both 1 to 99999.
bool IsValidFrameSize(const QString& text);

/// The custom frame-size rule: the first entry from the second one on (the custom entry
/// included) equal to size is selected; without one the last entry is replaced by size and
/// selected. Returns the index to select; entries is changed only in the second case.
int MatchOrReplaceCustomSize(QStringList& entries, const QString& size);

}  // namespace app
