#include "app/custom_size/custom_size.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/main_window/main_window.h"

namespace app {

namespace {
// Frame sizes are typed as up to five digits each.
constexpr int kMaxDimension = 99999;

QSpinBox* DimensionBox(const char* name) {
  auto* box = new QSpinBox;
  box->setObjectName(QLatin1String(name));
  box->setRange(1, kMaxDimension);
  box->setValue(1);
  box->setGroupSeparatorShown(false);
  box->setMinimumWidth(80);
  return box;
}
}  // namespace

Tfrm_Custom::Tfrm_Custom(Tfrm_Main& main) : QDialog(&main), FMain(main) {
  setObjectName(QStringLiteral("frm_Custom"));
  setWindowTitle(QStringLiteral("Custom Frame Size"));
  Ftxt_Width = DimensionBox("txt_Width");
  Ftxt_Height = DimensionBox("txt_Height");
  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("OK"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"));
  cancel->setObjectName(QStringLiteral("Cancel"));
  connect(ok, &QPushButton::clicked, this, &Tfrm_Custom::OKClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(new QLabel(QStringLiteral("Width:")));
  sizeRow->addWidget(Ftxt_Width);
  sizeRow->addWidget(new QLabel(QStringLiteral("x")));
  sizeRow->addWidget(new QLabel(QStringLiteral("Height:")));
  sizeRow->addWidget(Ftxt_Height);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(sizeRow);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Tfrm_Custom::OKClick() {
  FMain.SelectFrameSize(Ftxt_Width->text() + QLatin1Char('x') + Ftxt_Height->text());
  accept();
}

}  // namespace app
