#include "app/about/about.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {

Tfrm_About::Tfrm_About(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frm_About"));
  setWindowTitle(QStringLiteral("About"));
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);

  auto* name = new QLabel(QStringLiteral("Tarsel Video Converter"));
  name->setObjectName(QStringLiteral("lbl_BA"));
  QFont nameFont = name->font();
  nameFont.setBold(true);
  nameFont.setPointSizeF(nameFont.pointSizeF() + 2);
  name->setFont(nameFont);
  auto* version = new QLabel(QStringLiteral("Version ") + QLatin1String(kProgramVersion));
  version->setObjectName(QStringLiteral("lbl_Version"));
  QFont versionFont = version->font();
  versionFont.setPointSizeF(versionFont.pointSizeF() + 1);
  version->setFont(versionFont);
  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("btn_OK"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(32, 24, 32, 16);
  layout->addWidget(name, 0, Qt::AlignHCenter);
  layout->addWidget(version, 0, Qt::AlignHCenter);
  layout->addSpacing(16);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace app
