#pragma once
// What a row of the main window's file list holds, and how it is kept in the list's items.
// The list's items carry the row's texts for the columns and the Properties window, and its
// numbers and path as typed values under named roles of column 0: sorting, the totals and the
// windows that take the list's files read those, never the texts.

#include <QString>
#include <QStringList>
#include <Qt>
#include <cstdint>

class QTreeWidgetItem;

namespace app {

/// Item data of column 0 of a row.
enum class TFileRole : int {
  SubItems = Qt::UserRole,  // QStringList: the eight sub-item texts
  FullPath,                 // QString: the source file's full path
  DurationUs,               // qlonglong: duration in microseconds, 0 when unknown
  SizeBytes,                // qlonglong: size in bytes
  Caption,                  // QString: the file name as the file system holds it (the text shows
                            // a byte that is not UTF-8 as U+FFFD)
};

/// One row: the caption (the file name), the eight sub-item texts (see Tfrm_Main) and the values
/// the program works with.
struct TFileRow {
  QString Caption;
  QStringList SubItems;
  QString Path;
  int64_t DurationUs = 0;
  int64_t SizeBytes = 0;

  bool operator==(const TFileRow&) const = default;
};

/// A row from its texts alone: path from sub-item 2, microseconds from 3 and bytes from 4 (0
/// when the text is not a whole number).
TFileRow FileRowFromTexts(const QString& caption, const QStringList& subItems);

/// Shows row in item: the caption and sub-items 0 to 2 in the four columns, duration and size
/// right-aligned, and the typed values under the TFileRole roles.
void WriteFileRow(QTreeWidgetItem& item, const TFileRow& row);
/// The row item holds, as WriteFileRow left it.
TFileRow ReadFileRow(const QTreeWidgetItem& item);

QStringList FileRowSubItems(const QTreeWidgetItem& item);
QString FileRowCaption(const QTreeWidgetItem& item);
QString FileRowPath(const QTreeWidgetItem& item);
int64_t FileRowDuration(const QTreeWidgetItem& item);
int64_t FileRowSize(const QTreeWidgetItem& item);

/// Order of two rows by list column: 0 the file name and 3 the full path, both ignoring case;
/// 1 the duration and 2 the size, as numbers. -1, 0 or 1.
int CompareFileRows(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int column);

}  // namespace app
