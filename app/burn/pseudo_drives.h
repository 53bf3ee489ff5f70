#pragma once
// Image-file drives for trying the burn windows without an optical drive: every path in the
// environment variable CONVERTER_BURN_DRIVES (comma-separated) becomes a libburn "stdio:" drive
// of the loaded disc-burning library, listed after the real drives.

#include <QString>
#include <QStringList>

namespace app {

/// The variable's paths, empty entries and surrounding spaces dropped.
QStringList BurnPseudoDrivePaths();

/// Adds "stdio:" + path as a drive of the library already loaded under libraryName (the burning
/// component's DLLName) for each path, with the capacity the file system gives it
/// (capacityBytes 0) or the given one. Call it while the component is active, before its
/// RescanDevices. Returns one text per drive the library refused ("stdio:path: reason").
QStringList AddBurnPseudoDrives(const QString& libraryName, const QStringList& paths,
                                qint64 capacityBytes = 0);

}  // namespace app
