#include "app/burn/burn_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "app/burn/burn_process.h"
#include "app/burn/burn_wiring.h"
#include "app/burn/erase.h"
#include "app/burn/pseudo_drives.h"
#include "app/main_window/main_window_fixture.h"  // the application object, made once
#include "burning/disc_burner_sdk.h"
#include "components/recording_taskbar_backend.h"
#include "components/taskbar_mgr.h"
#include "platform/file_names.h"
#include "platform/recording_prompter.h"

namespace {

using app::TBurnInput;
using app::TBurnRow;
using app::Tfrm_Burn;
using burning::TBurningOptionSwitch;
using testing_support::TRecordingPrompter;
using testing_support::TRecordingTaskbarBackend;

const QString KNoDrive =
    QStringLiteral("Unable to detect CD/DVD/Blu-ray drive.\r\rPlease run program as administrator.");
// The log's colours: failures in red (255, 0, 0), steps and successes in green (0x008000).
const QColor KRed(255, 0, 0);
const QColor KGreen(0, 128, 0);

/// Log lines with their time stamps replaced by "[t]".
QStringList LogLines(const Tfrm_Burn& window) {
  QStringList lines = window.LogText().split(QLatin1Char('\n'));
  static const QRegularExpression stamp(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\] "));
  for (QString& line : lines) line.replace(stamp, QStringLiteral("[t] "));
  return lines;
}

/// Runs a program and returns its standard output; empty on failure.
QByteArray Output(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
  return process.readAllStandardOutput();
}

/// The names bsdtar lists in an image, sorted.
QStringList ImageNames(const QString& image) {
  QStringList names = QString::fromUtf8(Output(QStringLiteral("bsdtar"), {QStringLiteral("-tf"), image}))
                          .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  // bsdtar names the root "." and every entry below it "./name".
  names.removeAll(QStringLiteral("."));
  for (QString& name : names)
    if (name.startsWith(QStringLiteral("./"))) name.remove(0, 2);
  names.sort();
  return names;
}

class BurnWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::App();
    ASSERT_TRUE(FTemp.isValid());
    qunsetenv("CONVERTER_BURN_DRIVES");
  }
  void TearDown() override {
    if (HasFailure() && Window) {
      std::printf("Log:\n%s\n", qUtf8Printable(Window->LogText()));
      for (const auto& m : Prompter.Messages) std::printf("Message: %s\n", qUtf8Printable(m.Text));
    }
    Window.reset();
    qunsetenv("CONVERTER_BURN_DRIVES");
  }

  QString Path(const QString& name) const { return FTemp.filePath(name); }

  /// A source file of the given size, filled with a pattern that depends on seed.
  QString Source(const QString& name, int size, char seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i % 251);
    EXPECT_TRUE(testing_support::WriteBytes(Path(name), bytes));
    return Path(name);
  }

  /// Opens the burn window with the given image-file drives and rows, as the Burn command does,
  /// and waits until it has looked for drives.
  void Open(const QStringList& drives, std::vector<TBurnRow> rows = {}, const QString& library = QString()) {
    if (drives.isEmpty()) qunsetenv("CONVERTER_BURN_DRIVES");
    else qputenv("CONVERTER_BURN_DRIVES", drives.join(QLatin1Char(',')).toUtf8());
    TBurnInput input;
    input.Rows = std::move(rows);
    input.Taskbar = &Taskbar;
    // The copy the Burn command loads too: one per process.
    input.DLLName = library.isEmpty() ? app::BurnLibraryName() : library;
    Window = std::make_unique<Tfrm_Burn>(std::move(input));
    Window->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return Window->Started(); }, 30000));
  }

  template <typename T>
  T* Find(const char* name) const {
    T* child = Window->findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  QTemporaryDir FTemp = testing_support::MakeTempFolder("burn_window");
  TRecordingPrompter Prompter;
  TRecordingTaskbarBackend::TLog TaskbarLog;
  components::TTaskbarMgr Taskbar{nullptr, std::make_unique<TRecordingTaskbarBackend>(&TaskbarLog)};
  std::unique_ptr<Tfrm_Burn> Window;
};

TEST_F(BurnWindowTest, NoDriveGivesTheMessageAndCloses) {
  Open({});
  ASSERT_EQ(Prompter.Messages.size(), 1u);
  EXPECT_EQ(Prompter.Messages[0].Icon, platform::TPromptIcon::Error);
  EXPECT_EQ(Prompter.Messages[0].Caption, QStringLiteral("Error"));
  EXPECT_EQ(Prompter.Messages[0].Text, KNoDrive);
  EXPECT_FALSE(Window->isVisible());
  EXPECT_EQ(Window->result(), QDialog::Rejected);
  // Closed windows give the component back: another window can start it.
  EXPECT_FALSE(Window->Burner().Active());
  EXPECT_EQ(LogLines(*Window), QStringList({"Initialization..."}));
}

TEST_F(BurnWindowTest, MissingLibraryIsNamedAndTheWindowCloses) {
  Open({Path("unused.iso")}, {}, Path("no-such-library.so"));
  ASSERT_EQ(Prompter.Messages.size(), 1u);
  EXPECT_EQ(Prompter.Messages[0].Caption, QStringLiteral("Error"));
  EXPECT_EQ(Prompter.Messages[0].Text, QStringLiteral("SDK DLL file not found"));
  EXPECT_FALSE(Window->isVisible());
  EXPECT_EQ(LogLines(*Window), QStringList({"Initialization...", "SDK DLL file not found"}));
  EXPECT_EQ(Window->LastLogColor(), KRed);
}

TEST_F(BurnWindowTest, TwoImageDrivesAreListedAndLogged) {
  Open({Path("first.iso"), Path("second.iso")});
  EXPECT_TRUE(Prompter.Messages.empty());
  EXPECT_TRUE(Window->isVisible());
  auto* drives = Find<QComboBox>("cb_Device_Burn");
  ASSERT_EQ(drives->count(), 2);
  // Device 1 (the library's own image writer) is never listed; the names are cut to the
  // device table's 49 characters.
  for (int k = 0; k < 2; ++k) {
    const QString address = QStringLiteral("%1: ").arg(QChar('B' + k));
    const QString name = drives->itemText(k);
    EXPECT_TRUE(name.startsWith(address)) << name.toStdString();
    const QString shown = name.section(QLatin1Char(' '), -1);  // the image's path, maybe cut short
    EXPECT_TRUE(shown.startsWith(QLatin1Char('/')) && Path(k == 0 ? "first.iso" : "second.iso").startsWith(shown))
        << name.toStdString();
  }
  EXPECT_EQ(drives->currentIndex(), 0);
  EXPECT_EQ(LogLines(*Window), QStringList({"Initialization...", "Devices found:", drives->itemText(0),
                                            drives->itemText(1), ""}));
  // An image file has no write speeds: one (empty) entry, and the highest speed is asked for.
  EXPECT_EQ(Find<QComboBox>("cb_WriteSpeed")->count(), 1);
  EXPECT_EQ(Window->SpeedStep(), 0);
}

TEST_F(BurnWindowTest, BurnWritesTheListUnderTheRowCaptions) {
  const QString image = Path("disc.iso");
  const QString first = Source("a.bin", 70000, 'a');
  const QString second = Source("b.bin", 5000, 'q');
  const QString firstName = QStringLiteral("Holiday clip, part one.mp4");
  const QString secondName = QStringLiteral("Überraschung – Geburtstag.mkv");
  Open({image}, {{firstName, first}, {secondName, second}});
  Find<QCheckBox>("chk_Eject")->setChecked(false);

  Window->btn_BurnClick();

  EXPECT_TRUE(Prompter.Messages.empty());
  EXPECT_TRUE(Prompter.Questions.empty());
  EXPECT_EQ(Prompter.Beeps, std::vector<bool>({false}));
  EXPECT_EQ(Window->BurnProcessWindow(), nullptr);
  EXPECT_FALSE(Window->Burning());
  const QStringList lines = LogLines(*Window);
  const QStringList tail = lines.mid(lines.indexOf(QStringLiteral("Adding files...")));
  ASSERT_EQ(tail.size(), 9) << Window->LogText().toStdString();
  EXPECT_EQ(tail[1], QString());
  // The two files take less than a megabyte.
  EXPECT_EQ(tail[2], QStringLiteral("Data: 2 files, 1 MB"));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Disc: Image file, [0-9.,]+ [MG]B$")).match(tail[3]).hasMatch())
      << tail[3].toStdString();
  EXPECT_EQ(tail.mid(4), QStringList({"", "[t] Burning disc...", "[t] Closing track...", "[t] Success!", ""}));
  EXPECT_EQ(Window->LastLogColor(), KGreen);

  // Unchecking the eject switch removed that switch only.
  EXPECT_EQ(Window->Burner().Options().Switches(),
            burning::TBurningOptionSwitches({TBurningOptionSwitch::osFinalize,
                                             TBurningOptionSwitch::osUnderrunProtection}));

  // An independent reader finds the rows' captions and their contents on the disc.
  EXPECT_EQ(ImageNames(image), QStringList({firstName, secondName}));
  for (const auto& [name, source] : {std::pair{firstName, first}, std::pair{secondName, second}})
    EXPECT_EQ(Output(QStringLiteral("bsdtar"), {QStringLiteral("-xOf"), image, name}), testing_support::ReadBytes(source))
        << name.toStdString();
  EXPECT_TRUE(Output(QStringLiteral("isoinfo"), {QStringLiteral("-d"), QStringLiteral("-i"), image})
                  .contains("Volume id: MY_VIDEOS"));

  // The taskbar went to normal, followed the percent up to 100 and is cleared on close.
  ASSERT_FALSE(TaskbarLog.Calls.empty());
  EXPECT_EQ(TaskbarLog.Calls.front(), "State Normal");
  int last = -1;
  for (const std::string& call : TaskbarLog.Calls) {
    int value = 0;
    if (std::sscanf(call.c_str(), "Value %d/100", &value) != 1) continue;
    EXPECT_GE(value, last) << call;
    last = value;
  }
  EXPECT_EQ(last, 100);
  EXPECT_TRUE(Taskbar.Active());
  TaskbarLog.Calls.clear();
  Window->reject();
  EXPECT_EQ(TaskbarLog.Calls, std::vector<std::string>({"Value 0/100", "State NoProgress"}));
  EXPECT_FALSE(Taskbar.Active());
  EXPECT_FALSE(Window->Burner().Active());
}

/// Writes bytes to a file named by its own bytes (Qt's file classes cannot name every file).
bool WriteNamedBytes(const QByteArray& name, const QByteArray& bytes) {
  FILE* file = std::fopen(name.constData(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file) == size_t(bytes.size());
  return std::fclose(file) == 0 && written;
}

/// The bytes of a file named by its own bytes; empty when it cannot be read.
QByteArray ReadNamedBytes(const QByteArray& name) {
  QByteArray bytes;
  FILE* file = std::fopen(name.constData(), "rb");
  if (file == nullptr) return bytes;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, qsizetype(n));
  std::fclose(file);
  return bytes;
}

// A Latin-1 name (a file from an old disk or archive) is burnt under its own bytes: the window
// finds the file, the library reads it, and an independent reader finds name and data on the disc.
TEST_F(BurnWindowTest, LatinOneNameIsBurntUnderItsOwnBytes) {
  const QString image = Path("latin1.iso");
  const QByteArray sourceBytes = QFile::encodeName(FTemp.path()) + "/caf\xe9.avi";
  QByteArray data(40000, '\0');
  for (int i = 0; i < data.size(); ++i) data[i] = char('L' + i % 239);
  ASSERT_TRUE(WriteNamedBytes(sourceBytes, data));
  const QString source = platform::FileNameFromBytes(sourceBytes);
  // The caption the main list gives the row: the file's name, its bytes kept.
  const QString caption = platform::FileNameFromBytes(QByteArray("caf\xe9.avi"));
  Open({image}, {{caption, source}, {QStringLiteral("clip.avi"), Source("clip.avi", 3000, 'c')}});

  Window->btn_BurnClick();

  const QStringList lines = LogLines(*Window);
  EXPECT_TRUE(Prompter.Questions.empty());
  EXPECT_TRUE(lines.contains(QStringLiteral("Data: 2 files, 1 MB"))) << Window->LogText().toStdString();
  EXPECT_TRUE(lines.contains(QStringLiteral("[t] Success!"))) << Window->LogText().toStdString();
  // bsdtar takes the names from the Rock Ridge entries and writes them byte for byte.
  const QString out = Path("out");
  ASSERT_TRUE(QDir().mkpath(out));
  Output(QStringLiteral("bsdtar"), {QStringLiteral("-xf"), image, QStringLiteral("-C"), out});
  QList<QByteArray> names;
  for (const platform::TFolderEntry& entry : platform::ReadFolder(out))
    names << platform::FileNameToBytes(entry.Name);
  EXPECT_EQ(names, QList<QByteArray>({"caf\xe9.avi", "clip.avi"}));
  EXPECT_EQ(ReadNamedBytes(QFile::encodeName(out) + "/caf\xe9.avi"), data);
  // QTemporaryDir cannot find the names to remove them.
  ::unlink((QFile::encodeName(out) + "/caf\xe9.avi").constData());
  ::unlink(sourceBytes.constData());
}

// Every row the disc would lack is named in red with its reason and the user is asked; a disc
// burnt without them ends in a red line that counts them, never in "Success!".
TEST_F(BurnWindowTest, RowsItCannotBurnAreNamedAndTheLogNeverSaysSuccess) {
  const QString image = Path("partial.iso");
  const QString good = Source("good.bin", 3000, 'g');
  const QString missing = Path("missing.avi");
  const QString folder = Path("folder.avi");
  ASSERT_TRUE(QDir().mkpath(folder));
  Open({image}, {{QStringLiteral("Good.avi"), good},
                 {QStringLiteral("gone.avi"), missing},
                 {QStringLiteral("Folder.avi"), folder}});
  const QStringList refused = {missing + QStringLiteral("... no such file"),
                               folder + QStringLiteral("... is a folder")};
  const QString question = QStringLiteral("Some files were not added. Would you like to continue with burning?");

  // No: nothing is burnt.
  Prompter.Answers = {false};
  Window->btn_BurnClick();
  QStringList lines = LogLines(*Window);
  QStringList tail = lines.mid(lines.indexOf(QStringLiteral("Adding files...")));
  EXPECT_EQ(tail, QStringList({"Adding files...", refused[0], refused[1]})) << Window->LogText().toStdString();
  EXPECT_EQ(Window->LastLogColor(), Tfrm_Burn::KRed);
  ASSERT_EQ(Prompter.Questions.size(), 1u);
  EXPECT_EQ(Prompter.Questions[0].Caption, QStringLiteral("Warning"));
  EXPECT_EQ(Prompter.Questions[0].Text, question);
  EXPECT_FALSE(QFileInfo::exists(image));

  // Yes: the disc is burnt without them, and the log says so.
  Prompter.Answers = {true};
  Window->btn_BurnClick();
  lines = LogLines(*Window);
  tail = lines.mid(lines.lastIndexOf(QStringLiteral("Adding files...")));
  ASSERT_GE(tail.size(), 5) << Window->LogText().toStdString();
  EXPECT_EQ(tail.mid(0, 5), QStringList({"Adding files...", refused[0], refused[1], "", "Data: 1 file, 1 MB"}));
  EXPECT_EQ(tail.mid(tail.size() - 4), QStringList({"[t] Burning disc...", "[t] Closing track...",
                                                    "[t] Done. 2 files of the list are not on the disc.", ""}));
  EXPECT_FALSE(Window->LogText().contains(QStringLiteral("Success!")));
  EXPECT_EQ(Window->LastLogColor(), Tfrm_Burn::KRed);
  EXPECT_EQ(Prompter.Questions.size(), 2u);
  EXPECT_EQ(Prompter.Beeps, std::vector<bool>({true}));
  EXPECT_EQ(ImageNames(image), QStringList({"Good.avi"}));

  // With every row on the disc: "Success!".
  Window.reset();
  Open({Path("whole.iso")}, {{QStringLiteral("Good.avi"), good}});
  Window->btn_BurnClick();
  EXPECT_TRUE(LogLines(*Window).contains(QStringLiteral("[t] Success!"))) << Window->LogText().toStdString();
}

// A data disc takes files of 4 GiB and more (ISO 9660 level 3 writes them in several extents):
// a sparse file of 4.5 GiB burns to an image-file drive that discards what it gets.
TEST_F(BurnWindowTest, FileOfMoreThanFourGigabytesBurns) {
  const qint64 size = 4608LL * 1048576;  // 4.5 GiB
  const QString big = Path("big.bin");
  {
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(size));  // a hole: nothing is written to the disk
  }
  Open({QStringLiteral("/dev/null")}, {{QStringLiteral("Whole evening, uncut.mkv"), big}});
  ASSERT_EQ(Find<QComboBox>("cb_Device_Burn")->count(), 1);
  Find<QCheckBox>("chk_Eject")->setChecked(false);

  Window->btn_BurnClick();

  const QStringList lines = LogLines(*Window);
  EXPECT_TRUE(lines.contains(QStringLiteral("Data: 1 file, 4.50 GB"))) << Window->LogText().toStdString();
  EXPECT_TRUE(lines.contains(QStringLiteral("[t] Success!"))) << Window->LogText().toStdString();
  EXPECT_EQ(Window->LastLogColor(), KGreen);
  EXPECT_EQ(Window->Burner().ISOInfo().Level(), burning::TISOLevel::ilLevel3);
  EXPECT_TRUE(Prompter.Messages.empty());
}

TEST_F(BurnWindowTest, SecondBurnInTheSameWindowStartsFromAnEmptyProject) {
  const QString image = Path("again.iso");
  Open({image}, {{QStringLiteral("One.avi"), Source("one", 3000, '1')}});
  Window->btn_BurnClick();
  ASSERT_TRUE(Window->LogText().endsWith(QStringLiteral("Success!\n")));
  Window->btn_BurnClick();
  EXPECT_EQ(Window->LogText().count(QStringLiteral("Data: 1 file, 1 MB")), 2);
  EXPECT_EQ(Window->LogText().count(QStringLiteral("Success!")), 2);
  EXPECT_EQ(ImageNames(image), QStringList({"One.avi"}));
  // The eject switch stays as the box says.
  EXPECT_TRUE(Window->Burner().Options().Switches().Contains(TBurningOptionSwitch::osEjectAfterBurn));
}

TEST_F(BurnWindowTest, CancelMidBurnLogsTheAbortAndLeavesNoImage) {
  const QString image = Path("cancelled.iso");
  const QString big = Path("big.bin");
  {
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64(1) << 30));  // sparse: cheap to make, slow enough to write
  }
  Open({image}, {{QStringLiteral("Big.mkv"), big}});
  // Cancel is pressed once the first progress has been shown.
  auto shown = Window->Burner().OnProcess;
  QString written;
  bool pressed = false;
  Window->Burner().OnProcess = [&](burning::TDiscBurnerSDK* sender, float p, float d, float c, double w, double s) {
    shown(sender, p, d, c, w, s);
    if (pressed || Window->BurnProcessWindow() == nullptr) return;
    pressed = true;
    written = Window->BurnProcessWindow()->lbl_Written->text();
    Window->BurnProcessWindow()->btn_Cancel->click();
    EXPECT_FALSE(Window->BurnProcessWindow()->btn_Cancel->isEnabled());
  };

  Window->btn_BurnClick();

  ASSERT_TRUE(pressed);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Written: [0-9,]+ of 1,0[0-9][0-9] MB$")).match(written).hasMatch())
      << written.toStdString();
  const QStringList lines = LogLines(*Window);
  EXPECT_TRUE(lines.contains(QStringLiteral("Data: 1 file, 1.00 GB"))) << Window->LogText().toStdString();
  EXPECT_FALSE(lines.contains(QStringLiteral("[t] Success!")));
  EXPECT_EQ(lines.mid(lines.size() - 2), QStringList({"[t] Burning aborted by the user", ""}));
  EXPECT_EQ(Window->LastLogColor(), KRed);
  EXPECT_EQ(Prompter.Beeps, std::vector<bool>({true}));
  EXPECT_FALSE(QFileInfo::exists(image));
  EXPECT_NE(std::find(TaskbarLog.Calls.begin(), TaskbarLog.Calls.end(), "State Error"), TaskbarLog.Calls.end());
}

TEST_F(BurnWindowTest, BurnThatCannotStartClosesItsWindowAndLogsWhy) {
  const QString image = Path("never.iso");
  const QString source = Source("vanishing.bin", 4000, 'v');
  Open({image}, {{QStringLiteral("Vanishing.avi"), source}});
  // The source goes away after the project was checked, just before the burn starts.
  bool removed = false;
  QTimer poll;
  poll.setInterval(0);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (removed || Window->BurnProcessWindow() == nullptr) return;
    removed = QFile::remove(source);
  });
  poll.start();

  Window->btn_BurnClick();  // returns: the progress window closed on its own
  poll.stop();

  ASSERT_TRUE(removed);
  EXPECT_EQ(Window->BurnProcessWindow(), nullptr);
  const QStringList lines = LogLines(*Window);
  ASSERT_GE(lines.size(), 3);
  EXPECT_EQ(lines[lines.size() - 3], QStringLiteral("[t] Burning disc..."));
  EXPECT_TRUE(lines[lines.size() - 2].startsWith(QStringLiteral("[t] ")));
  EXPECT_TRUE(lines[lines.size() - 2].contains(source)) << lines[lines.size() - 2].toStdString();
  EXPECT_EQ(lines.back(), QString());
  EXPECT_EQ(Window->LastLogColor(), KRed);
  EXPECT_EQ(Prompter.Beeps, std::vector<bool>({true}));
  EXPECT_NE(std::find(TaskbarLog.Calls.begin(), TaskbarLog.Calls.end(), "State Error"), TaskbarLog.Calls.end());
  EXPECT_NE(std::find(TaskbarLog.Calls.begin(), TaskbarLog.Calls.end(), "Value 100/100"), TaskbarLog.Calls.end());
  EXPECT_FALSE(QFileInfo::exists(image));
}

// A drive that takes no byte (/dev/full, as a filled file system under an image): the log
// gives the library's reason, with the system's, below "Burning disc...".
TEST_F(BurnWindowTest, BurnThatFailsWhileWritingLogsTheReason) {
  Open({QStringLiteral("/dev/full")}, {{QStringLiteral("Clip.avi"), Source("clip.bin", 300000, 'c')}});
  Window->btn_BurnClick();
  EXPECT_EQ(Window->BurnProcessWindow(), nullptr);
  const QStringList lines = LogLines(*Window);
  ASSERT_GE(lines.size(), 3);
  const int burning = lines.indexOf(QStringLiteral("[t] Burning disc..."));
  ASSERT_GE(burning, 0);
  EXPECT_TRUE(lines[lines.size() - 2].startsWith(QStringLiteral("[t] Burn run failed: ")))
      << lines[lines.size() - 2].toStdString();
  EXPECT_TRUE(lines[lines.size() - 2].endsWith(QStringLiteral("(No space left on device)")))
      << lines[lines.size() - 2].toStdString();
  EXPECT_FALSE(lines.contains(QStringLiteral("[t] Success!")));
  EXPECT_EQ(Window->LastLogColor(), Tfrm_Burn::KRed);
}

TEST_F(BurnWindowTest, ProjectLargerThanTheDiscIsRefusedBeforeBurning) {
  const QString roomy = Path("roomy.iso");
  const QString small = Path("small.iso");
  Open({roomy}, {{QStringLiteral("Three megabytes.avi"), Source("three", 3 * 1048576, 'x')}});
  // A second image drive that holds one megabyte.
  qunsetenv("CONVERTER_BURN_DRIVES");
  ASSERT_TRUE(app::AddBurnPseudoDrives(Window->Burner().DLLName(), {small}, 1048576).isEmpty());
  Window->InitDevices();
  auto* drives = Find<QComboBox>("cb_Device_Burn");
  ASSERT_EQ(drives->count(), 2);
  drives->setCurrentIndex(1);
  Window->cb_Device_BurnChange();

  Window->btn_BurnClick();

  const QStringList lines = LogLines(*Window);
  EXPECT_TRUE(lines.contains(QStringLiteral("Data: 1 file, 4 MB")));
  ASSERT_GE(lines.size(), 2);
  EXPECT_TRUE(lines[lines.size() - 2].contains(QStringLiteral("1 MB"))) << lines[lines.size() - 2].toStdString();
  EXPECT_EQ(lines.back(), QString());
  EXPECT_EQ(Window->LastLogColor(), KRed);
  EXPECT_FALSE(lines.contains(QStringLiteral("[t] Burning disc...")));
  EXPECT_TRUE(TaskbarLog.Calls.empty());
  EXPECT_FALSE(Taskbar.Active());
  EXPECT_FALSE(Window->Burning());
  EXPECT_FALSE(QFileInfo::exists(small));
  EXPECT_TRUE(Prompter.Beeps.empty());
}

TEST_F(BurnWindowTest, EraseThatCannotStartClosesItsWindowAndIgnoresBurnEvents) {
  // An image file that already holds data cannot be blanked: the erase is refused at its start.
  const QString image = Path("used.iso");
  Source("used.iso", 64 * 1024, 'u');
  Open({image});
  Prompter.Answers = {true};

  // While the erase window is up, a burn's done event arrives: it must change nothing.
  bool checked = false;
  QTimer poll;
  poll.setInterval(0);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (checked || Window->EraseWindow() == nullptr) return;
    checked = true;
    EXPECT_TRUE(Window->Erasing());
    const QString log = Window->LogText();
    const auto taskbar = TaskbarLog.Calls;
    const auto beeps = Prompter.Beeps;
    const bool done = Window->EraseWindow()->Done;
    Window->BurnerBurnDone(QStringLiteral("Write error"));
    EXPECT_EQ(Window->LogText(), log);
    EXPECT_EQ(TaskbarLog.Calls, taskbar);
    EXPECT_EQ(Prompter.Beeps, beeps);
    EXPECT_EQ(Window->EraseWindow()->Done, done);
  });
  poll.start();

  Window->btn_Erase_BurnClick();
  poll.stop();

  ASSERT_TRUE(checked);
  ASSERT_EQ(Prompter.Questions.size(), 1u);
  EXPECT_EQ(Prompter.Questions[0].Caption, QStringLiteral("Warning"));
  EXPECT_EQ(Prompter.Questions[0].Text,
            QStringLiteral("Are you sure you want to erase the disc?\rErasing will remove all information from the disc."));
  EXPECT_FALSE(Window->Erasing());
  EXPECT_EQ(Window->EraseWindow(), nullptr);
  const QStringList lines = LogLines(*Window);
  ASSERT_GE(lines.size(), 4);
  EXPECT_EQ(lines[lines.size() - 4], QStringLiteral("[t] Erasing disc..."));
  // The library's reason, then the window's verdict.
  EXPECT_TRUE(lines[lines.size() - 3].startsWith(QStringLiteral("[t] "))) << lines[lines.size() - 3].toStdString();
  EXPECT_GT(lines[lines.size() - 3].size(), 4);
  EXPECT_EQ(lines.mid(lines.size() - 2), QStringList({"[t] Error!", ""}));
  EXPECT_EQ(Window->LastLogColor(), KRed);
  EXPECT_EQ(Prompter.Beeps, std::vector<bool>({true}));
  EXPECT_TRUE(TaskbarLog.Calls.empty());
  EXPECT_EQ(testing_support::ReadBytes(image).size(), 64 * 1024);
}

TEST_F(BurnWindowTest, EraseAnsweredNoDoesNothing) {
  Open({Path("kept.iso")});
  const QString log = Window->LogText();
  Prompter.Answers = {false};
  Window->btn_Erase_BurnClick();
  EXPECT_EQ(Prompter.Questions.size(), 1u);
  EXPECT_EQ(Window->LogText(), log);
  EXPECT_FALSE(Window->Erasing());
}

class BurnCommandTest : public testing_support::MainWindowFixture {};

TEST_F(BurnCommandTest, BurnOpensTheBurnWindowWithTheRows) {
  qunsetenv("CONVERTER_BURN_DRIVES");
  AddFile(QStringLiteral("b.avi"), QStringLiteral("/videos"), 1000000, 10);
  AddFile(QStringLiteral("a.mkv"), QStringLiteral("/other"), 1000000, 10);
  const TBurnInput input = app::MakeBurnInput(*Window);
  ASSERT_EQ(input.Rows.size(), 2u);
  EXPECT_EQ(input.Rows[0].Caption, Window->RowCaption(0));
  EXPECT_EQ(input.Rows[0].Path, Window->SubItem(0, 2));
  EXPECT_EQ(input.Rows[1].Path, Window->SubItem(1, 2));
  EXPECT_EQ(input.Taskbar, Window->prg_Win7());
  EXPECT_EQ(input.DLLName, QCoreApplication::applicationDirPath() + QStringLiteral("/libdiscburn.so"));

  // The command shows the window, which loads the library from the program's folder; with no
  // drive it says so and closes, and the command returns.
  app::WireBurnWindow(*Window);
  Window->btn_BurnClick();
  ASSERT_EQ(Prompter.Messages.size(), 1u);
  EXPECT_EQ(Prompter.Messages[0].Text, KNoDrive);
}

}  // namespace
