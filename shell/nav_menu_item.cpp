#include "shell/nav_menu_item.h"

#include <QActionGroup>
#include <QIcon>
#include <QMenu>
#include <QPixmap>

namespace shell {

TNavMenuItem::TNavMenuItem(QObject* parent) : QAction(parent) {
  connect(this, &QAction::changed, this, &TNavMenuItem::ApplyBitmap);
}

void TNavMenuItem::SetBitmap(const QImage& picture) {
  FBitmap = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  FShownIcon = 0;
  ApplyBitmap();
}

void TNavMenuItem::ApplyBitmap() {
  if (FApplying || FBitmap.isNull() || (FShownIcon != 0 && icon().cacheKey() == FShownIcon)) return;
  FApplying = true;  // setIcon reports a change of its own
  setIcon(QIcon(QPixmap::fromImage(FBitmap)));
  FShownIcon = icon().cacheKey();
  FApplying = false;
}

QImage NavTransparentBitmap(const QImage& picture, QRgb transparent) {
  QImage image = picture.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = transparent & RGB_MASK;
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int alpha = (line[x] & RGB_MASK) == key ? 0 : 255;
      // Premultiplied: each colour scaled by alpha / 255.
      line[x] = qRgba(qRed(line[x]) * alpha / 255, qGreen(line[x]) * alpha / 255,
                      qBlue(line[x]) * alpha / 255, alpha);
    }
  }
  return image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied) ? image : QImage();
}

namespace {

QImage PictureOf(const QAction& action) {
  if (action.icon().isNull()) return {};
  const QList<QSize> sizes = action.icon().availableSizes();
  const QSize size = sizes.isEmpty() ? QSize(16, 16) : sizes.front();
  QImage picture = action.icon().pixmap(size).toImage();
  // A picture without alpha is an image-list picture drawn on white.
  return picture.hasAlphaChannel() ? picture : NavTransparentBitmap(picture, qRgb(255, 255, 255));
}

}  // namespace

void NavCopyMenu(const QMenu& source, QMenu& target, QHash<QAction*, QAction*>* copies) {
  QHash<QActionGroup*, QActionGroup*> groups;
  for (QAction* from : source.actions()) {
    if (from->isSeparator()) {
      QAction* separator = target.addSeparator();
      separator->setVisible(from->isVisible());
      if (copies != nullptr) copies->insert(from, separator);
      continue;
    }
    auto* copy = new TNavMenuItem(&target);
    // Built under a name of its own, then named as its source once complete.
    copy->setObjectName(from->objectName() + QLatin1Char('2'));
    copy->setText(from->text());
    copy->setShortcuts(from->shortcuts());
    copy->setCheckable(from->isCheckable());
    copy->setChecked(from->isChecked());
    copy->setEnabled(from->isEnabled());
    copy->setVisible(from->isVisible());
    copy->setFont(from->font());
    copy->setToolTip(from->toolTip());
    copy->setStatusTip(from->statusTip());
    copy->setWhatsThis(from->whatsThis());
    copy->setData(from->data());
    copy->SetBitmap(PictureOf(*from));
    if (QActionGroup* group = from->actionGroup()) {
      QActionGroup*& mine = groups[group];
      if (mine == nullptr) {
        mine = new QActionGroup(&target);
        mine->setExclusionPolicy(group->exclusionPolicy());
      }
      mine->addAction(copy);
    }
    if (const QMenu* sub = from->menu()) {
      auto* subCopy = new QMenu(from->text(), &target);
      NavCopyMenu(*sub, *subCopy, copies);
      copy->setMenu(subCopy);
    } else {
      QObject::connect(copy, &QAction::triggered, from, [from] { from->trigger(); });
    }
    target.addAction(copy);
    if (source.defaultAction() == from) target.setDefaultAction(copy);
    copy->setObjectName(from->objectName());
    if (copies != nullptr) copies->insert(from, copy);
  }
}

}  // namespace shell
