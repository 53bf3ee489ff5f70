#include "shell/nav_shell_list.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QListView>
#include <QMimeData>
#include <QSet>
#include <QMouseEvent>
#include <QUrl>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QHelpEvent>
#include <QContextMenuEvent>
#include <algorithm>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "fake_home.h"
#include "platform/main_thread.h"
#include "platform/qt_main_thread.h"
#include "shell/nav_selection_list.h"
#include "shell/nav_shell_combo.h"
#include "shell/thread_pool.h"

namespace {

using shell::TNavShellList;
using E = shell::TNotificationEvent;

class ShellListTest : public testing_support::FakeHomeTest {
 protected:
  void SetUp() override {
    testing_support::ShellApp();
    FakeHomeTest::SetUp();
    FDispatcher = std::make_unique<platform::TQtMainThreadDispatcher>();
    platform::SetMainThreadDispatcher(FDispatcher.get());
    Folder = Root + QStringLiteral("/clips");
    QDir().mkpath(Folder + QStringLiteral("/sub"));
    for (const char* name : {"b10.mkv", "b2.mkv", "a.txt"}) testing_support::WriteText(Folder + '/' + name, "x");
    List = std::make_unique<TNavShellList>();
    List->OnPopulated = [this](TNavShellList&) { ++Fills; };
  }
  void TearDown() override {
    List.reset();
    shell::ShutdownGlobalThreadPool();  // workers hand back through the dispatcher: stop them first
    platform::SetMainThreadDispatcher(nullptr);
    FDispatcher.reset();
    FakeHomeTest::TearDown();
  }
  QStringList Captions() const {
    QStringList captions;
    for (int i = 0; i < List->topLevelItemCount(); ++i) captions << List->topLevelItem(i)->text(0);
    return captions;
  }
  // Sleeps in the event loop until the next event (the change notices and the refresh timer are
  // events); the test's time-out is the guard. A time limit here would make Qt skip the wait.
  void PumpUntil(const std::function<bool()>& done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(List.get(), &press);
  }
  QTreeWidgetItem* Item(const QString& caption) const {
    for (int i = 0; i < List->topLevelItemCount(); ++i)
      if (List->topLevelItem(i)->text(0) == caption) return List->topLevelItem(i);
    return nullptr;
  }

  std::unique_ptr<platform::TQtMainThreadDispatcher> FDispatcher;
  std::unique_ptr<TNavShellList> List;
  QString Folder;
  int Fills = 0;
};

TEST_F(ShellListTest, StartsOnTheVolumesAndShowsAFolderSorted) {
  EXPECT_EQ(List->SpecialFolder(), shell::TNavShellFolder::SF_DRIVES);
  List->FillList();
  EXPECT_TRUE(Captions().contains(QStringLiteral("File System")));

  List->SetShowParentFolder(true);
  List->SetPath(Folder);
  EXPECT_EQ(List->SpecialFolder(), shell::TNavShellFolder::SF_FILESYSTEMFOLDER);
  EXPECT_EQ(List->Path(), Folder + QLatin1Char('/'));
  EXPECT_EQ(Captions(), QStringList({" .. ", "sub", "a.txt", "b2.mkv", "b10.mkv"}));
  EXPECT_EQ(List->columnCount(), 4);
  EXPECT_EQ(List->headerItem()->text(1), QStringLiteral("Size"));
  List->SortByColumn(0);  // the same column again: descending, the parent entry stays first
  EXPECT_TRUE(List->SortDescending());
  EXPECT_EQ(Captions(), QStringList({" .. ", "sub", "b10.mkv", "b2.mkv", "a.txt"}));
  EXPECT_EQ(List->GetItemPath(0), Root);

  List->SetDetails(false);
  EXPECT_EQ(List->columnCount(), 1);
  List->SetFilter(QStringLiteral("*.MKV"));
  EXPECT_EQ(Captions().size(), 4);  // the folder, the parent and the two clips
}

TEST_F(ShellListTest, SettingTheShownPathAgainDoesNothing) {
  List->SetPath(Folder);
  const int fills = Fills;
  List->SetPath(Folder + QLatin1Char('/'));
  EXPECT_EQ(Fills, fills);
  List->SetPath(Folder + QStringLiteral("/sub"));  // an empty folder
  List->SetPath(Folder + QStringLiteral("/sub"));  // refilled: it holds at most one item
  EXPECT_EQ(Fills, fills + 2);
}

TEST_F(ShellListTest, ABurstOfCreationsGivesOneRefresh) {
  const QString empty = Root + QStringLiteral("/burst");
  QDir().mkpath(empty);
  List->SetPath(empty);
  ASSERT_EQ(List->topLevelItemCount(), 0);
  int created = 0;
  List->ChangeNotifier().OnChange = [&](shell::TNavShellChangeNotifier&, E event, const QString&, const QString&) {
    if (event == E::neFileCreate) ++created;
  };
  for (int i = 0; i < 20; ++i) testing_support::WriteText(empty + QStringLiteral("/clip%1.mkv").arg(i), "x");
  PumpUntil([&] { return created == 20; });
  // Every change only restarted the timer: nothing was refreshed yet.
  EXPECT_TRUE(List->RefreshTimer().isActive());
  EXPECT_EQ(List->RefreshTimer().interval(), 300);
  EXPECT_EQ(List->topLevelItemCount(), 0);
  PumpUntil([&] { return !List->RefreshTimer().isActive(); });
  EXPECT_EQ(List->topLevelItemCount(), 20);
  EXPECT_EQ(Fills, 1);  // merged, not refilled
}

TEST_F(ShellListTest, LargeFoldersAreRefilledSmallOnesMerged) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  testing_support::WriteText(Folder + QStringLiteral("/new.mkv"), "x");
  int fills = Fills;
  List->RefreshList();
  EXPECT_EQ(Fills, fills);
  EXPECT_NE(Item(QStringLiteral("new.mkv")), nullptr);

  const QString big = Root + QStringLiteral("/big");
  QDir().mkpath(big);
  for (int i = 0; i < 501; ++i) testing_support::WriteText(big + QStringLiteral("/f%1").arg(i), "");
  List->SetPath(big);
  ASSERT_EQ(List->topLevelItemCount(), 501);
  fills = Fills;
  List->RefreshList();
  EXPECT_EQ(Fills, fills + 1);
}

TEST_F(ShellListTest, AVanishedFolderFallsBackToComputer) {
  List->SetPath(Folder + QStringLiteral("/sub"));
  ASSERT_TRUE(QDir(Folder + QStringLiteral("/sub")).removeRecursively());
  PumpUntil([&] { return List->SpecialFolder() == shell::TNavShellFolder::SF_DRIVES; });
  EXPECT_EQ(List->Path(), QString());
  EXPECT_TRUE(Captions().contains(QStringLiteral("File System")));
}

TEST_F(ShellListTest, ReadOnlyListIgnoresDeleteAndPaste) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  List->SetReadOnly(true);
  Item(QStringLiteral("a.txt"))->setSelected(true);
  Key(Qt::Key_Delete);
  EXPECT_TRUE(QFileInfo::exists(Folder + QStringLiteral("/a.txt")));
  testing_support::WriteText(Root + QStringLiteral("/outside.mkv"), "x");
  QApplication::clipboard()->setMimeData(shell::GetDropFiles({Root + QStringLiteral("/outside.mkv")}).release());
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_FALSE(QFileInfo::exists(Folder + QStringLiteral("/outside.mkv")));

  List->SetReadOnly(false);
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(QFileInfo::exists(Folder + QStringLiteral("/outside.mkv")));
  List->clearSelection();
  Item(QStringLiteral("a.txt"))->setSelected(true);
  Key(Qt::Key_Delete);
  EXPECT_FALSE(QFileInfo::exists(Folder + QStringLiteral("/a.txt")));
  EXPECT_TRUE(QFileInfo::exists(Home + QStringLiteral("/.local/share/Trash/files/a.txt")));
}

TEST_F(ShellListTest, IntoAFolderUpAndThroughTheHistory) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  emit List->itemActivated(Item(QStringLiteral("sub")), 0);
  EXPECT_EQ(List->Path(), Folder + QStringLiteral("/sub/"));
  Key(Qt::Key_Backspace);
  EXPECT_EQ(List->Path(), Folder + QLatin1Char('/'));
  ASSERT_EQ(List->SelectedNames(), QStringList({QStringLiteral("sub")}));  // the folder just left
  List->NavigateHistory(-1);
  EXPECT_EQ(List->Path(), Folder + QStringLiteral("/sub/"));
  List->NavigateHistory(1);
  EXPECT_EQ(List->Path(), Folder + QLatin1Char('/'));
  bool custom = false;
  List->OnDblClick = [&](TNavShellList&) { custom = true; };
  emit List->itemActivated(Item(QStringLiteral("sub")), 0);
  EXPECT_TRUE(custom);
  EXPECT_EQ(List->Path(), Folder + QLatin1Char('/'));
}

TEST_F(ShellListTest, SelectionSurvivesARefill) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  Item(QStringLiteral("b2.mkv"))->setSelected(true);
  Item(QStringLiteral("a.txt"))->setSelected(true);
  List->FillList();
  QStringList names = List->SelectedNames();
  names.sort();
  EXPECT_EQ(names, QStringList({QStringLiteral("a.txt"), QStringLiteral("b2.mkv")}));
}

// The list's drag payload, as a drag out of it would carry it.
class TDraggableList : public TNavShellList {
 public:
  using TNavShellList::mimeData;
};

TEST_F(ShellListTest, ADragOfTwoFilesCarriesTheirTwoPaths) {
  TDraggableList list;
  list.SetAutomaticRefresh(false);
  list.SetPath(Folder);
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    const QString caption = list.topLevelItem(i)->text(0);
    list.topLevelItem(i)->setSelected(caption == QLatin1String("a.txt") || caption == QLatin1String("b2.mkv"));
  }
  std::unique_ptr<QMimeData> data(list.mimeData(list.selectedItems()));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->data(QStringLiteral("text/uri-list")).count("\r\n"), 2);
  QStringList paths = shell::GetFilesFromDataObject(data.get());
  paths.sort();
  EXPECT_EQ(paths, QStringList({Folder + QStringLiteral("/a.txt"), Folder + QStringLiteral("/b2.mkv")}));
  EXPECT_EQ(list.AllowedDragActions(), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
  list.SetCopyMode(shell::TNavCopyMode::cmLink);
  EXPECT_EQ(list.AllowedDragActions(), Qt::DropActions(Qt::LinkAction));
}

TEST_F(ShellListTest, DropsCopyIntoTheFolderAndAReadOnlyListRefusesThem) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder + QStringLiteral("/sub"));
  List->show();
  const QString source = Root + QStringLiteral("/incoming.mkv");
  testing_support::WriteText(source, "x");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(source)});
  struct TReport {
    shell::TNavShellOperations Operations;
    QStringList Files;
    QString Destination;
  };
  std::vector<TReport> reports;
  List->OnOperation = [&](shell::TNavBaseShellListView&, shell::TNavShellOperations ops, const QStringList& files,
                          const QString& destination) { reports.push_back({ops, files, destination}); };
  auto drag = [&]() {
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(List->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(List->viewport(), &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(List->viewport(), &drop);
    return drop.isAccepted();
  };
  List->SetReadOnly(true);
  EXPECT_FALSE(drag());
  EXPECT_FALSE(QFileInfo::exists(Folder + QStringLiteral("/sub/incoming.mkv")));
  EXPECT_TRUE(reports.empty());
  List->SetReadOnly(false);
  EXPECT_TRUE(drag());  // Ctrl held: a copy
  EXPECT_TRUE(QFileInfo::exists(Folder + QStringLiteral("/sub/incoming.mkv")));
  EXPECT_TRUE(QFileInfo::exists(source));
  ASSERT_EQ(reports.size(), 1u);
  using O = shell::TNavShellOperation;
  EXPECT_EQ(reports[0].Operations, shell::OperationBit(O::sopDrop) | shell::OperationBit(O::sopCopy));
  EXPECT_EQ(reports[0].Destination, Folder + QStringLiteral("/sub"));
  EXPECT_TRUE(drag());  // again: a free name, nothing replaced
  EXPECT_TRUE(QFileInfo::exists(Folder + QStringLiteral("/sub/incoming (2).mkv")));
}

TEST_F(ShellListTest, NewFoldersTakeTheNextFreeName) {
  QStringList errors;
  List->OnError = [&](const QString& message) { errors << message; };
  List->SetShowErrorMessages(true);
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(List->CreateNewFolder());
  EXPECT_TRUE(QFileInfo(Folder + QStringLiteral("/New Folder")).isDir());
  EXPECT_TRUE(QFileInfo(Folder + QStringLiteral("/New Folder (1)")).isDir());
  EXPECT_TRUE(QFileInfo(Folder + QStringLiteral("/New Folder (2)")).isDir());
  List->SetSpecialFolder(shell::TNavShellFolder::SF_DRIVES);  // no path
  EXPECT_FALSE(List->CreateNewFolder());
  EXPECT_EQ(errors, QStringList({QStringLiteral("Unable to create directory")}));
}

TEST_F(ShellListTest, ViewStylesAndThumbnails) {
  List->SetViewStyle(shell::TNavViewStyle::vsSmallIcon);
  EXPECT_EQ(List->ViewStyle(), shell::TNavViewStyle::vsList);
  List->SetViewStyle(shell::TNavViewStyle::vsIcon);
  List->SetThumbnails(true);
  EXPECT_TRUE(List->Thumbnails());
  EXPECT_EQ(List->iconSize(), QSize(96, 96));
  List->SetViewStyle(shell::TNavViewStyle::vsReport);  // another style: icons again
  EXPECT_FALSE(List->Thumbnails());
  EXPECT_EQ(List->iconSize(), QSize(16, 16));

  QImage wide(120, 80, QImage::Format_RGB32);
  wide.fill(Qt::red);
  const QImage fitted = List->FitThumbnail(wide);
  EXPECT_EQ(fitted.size(), QSize(96, 96));
  EXPECT_EQ(fitted.pixelColor(48, 48), QColor(Qt::red));  // centred
  EXPECT_NE(fitted.pixelColor(48, 2), QColor(Qt::red));   // padded above and below
  List->SetThumbnailBorderColor(0x0000FF);
  EXPECT_EQ(List->FitThumbnail(wide).pixelColor(0, 48), QColor(Qt::red));
}

TEST_F(ShellListTest, APicturesThumbnailReplacesItsIcon) {
  QImage picture(64, 48, QImage::Format_RGB32);
  picture.fill(Qt::magenta);
  ASSERT_TRUE(picture.save(Folder + QStringLiteral("/pic.png")));
  // A handler may change each picture (the provisional one and the real one) before it shows.
  int calls = 0;
  List->OnThumbnailUpdated = [&](shell::TNavBaseShellListView&, QTreeWidgetItem* shown, QImage& image) {
    ++calls;
    EXPECT_EQ(image.size(), QSize(96, 96));  // already fitted
    if (shown->text(0) == QLatin1String("pic.png")) image.setPixelColor(0, 0, Qt::green);
  };
  List->SetAutomaticRefresh(false);
  List->SetViewStyle(shell::TNavViewStyle::vsIcon);
  List->SetThumbnails(true);
  List->SetPath(Folder);
  QTreeWidgetItem* item = Item(QStringLiteral("pic.png"));
  ASSERT_NE(item, nullptr);
  auto centre = [&] { return item->icon(0).pixmap(96, 96).toImage().pixelColor(48, 48); };
  PumpUntil([&] { return centre() == QColor(Qt::magenta); });
  EXPECT_EQ(item->icon(0).pixmap(96, 96).toImage().pixelColor(0, 0), QColor(Qt::green));
  EXPECT_GE(calls, 2);
  EXPECT_EQ(item->icon(0).pixmap(96, 96).size(), QSize(96, 96));
}

TEST_F(ShellListTest, AnotherStyleAfterThumbnailsShowsIconsAndEmblemsAgain) {
  QImage picture(64, 48, QImage::Format_RGB32);
  picture.fill(Qt::magenta);
  ASSERT_TRUE(picture.save(Folder + QStringLiteral("/pic.png")));
  ASSERT_TRUE(QFile::link(Folder + QStringLiteral("/b2.mkv"), Folder + QStringLiteral("/shortcut.mkv")));
  List->SetAutomaticRefresh(false);
  List->SetViewStyle(shell::TNavViewStyle::vsIcon);
  List->SetThumbnails(true);
  List->SetPath(Folder);
  auto centre = [&] { return Item(QStringLiteral("pic.png"))->icon(0).pixmap(96, 96).toImage().pixelColor(48, 48); };
  PumpUntil([&] { return centre() == QColor(Qt::magenta); });
  // A new spacing or a refill keeps them.
  List->SetIconSpacing(60);
  List->FillList();
  EXPECT_TRUE(List->Thumbnails());
  EXPECT_EQ(List->iconSize(), QSize(96, 96));

  // The items stay as they are, never read again from the folder: only their pictures change.
  // Setting the icon style shown turns thumbnails off too (as the add-files window's Icons
  // button does).
  QTreeWidgetItem* const shown = Item(QStringLiteral("pic.png"));
  const int fills = Fills;
  for (const auto style :
       {shell::TNavViewStyle::vsList, shell::TNavViewStyle::vsReport, shell::TNavViewStyle::vsIcon}) {
    SCOPED_TRACE(static_cast<int>(style));
    List->SetViewStyle(shell::TNavViewStyle::vsIcon);
    List->SetThumbnails(true);
    PumpUntil([&] { return centre() == QColor(Qt::magenta); });
    List->SetViewStyle(style);
    EXPECT_FALSE(List->Thumbnails());
    EXPECT_EQ(List->ViewStyle(), style);
    EXPECT_EQ(List->iconSize(), style == shell::TNavViewStyle::vsIcon ? QSize(32, 32) : QSize(16, 16));
    // The picture's own type icon, not its thumbnail, and the link's emblem once the pool has
    // looked at the files again.
    EXPECT_NE(centre(), QColor(Qt::magenta));
    auto overlay = [&] { return Item(QStringLiteral("shortcut.mkv"))->data(0, TNavShellList::kOverlayRole); };
    PumpUntil([&] { return overlay().isValid(); });
    EXPECT_GT(overlay().toInt(), 0);
    if (style != shell::TNavViewStyle::vsIcon) {
      List->SetThumbnails(true);  // shown only in the icon style: nothing changes here
      EXPECT_NE(centre(), QColor(Qt::magenta));
    }
    EXPECT_EQ(Item(QStringLiteral("pic.png")), shown);
    EXPECT_EQ(Fills, fills);
  }
}

// Lets the test look at the view's editing state.
class TEditableList : public TNavShellList {
 public:
  bool Editing() const { return state() == QAbstractItemView::EditingState; }
  QTreeWidgetItem* ItemCaptioned(const QString& caption) const {
    for (int i = 0; i < topLevelItemCount(); ++i)
      if (topLevelItem(i)->text(0) == caption) return topLevelItem(i);
    return nullptr;
  }
  QStringList Captions() const {
    QStringList shown;
    for (int i = 0; i < topLevelItemCount(); ++i) shown << topLevelItem(i)->text(0);
    return shown;
  }
  // Types a name into the open editor and presses Enter, as a user would.
  void Type(const QString& name) {
    QLineEdit* editor = nullptr;  // closed editors linger until deleted: the shown one
    for (QLineEdit* candidate : viewport()->findChildren<QLineEdit*>())
      if (candidate->isVisible()) editor = candidate;
    ASSERT_NE(editor, nullptr);
    editor->setText(name);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(editor, &enter);
    QCoreApplication::processEvents();  // the delegate commits from the event loop
  }
};

TEST_F(ShellListTest, RenamingHappensWholeOrNotAtAll) {
  TEditableList list;
  QStringList errors;
  list.OnError = [&](const QString& message) { errors << message; };
  list.SetShowErrorMessages(true);
  list.SetAutomaticRefresh(false);
  list.SetPath(Folder);
  list.show();
  auto item = [&](const QString& caption) { return list.ItemCaptioned(caption); };
  item(QStringLiteral("a.txt"))->setSelected(true);
  QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
  QApplication::sendEvent(&list, &f2);
  EXPECT_TRUE(list.Editing());
  list.Type(QStringLiteral("c.txt"));
  EXPECT_FALSE(list.Editing());
  EXPECT_TRUE(QFileInfo::exists(Folder + QStringLiteral("/c.txt")));
  EXPECT_FALSE(QFileInfo::exists(Folder + QStringLiteral("/a.txt")));
  ASSERT_NE(item(QStringLiteral("c.txt")), nullptr);
  EXPECT_TRUE(errors.isEmpty());

  // Onto a name that is taken: nothing moves, the item keeps its name, the editor comes back.
  list.clearSelection();
  item(QStringLiteral("c.txt"))->setSelected(true);
  QApplication::sendEvent(&list, &f2);
  list.Type(QStringLiteral("b2.mkv"));
  EXPECT_FALSE(list.Editing());
  EXPECT_TRUE(QFileInfo::exists(Folder + QStringLiteral("/c.txt")));
  EXPECT_EQ(QFileInfo(Folder + QStringLiteral("/b2.mkv")).size(), 1);
  EXPECT_NE(item(QStringLiteral("c.txt")), nullptr);
  EXPECT_EQ(errors.size(), 1);
  PumpUntil([&] { return list.Editing(); });

  list.Type(QStringLiteral("c.txt"));  // the same name again: nothing to do
  EXPECT_EQ(errors.size(), 1);
  // An icon arriving later is no rename.
  item(QStringLiteral("b2.mkv"))->setIcon(0, QIcon());
  EXPECT_TRUE(QFileInfo::exists(Folder + QStringLiteral("/b2.mkv")));
}

// OnEdited sees what was typed before the rename and may change it; a cancelled edit does not
// reach it.
TEST_F(ShellListTest, OnEditedMayChangeTheTypedName) {
  TEditableList list;
  list.SetAutomaticRefresh(false);
  list.SetPath(Folder);
  list.show();
  QStringList seen;
  list.OnEdited = [&](shell::TNavBaseShellListView&, QTreeWidgetItem* item, QString& text) {
    seen << item->text(0) + QStringLiteral(" -> ") + text;
    if (text == QLatin1String("typed.txt")) text = QStringLiteral("changed.txt");
    if (text == QLatin1String("refused.txt")) text = QString();
  };
  auto edit = [&](const QString& caption) {
    list.clearSelection();
    list.ItemCaptioned(caption)->setSelected(true);
    QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
    QApplication::sendEvent(&list, &f2);
    ASSERT_TRUE(list.Editing());
  };
  edit(QStringLiteral("a.txt"));
  list.Type(QStringLiteral("typed.txt"));
  EXPECT_TRUE(QFileInfo::exists(Folder + QStringLiteral("/changed.txt")));
  EXPECT_FALSE(QFileInfo::exists(Folder + QStringLiteral("/typed.txt")));
  EXPECT_NE(list.ItemCaptioned(QStringLiteral("changed.txt")), nullptr);
  edit(QStringLiteral("changed.txt"));
  list.Type(QStringLiteral("refused.txt"));  // emptied by the handler: nothing renamed
  EXPECT_TRUE(QFileInfo::exists(Folder + QStringLiteral("/changed.txt")));
  EXPECT_NE(list.ItemCaptioned(QStringLiteral("changed.txt")), nullptr);
  edit(QStringLiteral("changed.txt"));
  QLineEdit* editor = nullptr;
  for (QLineEdit* candidate : list.viewport()->findChildren<QLineEdit*>())
    if (candidate->isVisible()) editor = candidate;
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("escaped.txt"));
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(editor, &escape);
  QCoreApplication::processEvents();
  EXPECT_FALSE(list.Editing());
  EXPECT_EQ(seen, QStringList({"a.txt -> typed.txt", "changed.txt -> refused.txt"}));
}

// OnMouseEnter and OnMouseLeave follow the mouse over the list, its items and its grid alike.
TEST_F(ShellListTest, TheMouseComingAndGoingIsReported) {
  QWidget window;
  window.resize(600, 300);
  auto* list = new TNavShellList(&window);
  list->setGeometry(0, 0, 300, 300);
  auto* beside = new QWidget(&window);
  beside->setGeometry(300, 0, 300, 300);
  list->SetAutomaticRefresh(false);
  list->SetPath(Folder);
  window.show();
  QStringList events;
  list->OnMouseEnter = [&](shell::TNavBaseShellListView&) { events << QStringLiteral("enter"); };
  list->OnMouseLeave = [&](shell::TNavBaseShellListView&) { events << QStringLiteral("leave"); };
  auto moveTo = [&](QWidget* widget, const QPoint& at) {
    QTest::mouseMove(widget, at);
    QCoreApplication::processEvents();
  };
  for (const auto style : {shell::TNavViewStyle::vsReport, shell::TNavViewStyle::vsIcon}) {
    SCOPED_TRACE(static_cast<int>(style));
    list->SetViewStyle(style);
    moveTo(beside, QPoint(50, 50));
    events.clear();
    QWidget* viewport = style == shell::TNavViewStyle::vsReport ? list->viewport() : list->GridView()->viewport();
    moveTo(viewport, QPoint(20, 10));   // over the first item
    moveTo(viewport, QPoint(150, 200)); // over the background: still over the list
    moveTo(beside, QPoint(50, 50));
    EXPECT_EQ(events, QStringList({"enter", "leave"}));
  }
}

// A renamed item takes what its new name gives it at once: its type, its icon and its place in
// the order, the item itself staying selected. With automatic refresh as without: the refresh
// finds the item under its new name and would leave it as it was.
TEST_F(ShellListTest, ARenamedItemTakesItsNewTypeIconAndPlace) {
  for (const bool automatic : {true, false}) {
    SCOPED_TRACE(automatic ? "automatic refresh" : "no automatic refresh");
    const QString folder = Root + (automatic ? QStringLiteral("/renamed_auto") : QStringLiteral("/renamed"));
    QDir().mkpath(folder + QStringLiteral("/sub"));
    for (const char* name : {"b10.mkv", "b2.mkv", "a.txt"}) testing_support::WriteText(folder + '/' + name, "x");
    TEditableList list;
    list.SetAutomaticRefresh(automatic);
    list.SetPath(folder);
    list.show();
    auto item = [&](const QString& caption) { return list.ItemCaptioned(caption); };
    auto captions = [&] { return list.Captions(); };
    auto picture = [](const QTreeWidgetItem* shown) { return shown->icon(0).pixmap(16, 16).toImage(); };
    int type = -1;
    for (int c = 0; c < list.columnCount(); ++c)
      if (list.headerItem()->text(c) == QLatin1String("Type")) type = c;
    ASSERT_GT(type, 0);
    // Every item has its real icon before the rename; a text file's differs from a clip's.
    platform::WaitInMainThread([] { return shell::GlobalThreadPool().OutstandingCount() == 0; });
    QCoreApplication::processEvents();
    const QString clipType = item(QStringLiteral("b2.mkv"))->text(type);
    ASSERT_NE(item(QStringLiteral("a.txt"))->text(type), clipType);
    ASSERT_NE(picture(item(QStringLiteral("a.txt"))), picture(item(QStringLiteral("b2.mkv"))));
    EXPECT_EQ(captions(), QStringList({"sub", "a.txt", "b2.mkv", "b10.mkv"}));

    QTreeWidgetItem* const renamed = item(QStringLiteral("a.txt"));
    renamed->setSelected(true);
    QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
    QApplication::sendEvent(&list, &f2);
    ASSERT_TRUE(list.Editing());
    list.Type(QStringLiteral("z.mkv"));
    ASSERT_TRUE(QFileInfo::exists(folder + QStringLiteral("/z.mkv")));
    EXPECT_EQ(item(QStringLiteral("z.mkv")), renamed);
    EXPECT_EQ(captions(), QStringList({"sub", "b2.mkv", "b10.mkv", "z.mkv"}));
    EXPECT_EQ(renamed->text(type), clipType);
    EXPECT_TRUE(renamed->isSelected());
    // The clip's icon once the pool has looked at the file under its new name.
    PumpUntil([&] { return picture(renamed) == picture(item(QStringLiteral("b2.mkv"))); });
    if (automatic) {
      // The notice of the rename from the disk changes nothing of that.
      PumpUntil([&] { return list.RefreshTimer().isActive(); });
      PumpUntil([&] { return !list.RefreshTimer().isActive(); });
      EXPECT_EQ(captions(), QStringList({"sub", "b2.mkv", "b10.mkv", "z.mkv"}));
      EXPECT_EQ(renamed->text(type), clipType);
    }
  }
}

// Sizes and dates sort by what they stand for, not by their text, whatever the locale makes of
// the text ("1,500 KB" and "1.500 KB" both come before "2,000 KB" and after "12 KB").
struct TSortLocaleCase {
  const char* Locale;
};
class ShellListSortTest : public ShellListTest, public ::testing::WithParamInterface<TSortLocaleCase> {
 protected:
  void SetUp() override {
    ShellListTest::SetUp();
    FSavedLocale = QLocale();
    QLocale::setDefault(QLocale(QLatin1String(GetParam().Locale)));
  }
  void TearDown() override {
    QLocale::setDefault(FSavedLocale);
    ShellListTest::TearDown();
  }
  int ColumnTitled(const char* title) const {
    for (int c = 0; c < List->columnCount(); ++c)
      if (List->headerItem()->text(c) == QLatin1String(title)) return c;
    ADD_FAILURE() << "no column " << title;
    return 0;
  }
  QLocale FSavedLocale;
};

TEST_P(ShellListSortTest, SizesAndDatesSortByValueBothWays) {
  struct TFile {
    const char* Name;
    int Kilobytes;
    QDate Modified;
  };
  const TFile files[] = {{"a.mkv", 2000, QDate(2025, 1, 5)},
                         {"b.mkv", 5, QDate(2024, 12, 25)},
                         {"c.mkv", 1500, QDate(2023, 11, 30)},
                         {"d.mkv", 12, QDate(2025, 2, 1)}};
  const QString folder = Root + QStringLiteral("/sorted");
  QDir().mkpath(folder);
  for (const TFile& f : files) {
    QFile file(folder + QLatin1Char('/') + QLatin1String(f.Name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64{f.Kilobytes} * 1024));
    ASSERT_TRUE(file.setFileTime(QDateTime(f.Modified, QTime(12, 0)), QFileDevice::FileModificationTime));
  }
  List->SetAutomaticRefresh(false);
  List->SetPath(folder);
  const int size = ColumnTitled("Size");
  const int date = ColumnTitled("Date modified");
  // The texts are the locale's own: grouped thousands in its separator.
  EXPECT_EQ(Item(QStringLiteral("c.mkv"))->text(size), QLocale().toString(1500) + QStringLiteral(" KB"));

  // The expected orders, worked out from the table.
  auto orderBy = [&](auto key, bool descending) {
    std::vector<TFile> sorted(std::begin(files), std::end(files));
    std::sort(sorted.begin(), sorted.end(), [&](const TFile& x, const TFile& y) {
      return descending ? key(y) < key(x) : key(x) < key(y);
    });
    QStringList names;
    for (const TFile& f : sorted) names << QLatin1String(f.Name);
    return names;
  };
  auto bySize = [](const TFile& f) { return f.Kilobytes; };
  auto byDate = [](const TFile& f) { return f.Modified; };
  List->SortByColumn(size);
  EXPECT_FALSE(List->SortDescending());
  EXPECT_EQ(Captions(), orderBy(bySize, false));
  List->SortByColumn(size);
  EXPECT_TRUE(List->SortDescending());
  EXPECT_EQ(Captions(), orderBy(bySize, true));
  List->SortByColumn(date);  // another column keeps the direction: a second click turns it round
  if (List->SortDescending()) List->SortByColumn(date);
  EXPECT_EQ(Captions(), orderBy(byDate, false));
  List->SortByColumn(date);
  EXPECT_EQ(Captions(), orderBy(byDate, true));
  // A refresh that adds an item keeps the order by value.
  QFile later(folder + QStringLiteral("/e.mkv"));
  ASSERT_TRUE(later.open(QIODevice::WriteOnly));
  ASSERT_TRUE(later.resize(100 * 1024));
  later.close();
  List->SortByColumn(size);
  if (List->SortDescending()) List->SortByColumn(size);
  List->RefreshList();
  EXPECT_EQ(Captions(), QStringList({"b.mkv", "d.mkv", "e.mkv", "c.mkv", "a.mkv"}));
}

INSTANTIATE_TEST_SUITE_P(Locales, ShellListSortTest,
                         ::testing::Values(TSortLocaleCase{"en_US"}, TSortLocaleCase{"de_DE"}));

// A click on another column keeps the direction: by size descending, then by date still
// descending. Folders stay before files in both directions (as the desktop's file managers keep
// them) and the parent entry stays first.
TEST_F(ShellListTest, AnotherColumnKeepsTheDirectionAndFoldersStayFirst) {
  struct TFile {
    const char* Name;
    int Kilobytes;
    QDate Modified;
  };
  const TFile files[] = {{"a.mkv", 20, QDate(2025, 1, 5)}, {"b.mkv", 5, QDate(2024, 12, 25)},
                         {"c.mkv", 15, QDate(2025, 3, 1)}, {"d.mkv", 1, QDate(2023, 6, 1)}};
  const QString folder = Root + QStringLiteral("/kept");
  for (const char* inner : {"/inner", "/other"}) QDir().mkpath(folder + QLatin1String(inner));
  for (const TFile& f : files) {
    QFile file(folder + QLatin1Char('/') + QLatin1String(f.Name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64{f.Kilobytes} * 1024));
    ASSERT_TRUE(file.setFileTime(QDateTime(f.Modified, QTime(12, 0)), QFileDevice::FileModificationTime));
  }
  List->SetShowParentFolder(true);
  List->SetAutomaticRefresh(false);
  List->SetPath(folder);
  int size = -1, date = -1;
  for (int c = 0; c < List->columnCount(); ++c) {
    if (List->headerItem()->text(c) == QLatin1String("Size")) size = c;
    if (List->headerItem()->text(c) == QLatin1String("Date modified")) date = c;
  }
  ASSERT_GT(size, 0);
  ASSERT_GT(date, 0);
  // The parent entry, then the two folders (in either order: they have no size), then the files.
  auto expectOrder = [&](const QStringList& fileOrder) {
    const QStringList shown = Captions();
    ASSERT_EQ(shown.size(), 3 + fileOrder.size());
    EXPECT_EQ(shown[0], QStringLiteral(" .. "));
    EXPECT_EQ(QSet<QString>({shown[1], shown[2]}), QSet<QString>({"inner", "other"}));
    EXPECT_EQ(shown.mid(3), fileOrder);
  };
  struct TStep {
    const char* What;
    int Column;
    bool Descending;
    QStringList Files;
  };
  const TStep steps[] = {
      {"by size", size, false, {"d.mkv", "b.mkv", "c.mkv", "a.mkv"}},
      {"by size again: turned round", size, true, {"a.mkv", "c.mkv", "b.mkv", "d.mkv"}},
      {"by date: still descending", date, true, {"c.mkv", "a.mkv", "b.mkv", "d.mkv"}},
      {"by name: still descending", 0, true, {"d.mkv", "c.mkv", "b.mkv", "a.mkv"}},
      {"by name again: ascending", 0, false, {"a.mkv", "b.mkv", "c.mkv", "d.mkv"}},
      {"by date: still ascending", date, false, {"d.mkv", "b.mkv", "a.mkv", "c.mkv"}},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.What);
    List->SortByColumn(step.Column);
    EXPECT_EQ(List->SortColumn(), step.Column);
    EXPECT_EQ(List->SortDescending(), step.Descending);
    EXPECT_EQ(List->header()->sortIndicatorSection(), step.Column);
    EXPECT_EQ(List->header()->sortIndicatorOrder(), step.Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    expectOrder(step.Files);
  }

  // SetSortColumn moves the sort to another column in the same direction without sorting; the
  // next sort (here a refresh that adds an item) uses it. The selection stays with its item.
  Item(QStringLiteral("c.mkv"))->setSelected(true);
  List->setCurrentItem(Item(QStringLiteral("c.mkv")), 0, QItemSelectionModel::NoUpdate);
  List->SetSortColumn(size);
  EXPECT_EQ(List->SortColumn(), size);
  EXPECT_FALSE(List->SortDescending());
  EXPECT_EQ(List->header()->sortIndicatorSection(), size);
  expectOrder({"d.mkv", "b.mkv", "a.mkv", "c.mkv"});
  QFile later(folder + QStringLiteral("/e.mkv"));
  ASSERT_TRUE(later.open(QIODevice::WriteOnly));
  ASSERT_TRUE(later.resize(10 * 1024));
  later.close();
  List->RefreshList();
  expectOrder({"d.mkv", "b.mkv", "e.mkv", "c.mkv", "a.mkv"});
  EXPECT_EQ(List->selectedItems(), QList<QTreeWidgetItem*>({Item(QStringLiteral("c.mkv"))}));
  EXPECT_EQ(List->currentItem(), Item(QStringLiteral("c.mkv")));
}

// OnCompare may change each comparison; the result is turned round for the descending order.
// It orders items among their own kind: it never sees the parent entry, nor a folder against a
// file.
TEST_F(ShellListTest, OnCompareChangesTheOrderWithinFoldersAndWithinFiles) {
  List->SetShowParentFolder(true);
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  QDir().mkpath(Folder + QStringLiteral("/zz"));
  int calls = 0, parents = 0, mixed = 0;
  List->OnCompare = [&](shell::TNavBaseShellListView&, QTreeWidgetItem* a, QTreeWidgetItem* b, int& compare) {
    ++calls;
    if (TNavShellList::IsParentFolderItem(a) || TNavShellList::IsParentFolderItem(b)) ++parents;
    if (a->data(0, TNavShellList::kFolderRole).toBool() != b->data(0, TNavShellList::kFolderRole).toBool())
      ++mixed;
    compare = -compare;  // names from Z to A
  };
  List->FillList();
  EXPECT_GT(calls, 0);
  EXPECT_EQ(parents, 0);
  EXPECT_EQ(mixed, 0);
  EXPECT_FALSE(List->SortDescending());
  EXPECT_EQ(Captions(), QStringList({" .. ", "zz", "sub", "b10.mkv", "b2.mkv", "a.txt"}));
  List->SortByColumn(0);  // descending turns the handler's order round
  EXPECT_EQ(Captions(), QStringList({" .. ", "sub", "zz", "a.txt", "b2.mkv", "b10.mkv"}));
  EXPECT_EQ(parents, 0);
  EXPECT_EQ(mixed, 0);
}

TEST_F(ShellListTest, RenamingATickedFolderRenamesItInTheSelectionAndTheLinkedCombo) {
  const QString desktop = Home + QStringLiteral("/Desktop");
  QDir().mkpath(desktop + QStringLiteral("/Holiday"));
  QDir().mkpath(desktop + QStringLiteral("/Other"));
  testing_support::WriteText(desktop + QStringLiteral("/Holiday/clip.mkv"), "12345");
  shell::TNavShellLink link;
  shell::TNavShellCombo combo;
  combo.SetShellLink(&link);
  TEditableList list;
  list.SetAutomaticRefresh(false);
  list.SetShellLink(&link);
  list.SetPath(desktop);
  list.show();
  list.SetCheckboxes(true);
  std::vector<std::pair<QStringList, QString>> reports;
  list.OnOperation = [&](shell::TNavBaseShellListView&, shell::TNavShellOperations, const QStringList& files,
                         const QString& to) { reports.emplace_back(files, to); };
  auto settle = [] {
    platform::WaitInMainThread([] { return shell::GlobalThreadPool().OutstandingCount() == 0; });
    QCoreApplication::processEvents();
  };
  auto item = [&](const QString& caption) -> shell::TNavCheckableListItem* {
    for (int i = 0; i < list.topLevelItemCount(); ++i)
      if (list.topLevelItem(i)->text(0) == caption)
        return static_cast<shell::TNavCheckableListItem*>(list.topLevelItem(i));
    return nullptr;
  };
  auto comboHas = [&](const QString& caption) { return combo.findText(caption) >= 0; };
  settle();
  ASSERT_NE(item(QStringLiteral("Holiday")), nullptr);
  item(QStringLiteral("Holiday"))->SetChecked(true);
  settle();
  ASSERT_EQ(link.GetSelectionList()->Paths(), QStringList({desktop + QStringLiteral("/Holiday/*")}));
  ASSERT_TRUE(comboHas(QStringLiteral("Holiday")));

  item(QStringLiteral("Holiday"))->setSelected(true);
  QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
  QApplication::sendEvent(&list, &f2);
  ASSERT_TRUE(list.Editing());
  list.OnError = [](const QString& m) { ADD_FAILURE() << m.toStdString(); };
  list.SetShowErrorMessages(true);
  list.Type(QStringLiteral("Summer"));
  settle();
  ASSERT_TRUE(QFileInfo(desktop + QStringLiteral("/Summer/clip.mkv")).isFile());
  // The tick moved with the folder: the selection list names the new path, the item shows it.
  EXPECT_EQ(link.GetSelectionList()->Paths(), QStringList({desktop + QStringLiteral("/Summer/*")}));
  bool inherited = false;
  EXPECT_EQ(link.GetSelectionList()->GetState(desktop + QStringLiteral("/Summer/clip.mkv"), inherited),
            static_cast<int>(shell::TNavSelectionState::ssChecked));
  ASSERT_NE(item(QStringLiteral("Summer")), nullptr);
  EXPECT_EQ(item(QStringLiteral("Summer"))->GetCheckState(), shell::TNavSelectionState::ssChecked);
  // The linked combo was refreshed: it lists the desktop's folder under its new name.
  EXPECT_TRUE(comboHas(QStringLiteral("Summer")));
  EXPECT_FALSE(comboHas(QStringLiteral("Holiday")));
  EXPECT_TRUE(comboHas(QStringLiteral("Other")));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].first, QStringList({desktop + QStringLiteral("/Holiday")}));
  EXPECT_EQ(reports[0].second, desktop + QStringLiteral("/Summer"));
}

TEST_F(ShellListTest, LinksCarryTheirEmblemUnlessOverlaysAreOff) {
  ASSERT_TRUE(QFile::link(Folder + QStringLiteral("/b2.mkv"), Folder + QStringLiteral("/shortcut.mkv")));
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  auto overlay = [&](const char* name) { return Item(QLatin1String(name))->data(0, TNavShellList::kOverlayRole); };
  PumpUntil([&] { return overlay("shortcut.mkv").isValid() && overlay("a.txt").isValid(); });
  EXPECT_GT(overlay("shortcut.mkv").toInt(), 0);
  EXPECT_EQ(overlay("a.txt").toInt(), 0);
  auto index = [&](const char* name) { return List->indexFromItem(Item(QLatin1String(name)), 0); };
  EXPECT_FALSE(List->OverlayIcon(index("shortcut.mkv")).isNull());
  EXPECT_TRUE(List->OverlayIcon(index("a.txt")).isNull());
  // The emblem is the theme's link emblem, the one the image list registers for links.
  const QIcon emblem = List->OverlayIcon(index("shortcut.mkv"));
  EXPECT_EQ(emblem.pixmap(16, 16).toImage(),
            shell::TNavSystemImageList::GetGlobalSystemImageList()
                .Icon(shell::TNavSystemImageList::GetOverlayIndex(Folder + QStringLiteral("/shortcut.mkv")))
                .pixmap(16, 16)
                .toImage());

  List->SetShowOverlayIcons(false);
  platform::WaitInMainThread([] { return shell::GlobalThreadPool().OutstandingCount() == 0; });
  QCoreApplication::processEvents();
  EXPECT_FALSE(overlay("shortcut.mkv").isValid());
  EXPECT_TRUE(List->OverlayIcon(index("shortcut.mkv")).isNull());
}

TEST_F(ShellListTest, LargerIconsAndTheirSpacingBelongToTheIconStyle) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  EXPECT_EQ(List->IconSpacing(), 50);
  List->SetShowExtraLargeIcons(true);
  EXPECT_EQ(List->ViewStyle(), shell::TNavViewStyle::vsIcon);
  EXPECT_TRUE(List->ShowExtraLargeIcons());
  EXPECT_EQ(List->GridView()->iconSize(), QSize(48, 48));
  EXPECT_EQ(List->GridView()->gridSize().width(), 48 + 50);
  List->SetShowJumboIcons(true);
  EXPECT_TRUE(List->ShowJumboIcons());
  EXPECT_FALSE(List->ShowExtraLargeIcons());
  EXPECT_EQ(List->GridView()->iconSize(), QSize(256, 256));
  List->SetIconSpacing(10);
  EXPECT_EQ(List->GridView()->gridSize().width(), 256 + 10);
  EXPECT_GE(List->GridView()->gridSize().height(), 256 + 10);
  // Another style goes back to plain icons.
  List->SetViewStyle(shell::TNavViewStyle::vsList);
  EXPECT_FALSE(List->ShowJumboIcons());
  List->SetViewStyle(shell::TNavViewStyle::vsIcon);
  EXPECT_EQ(List->GridView()->iconSize(), QSize(32, 32));
  List->SetShowJumboIcons(true);
  List->SetShowJumboIcons(false);
  EXPECT_EQ(List->GridView()->iconSize(), QSize(32, 32));
  EXPECT_EQ(List->ViewStyle(), shell::TNavViewStyle::vsIcon);
}

TEST_F(ShellListTest, FontsFollowTheDesktopOrTheParent) {
  QWidget parent;
  QFont big = parent.font();
  big.setPointSize(23);
  parent.setFont(big);
  auto* list = new TNavShellList(&parent);
  EXPECT_TRUE(list->UseSystemFont());
  EXPECT_EQ(list->font(), QApplication::font("QAbstractItemView"));
  list->SetParentFont(true);
  EXPECT_FALSE(list->UseSystemFont());
  EXPECT_EQ(list->font().pointSize(), 23);
  list->SetUseSystemFont(true);
  EXPECT_FALSE(list->ParentFont());
  EXPECT_TRUE(list->UseSystemFont());
  EXPECT_EQ(list->font(), QApplication::font("QAbstractItemView"));
  EXPECT_TRUE(list->viewport()->testAttribute(Qt::WA_Hover));
  list->SetUseSystemStyles(false);
  EXPECT_FALSE(list->viewport()->testAttribute(Qt::WA_Hover));
  EXPECT_FALSE(list->GridView()->viewport()->testAttribute(Qt::WA_Hover));
}

TEST_F(ShellListTest, MenuSwitchesPickTheShellMenuThePopupOrNothing) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  List->resize(400, 300);
  List->show();
  int shellMenus = 0;
  shell::TShellBrowser::SetContextMenuRunner([&](QMenu&, const QPoint&) -> QAction* {
    ++shellMenus;
    return nullptr;
  });
  QMenu popup;
  popup.addAction(QStringLiteral("Own entry"));
  List->SetPopupMenu(&popup);
  QTreeWidgetItem* item = Item(QStringLiteral("a.txt"));
  item->setSelected(true);
  const QPoint at = List->visualItemRect(item).center();
  auto rightClick = [&] {
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, List->viewport()->mapToGlobal(at));
    QApplication::sendEvent(List->viewport(), &event);
  };
  rightClick();
  EXPECT_EQ(shellMenus, 1);
  EXPECT_FALSE(popup.isVisible());
  List->SetShellContextMenu(false);
  rightClick();
  EXPECT_EQ(shellMenus, 1);
  EXPECT_TRUE(popup.isVisible());
  popup.close();
  // OnContextPopup may take the request over.
  List->SetShellContextMenu(true);
  QPoint asked;
  List->OnContextPopup = [&](TNavShellList&, const QPoint& point, bool& handled) {
    asked = point;
    handled = true;
  };
  rightClick();
  EXPECT_EQ(shellMenus, 1);
  EXPECT_FALSE(asked.isNull());

  // The header's column chooser: shown (and closed again here) only while switched on.
  int choosers = 0;
  auto headerClick = [&] {
    QTimer::singleShot(0, [&] {
      if (QWidget* menu = QApplication::activePopupWidget()) {
        ++choosers;
        menu->close();
      }
    });
    emit List->header()->customContextMenuRequested(QPoint(5, 5));
    QCoreApplication::processEvents();
  };
  headerClick();
  EXPECT_EQ(choosers, 1);
  List->SetShowHeaderContextMenu(false);
  headerClick();
  EXPECT_EQ(choosers, 1);
  shell::TShellBrowser::SetContextMenuRunner(nullptr);
}

TEST_F(ShellListTest, EventsAroundSortsColumnsImagesAndRefills) {
  List->SetAutomaticRefresh(false);
  std::vector<shell::TNavBaseShellListView::TSortStage> stages;
  int columns = 0, refills = 0;
  QList<QTreeWidgetItem*> asked;
  List->OnSort = [&](shell::TNavBaseShellListView&, shell::TNavBaseShellListView::TSortStage stage) {
    stages.push_back(stage);
  };
  List->OnCreateColumns = [&](shell::TNavBaseShellListView& list) {
    ++columns;
    EXPECT_GT(list.columnCount(), 1);
  };
  List->OnBeforeFullRefresh = [&](TNavShellList& list) {
    ++refills;
    EXPECT_FALSE(list.Path().isEmpty());
  };
  List->OnGetImageIndex = [&](shell::TNavBaseShellListView&, QTreeWidgetItem* item) {
    asked << item;
    if (item->text(0) == QLatin1String("a.txt")) {
      QPixmap mine(16, 16);
      mine.fill(Qt::cyan);
      item->setIcon(0, QIcon(mine));
    }
  };
  List->SetPath(Folder);
  EXPECT_EQ(refills, 1);
  EXPECT_EQ(columns, 1);
  EXPECT_EQ(asked.size(), 4);  // every item once: sub, a.txt, b2.mkv, b10.mkv
  using S = shell::TNavBaseShellListView::TSortStage;
  ASSERT_EQ(stages.size(), 2u);
  EXPECT_EQ(stages[0], S::ssBeforeSort);
  EXPECT_EQ(stages[1], S::ssAfterSort);
  List->SortByColumn(1);
  EXPECT_EQ(stages.size(), 4u);
  EXPECT_EQ(Item(QStringLiteral("a.txt"))->icon(0).pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::cyan));
}

TEST_F(ShellListTest, NethoodAndTrashSwitches) {
  List->SetAutomaticRefresh(false);
  auto paths = [&] {
    QStringList out;
    for (int i = 0; i < List->topLevelItemCount(); ++i) out << List->GetItemPath(i);
    return out;
  };
  List->SetSpecialFolder(shell::TNavShellFolder::SF_DRIVES);
  const QString share = Root + QStringLiteral("/net");
  EXPECT_TRUE(paths().contains(share) || paths().contains(share + QLatin1Char('/'))) << paths().join(' ').toStdString();
  List->SetShowNethood(false);
  EXPECT_FALSE(paths().contains(share) || paths().contains(share + QLatin1Char('/')));
  EXPECT_TRUE(paths().contains(Volume) || paths().contains(Volume + QLatin1Char('/')));  // a local volume stays

  List->SetSpecialFolder(shell::TNavShellFolder::SF_DESKTOP);
  EXPECT_TRUE(Captions().contains(QStringLiteral("Trash")));
  List->SetShowRecycleBin(false);
  EXPECT_FALSE(Captions().contains(QStringLiteral("Trash")));
  // A volume's own trash folder is hidden with it.
  QDir().mkpath(Folder + QStringLiteral("/.Trash-1000"));
  QDir().mkpath(Folder + QStringLiteral("/.hidden"));
  List->SetShowHidden(true);
  List->SetPath(Folder);
  EXPECT_FALSE(Captions().contains(QStringLiteral(".Trash-1000")));
  EXPECT_TRUE(Captions().contains(QStringLiteral(".hidden")));
  List->SetShowRecycleBin(true);
  EXPECT_TRUE(Captions().contains(QStringLiteral(".Trash-1000")));
}

TEST_F(ShellListTest, CompressedFilesAreBlueWhenAsked) {
  const QString packed = Folder + QStringLiteral("/packed.mkv");
  testing_support::WriteText(packed, "x");
  if (!testing_support::SetCompressedFlag(packed)) GTEST_SKIP() << "this file system keeps no compression flag";
  EXPECT_EQ(shell::NavFileSystemFlags(packed), shell::kNavFlagCompressed);
  EXPECT_EQ(shell::NavFileSystemFlags(Folder + QStringLiteral("/a.txt")), 0u);
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  EXPECT_EQ(Item(QStringLiteral("packed.mkv"))->foreground(0).style(), Qt::NoBrush);
  List->SetColorEncrypted(true);
  EXPECT_EQ(Item(QStringLiteral("packed.mkv"))->foreground(0).style(), Qt::NoBrush);
  List->SetColorCompressed(true);
  EXPECT_EQ(Item(QStringLiteral("packed.mkv"))->foreground(0).color(), QColor(0, 0, 255));
  EXPECT_EQ(Item(QStringLiteral("a.txt"))->foreground(0).style(), Qt::NoBrush);
}

TEST_F(ShellListTest, NoFillOnStartupWaitsForTheListToBeShown) {
  TNavShellList list;
  list.SetNoFillOnStartup(true);
  list.SetAutomaticRefresh(false);
  list.SetPath(Folder);
  EXPECT_EQ(list.Path(), Folder + QLatin1Char('/'));
  EXPECT_EQ(list.topLevelItemCount(), 0);
  list.show();
  EXPECT_EQ(list.topLevelItemCount(), 0);
  list.FillList();
  EXPECT_EQ(list.topLevelItemCount(), 4);
}

TEST_F(ShellListTest, ABackgroundPictureSitsInItsCornerOrTiles) {
  const QString empty = Root + QStringLiteral("/empty");
  QDir().mkpath(empty);
  List->SetAutomaticRefresh(false);
  List->SetPath(empty);
  List->resize(300, 200);
  List->show();
  QImage picture(8, 8, QImage::Format_RGB32);
  picture.fill(Qt::red);
  List->SetBackgroundImage(picture);
  struct TCase {
    shell::TNavBackgroundImageStyle Style;
    bool TopLeft, BottomRight, Beside;
  };
  using B = shell::TNavBackgroundImageStyle;
  for (const TCase& c : {TCase{B::bisTiled, true, true, true}, TCase{B::bisLeftTop, true, false, false},
                         TCase{B::bisRightBottom, false, true, false}}) {
    List->SetBackgroundImageStyle(c.Style);
    const QImage shown = List->viewport()->grab().toImage();
    const QPoint corner(shown.width() - 3, shown.height() - 3);
    EXPECT_EQ(shown.pixelColor(2, 2) == QColor(Qt::red), c.TopLeft) << static_cast<int>(c.Style);
    EXPECT_EQ(shown.pixelColor(corner) == QColor(Qt::red), c.BottomRight) << static_cast<int>(c.Style);
    EXPECT_EQ(shown.pixelColor(11, 2) == QColor(Qt::red), c.Beside) << static_cast<int>(c.Style);
  }
  List->SetBackgroundImage(QImage());
  EXPECT_NE(List->viewport()->grab().toImage().pixelColor(2, 2), QColor(Qt::red));
}

TEST_F(ShellListTest, InfoTipsNameTheKindSizeAndDate) {
  testing_support::WriteText(Folder + QStringLiteral("/big.mkv"), QByteArray(3000, 'x'));
  List->SetAutomaticRefresh(false);
  List->SetShowParentFolder(true);
  List->SetPath(Folder);
  List->resize(500, 300);
  List->show();
  const QString tip = List->HintOf(Item(QStringLiteral("big.mkv")));
  const QStringList lines = tip.split('\n');
  ASSERT_EQ(lines.size(), 3) << tip.toStdString();
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Type: "))) << tip.toStdString();
  EXPECT_EQ(lines[1], QStringLiteral("Size: ") +
                          QLocale().formattedDataSize(3000, 1, QLocale::DataSizeTraditionalFormat));
  EXPECT_EQ(lines[2], QStringLiteral("Date modified: ") +
                          QLocale().toString(QFileInfo(Folder + QStringLiteral("/big.mkv")).lastModified(),
                                             QLocale::ShortFormat));
  EXPECT_EQ(List->HintOf(Item(QStringLiteral(" .. "))), Root);
  List->OnInfoTip = [](shell::TNavBaseShellListView&, QTreeWidgetItem*, QString& text) { text += QStringLiteral("!"); };
  EXPECT_EQ(List->HintOf(Item(QStringLiteral(" .. "))), Root + QStringLiteral("!"));
  // The tool tip itself, over the item.
  const QPoint at = List->visualItemRect(Item(QStringLiteral("big.mkv"))).center();
  QHelpEvent help(QEvent::ToolTip, at, List->viewport()->mapToGlobal(at));
  QApplication::sendEvent(List->viewport(), &help);
  EXPECT_EQ(QToolTip::text(), tip + QStringLiteral("!"));
  QToolTip::hideText();
}

TEST_F(ShellListTest, TheMouseBackAndForwardButtonsMoveThroughTheHistory) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  List->SetPath(Folder + QStringLiteral("/sub"));
  auto press = [&](Qt::MouseButton button, QWidget* target) {
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
  };
  press(Qt::BackButton, List->viewport());
  EXPECT_EQ(List->Path(), Folder + QLatin1Char('/'));
  press(Qt::ForwardButton, List->viewport());
  EXPECT_EQ(List->Path(), Folder + QStringLiteral("/sub/"));
  List->SetViewStyle(shell::TNavViewStyle::vsIcon);  // the grid hears them too
  press(Qt::BackButton, List->GridView()->viewport());
  EXPECT_EQ(List->Path(), Folder + QLatin1Char('/'));
}

class TMarkedItem : public shell::TNavShellListItem {};

TEST_F(ShellListTest, TheItemClassHookMakesTheItems) {
  List->SetAutomaticRefresh(false);
  List->OnCreateItemClass = [] { return new TMarkedItem; };
  List->SetPath(Folder);
  ASSERT_EQ(List->topLevelItemCount(), 4);
  for (int i = 0; i < List->topLevelItemCount(); ++i)
    EXPECT_NE(dynamic_cast<TMarkedItem*>(List->topLevelItem(i)), nullptr);
  // An item of another class is refused; the list stays usable.
  List->OnCreateItemClass = [] { return new shell::TNavCheckableListItem; };
  try {
    List->FillList();
    ADD_FAILURE() << "no error";
  } catch (const shell::EInvalidArgument& error) {
    EXPECT_STREQ(error.what(),
                 "Internal Error: TNavShellList.OnCreateNodeClass.ItemClass must inherit from TNavShellListItem.");
  }
  List->OnCreateItemClass = nullptr;
  List->FillList();
  EXPECT_EQ(List->topLevelItemCount(), 4);
}

TEST_F(ShellListTest, ItemsKeepTheIdListsOfWhatTheyShowAndFollowARename) {
  using shell::TNavItemIdList;
  TEditableList list;
  list.SetAutomaticRefresh(false);
  list.SetShowParentFolder(true);
  list.SetPath(Folder);
  list.show();
  auto item = [&](const QString& caption) -> shell::TNavShellListItem* {
    for (int i = 0; i < list.topLevelItemCount(); ++i)
      if (list.topLevelItem(i)->text(0) == caption)
        return dynamic_cast<shell::TNavShellListItem*>(list.topLevelItem(i));
    return nullptr;
  };
  shell::TNavShellListItem* b2 = item(QStringLiteral("b2.mkv"));
  ASSERT_NE(b2, nullptr);
  ASSERT_FALSE(shell::NavIsEmpty(b2->AbsoluteIDList()));
  EXPECT_EQ(b2->AbsoluteIDList()->GetPath(), Folder + QStringLiteral("/b2.mkv"));
  ASSERT_FALSE(shell::NavIsEmpty(b2->RelativeIDList()));
  ASSERT_EQ(b2->RelativeIDList()->GetCount(), 1);
  EXPECT_EQ(b2->RelativeIDList()->GetIdList().front().Name, QStringLiteral("b2.mkv"));
  // The parent entry stands for the folder above.
  ASSERT_NE(item(QStringLiteral(" .. ")), nullptr);
  EXPECT_TRUE(
      item(QStringLiteral(" .. "))->AbsoluteIDList()->IsEqual(TNavItemIdList::CreateFromAnyPath(Root)));

  // Renamed in the list: both lists name the new file.
  b2->setSelected(true);
  QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
  QApplication::sendEvent(&list, &f2);
  list.Type(QStringLiteral("renamed.mkv"));
  ASSERT_EQ(item(QStringLiteral("renamed.mkv")), b2);
  EXPECT_EQ(b2->AbsoluteIDList()->GetPath(), Folder + QStringLiteral("/renamed.mkv"));
  EXPECT_EQ(b2->RelativeIDList()->GetIdList().front().Name, QStringLiteral("renamed.mkv"));

  // Outside a list the path is the absolute list's; without one there is nothing to rebuild.
  shell::TNavShellListItem loose;
  EXPECT_EQ(loose.GetPath(), QString());
  loose.RebuildIDLists();
  EXPECT_TRUE(shell::NavIsEmpty(loose.AbsoluteIDList()));
  EXPECT_TRUE(shell::NavIsEmpty(loose.RelativeIDList()));
  loose.SetAbsoluteIDList(TNavItemIdList::CreateFromAnyPath(Folder + QStringLiteral("/a.txt")));
  EXPECT_EQ(loose.GetPath(), Folder + QStringLiteral("/a.txt"));
  loose.RebuildIDLists();
  ASSERT_FALSE(shell::NavIsEmpty(loose.RelativeIDList()));
  EXPECT_EQ(loose.RelativeIDList()->GetIdList().front().Name, QStringLiteral("a.txt"));
}

TEST_F(ShellListTest, AnItemsTextColourIsTheWindowTextUntilOneIsSetForEveryColumn) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  auto* item = dynamic_cast<shell::TNavShellListItem*>(Item(QStringLiteral("b2.mkv")));
  ASSERT_NE(item, nullptr);
  QPalette palette = List->palette();
  palette.setColor(QPalette::WindowText, QColor(1, 2, 3));
  List->setPalette(palette);
  EXPECT_EQ(item->TextColor(), QColor(1, 2, 3));
  EXPECT_EQ(item->foreground(0).style(), Qt::NoBrush);  // drawn in the list's own colour
  item->SetTextColor(QColor(200, 0, 0));
  EXPECT_EQ(item->TextColor(), QColor(200, 0, 0));
  ASSERT_GE(List->columnCount(), 3);
  for (int column = 0; column < List->columnCount(); ++column)
    EXPECT_EQ(item->foreground(column).color(), QColor(200, 0, 0)) << column;
  item->SetTextColor(QColor());
  EXPECT_EQ(item->TextColor(), QColor(1, 2, 3));
  EXPECT_EQ(item->foreground(1).style(), Qt::NoBrush);
  shell::TNavShellListItem loose;
  EXPECT_EQ(loose.TextColor(), QGuiApplication::palette().color(QPalette::WindowText));
}

TEST_F(ShellListTest, CompareByTextUsesTheSortedColumnsTextsOrTheCaptions) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  ASSERT_GE(List->columnCount(), 3);
  struct TCase {
    const char* Name;
    int SortColumn;
    QStringList A, B;  // the texts of the columns, from the caption on
    int Expected;
  };
  const TCase cases[] = {
      {"captions: numbers by value", 0, {"b10", "x", "a"}, {"b2", "x", "b"}, 1},
      {"captions: letters before case", 0, {"apple", "", "z"}, {"Banana", "", "a"}, -1},
      {"sorted column: case does not count", 2, {"z", "", "apple"}, {"a", "", "Banana"}, -1},
      {"sorted column: equal but for case", 2, {"z", "", "ABC"}, {"a", "", "abc"}, 0},
      {"sorted column: compared as text", 2, {"a", "", "t10"}, {"b", "", "t9"}, -1},
      // One item's texts end before the sorted column: the captions decide.
      {"sorted column missing on one side", 2, {"x10", "y"}, {"x2", "", "a"}, 1},
      {"sorted column missing on both", 2, {"x1"}, {"x2"}, -1},
  };
  for (const TCase& c : cases) {
    if (List->SortColumn() != c.SortColumn) List->SortByColumn(c.SortColumn);
    ASSERT_EQ(List->SortColumn(), c.SortColumn);
    auto make = [&](const QStringList& texts) {
      auto* item = new shell::TNavShellListItem;
      for (int column = 0; column < texts.size(); ++column) item->setText(column, texts[column]);
      List->addTopLevelItem(item);
      return std::unique_ptr<shell::TNavShellListItem>(item);
    };
    const auto a = make(c.A), b = make(c.B);
    EXPECT_EQ(a->CompareByText(*b), c.Expected) << c.Name;
    EXPECT_EQ(b->CompareByText(*a), -c.Expected) << c.Name;
  }
  // Outside a list only the captions count.
  shell::TNavShellListItem a, b;
  a.setText(0, QStringLiteral("b10"));
  a.setText(2, QStringLiteral("a"));
  b.setText(0, QStringLiteral("b2"));
  b.setText(2, QStringLiteral("b"));
  EXPECT_EQ(a.CompareByText(b), 1);
}

TEST_F(ShellListTest, ShellItemsKeepTheirFlagsTheirValuesAndWhetherARefreshSawThem) {
  using Item_t = shell::TNavShellListItem;
  testing_support::WriteText(Folder + QStringLiteral("/big.mkv"), QByteArray(3000, 'x'));
  List->SetAutomaticRefresh(false);
  List->OnAddItem = [](QTreeWidgetItem* item, bool&) {
    if (item->text(0) == QLatin1String("a.txt")) item->setText(0, QStringLiteral("A text"));
  };
  List->SetPath(Folder);
  auto shellItem = [&](const char* caption) {
    return dynamic_cast<Item_t*>(Item(QString::fromUtf8(caption)));
  };
  ASSERT_NE(shellItem("sub"), nullptr);
  EXPECT_EQ(shellItem("sub")->Flags(), Item_t::kFlagFolder);
  EXPECT_TRUE(shellItem("sub")->data(0, TNavShellList::kFolderRole).toBool());
  EXPECT_EQ(shellItem("big.mkv")->Flags(), 0);
  EXPECT_FALSE(shellItem("big.mkv")->data(0, TNavShellList::kFolderRole).toBool());
  ASSERT_NE(shellItem("A text"), nullptr);
  EXPECT_EQ(shellItem("A text")->Flags(), Item_t::kFlagCaptionChanged);

  // The size column's value is the file's size in bytes; the type column holds text, no value.
  int sizeColumn = -1, typeColumn = -1;
  for (int column = 1; column < List->columnCount(); ++column) {
    if (List->headerItem()->text(column) == QLatin1String("Size")) sizeColumn = column;
    if (List->headerItem()->text(column) == QLatin1String("Type")) typeColumn = column;
  }
  ASSERT_GT(sizeColumn, 0);
  ASSERT_GT(typeColumn, 0);
  const std::vector<QVariant>& values = shellItem("big.mkv")->Values();
  ASSERT_GE(values.size(), static_cast<size_t>(std::max(sizeColumn, typeColumn)));
  EXPECT_EQ(values[static_cast<size_t>(sizeColumn - 1)].toLongLong(), 3000);
  EXPECT_FALSE(values[static_cast<size_t>(typeColumn - 1)].isValid());
  EXPECT_EQ(shellItem("big.mkv")->data(sizeColumn, TNavShellList::kValueRole).toLongLong(), 3000);

  // A refresh marks what it finds again and drops what it does not.
  QFile::remove(Folder + QStringLiteral("/b10.mkv"));
  testing_support::WriteText(Folder + QStringLiteral("/new.mkv"), "x");
  List->RefreshList();
  EXPECT_EQ(Item(QStringLiteral("b10.mkv")), nullptr);
  ASSERT_NE(shellItem("new.mkv"), nullptr);
  for (int i = 0; i < List->topLevelItemCount(); ++i) {
    auto* item = dynamic_cast<Item_t*>(List->topLevelItem(i));
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->Seen()) << item->text(0).toStdString();
  }
}

TEST_F(ShellListTest, BrowsingToAFolderCanSelectAnItemOfIt) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Root);
  List->BrowseToIDListAndSelect(shell::TNavItemIdList::CreateFromAnyPath(Folder),
                                shell::TNavItemIdList::CreateFromAnyPath(Folder + QStringLiteral("/b2.mkv")));
  EXPECT_EQ(List->Path(), Folder + QLatin1Char('/'));
  EXPECT_EQ(List->SelectedNames(), QStringList({QStringLiteral("b2.mkv")}));
  EXPECT_EQ(List->currentItem(), Item(QStringLiteral("b2.mkv")));
}

TEST_F(ShellListTest, AltEnterAsksForTheSelectionsProperties) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  QStringList verbs;
  List->Browser().OnContextMenuSelect = [&](const QString& verb, bool& execute) {
    verbs << verb;
    execute = false;
  };
  Item(QStringLiteral("a.txt"))->setSelected(true);
  Key(Qt::Key_Return, Qt::AltModifier);
  EXPECT_EQ(verbs, QStringList({QStringLiteral("properties")}));
  EXPECT_EQ(List->Path(), Folder + QLatin1Char('/'));
}

TEST_F(ShellListTest, DropsAskFirstAndTheDroppedItemsEndSelected) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder + QStringLiteral("/sub"));
  List->show();
  QStringList sources;
  for (const char* name : {"one.mkv", "two.mkv"}) {
    sources << Root + QLatin1Char('/') + QLatin1String(name);
    testing_support::WriteText(sources.last(), "x");
  }
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(sources[0]), QUrl::fromLocalFile(sources[1])});
  bool allow = false;
  QStringList offered;
  List->OnBeforeShellDrop = [&](TNavShellList&, QTreeWidgetItem* target, Qt::KeyboardModifiers keys, bool& execute,
                                const QStringList& files) {
    EXPECT_EQ(target, nullptr);  // the list's own folder
    EXPECT_TRUE(keys & Qt::ControlModifier);
    offered = files;
    execute = allow;
  };
  auto drop = [&] {
    const QPoint at(20, 200);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(List->viewport(), &enter);
    QDropEvent event(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(List->viewport(), &event);
    return event.isAccepted();
  };
  EXPECT_FALSE(drop());
  EXPECT_EQ(offered, sources);
  EXPECT_FALSE(QFileInfo::exists(Folder + QStringLiteral("/sub/one.mkv")));
  allow = true;
  EXPECT_TRUE(drop());
  EXPECT_TRUE(QFileInfo::exists(Folder + QStringLiteral("/sub/two.mkv")));
  PumpUntil([&] { return List->topLevelItemCount() == 2; });
  QStringList selected = List->SelectedNames();
  selected.sort();
  EXPECT_EQ(selected, QStringList({QStringLiteral("one.mkv"), QStringLiteral("two.mkv")}));
}

TEST_F(ShellListTest, ItemMenuRunsTheChosenVerbAndReportsIt) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  std::vector<shell::TNavShellOperations> reports;
  List->OnOperation = [&](shell::TNavBaseShellListView&, shell::TNavShellOperations ops, const QStringList&,
                          const QString&) { reports.push_back(ops); };
  shell::TShellBrowser::SetContextMenuRunner([](QMenu& menu, const QPoint&) -> QAction* {
    for (QAction* action : menu.actions())
      if (action->data().toString() == QLatin1String("delete")) return action;
    return nullptr;
  });
  Item(QStringLiteral("a.txt"))->setSelected(true);
  QString verb;
  List->ShowItemContextMenu(QPoint(), verb);
  shell::TShellBrowser::SetContextMenuRunner({});
  EXPECT_EQ(verb, QStringLiteral("delete"));
  EXPECT_FALSE(QFileInfo::exists(Folder + QStringLiteral("/a.txt")));
  using O = shell::TNavShellOperation;
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], shell::OperationBit(O::sopDelete) | shell::OperationBit(O::sopRemove));
  // No notice from the disk will come without AutomaticRefresh: the item went at once.
  EXPECT_EQ(Item(QStringLiteral("a.txt")), nullptr);
  EXPECT_EQ(Captions().size(), 3);
}

TEST_F(ShellListTest, ColumnsAreChosenAndRememberedPerKindOfFolder) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  auto titles = [&] {
    QStringList t;
    for (int c = 0; c < List->columnCount(); ++c) t << List->headerItem()->text(c);
    return t;
  };
  EXPECT_EQ(titles(), QStringList({"Name", "Size", "Type", "Date modified"}));
  std::unique_ptr<QMenu> menu = List->CreateColumnMenu();
  QStringList offered;
  for (QAction* action : menu->actions()) offered << action->text();
  EXPECT_EQ(offered, QStringList({"Name", "Size", "Type", "Date modified", "Date created", "Date accessed", "Attributes"}));
  EXPECT_FALSE(menu->actions()[0]->isEnabled());  // the name stays
  EXPECT_FALSE(List->HideShellColumn(0));

  menu->actions()[1]->setChecked(false);  // hide Size
  menu->actions()[6]->setChecked(true);   // show Attributes
  EXPECT_EQ(titles(), QStringList({"Name", "Type", "Date modified", "Attributes"}));
  // Where each column of the details is shown, by its index among them.
  EXPECT_EQ(List->FindShellColumn(0), 0);
  EXPECT_EQ(List->FindShellColumn(1), -1);
  EXPECT_EQ(List->FindShellColumn(2), 1);
  EXPECT_EQ(List->FindShellColumn(6), 3);
  List->setColumnWidth(1, 222);  // Type made wider

  // Another plain folder shares the choice; Computer has its own.
  List->SetPath(Folder + QStringLiteral("/sub"));
  EXPECT_EQ(titles(), QStringList({"Name", "Type", "Date modified", "Attributes"}));
  EXPECT_EQ(List->columnWidth(1), 222);
  List->SetSpecialFolder(shell::TNavShellFolder::SF_DRIVES);
  EXPECT_EQ(titles(), QStringList({"Name", "Type", "Total Size", "Free Space"}));

  // A refused change leaves the column and its tick.
  List->SetPath(Folder);
  List->OnBeforeShellColumnChanged = [](shell::TNavBaseShellListView&, int, bool, bool& allow) { allow = false; };
  menu = List->CreateColumnMenu();
  menu->actions()[2]->setChecked(false);
  EXPECT_TRUE(menu->actions()[2]->isChecked());
  EXPECT_TRUE(titles().contains(QStringLiteral("Type")));
  List->OnBeforeShellColumnChanged = nullptr;
  EXPECT_TRUE(List->SetShellColumnVisible(1, true));
  EXPECT_EQ(List->FindShellColumn(1), 1);
  EXPECT_TRUE(List->SetShellColumnVisible(1, false));
  EXPECT_EQ(List->FindShellColumn(1), -1);
}

// SelectAll, MultiSelect, the thumbnail size one side at a time, and an item's caption and reset.
TEST_F(ShellListTest, SelectionSwitchesThumbnailSidesAndItemResets) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  EXPECT_TRUE(List->MultiSelect());
  List->SelectAll();
  EXPECT_EQ(List->selectedItems().size(), List->topLevelItemCount());
  List->clearSelection();
  List->SetMultiSelect(false);
  EXPECT_FALSE(List->MultiSelect());
  EXPECT_EQ(List->GridView()->selectionMode(), QAbstractItemView::SingleSelection);
  List->SelectAll();  // one item at most: nothing to select all of
  EXPECT_TRUE(List->selectedItems().isEmpty());
  List->SetMultiSelect(true);

  List->SetViewStyle(shell::TNavViewStyle::vsIcon);
  List->SetThumbnails(true);
  List->SetThumbnailWidth(120);
  EXPECT_EQ(List->iconSize(), QSize(120, 96));
  List->SetThumbnailHeight(64);
  EXPECT_EQ(List->iconSize(), QSize(120, 64));
  EXPECT_EQ(List->ThumbnailWidth(), 120);
  EXPECT_EQ(List->ThumbnailHeight(), 64);

  List->SetViewStyle(shell::TNavViewStyle::vsReport);
  auto* item = static_cast<shell::TNavCheckableListItem*>(Item(QStringLiteral("b2.mkv")));
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->GetCaptionText(), QStringLiteral("b2.mkv"));
  QPixmap red(16, 16);
  red.fill(Qt::red);
  item->setIcon(0, QIcon(red));
  ASSERT_FALSE(item->icon(0).isNull());
  ASSERT_FALSE(item->text(1).isEmpty());
  item->ResetImage();
  EXPECT_TRUE(item->icon(0).isNull());
  for (int c = 1; c < List->columnCount(); ++c) EXPECT_TRUE(item->text(c).isEmpty()) << c;
  EXPECT_EQ(item->text(0), QStringLiteral("b2.mkv"));
}

TEST_F(ShellListTest, TheAutoSizeColumnTakesTheRoomLeftButNoLessThan80) {
  List->SetAutomaticRefresh(false);
  List->resize(900, 300);
  List->SetPath(Folder);
  List->show();
  List->SetAutoSizeColumn(2);
  int sum = 0;
  for (int c = 0; c < List->columnCount(); ++c) sum += List->columnWidth(c);
  EXPECT_EQ(sum, List->viewport()->width());
  List->resize(200, 300);  // no room at all
  QCoreApplication::processEvents();
  EXPECT_EQ(List->columnWidth(2), 80);
}

TEST_F(ShellListTest, EachKindOfFolderKeepsItsSortColumn) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  List->SortByColumn(2);  // by type
  List->SortByColumn(2);  // the second click flips the order
  EXPECT_TRUE(List->SortDescending());
  List->SetSpecialFolder(shell::TNavShellFolder::SF_DRIVES);
  EXPECT_EQ(List->SortColumn(), 0);
  List->SetPath(Folder + QStringLiteral("/sub"));
  EXPECT_EQ(List->SortColumn(), 2);
  EXPECT_FALSE(List->SortDescending());
}

TEST_F(ShellListTest, LinkedListsFollowEachOther) {
  shell::TNavShellLink link;
  TNavShellList other;
  List->SetAutomaticRefresh(false);
  other.SetAutomaticRefresh(false);
  List->SetShellLink(&link);
  other.SetShellLink(&link);
  List->SetPath(Folder);
  EXPECT_EQ(other.Path(), Folder + QLatin1Char('/'));
  other.SetShellLink(nullptr);
  EXPECT_EQ(link.ControlCount(), 1);
}

TEST_F(ShellListTest, IconAndListStylesLayTheSameItemsOutInAGrid) {
  List->SetAutomaticRefresh(false);
  List->SetShowParentFolder(true);
  List->SetPath(Folder);
  List->resize(400, 300);
  List->show();
  QListView* grid = List->GridView();
  struct Case {
    shell::TNavViewStyle Style;
    bool Shown;
    QListView::ViewMode Mode;
    bool SideBySide;  // the second item right of the first (rows), else below it (columns)
  };
  const Case cases[] = {
      {shell::TNavViewStyle::vsIcon, true, QListView::IconMode, true},
      {shell::TNavViewStyle::vsList, true, QListView::ListMode, false},
      {shell::TNavViewStyle::vsSmallIcon, true, QListView::ListMode, false},
      {shell::TNavViewStyle::vsReport, false, QListView::ListMode, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Style));
    List->SetViewStyle(c.Style);
    QCoreApplication::processEvents();
    EXPECT_EQ(grid->isVisible(), c.Shown);
    if (!c.Shown) continue;
    EXPECT_EQ(grid->viewMode(), c.Mode);
    EXPECT_EQ(grid->geometry(), List->rect());
    ASSERT_EQ(grid->model()->rowCount(), List->topLevelItemCount());
    EXPECT_EQ(grid->iconSize(), List->iconSize());
    const QRect first = grid->visualRect(grid->model()->index(0, 0));
    const QRect second = grid->visualRect(grid->model()->index(1, 0));
    if (c.SideBySide) {
      EXPECT_EQ(second.top(), first.top());
      EXPECT_GT(second.left(), first.left());
    } else {
      EXPECT_EQ(second.left(), first.left());
      EXPECT_GT(second.top(), first.top());
    }
  }

  List->SetViewStyle(shell::TNavViewStyle::vsIcon);
  QCoreApplication::processEvents();
  // One selection for both views.
  const QModelIndex clip = grid->model()->index(List->indexOfTopLevelItem(Item(QStringLiteral("b2.mkv"))), 0);
  grid->selectionModel()->select(clip, QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(List->SelectedNames(), QStringList({QStringLiteral("b2.mkv")}));
  const QPoint centre = grid->visualRect(clip).center();
  EXPECT_EQ(List->ShownItemAt(grid->viewport()->mapToGlobal(centre)), Item(QStringLiteral("b2.mkv")));
  const QPoint empty(grid->viewport()->width() - 3, grid->viewport()->height() - 3);
  EXPECT_EQ(List->ShownItemAt(grid->viewport()->mapToGlobal(empty)), nullptr);

  // A double click on a folder in the grid opens it; Backspace in the grid goes back up.
  const QPoint sub = grid->visualRect(grid->model()->index(List->indexOfTopLevelItem(Item(QStringLiteral("sub"))), 0)).center();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                            QEvent::MouseButtonRelease}) {
    QMouseEvent event(type, sub, grid->viewport()->mapToGlobal(sub), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &event);
  }
  EXPECT_EQ(List->Path(), Folder + QStringLiteral("/sub/"));
  QKeyEvent back(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
  QApplication::sendEvent(grid, &back);
  EXPECT_EQ(List->Path(), Folder + QLatin1Char('/'));
}

TEST_F(ShellListTest, RenamingWorksInTheGridToo) {
  List->SetAutomaticRefresh(false);
  List->SetPath(Folder);
  List->SetViewStyle(shell::TNavViewStyle::vsIcon);
  List->show();
  auto shownEditor = [&]() -> QLineEdit* {
    for (QLineEdit* candidate : List->GridView()->viewport()->findChildren<QLineEdit*>())
      if (candidate->isVisible()) return candidate;
    return nullptr;
  };
  Item(QStringLiteral("a.txt"))->setSelected(true);
  Key(Qt::Key_F2);
  QLineEdit* editor = shownEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), QStringLiteral("a.txt"));
  editor->setText(QStringLiteral("c.txt"));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(editor, &enter);
  QCoreApplication::processEvents();
  EXPECT_EQ(shownEditor(), nullptr);
  EXPECT_TRUE(QFileInfo::exists(Folder + QStringLiteral("/c.txt")));
  EXPECT_FALSE(QFileInfo::exists(Folder + QStringLiteral("/a.txt")));
  ASSERT_NE(Item(QStringLiteral("c.txt")), nullptr);
  EXPECT_FALSE(Item(QStringLiteral("c.txt"))->flags() & Qt::ItemIsEditable);
}

// Check boxes over a linked selection list: the folder holds sub/ (with c.mkv and d.txt), a.txt,
// b2.mkv and b10.mkv (1 byte each, c.mkv 3 bytes, d.txt 5 bytes).
class ShellListCheckBoxTest : public ShellListTest {
 protected:
  using S = shell::TNavSelectionState;
  void SetUp() override {
    ShellListTest::SetUp();
    testing_support::WriteText(Folder + QStringLiteral("/sub/c.mkv"), "xyz");
    testing_support::WriteText(Folder + QStringLiteral("/sub/d.txt"), "12345");
    List->SetAutomaticRefresh(false);
    List->SetShowParentFolder(true);
    List->SetShellLink(&Link);
    List->SetPath(Folder);
    List->resize(500, 300);
    List->show();
    List->SetCheckboxes(true);
    Settle();
  }
  void TearDown() override {
    List.reset();
    ShellListTest::TearDown();
  }
  shell::TNavSelectionList& Selection() { return *Link.GetSelectionList(); }
  /// Until every state request and size sum was answered.
  void Settle() {
    platform::WaitInMainThread([] { return shell::GlobalThreadPool().OutstandingCount() == 0; });
    QCoreApplication::processEvents();
  }
  shell::TNavCheckableListItem* Checkable(const QString& caption) const {
    return static_cast<shell::TNavCheckableListItem*>(Item(caption));
  }
  S State(const QString& caption) const { return Checkable(caption)->GetCheckState(); }
  QPoint BoxOf(const QString& caption) const {
    const QRect row = List->visualItemRect(Item(caption));
    for (int x = row.left(); x < row.right(); ++x)
      if (List->CheckBoxAt(QPoint(x, row.center().y())) != nullptr) return {x + 2, row.center().y()};
    ADD_FAILURE() << "no check box on " << caption.toStdString();
    return {};
  }
  void Click(const QPoint& at) {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent event(type, at, List->viewport()->mapToGlobal(at), Qt::LeftButton,
                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(List->viewport(), &event);
    }
    Settle();
  }
  QString P(const char* relative) const { return Folder + QLatin1Char('/') + QLatin1String(relative); }

  shell::TNavShellLink Link;
};

TEST_F(ShellListCheckBoxTest, CheckBoxesNeedALink) {
  TNavShellList unlinked;
  unlinked.SetCheckboxes(true);
  EXPECT_FALSE(unlinked.Checkboxes());
  EXPECT_TRUE(List->Checkboxes());
  // Every item starts unticked; the parent entry cannot be ticked.
  EXPECT_EQ(State(QStringLiteral(" .. ")), S::ssDisabled);
  for (const char* name : {"sub", "a.txt", "b2.mkv", "b10.mkv"}) {
    EXPECT_EQ(State(QLatin1String(name)), S::ssUnChecked) << name;
    EXPECT_EQ(Item(QLatin1String(name))->checkState(0), Qt::Unchecked) << name;
  }
  Click(BoxOf(QStringLiteral(" .. ")));
  EXPECT_TRUE(Selection().Paths().isEmpty());
  // A click on the name is no click on the box.
  const QRect row = List->visualItemRect(Item(QStringLiteral("a.txt")));
  EXPECT_EQ(List->CheckBoxAt(QPoint(row.right() - 4, row.center().y())), nullptr);
  List->SetCheckboxes(false);
  EXPECT_FALSE(Item(QStringLiteral("a.txt"))->data(0, Qt::CheckStateRole).isValid());
}

TEST_F(ShellListCheckBoxTest, TicksGoToTheSelectionListAndComeBackAsStates) {
  std::vector<std::pair<QString, S>> changes;
  List->OnCheckStateChanged = [&](shell::TNavBaseShellListView&, int index, const QString& path, S state) {
    EXPECT_EQ(List->GetItemPath(index), path);
    changes.emplace_back(path, state);
  };
  // A click on a file's box ticks it and leaves the selection alone.
  Click(BoxOf(QStringLiteral("b2.mkv")));
  EXPECT_EQ(Selection().Paths(), QStringList({P("b2.mkv")}));
  EXPECT_EQ(State(QStringLiteral("b2.mkv")), S::ssChecked);
  EXPECT_EQ(Item(QStringLiteral("b2.mkv"))->checkState(0), Qt::Checked);
  EXPECT_TRUE(List->selectedItems().isEmpty());
  EXPECT_EQ(Selection().FileCount(), 1);  // the first entry counts too
  EXPECT_EQ(Selection().TotalSize(), 1u);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], std::make_pair(P("b2.mkv"), S::ssChecked));

  // Space ticks the selected folder: its whole content counts.
  List->setCurrentItem(Item(QStringLiteral("sub")));
  Key(Qt::Key_Space);
  Settle();
  EXPECT_EQ(Selection().Paths(), QStringList({P("b2.mkv"), P("sub/*")}));
  EXPECT_EQ(State(QStringLiteral("sub")), S::ssChecked);
  EXPECT_EQ(Selection().FileCount(), 3);
  EXPECT_EQ(Selection().TotalSize(), 9u);

  // Part of a folder ticked elsewhere shows it greyed; unticking it clears what lies below.
  Key(Qt::Key_Space);
  Settle();
  EXPECT_EQ(State(QStringLiteral("sub")), S::ssUnChecked);
  Selection().Add(P("sub/c.mkv"));
  Settle();
  EXPECT_EQ(State(QStringLiteral("sub")), S::ssGrayed);
  EXPECT_EQ(Item(QStringLiteral("sub"))->checkState(0), Qt::PartiallyChecked);
  // The states shown after a refill come from the selection list.
  List->FillList();
  Settle();
  EXPECT_EQ(State(QStringLiteral("sub")), S::ssGrayed);
  EXPECT_EQ(State(QStringLiteral("b2.mkv")), S::ssChecked);
  EXPECT_EQ(State(QStringLiteral("a.txt")), S::ssUnChecked);
  Click(BoxOf(QStringLiteral("sub")));
  EXPECT_EQ(Selection().Paths(), QStringList({P("b2.mkv")}));
  EXPECT_EQ(State(QStringLiteral("sub")), S::ssUnChecked);
  EXPECT_EQ(Selection().FileCount(), 1);
  EXPECT_EQ(Selection().TotalSize(), 1u);
}

TEST_F(ShellListCheckBoxTest, AClickOnASelectedItemTogglesTheWholeSelection) {
  Item(QStringLiteral("a.txt"))->setSelected(true);
  Item(QStringLiteral("b10.mkv"))->setSelected(true);
  // Not selected: only the clicked one.
  Click(BoxOf(QStringLiteral("sub")));
  EXPECT_EQ(Selection().Paths(), QStringList({P("sub/*")}));
  Click(BoxOf(QStringLiteral("a.txt")));
  EXPECT_EQ(Selection().Paths(), QStringList({P("sub/*"), P("a.txt"), P("b10.mkv")}));
  EXPECT_EQ(List->selectedItems().size(), 2);
  // The last one completes the folder: one entry stands for it, and every item shows ticked.
  Click(BoxOf(QStringLiteral("b2.mkv")));
  EXPECT_EQ(Selection().Paths(), QStringList({Folder + QStringLiteral("/*")}));
  for (const char* name : {"sub", "a.txt", "b2.mkv", "b10.mkv"}) EXPECT_EQ(State(QLatin1String(name)), S::ssChecked) << name;
  // Unticking one splits the folder again.
  Click(BoxOf(QStringLiteral("sub")));
  QStringList paths = Selection().Paths();
  paths.sort();
  EXPECT_EQ(paths, QStringList({P("a.txt"), P("b10.mkv"), P("b2.mkv")}));
  EXPECT_EQ(State(QStringLiteral("sub")), S::ssUnChecked);
  EXPECT_EQ(State(QStringLiteral("a.txt")), S::ssChecked);
}

TEST_F(ShellListCheckBoxTest, TheGridTicksThroughItsBoxesToo) {
  List->SetViewStyle(shell::TNavViewStyle::vsIcon);
  QCoreApplication::processEvents();
  QListView* grid = List->GridView();
  const QRect cell = grid->visualRect(grid->model()->index(List->indexOfTopLevelItem(Item(QStringLiteral("a.txt"))), 0));
  QPoint box;
  for (int y = cell.top(); y <= cell.bottom() && box.isNull(); ++y)
    for (int x = cell.left(); x <= cell.right() && box.isNull(); ++x)
      if (List->CheckBoxAt(QPoint(x, y)) != nullptr) box = QPoint(x + 2, y + 2);
  ASSERT_FALSE(box.isNull());
  EXPECT_EQ(List->CheckBoxAt(cell.center() + QPoint(0, cell.height() / 3)), nullptr);  // the name
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent event(type, box, grid->viewport()->mapToGlobal(box), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &event);
  }
  Settle();
  EXPECT_EQ(Selection().Paths(), QStringList({P("a.txt")}));
  EXPECT_EQ(State(QStringLiteral("a.txt")), S::ssChecked);
  EXPECT_TRUE(List->selectedItems().isEmpty());
  // Space in the grid toggles the selection.
  Item(QStringLiteral("b10.mkv"))->setSelected(true);
  QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
  QApplication::sendEvent(grid, &space);
  Settle();
  EXPECT_EQ(Selection().Paths(), QStringList({P("a.txt"), P("b10.mkv")}));
}

}  // namespace
