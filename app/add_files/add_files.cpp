#include "app/add_files/add_files.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/adding/adding_format.h"
#include "app/main_window/main_window.h"
#include "app/pictures/pictures.h"
#include "components/png_speed_button.h"
#include "platform/file_names.h"
#include "shell/nav_background_context_menu.h"
#include "shell/nav_shell_combo.h"
#include "shell/nav_shell_link.h"
#include "shell/nav_shell_list.h"

namespace app {

namespace {

using shell::TNavViewStyle;

components::TPngSpeedButton* MakeButton(QWidget* parent, const char* name, TBrowsePicture picture,
                                        const QString& hint) {
  auto* button = new components::TPngSpeedButton(parent);
  button->setObjectName(QLatin1String(name));
  button->SetPngImage(BrowsePicture(picture));
  button->setToolTip(hint);
  button->setFixedSize(28, 28);
  return button;
}

}  // namespace

QString Tfrm_AddFiles::MediaFilter() { return AcceptedMasks().join(QLatin1Char(';')); }

Tfrm_AddFiles::Tfrm_AddFiles(Tfrm_Main& main) : QDialog(&main), FMain(main) {
  setObjectName(QStringLiteral("frm_AddFiles"));
  setWindowTitle(QStringLiteral("Add Files"));
  resize(640, 460);

  FNavShellLink1 = new shell::TNavShellLink(this);
  FNavShellLink1->setObjectName(QStringLiteral("NavShellLink1"));

  FNavShellCombo1 = new shell::TNavShellCombo(this);
  FNavShellCombo1->setObjectName(QStringLiteral("NavShellCombo1"));
  FNavShellCombo1->SetShowFullPath(true);
  FNavShellCombo1->SetShowContextMenu(false);
  FNavShellCombo1->SetFileSystemOnly(true);

  FPngSpeedButton1 = MakeButton(this, "PngSpeedButton1", TBrowsePicture::ParentFolder,
                                QStringLiteral("Go to parent folder"));
  Fbtn_Icons = MakeButton(this, "btn_Icons", TBrowsePicture::Icons, QStringLiteral("Icons"));
  Fbtn_Details = MakeButton(this, "btn_Details", TBrowsePicture::Details, QStringLiteral("Details"));
  Fbtn_List = MakeButton(this, "btn_List", TBrowsePicture::List, QStringLiteral("List"));

  Flw_Data = new shell::TNavShellList(this);
  Flw_Data->setObjectName(QStringLiteral("lw_Data"));
  Flw_Data->SetReadOnly(true);
  Flw_Data->SetAutomaticRefresh(false);
  Flw_Data->SetFileSystemOnly(true);
  Flw_Data->SetFilter(MediaFilter());
  Flw_Data->SetShowParentFolder(true);
  Flw_Data->SetViewStyle(TNavViewStyle::vsList);
  // In the details view the name takes the room the other columns leave, so that all of them
  // fit the window without a horizontal scroll bar.
  Flw_Data->header()->setStretchLastSection(false);  // the name column takes the slack instead
  Flw_Data->SetAutoSizeColumn(0);
  Flw_Data->setSelectionMode(QAbstractItemView::ExtendedSelection);

  Flw_Data->SetShellLink(FNavShellLink1);
  FNavShellCombo1->SetShellLink(FNavShellLink1);

  FButton1 = new QPushButton(QStringLiteral("Add"), this);
  FButton1->setObjectName(QStringLiteral("Button1"));
  FButton1->setAutoDefault(false);
  FButton2 = new QPushButton(QStringLiteral("Close"), this);
  FButton2->setObjectName(QStringLiteral("Button2"));
  FButton2->setAutoDefault(false);

  auto* top = new QHBoxLayout;
  top->addWidget(FNavShellCombo1, 1);
  top->addWidget(FPngSpeedButton1);
  top->addSpacing(6);
  top->addWidget(Fbtn_Icons);
  top->addWidget(Fbtn_Details);
  top->addWidget(Fbtn_List);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(FButton1);
  bottom->addWidget(FButton2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(Flw_Data, 1);
  layout->addLayout(bottom);

  connect(FPngSpeedButton1, &QToolButton::clicked, this, [this] { Flw_Data->BrowseParent(); });
  connect(Fbtn_Icons, &QToolButton::clicked, this, [this] { Flw_Data->SetViewStyle(TNavViewStyle::vsIcon); });
  connect(Fbtn_Details, &QToolButton::clicked, this, [this] { Flw_Data->SetViewStyle(TNavViewStyle::vsReport); });
  connect(Fbtn_List, &QToolButton::clicked, this, [this] { Flw_Data->SetViewStyle(TNavViewStyle::vsList); });
  connect(FButton1, &QPushButton::clicked, this, &Tfrm_AddFiles::Button1Click);
  connect(FButton2, &QPushButton::clicked, this, &QDialog::reject);

  // FormCreate: the last folder and view.
  switch (main.AddViewStyle()) {
    case 0: Flw_Data->SetViewStyle(TNavViewStyle::vsReport); break;
    case 2: Flw_Data->SetViewStyle(TNavViewStyle::vsIcon); break;
    default: Flw_Data->SetViewStyle(TNavViewStyle::vsList); break;
  }
  const QString folder = main.AddFolder();
  Flw_Data->SetPath(platform::IsFolderName(folder) ? folder : QDir::homePath());
}

void Tfrm_AddFiles::Button1Click() {
  QStringList& queue = FMain.DropQueue();
  queue.clear();
  const QString folder = Flw_Data->Path();
  for (const QString& name : Flw_Data->SelectedNames())
    if (name != QLatin1String("..")) queue.append(folder + name);
  if (!queue.isEmpty()) FMain.AddQueuedFiles();
}

void Tfrm_AddFiles::FormCloseQuery() {
  QString folder = Flw_Data->Path();
  if (!folder.isEmpty()) {
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    FMain.SetAddFolder(folder);
  }
  switch (Flw_Data->ViewStyle()) {
    case TNavViewStyle::vsIcon: FMain.SetAddViewStyle(2); break;
    case TNavViewStyle::vsList: FMain.SetAddViewStyle(1); break;
    case TNavViewStyle::vsReport: FMain.SetAddViewStyle(0); break;
    default: break;
  }
}

void Tfrm_AddFiles::done(int result) {
  FormCloseQuery();
  QDialog::done(result);
}

}  // namespace app
