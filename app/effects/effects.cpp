#include "app/effects/effects.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/main_window/main_window.h"

namespace app {

Tfrm_Effects::Tfrm_Effects(Tfrm_Main& main) : QDialog(&main), FMain(main) {
  setObjectName(QStringLiteral("frm_Effects"));
  setWindowTitle(QStringLiteral("Effects"));
  const auto check = [](const char* name, const QString& caption, bool checked) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(QLatin1String(name));
    box->setChecked(checked);
    return box;
  };
  const TEffects& effects = FMain.Effects();
  Fchk_VFlip = check("chk_VFlip", QStringLiteral("Vertically flip"), effects.VFlip);
  Fchk_HFlip = check("chk_HFlip", QStringLiteral("Horizontally flip"), effects.HFlip);
  Fchk_Negate = check("chk_Negate", QStringLiteral("Negate"), effects.Negate);
  Fchk_Dein = check("chk_Dein", QStringLiteral("Deinterlace"), effects.Deinterlace);

  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("btn_OK"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"));
  cancel->setObjectName(QStringLiteral("btn_Cancel"));
  connect(ok, &QPushButton::clicked, this, &Tfrm_Effects::btn_OKClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  for (QCheckBox* box : {Fchk_VFlip, Fchk_HFlip, Fchk_Negate, Fchk_Dein}) layout->addWidget(box);
  layout->addSpacing(8);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Tfrm_Effects::btn_OKClick() {
  TEffects effects;
  effects.VFlip = Fchk_VFlip->isChecked();
  effects.HFlip = Fchk_HFlip->isChecked();
  effects.Negate = Fchk_Negate->isChecked();
  effects.Deinterlace = Fchk_Dein->isChecked();
  FMain.SetEffects(effects);
  accept();
}

}  // namespace app
