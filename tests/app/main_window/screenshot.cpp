// Saves pictures of the main window (empty and with rows) and of its small windows as PNG files in
// the folder given as the only argument; for looking at the layout, not run by the tests.

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include "app/about/about.h"
#include "app/custom_size/custom_size.h"
#include "app/effects/effects.h"
#include "app/main_window/main_window.h"
#include "app/profiles/profiles.h"
#include "components/glass_button.h"

namespace {
void Save(QWidget& widget, const QString& folder, const char* name) {
  widget.show();
  QApplication::processEvents();
  widget.grab().save(QDir(folder).filePath(QLatin1String(name)));
}
}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
  QDir().mkpath(folder);
  app::Tfrm_Main window;
  Save(window, folder, "main_empty.png");
  QWidget* toolbar = window.findChild<QWidget*>(QStringLiteral("pnl_Toolbar"));
  toolbar->grab().save(QDir(folder).filePath(QStringLiteral("toolbar_disabled.png")));
  const struct {
    const char* Name;
    const char* Duration;
    const char* Size;
    const char* Micros;
    const char* Bytes;
  } rows[] = {{"holiday 2019.mp4", "00:12:31", "734,003,200", "751000000", "734003200"},
              {"interview.avi", "01:02:03", "1,288,490,188", "3723000000", "1288490188"},
              {"clip.mkv", "00:00:42", "9,437,184", "42000000", "9437184"}};
  for (const auto& r : rows)
    window.AddRow(QLatin1String(r.Name),
                  {QLatin1String(r.Duration), QLatin1String(r.Size),
                   QStringLiteral("/home/user/Videos/") + QLatin1String(r.Name), QLatin1String(r.Micros),
                   QLatin1String(r.Bytes), "25.000000 fps", "1200 kb", "1280x720"});
  window.UpdateStatusBar();
  window.lw_Files()->topLevelItem(1)->setSelected(true);
  Save(window, folder, "main_rows.png");
  toolbar->grab().save(QDir(folder).filePath(QStringLiteral("toolbar_enabled.png")));
  // The glass looks: Convert under the mouse, Burn held down.
  auto* convert = window.findChild<components::TGlassButton*>(QStringLiteral("btn_Convert"));
  QMouseEvent move(QEvent::MouseMove, QPointF(30, 30), convert->mapToGlobal(QPointF(30, 30)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(convert, &move);
  window.findChild<components::TGlassButton*>(QStringLiteral("btn_Burn"))->SetDown(true);
  toolbar->grab().save(QDir(folder).filePath(QStringLiteral("toolbar_states.png")));
  window.findChild<components::TGlassButton*>(QStringLiteral("btn_Burn"))->SetDown(false);
  auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  tabs->setCurrentIndex(1);
  Save(window, folder, "main_audio.png");
  tabs->setCurrentIndex(2);
  Save(window, folder, "main_location.png");
  tabs->setCurrentIndex(0);
  app::Tfrm_Profiles profiles(window);
  Save(profiles, folder, "profiles.png");
  app::Tfrm_Effects effects(window);
  Save(effects, folder, "effects.png");
  app::Tfrm_Custom custom(window);
  Save(custom, folder, "custom.png");
  app::Tfrm_About about(&window);
  Save(about, folder, "about.png");
  return 0;
}
