#include "app/about/about.h"

#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/shell_open.h"

namespace app {

namespace {

constexpr int kPictureSize = 64;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, qreal extraPoints, bool bold) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAlignment(Qt::AlignHCenter);
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() + extraPoints);
  font.setBold(bold);
  label->setFont(font);
  return label;
}

}  // namespace

Tfrm_About::Tfrm_About(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frm_About"));
  setWindowTitle(QStringLiteral("About"));
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);

  FImage1 = new QLabel(this);
  FImage1->setObjectName(QStringLiteral("Image1"));
  FImage1->setAlignment(Qt::AlignCenter);
  const QIcon picture = QIcon::fromTheme(QStringLiteral("video-x-generic"), style()->standardIcon(QStyle::SP_MediaPlay));
  FImage1->setPixmap(picture.pixmap(kPictureSize, kPictureSize));

  Flbl_BA = MakeLabel(this, "lbl_BA", QStringLiteral("Tarsel Video Converter"), 2, true);
  Flbl_Version = MakeLabel(this, "lbl_Version", QStringLiteral("Version ") + QLatin1String(kProgramVersion), 1, false);
  Flbl_Rights = MakeLabel(this, "lbl_Rights", QStringLiteral("Copyright \u00A9 Quorvane. All rights reserved."), 0, false);

  FLabel4 = MakeLabel(this, "Label4", QString::fromLatin1(kHomePageText), 0, false);
  QFont linkFont = FLabel4->font();
  linkFont.setUnderline(true);
  FLabel4->setFont(linkFont);
  QPalette link = FLabel4->palette();
  link.setColor(QPalette::WindowText, link.color(QPalette::Link));
  FLabel4->setPalette(link);
  FLabel4->setCursor(Qt::PointingHandCursor);
  FLabel4->installEventFilter(this);

  Fbtn_OK = new QPushButton(QStringLiteral("OK"), this);
  Fbtn_OK->setObjectName(QStringLiteral("btn_OK"));
  Fbtn_OK->setDefault(true);
  connect(Fbtn_OK, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(32, 24, 32, 16);
  layout->addWidget(FImage1, 0, Qt::AlignHCenter);
  layout->addSpacing(8);
  layout->addWidget(Flbl_BA, 0, Qt::AlignHCenter);
  layout->addWidget(Flbl_Version, 0, Qt::AlignHCenter);
  layout->addSpacing(8);
  layout->addWidget(Flbl_Rights, 0, Qt::AlignHCenter);
  layout->addWidget(FLabel4, 0, Qt::AlignHCenter);
  layout->addSpacing(16);
  layout->addWidget(Fbtn_OK, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Tfrm_About::Label4Click() {
  platform::OpenOrTell(this, QString::fromLatin1(kHomePage), QStringLiteral("The home page"));
  QCoreApplication::processEvents();
}

bool Tfrm_About::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FLabel4 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
      FLabel4->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
    Label4Click();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace app
