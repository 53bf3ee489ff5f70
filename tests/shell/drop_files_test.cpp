#include "shell/nav_drop_files.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTreeWidget>
#include <QUrl>

#include "fake_home.h"
#include "platform/recording_prompter.h"

namespace {

using shell::TNavDropEffect;
using shell::TNavDropFiles;

class DropFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Files.setUrls({QUrl::fromLocalFile(QStringLiteral("/v/a clip.mkv")), QUrl(QStringLiteral("https://x/y.mkv")),
                   QUrl::fromLocalFile(QStringLiteral("/v/b.mkv"))});
    Drop.SetControl(&List);
  }
  // Sends enter, move and drop; returns (move accepted, move action, drop accepted, drop action).
  struct TResult {
    bool EnterAccepted, MoveAccepted;
    Qt::DropAction MoveAction;
    bool DropAccepted;
    Qt::DropAction DropAction;
  };
  TResult Drag(QWidget* target, const QMimeData& data) {
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(target, &drop);
    return {enter.isAccepted(), move.isAccepted(), move.dropAction(), drop.isAccepted(), drop.dropAction()};
  }

  bool FAppMade = (testing_support::ShellApp(), true);  // before any widget
  QTreeWidget List;
  TNavDropFiles Drop;
  QMimeData Files;
};

TEST_F(DropFilesTest, WithoutHandlersADragShowsCopyAndTheDropDoesNothing) {
  const TResult r = Drag(List.viewport(), Files);
  EXPECT_TRUE(r.EnterAccepted);
  EXPECT_TRUE(r.MoveAccepted);
  EXPECT_EQ(r.MoveAction, Qt::CopyAction);
  EXPECT_FALSE(r.DropAccepted);
  EXPECT_EQ(Drop.Files(), QStringList({QStringLiteral("/v/a clip.mkv"), QStringLiteral("/v/b.mkv")}));
  EXPECT_EQ(Drop.Version(), QStringLiteral("TNavDropFiles V9.0.3.694"));
}

TEST_F(DropFilesTest, HandlersDecideTheEffect) {
  struct TCase {
    const char* Name;
    TNavDropEffect Over, OnDrop;
    bool ThrowOnDrop;
    bool MoveAccepted, DropAccepted;
    Qt::DropAction DropAction;
  };
  const TCase cases[] = {
      {"move", TNavDropEffect::deCopy, TNavDropEffect::deMove, false, true, true, Qt::MoveAction},
      {"refused while moving", TNavDropEffect::deNone, TNavDropEffect::deCopy, false, false, true, Qt::CopyAction},
      {"left at none", TNavDropEffect::deLink, TNavDropEffect::deNone, false, true, false, Qt::IgnoreAction},
      {"handler throws", TNavDropEffect::deCopy, TNavDropEffect::deCopy, true, true, false, Qt::IgnoreAction},
  };
  for (const TCase& c : cases) {
    shell::TNavKeyState seen{};
    QStringList filesAtDrop;
    Drop.OnDragOver = [&](TNavDropFiles&, const shell::TNavKeyState& keys, const QPoint&, TNavDropEffect& effect) {
      EXPECT_EQ(effect, TNavDropEffect::deCopy);  // the starting value
      seen = keys;
      effect = c.Over;
    };
    Drop.OnDrop = [&](TNavDropFiles& sender, const shell::TNavKeyState&, const QPoint&, TNavDropEffect& effect) {
      EXPECT_EQ(effect, TNavDropEffect::deNone);
      filesAtDrop = sender.Files();
      if (c.ThrowOnDrop) throw std::runtime_error("handler failed");
      effect = c.OnDrop;
    };
    const TResult r = Drag(List.viewport(), Files);
    EXPECT_EQ(r.MoveAccepted, c.MoveAccepted) << c.Name;
    EXPECT_EQ(r.DropAccepted, c.DropAccepted) << c.Name;
    if (c.DropAccepted) {
      EXPECT_EQ(r.DropAction, c.DropAction) << c.Name;
    }
    EXPECT_EQ(seen.Modifiers, Qt::ShiftModifier);
    EXPECT_EQ(seen.Buttons, Qt::LeftButton);
    EXPECT_EQ(filesAtDrop.size(), 2) << c.Name;
  }
}

TEST_F(DropFilesTest, OtherDragsAreRefusedAndClearTheList) {
  Drag(List.viewport(), Files);
  ASSERT_FALSE(Drop.Files().isEmpty());
  QMimeData text;
  text.setText(QStringLiteral("hello"));
  bool dropped = false;
  Drop.OnDrop = [&](TNavDropFiles&, const shell::TNavKeyState&, const QPoint&, TNavDropEffect&) { dropped = true; };
  const TResult r = Drag(List.viewport(), text);
  EXPECT_FALSE(r.EnterAccepted);
  EXPECT_TRUE(Drop.Files().isEmpty());
  EXPECT_FALSE(r.MoveAccepted);
  EXPECT_FALSE(dropped);
}

// An enter handler that throws: the exception reaches whoever calls DragEnter. Qt's drag events
// cannot carry it, so there the drag is refused and the error shown once the event is over.
TEST_F(DropFilesTest, AnEnterHandlerThatThrowsReachesTheCaller) {
  bool dropped = false;
  Drop.OnDrop = [&](TNavDropFiles&, const shell::TNavKeyState&, const QPoint&, TNavDropEffect& effect) {
    dropped = true;
    effect = TNavDropEffect::deCopy;
  };
  Drop.OnDragEnter = [](TNavDropFiles&, const shell::TNavKeyState&, const QPoint&, TNavDropEffect&) {
    throw std::runtime_error("broken");
  };
  EXPECT_THROW(Drop.DragEnter(&Files, {Qt::NoModifier, Qt::LeftButton}, QPoint(1, 1)), std::runtime_error);
  EXPECT_EQ(Drop.Files().size(), 2);  // read before the handler ran

  testing_support::TRecordingPrompter prompter;
  TResult r{};
  EXPECT_NO_THROW(r = Drag(List.viewport(), Files));
  EXPECT_FALSE(r.EnterAccepted);
  EXPECT_FALSE(r.MoveAccepted);
  EXPECT_FALSE(r.DropAccepted);
  EXPECT_FALSE(dropped);
  EXPECT_TRUE(prompter.Messages.empty());  // not inside the drag event
  QCoreApplication::sendPostedEvents();
  ASSERT_EQ(prompter.Messages.size(), 1u);
  EXPECT_EQ(prompter.Messages[0].Text, QStringLiteral("broken"));

  // The next drag is judged afresh.
  Drop.OnDragEnter = nullptr;
  r = Drag(List.viewport(), Files);
  EXPECT_TRUE(r.DropAccepted);
  EXPECT_TRUE(dropped);
}

TEST_F(DropFilesTest, AReplacedViewportTakesDropsAgainAfterOneTick) {
  bool dropped = false;
  Drop.OnDrop = [&](TNavDropFiles&, const shell::TNavKeyState&, const QPoint&, TNavDropEffect& effect) {
    dropped = true;
    effect = TNavDropEffect::deCopy;
  };
  List.setViewport(new QWidget);  // the view owns it
  Drop.Reregister();              // what the 5 s timer does
  const TResult r = Drag(List.viewport(), Files);
  EXPECT_TRUE(r.DropAccepted);
  EXPECT_TRUE(dropped);
  Drop.SetEnabled(false);
  dropped = false;
  Drag(List.viewport(), Files);
  EXPECT_FALSE(dropped);
}

}  // namespace
