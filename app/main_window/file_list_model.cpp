#include "app/main_window/file_list_model.h"

#include <QTreeWidgetItem>

#include "platform/file_names.h"

namespace app {

namespace {

// The list's columns after the caption show sub-items 0 to 2.
constexpr int kShownSubItems = 3;

int Role(TFileRole role) { return static_cast<int>(role); }

int CompareNumbers(int64_t a, int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

int CompareTexts(const QString& a, const QString& b) {
  const int result = a.compare(b, Qt::CaseInsensitive);
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

}  // namespace

TFileRow FileRowFromTexts(const QString& caption, const QStringList& subItems) {
  TFileRow row;
  row.Caption = caption;
  row.SubItems = subItems;
  row.Path = subItems.value(2);
  row.DurationUs = subItems.value(3).toLongLong();
  row.SizeBytes = subItems.value(4).toLongLong();
  return row;
}

void WriteFileRow(QTreeWidgetItem& item, const TFileRow& row) {
  // The names as text; the program works with the names themselves (data roles).
  item.setText(0, platform::DisplayFileName(row.Caption));
  for (int i = 0; i < kShownSubItems; ++i)
    item.setText(i + 1, platform::DisplayFileName(row.SubItems.value(i)));
  item.setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  item.setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  item.setData(0, Role(TFileRole::SubItems), row.SubItems);
  item.setData(0, Role(TFileRole::FullPath), row.Path);
  item.setData(0, Role(TFileRole::Caption), row.Caption);
  item.setData(0, Role(TFileRole::DurationUs), static_cast<qlonglong>(row.DurationUs));
  item.setData(0, Role(TFileRole::SizeBytes), static_cast<qlonglong>(row.SizeBytes));
}

TFileRow ReadFileRow(const QTreeWidgetItem& item) {
  TFileRow row;
  row.Caption = FileRowCaption(item);
  row.SubItems = FileRowSubItems(item);
  row.Path = FileRowPath(item);
  row.DurationUs = FileRowDuration(item);
  row.SizeBytes = FileRowSize(item);
  return row;
}

QStringList FileRowSubItems(const QTreeWidgetItem& item) {
  return item.data(0, Role(TFileRole::SubItems)).toStringList();
}

QString FileRowCaption(const QTreeWidgetItem& item) {
  return item.data(0, Role(TFileRole::Caption)).toString();
}

QString FileRowPath(const QTreeWidgetItem& item) { return item.data(0, Role(TFileRole::FullPath)).toString(); }

int64_t FileRowDuration(const QTreeWidgetItem& item) {
  return item.data(0, Role(TFileRole::DurationUs)).toLongLong();
}

int64_t FileRowSize(const QTreeWidgetItem& item) { return item.data(0, Role(TFileRole::SizeBytes)).toLongLong(); }

int CompareFileRows(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int column) {
  switch (column) {
    case 1:
      return CompareNumbers(FileRowDuration(a), FileRowDuration(b));
    case 2:
      return CompareNumbers(FileRowSize(a), FileRowSize(b));
    case 3:
      return CompareTexts(FileRowPath(a), FileRowPath(b));
    default:
      return CompareTexts(a.text(0), b.text(0));
  }
}

}  // namespace app
