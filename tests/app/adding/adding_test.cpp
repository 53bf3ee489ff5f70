// The adding window over a real folder tree, with the real decoder and finder: which files
// become rows, what the rows hold, and how Cancel, Escape and closing stop a scan.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include <QAbstractItemModel>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>

#include "app/add_files/add_files.h"
#include "app/adding/adding.h"
#include "app/adding/adding_format.h"
#include "app/adding/adding_tree.h"
#include "app/adding/adding_wiring.h"
#include "app/main_window/main_window_fixture.h"
#include "components/find_file.h"
#include "media/ff_loader.h"
#include "platform/file_names.h"
#include "shell/nav_shell_list.h"
#include "support/run_alone.h"

namespace {

using testing_support::MainWindowFixture;
using testing_support::OnNextModal;

struct TRow {
  QString Caption;
  QStringList SubItems;
};

class AddingTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    app::WireAddingAndProperties(*Window);
    QDir().mkpath(TempPath(QStringLiteral("tree")));
    Tree = testing_support::WriteAddingTree(TempPath(QStringLiteral("tree")));
  }

  void Add(const QStringList& paths) {
    Window->DropQueue() = paths;
    Window->AddQueuedFiles();
  }

  std::vector<TRow> Rows() const {
    std::vector<TRow> rows;
    for (int i = 0; i < Window->RowCount(); ++i) rows.push_back({Window->RowCaption(i), Window->SubItems(i)});
    return rows;
  }

  QStringList Captions() const {
    QStringList captions;
    for (const TRow& row : Rows()) captions << row.Caption;
    return captions;
  }

  // Copies of the clip under "many/", queued one by one in this order.
  QStringList ClipCopies(int count) {
    QStringList paths;
    for (int i = 0; i < count; ++i) {
      const QString path = Tree.Path(QStringLiteral("many/clip%1.avi").arg(i));
      QDir().mkpath(QFileInfo(path).path());
      EXPECT_TRUE(QFile::copy(Tree.Path(QStringLiteral("b_clip.avi")), path));
      paths << path;
    }
    return paths;
  }

  testing_support::TAddingTree Tree;
};

// The rows of a clip as the generated clip.avi gives them.
void ExpectClipRow(const TRow& row, const QString& path) {
  SCOPED_TRACE(path.toStdString());
  ASSERT_EQ(row.SubItems.size(), app::Tfrm_Main::kSubItemCount);
  EXPECT_EQ(row.Caption, QFileInfo(path).fileName());
  EXPECT_EQ(row.SubItems[0], QStringLiteral("00:00:02"));
  const qint64 size = QFileInfo(path).size();
  EXPECT_EQ(row.SubItems[1], app::FormatSizeText(size));
  EXPECT_TRUE(row.SubItems[1].contains(QLatin1Char(','))) << "thousands are grouped: " << row.SubItems[1].toStdString();
  EXPECT_EQ(row.SubItems[2], path);
  EXPECT_NEAR(row.SubItems[3].toLongLong(), 2000000, 100000);
  EXPECT_EQ(row.SubItems[4], QString::number(size));
  EXPECT_EQ(row.SubItems[5], QStringLiteral("25.000000 fps"));
  EXPECT_TRUE(row.SubItems[6] == QStringLiteral("-") ||
              QRegularExpression(QStringLiteral("^\\d+ kb$")).match(row.SubItems[6]).hasMatch())
      << row.SubItems[6].toStdString();
  EXPECT_EQ(row.SubItems[7], QStringLiteral("64x48"));
}

TEST_F(AddingTest, DroppedTreeGivesOneRowPerPlayableMediaFile) {
  // The folder, then a file inside it again, names that are not media names, a missing file and
  // an empty entry.
  Add({Tree.Root, Tree.Path(QStringLiteral("b_clip.avi")), Tree.Path(QStringLiteral("loose/h_clip.M")),
       Tree.Path(QStringLiteral("loose/i_clip")), Tree.Path(QStringLiteral("loose/k_clip.MP")),
       Tree.Path(QStringLiteral("missing.avi")), QString()});

  EXPECT_EQ(Captions(), (QStringList{"a_audio_first.avi", "b_clip.avi", "c_clip.AVI", "g_truncated.avi", "tone.mkv"}))
      << "sorted by name; hidden, text, empty, non-media and missing files left out";
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 5u);
  ExpectClipRow(rows[1], Tree.Path(QStringLiteral("b_clip.avi")));
  ExpectClipRow(rows[2], Tree.Path(QStringLiteral("nested/deeper/c_clip.AVI")));

  // Stream 0 is audio: no video columns although a video stream follows.
  EXPECT_EQ(rows[0].SubItems.mid(5), (QStringList{"-", "-", "-"}));
  EXPECT_EQ(rows[0].SubItems[0], QStringLiteral("00:00:02"));
  // Audio only.
  EXPECT_EQ(rows[4].SubItems.mid(5), (QStringList{"-", "-", "-"}));
  EXPECT_EQ(rows[4].SubItems[0], QStringLiteral("00:00:01"));
  EXPECT_EQ(rows[4].SubItems[2], Tree.Path(QStringLiteral("nested/tone.mkv")));
  // The first half of a clip still opens: its header is whole.
  EXPECT_EQ(rows[3].SubItems[2], Tree.Path(QStringLiteral("g_truncated.avi")));
  EXPECT_EQ(rows[3].SubItems[7], QStringLiteral("64x48"));

  EXPECT_EQ(Window->StatusPanelText(0).left(9), QStringLiteral("Files: 5 ")) << "the totals are refreshed";
}

// Names that are not UTF-8 (a Latin-1 "é" from an old disk), met in a folder scan, dropped
// themselves, or as a folder: each becomes a row whose path holds the file system's own bytes.
TEST_F(AddingTest, NamesThatAreNotUtf8AreAddedWithTheirOwnBytes) {
  const QByteArray root = platform::FileNameToBytes(Tree.Root);
  const QByteArray folder = root + "/d\xe9j\xe0";
  const QByteArray inFolder = folder + "/caf\xe9.avi";
  const QByteArray loose = root + "/na\xefve.avi";
  ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
  const QByteArray clip = platform::FileNameToBytes(Tree.Path(QStringLiteral("b_clip.avi")));
  for (const QByteArray& copy : {inFolder, loose})
    ASSERT_TRUE(std::filesystem::copy_file(clip.toStdString(), copy.toStdString()));
  Add({platform::FileNameFromBytes(folder), platform::FileNameFromBytes(loose)});
  EXPECT_TRUE(Window->NotAdded().isEmpty())
      << platform::DisplayFileName(Window->NotAdded().value(0).Path).toStdString() << " "
      << Window->NotAdded().value(0).Reason.toStdString();
  ASSERT_EQ(Window->RowCount(), 2);
  QSet<QByteArray> paths;
  for (int i = 0; i < Window->RowCount(); ++i) {
    paths.insert(platform::FileNameToBytes(Window->RowPath(i)));
    EXPECT_EQ(Window->SubItem(i, 7), QStringLiteral("64x48")) << "probed through the name";
  }
  EXPECT_EQ(paths, (QSet<QByteArray>{inFolder, loose}));
  // The list shows each stray byte as U+FFFD; the caption the outputs are named after keeps it.
  QSet<QString> shown;
  QSet<QByteArray> captions;
  for (int i = 0; i < Window->RowCount(); ++i) {
    shown.insert(Window->lw_Files()->topLevelItem(i)->text(0));
    captions.insert(platform::FileNameToBytes(Window->RowCaption(i)));
    EXPECT_EQ(Window->lw_Files()->topLevelItem(i)->text(3), platform::DisplayFileName(Window->RowPath(i)));
  }
  EXPECT_EQ(shown, (QSet<QString>{QStringLiteral("caf\uFFFD.avi"), QStringLiteral("na\uFFFDve.avi")}));
  EXPECT_EQ(captions, (QSet<QByteArray>{"caf\xe9.avi", "na\xefve.avi"}));
}

// A path named many times (a list that repeats a line, a folder named twice, a file named and
// also found in a named folder) is looked at once and left out once, with the times it came up.
TEST_F(AddingTest, APathNamedManyTimesIsLookedAtAndLeftOutOnce) {
  const QString missing = Tree.Path(QStringLiteral("missing.avi"));
  const QString text = Tree.Path(QStringLiteral("e_text.avi"));   // in the root: found there too
  const QString notes = Tree.Path(QStringLiteral("notes.txt"));   // not a media name: never found
  const QString empty = Tree.Path(QStringLiteral("f_empty.avi"));  // found in the root only
  QStringList queue;
  for (int i = 0; i < 200; ++i) queue << missing << Tree.Root << notes;
  queue << text << Tree.Path(QStringLiteral("nested/../e_text.avi"));
  Add(queue);
  EXPECT_EQ(Captions(), (QStringList{"a_audio_first.avi", "b_clip.avi", "c_clip.AVI", "g_truncated.avi", "tone.mkv"}));
  QMap<QString, int> counts;
  for (const app::Tfrm_Main::TNotAdded& entry : Window->NotAdded()) {
    EXPECT_FALSE(counts.contains(entry.Path)) << "named twice: " << entry.Path.toStdString();
    counts[entry.Path] += entry.Count;
  }
  EXPECT_EQ(counts, (QMap<QString, int>{{missing, 200}, {notes, 200}, {text, 3}, {empty, 1}}));
}

TEST_F(AddingTest, FilesAlreadyListedAreNotAddedAgain) {
  Add({Tree.Path(QStringLiteral("b_clip.avi"))});
  ASSERT_EQ(Window->RowCount(), 1);
  Add({Tree.Path(QStringLiteral("b_clip.avi")), Tree.Path(QStringLiteral("nested/deeper/../deeper/c_clip.AVI")),
       Tree.Path(QStringLiteral("nested/deeper/c_clip.AVI"))});
  EXPECT_EQ(Captions(), (QStringList{"b_clip.avi", "c_clip.AVI"}));
  EXPECT_EQ(Window->SubItem(1, 2), Tree.Path(QStringLiteral("nested/deeper/c_clip.AVI"))) << "paths are stored clean";
}

TEST_F(AddingTest, AddOffersMediaFilesAndAddsTheChosenOnes) {
  Window->SetAddFolder(Tree.Path(QStringLiteral("nested")));
  // Closed without adding: nothing happens.
  OnNextModal([&](QWidget* modal) {
    auto* window = qobject_cast<app::Tfrm_AddFiles*>(modal);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->lw_Data()->Path(), Tree.Path(QStringLiteral("nested/"))) << "starts where the last files came from";
    EXPECT_EQ(window->lw_Data()->Filter(), app::Tfrm_AddFiles::MediaFilter());
    window->reject();
  });
  Window->btn_AddClick();
  EXPECT_EQ(Window->RowCount(), 0);

  // Two files from two folders.
  OnNextModal([&](QWidget* modal) {
    auto* window = qobject_cast<app::Tfrm_AddFiles*>(modal);
    ASSERT_NE(window, nullptr);
    shell::TNavShellList& list = *window->lw_Data();
    for (const auto& [folder, name] : {std::pair{QStringLiteral(""), QStringLiteral("b_clip.avi")},
                                       std::pair{QStringLiteral("nested/deeper"), QStringLiteral("c_clip.AVI")}}) {
      list.SetPath(Tree.Path(folder));
      list.clearSelection();
      for (int i = 0; i < list.topLevelItemCount(); ++i)
        if (list.topLevelItem(i)->text(0) == name) list.topLevelItem(i)->setSelected(true);
      window->Button1Click();
    }
    window->reject();
  });
  Window->btn_AddClick();
  EXPECT_EQ(Captions(), (QStringList{"b_clip.avi", "c_clip.AVI"}));
  EXPECT_EQ(Window->AddFolder(), Tree.Path(QStringLiteral("nested/deeper"))) << "the folder shown last is kept";
}

TEST_F(AddingTest, RowsAreSortedByTheListsSortColumn) {
  Window->lw_FilesColumnClick(0);  // name, descending
  Add({Tree.Path(QStringLiteral("nested"))});
  EXPECT_EQ(Captions(), (QStringList{"tone.mkv", "c_clip.AVI", "a_audio_first.avi"}));
}

// A file list keeps the paths only: opening it probes the files again and gives the same rows,
// texts and values, in the same order.
TEST_F(AddingTest, SavedFileListOpensToTheSameRows) {
  Add({Tree.Root});
  Window->lw_FilesColumnClick(2);  // by size
  ASSERT_GE(Window->RowCount(), 3);
  std::vector<app::TFileRow> saved;
  QByteArray expected;
  for (int i = 0; i < Window->RowCount(); ++i) {
    saved.push_back(Window->Row(i));
    SCOPED_TRACE(saved.back().Path.toStdString());
    EXPECT_EQ(saved.back().SizeBytes, QFileInfo(saved.back().Path).size());
    EXPECT_GT(saved.back().DurationUs, 0);
    EXPECT_EQ(QString::number(saved.back().DurationUs), saved.back().SubItems[3]);
    expected += (saved.back().Path + QLatin1Char('\n')).toUtf8();
  }
  const QString totals = Window->StatusPanelText(0);
  const QString list = TempPath(QStringLiteral("list.fls"));
  Dialogs.SaveNames = {list};
  Window->Save1Click();
  QFile file(list);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), expected);

  Dialogs.OpenNames = {list};
  Window->Open1Click();
  std::vector<app::TFileRow> opened;
  for (int i = 0; i < Window->RowCount(); ++i) opened.push_back(Window->Row(i));
  EXPECT_EQ(opened, saved);
  EXPECT_EQ(Window->StatusPanelText(0), totals);
}

TEST_F(AddingTest, ProgressShowsTheFileNumberAndPath) {
  const QStringList paths = ClipCopies(3);
  QStringList seen;
  QObject::connect(Window->lw_Files()->model(), &QAbstractItemModel::rowsInserted, Window.get(), [&seen] {
    if (auto* adding = qobject_cast<app::Tfrm_Adding*>(QApplication::activeModalWidget()))
      seen << adding->lbl_Path()->text();
  });
  Add(paths);
  ASSERT_EQ(Window->RowCount(), 3);
  // Every row is appended while its own line shows; the last entry is the final sort.
  ASSERT_GE(seen.size(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(seen[i], QStringLiteral("%1 of 3\n\n%2").arg(i + 1).arg(paths[i]));
}

// Stopping while the files are probed: at the first row, one of the three ways to stop.
enum class TStop { CancelButton, Escape, CloseBox };

class AddingStopTest : public AddingTest, public ::testing::WithParamInterface<TStop> {};

TEST_P(AddingStopTest, StopDuringProbingKeepsTheRowsAddedSoFar) {
  const QStringList paths = ClipCopies(4);
  bool stopped = false;
  bool visibleAfterStop = false;
  bool cancelEnabled = true;
  QObject::connect(Window->lw_Files()->model(), &QAbstractItemModel::rowsInserted, Window.get(), [&] {
    auto* adding = qobject_cast<app::Tfrm_Adding*>(QApplication::activeModalWidget());
    if (stopped || adding == nullptr) return;
    stopped = true;
    switch (GetParam()) {
      case TStop::CancelButton: QTest::mouseClick(adding->btn_Cancel(), Qt::LeftButton); break;
      case TStop::Escape: QTest::keyClick(adding, Qt::Key_Escape); break;
      case TStop::CloseBox: adding->close(); break;
    }
    visibleAfterStop = adding->isVisible() && adding->Cancelled();
    cancelEnabled = adding->btn_Cancel()->isEnabled();
  });
  Add(paths);
  ASSERT_TRUE(stopped);
  EXPECT_TRUE(visibleAfterStop) << "the window waits for the probe to stop, then closes";
  EXPECT_FALSE(cancelEnabled);
  EXPECT_EQ(Captions(), QStringList{QStringLiteral("clip0.avi")});
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Ways, AddingStopTest, ::testing::Values(TStop::CancelButton, TStop::Escape, TStop::CloseBox));

TEST_F(AddingTest, ClosingWhileFoldersAreSearchedActsAsCancel) {
  ClipCopies(3);
  bool closedDuringSearch = false;
  bool stillOpen = false;
  OnNextModal([&](QWidget* modal) {
    auto* adding = qobject_cast<app::Tfrm_Adding*>(modal);
    ASSERT_NE(adding, nullptr);
    components::TFindFile& finder = adding->FindFile();
    auto collect = finder.OnFileMatch;
    // The first match closes the window from inside the running search, as a click on the
    // close box handled while the search pumps messages does.
    finder.OnFileMatch = [&, adding, collect](const components::TFileDetails& details) {
      collect(details);
      if (closedDuringSearch) return;
      closedDuringSearch = adding->FindFile().Busy();
      adding->close();
      stillOpen = adding->isVisible();
    };
  });
  Add({Tree.Path(QStringLiteral("many")), Tree.Path(QStringLiteral("b_clip.avi"))});
  EXPECT_TRUE(closedDuringSearch);
  EXPECT_TRUE(stillOpen) << "the search is stopped, not torn down under itself";
  EXPECT_EQ(Window->RowCount(), 0) << "nothing is probed after a cancelled search";
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The libraries go missing after the scan loaded them (here: avformat is unloaded while the
// folders are searched, before any file is probed): the scan stops, says why and at which file,
// and the window closes.
TEST_F(AddingTest, ScanThatStopsOnAFailureSaysWhy) {
  const QStringList paths = ClipCopies(1);
  OnNextModal([&](QWidget* modal) {
    auto* adding = qobject_cast<app::Tfrm_Adding*>(modal);
    ASSERT_NE(adding, nullptr);
    components::TFindFile& finder = adding->FindFile();
    auto collect = finder.OnFileMatch;
    finder.OnFileMatch = [collect](const components::TFileDetails& details) {
      collect(details);
      media::FFLoader().Unload(media::TLibrary::avFormat);
    };
  });
  Add({Tree.Path(QStringLiteral("many"))});
  const bool reloaded = media::FFLoader().Load(media::TLibrary::avFormat);
  EXPECT_EQ(Window->RowCount(), 0);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  ASSERT_EQ(Prompter.Messages.size(), 1u);
  EXPECT_EQ(Prompter.Messages[0].Icon, platform::TPromptIcon::Error);
  EXPECT_EQ(Prompter.Messages[0].Caption, QStringLiteral("Error"));
  const QString text = Prompter.Messages[0].Text;
  EXPECT_TRUE(text.startsWith(QStringLiteral("Adding stopped at %1:\r").arg(paths[0]))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("avformat"))) << text.toStdString();
  ASSERT_TRUE(reloaded) << media::FFLoader().LastErrMsg();
}

TEST_F(AddingTest, EscapeBeforeTheScanStartsClosesAtOnce) {
  OnNextModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
  Add({Tree.Path(QStringLiteral("b_clip.avi"))});
  EXPECT_EQ(Window->RowCount(), 0);
}

// The libraries cannot be loaded: the one message the window shows, then it closes. Needs a
// process in which no FFmpeg library has been loaded yet (CTest runs each case alone; a run of the
// whole program starts one for it).
TEST_F(MainWindowFixture, AddingShowsTheLibraryFailureAndCloses) {
  if (media::FFLoader().Loaded(media::TLibrary::swScale)) return test_support::RunThisTestAlone();
  Window->DropQueue() = {TempPath(QStringLiteral("clip.avi"))};
  int result = -1;
  {
    app::Tfrm_Adding adding(*Window);
    // This folder's libswscale.so.6 exports nothing, so binding it fails.
    adding.SetLibraryPath(QStringLiteral(STUB_EMPTY_SWSCALE_DIR));
    result = adding.exec();
  }
  media::FFLoader().SetLibraryPath(std::string());
  EXPECT_EQ(result, QDialog::Rejected);
  ASSERT_EQ(Prompter.Messages.size(), 1u);
  EXPECT_EQ(Prompter.Messages[0].Icon, platform::TPromptIcon::Error);
  EXPECT_EQ(Prompter.Messages[0].Caption, QStringLiteral("Error"));
  EXPECT_EQ(Prompter.Messages[0].Text, QStringLiteral("AV components could not be found.\rPlease re-install the software."));
  EXPECT_EQ(Window->RowCount(), 0);
}

}  // namespace
