#include "app/properties/properties.h"

#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <cmath>

#include "shell/nav_system_image_list.h"

namespace app {

namespace {

constexpr int64_t kKiB = 1024;
constexpr int64_t kMiB = 1048576;
constexpr int64_t kGiB = 1073741824;
// The size of the shell's large icons.
constexpr int kLargeIconSize = 32;

// "#,0": whole number, "," between thousands whatever the desktop's language.
QString Grouped(double value) {
  QLocale c = QLocale::c();
  c.setNumberOptions(QLocale::DefaultNumberOptions);
  return c.toString(static_cast<qlonglong>(std::llround(value)));
}

}  // namespace

QString FormatFileSize(int64_t bytes) {
  if (bytes < kKiB) return Grouped(static_cast<double>(bytes)) + QLatin1String(" bytes");
  if (bytes < kMiB) return Grouped(static_cast<double>(bytes) / kKiB) + QLatin1String(" KB");
  if (bytes < kGiB) return Grouped(static_cast<double>(bytes) / kMiB) + QLatin1String(" MB");
  return QString::number(static_cast<double>(bytes) / kGiB, 'f', 2) + QLatin1String(" GB");
}

// Both by the name only: the file is not opened.
QString GetShellTypeName(const QString& path) {
  if (path.endsWith(QLatin1Char('/'))) return shell::TNavSystemImageList::GetTypeNameForExtension(QString());
  return shell::TNavSystemImageList::GetTypeNameForExtension(QFileInfo(path).suffix());
}

QIcon GetShellIcon(const QString& path) {
  shell::TNavSystemImageList& icons = shell::TNavSystemImageList::GetGlobalSystemImageList();
  const bool folder = QFileInfo(path).isDir();
  return icons.Icon(folder ? shell::TNavSystemImageList::GetFolderIconIndex()
                           : shell::TNavSystemImageList::GetIconIndexForName(path, true, false));
}

Tfrm_Properties::Tfrm_Properties(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frm_Properties"));
  setWindowTitle(QStringLiteral("Properties"));

  FImage1 = new QLabel(this);
  FImage1->setObjectName(QStringLiteral("Image1"));
  FImage1->setFixedSize(kLargeIconSize + 8, kLargeIconSize + 8);
  FImage1->setAlignment(Qt::AlignCenter);
  Ftxt_Name = AddField("txt_Name");

  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);

  auto* grid = new QGridLayout;
  grid->setColumnStretch(1, 1);
  const auto row = [this, grid](const char* label, const char* name) {
    const int r = grid->rowCount();
    grid->addWidget(new QLabel(QString::fromLatin1(label), this), r, 0);
    QLineEdit* edit = AddField(name);
    grid->addWidget(edit, r, 1);
    return edit;
  };
  Ftxt_Type = row("Type:", "txt_Type");
  Ftxt_Source = row("Source:", "txt_Source");
  Ftxt_Size = row("Size:", "txt_Size");
  Ftxt_Duration = row("Duration:", "txt_Duration");
  Ftxt_FrameRate = row("Frame rate:", "txt_FrameRate");
  Ftxt_Bitrate = row("BitRate:", "txt_Bitrate");
  Ftxt_FrameSize = row("Frame size:", "txt_FrameSize");

  Fbtn_OK = new QPushButton(QStringLiteral("OK"), this);
  Fbtn_OK->setObjectName(QStringLiteral("btn_OK"));
  Fbtn_OK->setDefault(true);
  connect(Fbtn_OK, &QPushButton::clicked, this, &QDialog::accept);

  auto* top = new QHBoxLayout;
  top->addWidget(FImage1);
  top->addWidget(Ftxt_Name, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(line);
  layout->addLayout(grid);
  layout->addStretch(1);
  layout->addWidget(Fbtn_OK, 0, Qt::AlignRight);
  resize(420, 330);
}

QLineEdit* Tfrm_Properties::AddField(const char* name) {
  // Read-only and borderless, on the window's colour: text to select and copy, not to edit.
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setReadOnly(true);
  edit->setFrame(false);
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  edit->setPalette(palette);
  return edit;
}

void Tfrm_Properties::ShowRow(const QString& caption, const QStringList& subItems) {
  const auto item = [&subItems](int index) { return subItems.value(index); };
  Ftxt_Name->setText(caption);
  Ftxt_Size->setText(FormatFileSize(item(4).toLongLong()));
  Ftxt_Source->setText(item(2));
  Ftxt_Type->setText(GetShellTypeName(item(2)));
  Ftxt_Duration->setText(item(0));
  Ftxt_FrameRate->setText(item(5));
  Ftxt_Bitrate->setText(item(6));
  Ftxt_FrameSize->setText(item(7));
  for (QLineEdit* edit : {Ftxt_Name, Ftxt_Type, Ftxt_Source, Ftxt_Size, Ftxt_Duration, Ftxt_FrameRate,
                          Ftxt_Bitrate, Ftxt_FrameSize})
    edit->setCursorPosition(0);
}

void Tfrm_Properties::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  const QString source = Ftxt_Source->text();
  const QIcon icon = GetShellIcon(!source.isEmpty() && QFileInfo::exists(source) ? source : Ftxt_Name->text());
  FImage1->setPixmap(icon.pixmap(kLargeIconSize, kLargeIconSize));
}

}  // namespace app
