#include "app/settings/settings.h"

#include <QDir>
#include <QFileInfo>

#include "platform/ini_file.h"
#include "platform/settings_location.h"

namespace app {

namespace {

const QString kConverter = QStringLiteral("Converter");
const QString kSettings = QStringLiteral("Settings");

// The "Settings" keys in file order, with the record field each one holds.
struct TIndexKey {
  const char* Key;
  int TOutputSettings::*Field;
};
const TIndexKey kIndexKeys[] = {
    {"VideoFormat2", &TOutputSettings::VideoFormat},
    {"VideoEncoder2", &TOutputSettings::VideoEncoder},
    {"VideoAspect2", &TOutputSettings::VideoAspect},
    {"VideoFrameSize2", &TOutputSettings::VideoFrameSize},
    {"VideoFrameRate2", &TOutputSettings::VideoFrameRate},
    {"VideoBitRate2", &TOutputSettings::VideoBitrate},
    {"AudioFormat2", &TOutputSettings::AudioFormat},
    {"AudioEncoder2", &TOutputSettings::AudioEncoder},
    {"AudioChannel2", &TOutputSettings::AudioChannel},
    {"AudioSampleRate2", &TOutputSettings::AudioSampleRate},
    {"AudioBitRate2", &TOutputSettings::AudioBitrate},
};

QString ColumnKey(size_t i) { return QStringLiteral("Column%1").arg(i + 1); }

}  // namespace

QString SettingsFilePath() {
  const QString folder = platform::UserConfigFolder();
  if (folder.isEmpty()) return QString();
  return folder + QLatin1String("/Quorvane/Video Converter/converter.ini");
}

TConverterSettings ReadSettings(const platform::TIniFile& ini) {
  TConverterSettings s;
  switch (ini.ReadInteger(kConverter, QStringLiteral("LocOption"), 1)) {
    case 2:
      s.LocOption = TLocation::Original;
      break;
    case 3:
      s.LocOption = TLocation::Path;
      break;
    default:
      s.LocOption = TLocation::Specify;
      break;  // 1, and any unknown value
  }
  s.Location = ini.ReadString(kConverter, QStringLiteral("Location"), QString());
  s.AddPath = ini.ReadString(kConverter, QStringLiteral("AddPath"), QString());
  s.AddView = ini.ReadInteger(kConverter, QStringLiteral("AddView"), 1);
  s.Update = ini.ReadBool(kConverter, QStringLiteral("Update"), true);
  s.Output.CustomFrameSize =
      ini.ReadString(kConverter, QStringLiteral("Custom"), QString::fromLatin1(kDefaultCustomFrameSize));
  for (size_t i = 0; i < s.Columns.size(); ++i)
    s.Columns[i] = ini.ReadInteger(kConverter, ColumnKey(i), s.Columns[i]);
  if (ini.ValueExists(kConverter, QStringLiteral("Height")))
    s.Height = ini.ReadInteger(kConverter, QStringLiteral("Height"), 600);
  if (ini.ValueExists(kConverter, QStringLiteral("Width")))
    s.Width = ini.ReadInteger(kConverter, QStringLiteral("Width"), 750);
  s.Maximized = ini.ReadBool(kConverter, QStringLiteral("Maximized"), false);
  for (const TIndexKey& key : kIndexKeys)
    s.Output.*key.Field = ini.ReadInteger(kSettings, QLatin1String(key.Key), 0);
  NormalizeSelection(s.Output);
  return s;
}

void WriteSettings(platform::TIniFile& ini, const TConverterSettings& s) {
  ini.WriteInteger(kConverter, QStringLiteral("LocOption"), static_cast<int>(s.LocOption));
  ini.WriteString(kConverter, QStringLiteral("Location"), s.Location);
  ini.WriteString(kConverter, QStringLiteral("AddPath"), s.AddPath);
  ini.WriteInteger(kConverter, QStringLiteral("AddView"), s.AddView);
  ini.WriteBool(kConverter, QStringLiteral("Maximized"), s.Maximized);
  if (!s.Maximized) {
    if (s.Height) ini.WriteInteger(kConverter, QStringLiteral("Height"), *s.Height);
    if (s.Width) ini.WriteInteger(kConverter, QStringLiteral("Width"), *s.Width);
  }
  ini.WriteBool(kConverter, QStringLiteral("Update"), s.Update);
  ini.WriteString(kConverter, QStringLiteral("Custom"), s.Output.CustomFrameSize);
  for (size_t i = 0; i < s.Columns.size(); ++i) ini.WriteInteger(kConverter, ColumnKey(i), s.Columns[i]);
  for (const TIndexKey& key : kIndexKeys)
    ini.WriteInteger(kSettings, QLatin1String(key.Key), s.Output.*key.Field);
}

TConverterSettings LoadSettingsFile(const QString& path) {
  if (path.isEmpty()) return ReadSettings(platform::TIniFile(QString()));
  QDir().mkpath(QFileInfo(path).absolutePath());
  return ReadSettings(platform::TIniFile(path));
}

bool SaveSettingsFile(const QString& path, const TConverterSettings& settings) {
  if (path.isEmpty()) return false;
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  platform::TIniFile ini(path);
  WriteSettings(ini, settings);
  return ini.UpdateFile();
}

}  // namespace app
