#pragma once
// The settings file "converter.ini": what the main window keeps between runs, in the key order
// and value forms that every earlier version wrote.

#include <QString>
#include <array>
#include <optional>

#include "app/options/output_settings.h"

namespace platform {
class TIniFile;
}

namespace app {

/// Where the output of a run goes ("LocOption").
enum class TLocation { Specify = 1, Original = 2, Path = 3 };

struct TConverterSettings {
  TLocation LocOption = TLocation::Specify;
  QString Location;    // the typed output folder
  QString AddPath;     // the add-files window's start folder
  int AddView = 1;     // the add-files window's view: 0 details, 1 list, 2 large icons
  bool Update = true;  // check for an update on start
  std::array<int, 4> Columns{300, 100, 100, 200};  // "Name", "Duration", "Size", "Source"
  std::optional<int> Height;                       // window size; absent until a normal-sized exit wrote it
  std::optional<int> Width;
  bool Maximized = false;
  /// The list selections and the custom frame size ("Custom"); effects are not stored.
  TOutputSettings Output;
  bool operator==(const TConverterSettings&) const = default;
};

/// The settings file: <config folder>/Quorvane/Video Converter/converter.ini, or an empty text
/// when the desktop gives no per-user configuration folder (then nothing is read or written).
QString SettingsFilePath();

/// Reads every key; a missing key or an unusable value gives its default. Indexes are normalised
/// (NormalizeSelection), so the result always builds a complete option text.
TConverterSettings ReadSettings(const platform::TIniFile& ini);
/// Writes every key in the file's order. Height and Width are written only when the window is not
/// maximized, so a maximized exit keeps the size of the last normal-sized one.
void WriteSettings(platform::TIniFile& ini, const TConverterSettings& settings);

/// Reads the settings file at path; a missing file or an empty path gives the defaults.
TConverterSettings LoadSettingsFile(const QString& path);
/// Updates the settings file at path (creating its folder), keeping keys it does not know.
/// Returns false when path is empty or the file could not be written; the old file then stays.
bool SaveSettingsFile(const QString& path, const TConverterSettings& settings);

}  // namespace app
