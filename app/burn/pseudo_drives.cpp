#include "app/burn/pseudo_drives.h"

#include <dlfcn.h>

#include "burning/discburn/discburn_api.h"

namespace app {

QStringList BurnPseudoDrivePaths() {
  QStringList paths;
  const QString value = qEnvironmentVariable("CONVERTER_BURN_DRIVES");
  for (const QString& part : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    const QString path = part.trimmed();
    if (!path.isEmpty()) paths.append(path);
  }
  return paths;
}

QStringList AddBurnPseudoDrives(const QString& libraryName, const QStringList& paths, qint64 capacityBytes) {
  QStringList refused;
  if (paths.isEmpty()) return refused;
  // The component has loaded the library: this only finds it (and takes one more reference,
  // given back below).
  void* handle = dlopen(libraryName.toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) {
    for (const QString& path : paths)
      refused.append(QStringLiteral("stdio:") + path + QStringLiteral(": the burning library is not loaded"));
    return refused;
  }
  auto add = reinterpret_cast<DBFn_AddPseudoDrive>(dlsym(handle, "AddPseudoDrive"));
  auto text = reinterpret_cast<DBFn_GetText>(dlsym(handle, "GetText"));
  for (const QString& path : paths) {
    const QString address = QStringLiteral("stdio:") + path;
    if (add == nullptr) {
      refused.append(address + QStringLiteral(": the burning library has no image-file drives"));
      continue;
    }
    const std::u16string utf16 = address.toStdU16String();
    const int32_t result = add(utf16.c_str(), capacityBytes);
    if (result == DB_OK) continue;
    QString reason = QStringLiteral("error %1").arg(result);
    if (text != nullptr) {
      db_char buffer[DB_TEXT_CAPACITY] = {};
      int32_t length = DB_TEXT_CAPACITY;
      if (text(result, buffer, &length) == DB_OK && length > 0 && length <= DB_TEXT_CAPACITY)
        reason = QString::fromUtf16(buffer, length);
    }
    refused.append(address + QStringLiteral(": ") + reason);
  }
  dlclose(handle);
  return refused;
}

}  // namespace app
