#include "app/profiles/profiles.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/main_window/main_window.h"
#include "app/options/presets.h"
#include "app/pictures/pictures.h"
#include "components/png_image_list.h"

namespace app {

namespace {
// Index of a preset in Presets(), kept on its list entry.
constexpr int kPresetRole = Qt::UserRole;
}  // namespace

Tfrm_Profiles::Tfrm_Profiles(Tfrm_Main& main) : QDialog(&main), FMain(main) {
  setObjectName(QStringLiteral("frm_Profiles"));
  setWindowTitle(QStringLiteral("Profiles"));
  resize(620, 380);

  Fimg_32 = new components::TPngImageList(this);
  Fimg_32->setObjectName(QStringLiteral("img_32"));
  FillPresetImages(*Fimg_32);

  Ftv_Type = new QTreeWidget;
  Ftv_Type->setObjectName(QStringLiteral("tv_Type"));
  Ftv_Type->setHeaderHidden(true);
  Ftv_Type->setRootIsDecorated(false);
  Ftv_Type->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Ftv_Type->setFixedWidth(150);
  for (const QString& group : PresetGroups())
    Ftv_Type->addTopLevelItem(new QTreeWidgetItem(QStringList{group}));

  Flw_Profile = new QListWidget;
  Flw_Profile->setObjectName(QStringLiteral("lw_Profile"));
  Flw_Profile->setViewMode(QListView::IconMode);
  Flw_Profile->setIconSize(QSize(Fimg_32->Width(), Fimg_32->Height()));
  Flw_Profile->setGridSize(QSize(140, 72));
  // Room above the first row of pictures.
  Flw_Profile->setSpacing(6);
  Flw_Profile->setResizeMode(QListView::Adjust);
  Flw_Profile->setMovement(QListView::Static);
  Flw_Profile->setWordWrap(true);
  Flw_Profile->setSelectionMode(QAbstractItemView::SingleSelection);
  Flw_Profile->setEditTriggers(QAbstractItemView::NoEditTriggers);

  Fbtn_OK = new QPushButton(QStringLiteral("OK"));
  Fbtn_OK->setObjectName(QStringLiteral("btn_OK"));
  Fbtn_OK->setDefault(true);
  Fbtn_Cancel = new QPushButton(QStringLiteral("Cancel"));
  Fbtn_Cancel->setObjectName(QStringLiteral("btn_Cancel"));

  auto* lists = new QHBoxLayout;
  lists->addWidget(Ftv_Type);
  lists->addWidget(Flw_Profile, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Fbtn_OK);
  buttons->addWidget(Fbtn_Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(lists, 1);
  layout->addLayout(buttons);

  connect(Ftv_Type, &QTreeWidget::currentItemChanged, this, [this] { tv_TypeChange(); });
  connect(Flw_Profile, &QListWidget::itemSelectionChanged, this, &Tfrm_Profiles::lw_ProfileSelectItem);
  connect(Flw_Profile, &QListWidget::itemDoubleClicked, this, [this] { btn_OKClick(); });
  connect(Fbtn_OK, &QPushButton::clicked, this, &Tfrm_Profiles::btn_OKClick);
  connect(Fbtn_Cancel, &QPushButton::clicked, this, &QDialog::reject);

  Ftv_Type->setCurrentItem(Ftv_Type->topLevelItem(0));
  tv_TypeChange();
}

void Tfrm_Profiles::tv_TypeChange() {
  const QTreeWidgetItem* group = Ftv_Type->currentItem();
  Flw_Profile->setUpdatesEnabled(false);
  Flw_Profile->clear();
  Fbtn_OK->setEnabled(false);
  if (group != nullptr) {
    const std::vector<TPreset>& all = Presets();
    for (const TPreset* preset : PresetsOf(group->text(0))) {
      auto* item = new QListWidgetItem(Fimg_32->Icon(preset->Icon), QString::fromLatin1(preset->Caption));
      item->setData(kPresetRole, static_cast<int>(preset - all.data()));
      Flw_Profile->addItem(item);
    }
  }
  Flw_Profile->setUpdatesEnabled(true);
}

void Tfrm_Profiles::lw_ProfileSelectItem() { Fbtn_OK->setEnabled(Flw_Profile->selectedItems().size() == 1); }

void Tfrm_Profiles::btn_OKClick() {
  const QList<QListWidgetItem*> selected = Flw_Profile->selectedItems();
  if (selected.size() != 1) return;
  const int index = selected.first()->data(kPresetRole).toInt();
  FMain.ApplyPreset(Presets().at(static_cast<size_t>(index)));
  accept();
}

}  // namespace app
