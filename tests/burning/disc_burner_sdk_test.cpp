#include "burning/disc_burner_sdk.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <functional>

#include "burning/burner_binding.h"
#include "burning_test_support.h"

namespace burning {
namespace {

using burning_test::FakeLibraryTest;

// A packed record's field at `offset`, written as UTF-16 text.
template <typename Record>
void Put(Record& record, size_t offset, const std::u16string& text) {
  std::memcpy(reinterpret_cast<unsigned char*>(&record) + offset, text.data(), text.size() * 2);
}

DBFileEntry Entry(const std::u16string& name, uint64_t size, uint32_t attributes) {
  DBFileEntry e;
  std::memset(&e, 0, sizeof e);
  Put(e, offsetof(DBFileEntry, Name), name);
  e.SizeLow = static_cast<uint32_t>(size);
  e.SizeHigh = static_cast<uint32_t>(size >> 32);
  e.Attributes = attributes;
  return e;
}

std::string Message(const std::function<void()>& call) {
  try {
    call();
  } catch (const EDiscBurnerSDK& e) {
    return e.what();
  }
  return "(no exception)";
}

TEST(BurnerBinding, LoadResults) {
  struct Case {
    const char* name;
    std::string path;
    int result;
  };
  const Case cases[] = {
      {"complete", FAKE_DISCBURN_PATH, 0},
      {"missing file", std::string(FAKE_DISCBURN_PATH) + ".absent", 1},
      {"not a library", "/etc/hostname", 1},
      {"one export missing", FAKE_DISCBURN_INCOMPLETE_PATH, 2},
  };
  for (const Case& c : cases) {
    TBurnerBinding binding;
    EXPECT_EQ(binding.LoadBurnerDLL(c.path), c.result) << c.name;
    EXPECT_EQ(binding.Loaded(), c.result == 0) << c.name;
    EXPECT_EQ(binding.Fn().Initialize != nullptr, c.result == 0) << c.name;
  }
  // The incomplete library is released again, not left loaded.
  EXPECT_EQ(dlopen(FAKE_DISCBURN_INCOMPLETE_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(FakeLibraryTest, ActivationResultsAndTexts) {
  struct Case {
    const char* name;
    QString dll;
    int32_t initializeResult;
    bool active;
    int32_t lastError;
    QString text;
  };
  Fake->Texts[77] = u"Drive not ready";
  const Case cases[] = {
      {"missing file", QStringLiteral(FAKE_DISCBURN_PATH ".absent"), 0, false, 4097,
       "SDK DLL file not found"},
      {"one export missing", QStringLiteral(FAKE_DISCBURN_INCOMPLETE_PATH), 0, false, 4098,
       "Structure error in SDK DLL: functions not found"},
      // The library is released again at once, so its own text is no longer reachable.
      {"initialisation refused", QStringLiteral(FAKE_DISCBURN_PATH), 77, false, 77, ""},
      {"loaded", QStringLiteral(FAKE_DISCBURN_PATH), 0, true, 0, ""},
  };
  for (const Case& c : cases) {
    Fake->Results["Initialize"] = c.initializeResult;
    Burner->SetDLLName(c.dll);
    Burner->SetActive(true);
    EXPECT_EQ(Burner->Active(), c.active) << c.name;
    EXPECT_EQ(Burner->LastError(), c.lastError) << c.name;
    EXPECT_EQ(Burner->GetErrorString(), c.text) << c.name;
  }
}

TEST_F(FakeLibraryTest, ActivationCallsInOrder) {
  Burner->SetInitASPIType(TASPIType::atFrogASPI);
  Burner->SetEnableImageDevice(true);
  Burner->SetTempPath(QStringLiteral("/tmp/burn"));
  Burner->SetLanguage(QStringLiteral("Deutsch"));
  Burner->SetLanguageFile(QStringLiteral("/usr/share/de.lng"));
  Activate();
  EXPECT_EQ(Fake->InitializeArgs[0], 2);
  EXPECT_EQ(Fake->InitializeArgs[1], 1);
  EXPECT_EQ(Fake->TmpPath, u"/tmp/burn");
  EXPECT_EQ(Fake->Language, u"Deutsch");
  EXPECT_EQ(Fake->LanguageFile, u"/usr/share/de.lng");
  EXPECT_EQ(Fake->EnableImageDeviceArg, 1);
  EXPECT_EQ(Fake->EnableMCNDisablingArg, 1);  // notification off: disabling on
  EXPECT_EQ(Fake->InfoTextLevelArg, 3);
  const std::vector<std::string> registration = {
      "InfoText", "Process", "BurnFile", "EraseDone", "Finalize", "BurnDone", "JobDone",
      "AddFile", "CreateDir", "RemoveFile", "AudioDecodeDone", "VideoScanner", "VideoScanDone",
      "StartVerify", "VerifyFile", "VerifyError", "VerifyDone", "RAWData",
      "CompareFilesForArrangement"};
  EXPECT_EQ(Fake->RegistrationOrder, registration);
  const std::vector<std::string> expected = {
      "Initialize", "SetTmpPath", "SetLanguage", "EnableImageDevice", "EnableMCNDisabling",
      "SetInfoTextEventCallback"};
  std::vector<std::string> head(Fake->Calls.begin(), Fake->Calls.begin() + 6);
  EXPECT_EQ(head, expected);
  const std::vector<std::string> tail = {
      "GetBurnDevice", "DeleteProject", "GetOptions", "SetOptions", "GetISOInfoEx",
      "SetISOInfoEx", "GetBootInfoEx", "SetBootInfoEx", "GetCompressEncrypt",
      "SetCompressEncrypt", "GetUDFOptions", "SetUDFOptions"};
  std::vector<std::string> last(Fake->Calls.end() - tail.size(), Fake->Calls.end());
  EXPECT_EQ(last, tail);

  Fake->Calls.clear();
  Burner->SetActive(false);
  EXPECT_FALSE(Burner->Active());
  EXPECT_EQ(Fake->Calls, (std::vector<std::string>{"ResetCallbacks", "DeInitialize"}));
}

TEST_F(FakeLibraryTest, SecondActiveInstanceIsRefused) {
  Activate();
  TDiscBurnerSDK second;
  second.SetDLLName(QStringLiteral(FAKE_DISCBURN_PATH));
  EXPECT_EQ(Message([&] { second.SetActive(true); }),
            "Only one instance of TDiscBurnerSDK can be active at a time");
  EXPECT_FALSE(second.Active());
  Burner->SetActive(false);
  second.SetActive(true);
  EXPECT_TRUE(second.Active());
  second.SetActive(false);
}

TEST_F(FakeLibraryTest, GuardedCallsWhileInactive) {
  std::vector<TFileEntry> entries;
  const std::pair<const char*, std::function<void()>> calls[] = {
      {"RescanDevices", [&] { Burner->RescanDevices(); }},
      {"GetDeviceInfo", [&] { Burner->GetDeviceInfo(0); }},
      {"GetMediumInfo", [&] { Burner->GetMediumInfo(0); }},
      {"GetBurnSpeed", [&] { Burner->GetBurnSpeed(); }},
      {"SetBurnSpeed", [&] { Burner->SetBurnSpeed(-1); }},
      {"AddFile", [&] { Burner->AddFile("/a", "\\", "a", false, 0); }},
      {"ClearAll", [&] { Burner->ClearAll(); }},
      {"GetProjectSize", [&] { Burner->GetProjectSize(); }},
      {"GetProjectFileCount", [&] { Burner->GetProjectFileCount(); }},
      {"OpenSession", [&] { Burner->OpenSession(0); }},
      {"ReadFolder", [&] { Burner->ReadFolder("\\", entries); }},
      {"SetBurnDevice", [&] { Burner->SetBurnDevice(1); }},
      {"Erase", [&] { Burner->Erase(true, false); }},
      {"Prepare", [&] { Burner->Prepare(); }},
      {"Burn", [&] { Burner->Burn(); }},
      {"Abort", [&] { Burner->Abort(); }},
  };
  for (const auto& [name, call] : calls) {
    EXPECT_EQ(Message(call), "Program DLL must be Active for this function") << name;
    EXPECT_EQ(Burner->LastError(), 4096) << name;
    EXPECT_EQ(Burner->GetErrorString(), "SDK DLL is not initialized") << name;
  }
  EXPECT_TRUE(Fake->Calls.empty());
  EXPECT_EQ(Burner->SpeedToText(7056), "");  // nothing loaded to convert with
}

TEST_F(FakeLibraryTest, DeviceIndexBounds) {
  Fake->Devices = {u"A: Image Writer", u"B: ACME Writer 9000", u"C: Other Drive"};
  Fake->BurnLetters = u"BC";
  // Out of 1..26: refused before the active check.
  for (int index : {0, -1, 27}) {
    EXPECT_EQ(Message([&] { Burner->SetBurnDevice(index); }), "BurnDevice index out of bounds")
        << index;
  }
  Activate();
  ASSERT_TRUE(Burner->RescanDevices());
  EXPECT_EQ(Burner->DeviceCount(), 3);
  EXPECT_EQ(Burner->BurnDeviceCount(), 2);
  EXPECT_EQ(Burner->BurnDeviceIndex(1), 2);
  EXPECT_EQ(Burner->BurnDeviceIndex(2), 3);
  EXPECT_EQ(Burner->GetDeviceName(2), "B: ACME Writer 9000");
  for (int index : {0, 4}) {
    EXPECT_EQ(Message([&] { Burner->GetDeviceName(index); }), "Devices index out of bounds")
        << index;
  }
  // Inside 1..26 but past the device count: the entry is empty, its letter would be NUL.
  EXPECT_EQ(Message([&] { Burner->SetBurnDevice(4); }), "BurnDevice index out of bounds");
  EXPECT_TRUE(Fake->SetBurnDeviceLetters.empty());
  Burner->SetBurnDevice(3);
  EXPECT_EQ(Fake->SetBurnDeviceLetters, std::vector<int32_t>{'C'});
  EXPECT_EQ(Burner->LastError(), 0);
}

TEST_F(FakeLibraryTest, DeviceCountIsClampedToTheTable) {
  for (int i = 0; i < 26; ++i)
    Fake->Devices.push_back(std::u16string(1, char16_t(u'A' + i)) + u": drive");
  Fake->ReportedDeviceCount = 40;
  Activate();
  ASSERT_TRUE(Burner->RescanDevices());
  EXPECT_EQ(Burner->DeviceCount(), 26);
  EXPECT_EQ(Burner->GetDeviceName(26), "Z: drive");
  Fake->ReportedDeviceCount = -5;
  ASSERT_TRUE(Burner->RescanDevices());
  EXPECT_EQ(Burner->DeviceCount(), 0);
}

TEST_F(FakeLibraryTest, FailedCreateProjectKeepsItsCode) {
  Activate();
  Fake->Results["CreateProject"] = 42;
  Fake->Calls.clear();
  Burner->SetProjectType(TProjectType::ptData);
  EXPECT_EQ(Burner->ProjectType(), TProjectType::ptNone);
  EXPECT_EQ(Burner->LastError(), 42);
  EXPECT_EQ(Fake->ProjectType, 2);
  EXPECT_EQ(Fake->ProjectSession, -1);
  // The blocks were still pushed after the failure.
  EXPECT_TRUE(Fake->Called("DeleteProject"));
  EXPECT_TRUE(Fake->Called("SetUDFOptions"));

  Fake->Results["CreateProject"] = 0;
  Burner->SetProjectType(TProjectType::ptData);
  EXPECT_EQ(Burner->ProjectType(), TProjectType::ptData);
  EXPECT_EQ(Burner->LastError(), 0);
}

TEST_F(FakeLibraryTest, SpeedToText) {
  Activate();
  EXPECT_EQ(Burner->SpeedToText(7056), "40x");  // 7056 / 176.4 = 40
  EXPECT_EQ(Burner->SpeedToText(1385), "8x");   // 7.85
  struct Case {
    double multiple;
    const char* text;
  };
  for (const Case& c : {Case{40.5, "40x"}, Case{41.5, "42x"}, Case{0.5, "0x"}, Case{2.5000001, "3x"}}) {
    Fake->SpeedMultiple = c.multiple;
    EXPECT_EQ(Burner->SpeedToText(1), c.text) << c.multiple;
  }
  Fake->Results["ConvertSpeedFromKBPerSec"] = 9;
  EXPECT_EQ(Burner->SpeedToText(7056), "");
}

TEST_F(FakeLibraryTest, BurnSpeed) {
  Activate();
  Fake->BurnSpeed = 7056;
  EXPECT_EQ(Burner->GetBurnSpeed(), 7056);
  Fake->Results["GetBurnSpeed"] = 12;
  EXPECT_EQ(Burner->GetBurnSpeed(), -1);
  EXPECT_EQ(Burner->LastError(), 12);
  EXPECT_EQ(Burner->SetBurnSpeed(-1), 0);
  EXPECT_EQ(Fake->LastSetSpeed, -1);
}

TEST_F(FakeLibraryTest, LibraryErrorsAndTheirTexts) {
  Activate();
  Fake->Texts[5] = u"Medium is not writable";
  Fake->Results["Prepare"] = 5;
  EXPECT_FALSE(Burner->Prepare());
  EXPECT_EQ(Burner->LastError(), 5);
  EXPECT_EQ(Burner->GetErrorString(), "Medium is not writable");
  EXPECT_EQ(Burner->ErrorDeviceName(), "Fake Drive");

  // A failing device-name query clears the kept name; a failing GetText gives no text.
  Fake->Results["GetErrorDeviceName"] = 1;
  Fake->Results["GetText"] = 1;
  EXPECT_FALSE(Burner->Prepare());
  EXPECT_EQ(Burner->ErrorDeviceName(), "");
  EXPECT_EQ(Burner->GetErrorString(), "");

  // A library that reports more characters than the buffer holds: cut to the buffer.
  Fake->Results["GetText"] = 0;
  Fake->Texts[5] = std::u16string(3000, u'x');
  EXPECT_EQ(Burner->GetErrorString(), QString(1024, QLatin1Char('x')));
}

TEST_F(FakeLibraryTest, NoSessionTextComesFromTheLibrary) {
  Activate();
  Fake->Texts[3] = u"No disc session open";
  std::vector<TFileEntry> entries;
  EXPECT_FALSE(Burner->ReadFolder("\\", entries));
  EXPECT_EQ(Burner->LastError(), 3);
  EXPECT_EQ(Burner->GetErrorString(), "No disc session open");
}

TEST_F(FakeLibraryTest, ProjectSizeAndFileCount) {
  Activate();
  EXPECT_EQ(Burner->GetProjectSize(), 0);
  EXPECT_EQ(Burner->GetProjectFileCount(), 0);
  EXPECT_EQ(Fake->OpenDiskSessionArgs[0], 0);
  EXPECT_EQ(Fake->OpenDiskSessionArgs[1], 0);

  Fake->Folders[u"\\"] = {Entry(u"big.mkv", (uint64_t(1) << 32) + 5, 0x20),
                          Entry(u"Sub", 4096, 0x10), Entry(u"Empty", 0, 0x11)};
  Fake->Folders[u"\\Sub\\"] = {Entry(u"a.mp4", 10, 0), Entry(u"Deeper", 0, 0x10)};
  Fake->Folders[u"\\Sub\\Deeper\\"] = {Entry(u"b.mp4", 20, 0x01)};
  EXPECT_EQ(Burner->GetProjectSize(), (int64_t(1) << 32) + 35);
  EXPECT_EQ(Burner->GetProjectFileCount(), 3);
  EXPECT_EQ(Fake->OpenDirectories, 0);  // every directory opened was closed again

  std::vector<TFileEntry> entries;
  ASSERT_TRUE(Burner->ReadFolder("\\Sub\\", entries));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].Name, "Deeper");
  EXPECT_TRUE(entries[1].IsFolder());
}

TEST_F(FakeLibraryTest, FolderNamedLikeItsParentDoesNotLoop) {
  Activate();
  Fake->Folders[u"\\"] = {Entry(u"", 0, 0x10), Entry(u".", 0, 0x10), Entry(u"..", 0, 0x10),
                          Entry(u"f", 7, 0)};
  EXPECT_EQ(Burner->GetProjectSize(), 7);
}

TEST_F(FakeLibraryTest, AddFileRecord) {
  Activate();
  QString seenPath;
  std::thread::id seenThread;
  Burner->OnAddFile = [&](TDiscBurnerSDK* sender, const QString& fullPath, const QString&,
                          const QString&, const QString&, double, double size) {
    EXPECT_EQ(sender, Burner.get());
    seenPath = fullPath;
    seenThread = std::this_thread::get_id();
    EXPECT_EQ(size, 1234.0);
  };
  ASSERT_TRUE(Burner->AddFile(QStringLiteral("/home/u/Vidéo 1.mkv"), QStringLiteral("\\"),
                              QStringLiteral("Vidéo 1.mkv"), false, 0));
  ASSERT_EQ(Fake->AddedFiles.size(), 1u);
  const TFakeAddedFile& f = Fake->AddedFiles[0];
  EXPECT_EQ(f.Source, u"/home/u/Vidéo 1.mkv");
  EXPECT_EQ(f.Folder, u"\\");
  EXPECT_EQ(f.Name, u"Vidéo 1.mkv");
  EXPECT_EQ(f.Switch, 0);
  EXPECT_EQ(f.Value, 0);
  EXPECT_EQ(f.Reserved, std::vector<uint8_t>(8, 0));
  EXPECT_EQ(seenPath, "/home/u/Vidéo 1.mkv");
  EXPECT_EQ(seenThread, std::this_thread::get_id());

  Burner->AddFile("/x", "\\Sub\\", "y", true, 200);
  EXPECT_EQ(Fake->AddedFiles[1].Switch, 1);
  EXPECT_EQ(Fake->AddedFiles[1].Value, 200);
}

TEST_F(FakeLibraryTest, DeviceInformation) {
  Fake->Devices = {u"A: Image", u"D: ACME Writer"};
  Fake->Capabilities[0x1] = 1;        // position 0
  Fake->Capabilities[-35] = 1;        // code 35: position 13
  Fake->Capabilities[0x80000000] = 1; // position 34
  Fake->Capabilities[0x10004] = 1;    // second group 0x4: position 35
  Fake->Capabilities[-1] = 1;         // code 1: position 49
  Fake->Capabilities[-34] = 1;        // code 34: position 82
  Put(Fake->DeviceEx, offsetof(DBDeviceInfoEx, Address), u"/dev/sr0");
  Fake->DeviceEx.BufferSize = 2048;
  Activate();
  ASSERT_TRUE(Burner->RescanDevices());
  std::vector<int> fired;
  Burner->OnGetDeviceInfo = [&](TDiscBurnerSDK*, int index) { fired.push_back(index); };
  ASSERT_TRUE(Burner->GetDeviceInfo(0));
  EXPECT_EQ(fired, (std::vector<int>{1, 2}));
  EXPECT_EQ(Fake->SetReadDeviceLetters, (std::vector<int32_t>{'A', 'D'}));
  const TDeviceInfo& info = Burner->DeviceInfo(2);
  EXPECT_EQ(info.VendorID, "ACME");
  EXPECT_EQ(info.ProductID, "Writer 9000");
  EXPECT_EQ(info.Revision, "1.0");
  EXPECT_EQ(info.Address, "/dev/sr0");
  EXPECT_EQ(info.BufferSize, 2048);
  ASSERT_EQ(Fake->CapabilityQueries.size(), 2u * 83u);
  std::vector<int> present;
  for (int i = 0; i < 83; ++i)
    if (info.Capabilities[i]) present.push_back(i);
  EXPECT_EQ(present, (std::vector<int>{0, 13, 34, 35, 49, 82}));
  EXPECT_EQ(Fake->CallCount("ReleaseDeviceCapabilities"), 2);

  EXPECT_EQ(Message([&] { Burner->GetDeviceInfo(3); }), "Devices index out of bounds");
}

TEST_F(FakeLibraryTest, MediumInformation) {
  Put(Fake->Medium, offsetof(DBMediumInfo, MediumType), u"DVD-RW");
  Put(Fake->Medium, offsetof(DBMediumInfo, MediumId), u"RITEKW04");
  Fake->Medium.Size = 4707319808.0;
  Fake->Medium.Status = 7;
  Activate();
  ASSERT_TRUE(Burner->GetMediumInfo(0));
  EXPECT_EQ(Burner->MediumInfo().MediumType, "DVD-RW");
  EXPECT_EQ(Burner->MediumInfo().MediumId, "RITEKW04");
  EXPECT_EQ(Burner->MediumInfo().Size, 4707319808.0);
  EXPECT_EQ(Burner->MediumInfo().Status, 7);
  Fake->Results["GetMediumInformation"] = 30;
  EXPECT_FALSE(Burner->GetMediumInfo(0));
  EXPECT_EQ(Burner->LastError(), 30);
}

TEST_F(FakeLibraryTest, SettersReachTheLibraryOnlyWhileActive) {
  Burner->SetMediaChangeNotification(true);
  EXPECT_TRUE(Fake->Calls.empty());
  Activate();
  EXPECT_EQ(Fake->EnableMCNDisablingArg, 0);
  Burner->SetMediaChangeNotification(false);
  EXPECT_EQ(Fake->EnableMCNDisablingArg, 1);

  // A temp path the library refuses is not kept.
  Fake->Results["SetTmpPath"] = 8;
  Burner->SetTempPath(QStringLiteral("/nonexistent"));
  EXPECT_EQ(Burner->TempPath(), "");
  EXPECT_EQ(Burner->LastError(), 8);

  EXPECT_EQ(Burner->ASPIType(), TASPIType::atFrogASPI);  // the fake's answer while active
  Burner->SetASPIType(TASPIType::atWinASPI);
  EXPECT_TRUE(Fake->Called("SetASPI"));
  EXPECT_EQ(Burner->InitASPIType(), TASPIType::atInternal);
}

TEST_F(FakeLibraryTest, JobsAndTheirArguments) {
  Activate();
  EXPECT_TRUE(Burner->Erase(true, false));
  EXPECT_EQ(Fake->EraseArgs[0], 1);
  EXPECT_EQ(Fake->EraseArgs[1], 0);
  EXPECT_TRUE(Fake->WaitJobFinished(30));
  Fake->Results["Burn"] = 44;
  EXPECT_FALSE(Burner->Burn());
  EXPECT_EQ(Burner->LastError(), 44);
}

}  // namespace
}  // namespace burning
