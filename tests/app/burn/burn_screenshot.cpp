// Not a test: burns two small files to an image-file drive in the burn window and saves a
// picture of the window afterwards, for a look by eye.
//   app_burn_screenshot <picture.png> [work folder]

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "app/burn/burn_window.h"

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s picture.png [work folder]\n", argv[0]);
    return 2;
  }
  QApplication application(argc, argv);
  QTemporaryDir temp;
  const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temp.path();
  QDir().mkpath(folder);
  std::vector<app::TBurnRow> rows;
  const char* names[] = {"Holiday clip, part one.mp4", "Birthday.mkv"};
  for (int i = 0; i < 2; ++i) {
    const QString path = folder + QStringLiteral("/source%1.bin").arg(i);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.write(QByteArray(300000 * (i + 1), char('a' + i)));
    rows.push_back({QString::fromUtf8(names[i]), path});
  }
  const QString image = folder + QStringLiteral("/disc.iso");
  QFile::remove(image);
  qputenv("CONVERTER_BURN_DRIVES", image.toUtf8());

  app::TBurnInput input;
  input.Rows = rows;
  input.DLLName = QStringLiteral(DISCBURN_PATH);
  app::Tfrm_Burn window(input);
  window.show();
  if (!QTest::qWaitFor([&] { return window.Started(); }, 30000) || !window.isVisible()) return 1;
  window.btn_BurnClick();
  QTest::qWait(300);
  const bool saved = window.grab().save(QString::fromLocal8Bit(argv[1]));
  std::printf("%s\n", qUtf8Printable(window.LogText()));
  return saved ? 0 : 1;
}
