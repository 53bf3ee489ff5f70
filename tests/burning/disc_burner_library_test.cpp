// The component on the real burning library (libdiscburn.so over libburn/libisofs), burning a
// data project to an image-file drive that an independent reader (bsdtar) then reads back.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "burning/disc_burner_sdk.h"
#include "burning_test_app.h"

namespace burning {
namespace {

class BurningLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    burning_test::App();
    const char* tmp = getenv("CONVERTER_TEST_TMP");
    FDir = std::make_unique<QTemporaryDir>(QDir(tmp ? tmp : QDir::tempPath()).filePath("burnlib-XXXXXX"));
    ASSERT_TRUE(FDir->isValid());
    Burner = std::make_unique<TDiscBurnerSDK>();
    Burner->SetDLLName(QStringLiteral(DISCBURN_PATH));
    Burner->SetEnableImageDevice(true);
    Burner->SetTempPath(FDir->path());
  }
  void TearDown() override { Burner.reset(); }

  QString Path(const QString& name) const { return FDir->filePath(name); }

  // Adds an image-file drive through the library's test export.
  void AddImageDrive(const QString& file) {
    void* handle = dlopen(DISCBURN_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    auto add = reinterpret_cast<DBFn_AddPseudoDrive>(dlsym(handle, "AddPseudoDrive"));
    ASSERT_NE(add, nullptr);
    const QString address = QStringLiteral("stdio:") + file;
    EXPECT_EQ(add(reinterpret_cast<const db_char*>(address.utf16()), 0), 0);
    dlclose(handle);
  }

  template <typename Pred>
  bool PumpUntil(Pred done) {
    return burning_test::PumpUntil(done, 120);
  }

  std::unique_ptr<TDiscBurnerSDK> Burner;

 private:
  std::unique_ptr<QTemporaryDir> FDir;
};

TEST_F(BurningLibraryTest, BurnsADataProjectToAnImageFile) {
  QFile source(Path(QStringLiteral("clip source.bin")));
  ASSERT_TRUE(source.open(QIODevice::WriteOnly));
  QByteArray content(300000, '\0');
  for (int i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
  source.write(content);
  source.close();

  Burner->SetActive(true);
  ASSERT_TRUE(Burner->Active()) << Burner->GetErrorString().toStdString();
  // The drive's "disc": an empty file, as a blank medium.
  const QString image = Path(QStringLiteral("disc.iso"));
  ASSERT_TRUE(QFile(image).open(QIODevice::WriteOnly));
  AddImageDrive(image);
  ASSERT_TRUE(Burner->RescanDevices()) << Burner->GetErrorString().toStdString();
  ASSERT_GE(Burner->DeviceCount(), 2);
  Burner->SetBurnDevice(2);
  ASSERT_EQ(Burner->LastError(), 0) << Burner->GetErrorString().toStdString();
  ASSERT_TRUE(Burner->GetMediumInfo(0)) << Burner->GetErrorString().toStdString();
  EXPECT_NE(Burner->MediumInfo().Status, 0);

  Burner->Options().SetVolumeLabel(QStringLiteral("My Videos"));
  Burner->Options().SetSwitches({TBurningOptionSwitch::osJolietFileSystem,
                                 TBurningOptionSwitch::osRockRidgeFileSystem,
                                 TBurningOptionSwitch::osFinalize});
  Burner->ISOInfo().SetLevel(TISOLevel::ilLevel3);
  Burner->SetProjectType(TProjectType::ptData);
  ASSERT_EQ(Burner->LastError(), 0) << Burner->GetErrorString().toStdString();
  ASSERT_TRUE(Burner->AddFile(source.fileName(), QStringLiteral("\\"), QStringLiteral("Clip One.bin"), false, 0))
      << Burner->GetErrorString().toStdString();
  EXPECT_EQ(Burner->GetProjectSize(), content.size());
  EXPECT_EQ(Burner->GetProjectFileCount(), 1);

  QString burnError = QStringLiteral("(none)");
  bool jobDone = false;
  Burner->OnBurnDone = [&](TDiscBurnerSDK*, const QString& error) { burnError = error; };
  Burner->OnJobDone = [&](TDiscBurnerSDK*) { jobDone = true; };
  ASSERT_TRUE(Burner->Prepare()) << Burner->GetErrorString().toStdString();
  ASSERT_TRUE(Burner->Burn()) << Burner->GetErrorString().toStdString();
  ASSERT_TRUE(PumpUntil([&] { return jobDone; }));
  EXPECT_EQ(burnError.toStdString(), "");
  Burner->SetActive(false);

  QProcess bsdtar;
  bsdtar.start(QStringLiteral("bsdtar"), {QStringLiteral("-xOf"), image, QStringLiteral("Clip One.bin")});
  ASSERT_TRUE(bsdtar.waitForFinished(60000));
  EXPECT_EQ(bsdtar.exitCode(), 0) << bsdtar.readAllStandardError().toStdString();
  EXPECT_EQ(bsdtar.readAllStandardOutput(), content);
}

TEST_F(BurningLibraryTest, LibraryTextsForTheComponentsCodes) {
  Burner->SetActive(true);
  ASSERT_TRUE(Burner->Active());
  // Code 3 is set by the component; its text comes from the library.
  std::vector<TFileEntry> entries;
  EXPECT_FALSE(Burner->ReadFolder(QStringLiteral("\\"), entries));
  EXPECT_EQ(Burner->LastError(), 3);
  EXPECT_FALSE(Burner->GetErrorString().isEmpty());
  // A project kind this library does not build: refused with a text, the project type reset.
  Burner->SetProjectType(TProjectType::ptVideoDVD);
  EXPECT_NE(Burner->LastError(), 0);
  EXPECT_EQ(Burner->ProjectType(), TProjectType::ptNone);
  EXPECT_FALSE(Burner->GetErrorString().isEmpty());
}

}  // namespace
}  // namespace burning
