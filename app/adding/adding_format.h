#pragma once
// What the adding window accepts and how it writes a probed file into the main list's row.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "app/main_window/file_list_model.h"

namespace app {

/// The media mask: the adding window's folder search and the add-files window's filter.
inline constexpr const char* kMediaMask =
    "*.3GP;*.ASF;*.AVI;*.AVM;*.AVS;*.DAT;*.FLV;*.MKV;*.MOV;*.MP4;*.MPEG;*.MPG;*.NSV;*.OGM;*.RM;*.RMVB;*.TP;*.TS;"
    "*.VOB;*.WMV;";

/// The mask's entries one by one ("*.3GP", "*.ASF"...).
QStringList MediaMasks();

/// Types the program writes itself (outputs of Convert and Extract) and their common audio
/// relatives; added to the mask, so that what the program made can be read back in.
inline constexpr const char* kWrittenTypesMask = "*.WEBM;*.M4V;*.MP3;*.WAV;*.OGG;*.OGA;*.FLAC;*.WMA;*.M4A;";

/// Everything the adding window accepts: the mask's entries, then kWrittenTypesMask's.
QStringList AcceptedMasks();

/// True when the extension of path's file name (the text after its last ".") is one of
/// AcceptedMasks(), ignoring case. The whole extension must match: "clip.M" and "clip.MP" are not media
/// although ".M" and ".MP" occur in the mask's text, and a name without extension never is.
bool HasMediaExtension(const QString& path);

/// What the adding window learned about one playable file.
struct TProbedFile {
  QString Path;                // full path: sub-item 2
  int64_t Duration = -1;       // microseconds; any negative value means unknown
  int64_t Size = 0;            // bytes
  bool FirstStreamIsVideo = false;  // the video columns are filled only then
  int FrameRateNum = 0;        // frame rate of stream 0; unknown when either part is not positive
  int FrameRateDen = 1;
  int64_t BitRate = -1;        // bits per second of stream 0; below 1 unknown
  int Width = -1;
  int Height = -1;
};

/// A size as the list's "Size" column shows it: bytes with "," between thousands and no unit;
/// empty for 0 bytes.
QString FormatSizeText(int64_t bytes);

/// The eight sub-items of file's row: "hh:mm:ss", size text, path, microseconds, bytes, then
/// "%f fps", "%d kb" and "%dx%d" of stream 0 when it is video, else "-" in each. An unknown
/// duration gives "00:00:00" and "0"; an unknown frame rate or bit rate gives "-".
QStringList AddingSubItems(const TProbedFile& file);

/// File's row: the file name as caption, AddingSubItems as texts, and the probed path, size and
/// duration (0 when unknown) as values.
TFileRow AddingRow(const TProbedFile& file);

/// The message of a scan that stopped before its last file: "Adding stopped at <path>:\r<reason>"
/// ("Adding stopped:\r<reason>" without a path). The rows added before it stay in the list.
QString ScanStoppedText(const QString& path, const QString& reason);

}  // namespace app
