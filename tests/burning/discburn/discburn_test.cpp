// libdiscburn.so end to end: projects burned through libburn's stdio: pseudo-drives (image
// files, /dev/null, a write-only file that can be erased) and read back with bsdtar, isoinfo
// and xorriso; the C entry points are called as the burning component calls them.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "burning/discburn/discburn_api.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

// A call that must succeed; a failure shows the library's text for its code.
#define ASSERT_OK(call)                                                   \
  do {                                                                    \
    const int32_t rc_ = (call);                                           \
    ASSERT_EQ(rc_, 0) << #call << ": " << TextOf(rc_);                   \
  } while (0)
#define EXPECT_OK(call)                                                   \
  do {                                                                    \
    const int32_t rc_ = (call);                                           \
    EXPECT_EQ(rc_, 0) << #call << ": " << TextOf(rc_);                   \
  } while (0)

namespace {

// The library's result codes the tests look for.
constexpr int32_t InvalidArgumentCode = 2;
constexpr int32_t InvalidDeviceCode = 11;
constexpr int32_t NotErasableCode = 15;
constexpr int32_t ProjectEmptyCode = 17;
constexpr int32_t NoSpeedInformationCode = 26;
constexpr int32_t InvalidHandleCode = 27;
constexpr int32_t NotSupportedCode = 50;  // the one code for what this system cannot do

std::u16string W(const std::string& utf8) { return QString::fromStdString(utf8).toStdU16String(); }
std::string U8(const db_char* text) { return QString::fromStdU16String(text ? std::u16string(text) : u"").toStdString(); }

std::string TextOf(int32_t code) {
  db_char buffer[DB_TEXT_CAPACITY];
  int32_t length = DB_TEXT_CAPACITY;
  if (GetText(code, buffer, &length) != 0) return "<GetText failed>";
  return QString::fromStdU16String(std::u16string(buffer, length)).toStdString();
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteRandom(const fs::path& path, size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string data(size, '\0');
  for (auto& c : data) c = static_cast<char>(gen());
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

void MakeSparse(const fs::path& path, int64_t size) {
  { std::ofstream(path, std::ios::binary); }
  ASSERT_EQ(truncate(path.c_str(), size), 0);
}

/// Everything the library reported through its callbacks.
struct TRecorder {
  std::mutex Lock;
  std::condition_variable Changed;
  int Process = 0, Finalize = 0, BurnDone = 0, EraseDone = 0, JobDone = 0, AddFile = 0, CreateDir = 0,
      RemoveFile = 0, Other = 0;
  std::vector<std::string> DoneErrors;  // BurnDone and EraseDone texts, in order
  std::vector<std::string> AddedNames;
  struct TDecoded {
    std::string File, Error;
    int32_t Code;
  };
  std::vector<TDecoded> Decoded;         // AudioDecodeDone, in order
  std::function<void()> OnFirstProcess;  // runs on the job thread, while it writes
  std::function<void()> OnDone;          // runs on the job thread in BurnDone and EraseDone

  void Done(int& counter, const db_char* error) {
    std::function<void()> done;
    {
      std::lock_guard<std::mutex> l(Lock);
      ++counter;
      DoneErrors.push_back(U8(error));
      done = OnDone;
    }
    if (done) done();
  }
  int Total() {
    std::lock_guard<std::mutex> l(Lock);
    return Process + Finalize + BurnDone + EraseDone + JobDone + AddFile + CreateDir + RemoveFile + Other +
           static_cast<int>(Decoded.size());
  }
  /// Waits (generously: a 4.5 GiB image can take a while under the sanitizers) for JobDone.
  bool WaitJobDone(int jobs = 1) {
    std::unique_lock<std::mutex> l(Lock);
    return Changed.wait_for(l, std::chrono::minutes(5), [&] { return JobDone >= jobs; });
  }
  bool WaitProcess() {
    std::unique_lock<std::mutex> l(Lock);
    return Changed.wait_for(l, std::chrono::minutes(1), [&] { return Process > 0 || JobDone > 0; });
  }
};

TRecorder* R(void* user) { return static_cast<TRecorder*>(user); }

void RegisterAll(TRecorder& rec) {
  SetInfoTextEventCallback([](const db_char*, int32_t, void*) {}, DB_HIGH_DEBUG, &rec);
  SetProcessEventCallback(
      [](float, float, float, double, double, void* u) {
        std::function<void()> first;
        {
          std::lock_guard<std::mutex> l(R(u)->Lock);
          if (++R(u)->Process == 1) first = R(u)->OnFirstProcess;
          R(u)->Changed.notify_all();
        }
        if (first) first();
      },
      &rec);
  SetFinalizeEventCallback(
      [](void* u) {
        std::lock_guard<std::mutex> l(R(u)->Lock);
        ++R(u)->Finalize;
      },
      &rec);
  SetBurnDoneEventCallback([](const db_char* e, void* u) { R(u)->Done(R(u)->BurnDone, e); }, &rec);
  SetEraseDoneEventCallback([](const db_char* e, void* u) { R(u)->Done(R(u)->EraseDone, e); }, &rec);
  SetJobDoneEventCallback(
      [](void* u) {
        std::lock_guard<std::mutex> l(R(u)->Lock);
        ++R(u)->JobDone;
        R(u)->Changed.notify_all();
      },
      &rec);
  SetAddFileEventCallback(
      [](const db_char*, const db_char* joliet, const db_char*, const db_char*, double, double, void* u) {
        std::lock_guard<std::mutex> l(R(u)->Lock);
        ++R(u)->AddFile;
        R(u)->AddedNames.push_back(U8(joliet));
      },
      &rec);
  SetCreateDirEventCallback(
      [](const db_char*, const db_char*, const db_char*, const db_char*, void* u) {
        std::lock_guard<std::mutex> l(R(u)->Lock);
        ++R(u)->CreateDir;
      },
      &rec);
  SetRemoveFileEventCallback(
      [](const db_char*, const db_char*, const db_char*, void* u) {
        std::lock_guard<std::mutex> l(R(u)->Lock);
        ++R(u)->RemoveFile;
      },
      &rec);
  auto other = [](void* u) {
    std::lock_guard<std::mutex> l(R(u)->Lock);
    ++R(u)->Other;
  };
  SetBurnFileEventCallback([](const db_char*, void* u) { std::lock_guard<std::mutex> l(R(u)->Lock); ++R(u)->Other; }, &rec);
  SetAudioDecodeDoneEventCallback(
      [](const db_char* file, const db_char* error, int32_t code, void* u) {
        std::lock_guard<std::mutex> l(R(u)->Lock);
        R(u)->Decoded.push_back({U8(file), U8(error), code});
      },
      &rec);
  SetVideoScannerEventCallback([](float, const db_char*, void* u) { std::lock_guard<std::mutex> l(R(u)->Lock); ++R(u)->Other; },
                               &rec);
  SetVideoScanDoneEventCallback(
      [](const db_char*, const db_char*, int32_t, DBVideoFormat, void* u) {
        std::lock_guard<std::mutex> l(R(u)->Lock);
        ++R(u)->Other;
      },
      &rec);
  SetStartVerifyEventCallback(+other, &rec);
  SetVerifyFileEventCallback([](const db_char*, void* u) { std::lock_guard<std::mutex> l(R(u)->Lock); ++R(u)->Other; }, &rec);
  SetVerifyErrorEventCallback(
      [](const db_char*, const db_char*, void* u) { std::lock_guard<std::mutex> l(R(u)->Lock); ++R(u)->Other; }, &rec);
  SetVerifyDoneEventCallback([](int32_t, void* u) { std::lock_guard<std::mutex> l(R(u)->Lock); ++R(u)->Other; }, &rec);
  SetRAWDataEventCallback(
      [](int32_t, void*, int32_t, int32_t*, void* u) -> int32_t {
        std::lock_guard<std::mutex> l(R(u)->Lock);
        ++R(u)->Other;
        return 0;
      },
      &rec);
  SetCompareFilesForArrangementEventCallback(
      [](const DBFileEntry*, const DBFileEntry*, void* u) -> uint8_t {
        std::lock_guard<std::mutex> l(R(u)->Lock);
        ++R(u)->Other;
        return 0;
      },
      &rec);
}

class DiscBurnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("CONVERTER_TEST_TMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = fs::path(tmp ? tmp : "/tmp") / ("discburn-" + std::string(info->name()) + "-" + std::to_string(getpid()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    ASSERT_OK(Initialize(DB_ASPI_INTERNAL, ImageDevice() ? 1 : 0));
    RegisterAll(Rec);
  }
  void TearDown() override {
    ResetCallbacks();
    DeInitialize();
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
  virtual bool ImageDevice() const { return false; }

 public:
  /// Adds an image-file drive and makes it the burn device; returns its letter.
  char16_t UsePseudoDrive(const std::string& address, int64_t capacity = 0) {
    const std::u16string a = W(address);
    const int32_t added = AddPseudoDrive(a.c_str(), capacity);
    EXPECT_EQ(added, 0) << TextOf(added);
    int32_t count = 0;
    EXPECT_EQ(GetActiveDevicesCount(&count), 0);
    const char16_t letter = static_cast<char16_t>(u'A' + count - 1);
    EXPECT_EQ(SetBurnDevice(letter), 0);
    return letter;
  }

  /// Writes every burn to both image files: the first is the burn device, the second is added.
  void BurnToTwoPseudoDrives(const fs::path& first, const fs::path& second) {
    const char16_t a = UsePseudoDrive("stdio:" + first.string());
    const std::u16string secondAddress = W("stdio:" + second.string());
    ASSERT_OK(AddPseudoDrive(secondAddress.c_str(), 0));
    ASSERT_OK(AddBurnDevice(static_cast<char16_t>(a + 1)));
  }

  void DataProject(int32_t isoLevel = 3, const std::string& label = "") {
    ASSERT_EQ(CreateProject(DB_PT_ISO_UDF, -1), 0);
    DBISOBlock iso;
    ASSERT_EQ(GetISOInfoEx(&iso), 0);
    iso.Level = isoLevel;
    ASSERT_EQ(SetISOInfoEx(iso), 0);
    DBOptionsBlock options;
    ASSERT_EQ(GetOptions(&options), 0);
    const std::u16string l = W(label);
    std::memset(options.VolumeLabel, 0, sizeof options.VolumeLabel);
    l.copy(options.VolumeLabel, 127);
    ASSERT_EQ(SetOptions(options), 0);
  }

  int32_t Add(const fs::path& source, const std::string& folder = "\\", const std::string& name = "") {
    const std::u16string s = W(source.string()), f = W(folder), n = W(name);
    DBAddFileRecord record{};
    record.SourcePath = s.c_str();
    record.DestFolder = f.c_str();
    record.NameOnDisc = n.c_str();
    return ::AddFile(record);
  }

  /// Starts writing a 3 GiB project (a sparse file) to an image file and waits until it runs.
  void StartLongBurn(const fs::path& image) {
    const fs::path big = Dir / "big.bin";
    MakeSparse(big, 3LL * 1024 * 1024 * 1024);
    UsePseudoDrive("stdio:" + image.string());
    DataProject();
    ASSERT_EQ(Add(big), 0);
    ASSERT_OK(Burn());
    ASSERT_TRUE(Rec.WaitProcess());
  }

  int64_t ImageSize() {
    int64_t size = -1;
    EXPECT_OK(GetImageSize(&size));
    return size;
  }

  fs::path Dir;
  TRecorder Rec;
};

class DiscBurnImageDeviceTest : public DiscBurnTest {
 protected:
  bool ImageDevice() const override { return true; }
};

/// The source files of the end-to-end burns: one with a long non-ASCII name, one in a folder.
struct TFixtureFiles {
  fs::path Plain, LongName, InFolder;
  static constexpr const char* LongDiscName =
      "Überlange Aufnahme vom Sommerfest – Teil 1 – Größe und Länge der Namen jenseits von 64 Zeichen.bin";
};

TFixtureFiles MakeFixtures(const fs::path& dir) {
  TFixtureFiles f;
  fs::create_directories(dir / "src");
  f.Plain = dir / "src" / "notes.txt";
  f.LongName = dir / "src" / "long.bin";
  f.InFolder = dir / "src" / "clip.mkv";
  WriteRandom(f.Plain, 12345, 1);
  WriteRandom(f.LongName, 300001, 2);
  WriteRandom(f.InFolder, 2 * 1024 * 1024 + 7, 3);
  return f;
}

void AddFixtures(DiscBurnTest& t, const TFixtureFiles& f) {
  const std::u16string root = u"\\", videos = u"Videos";
  ASSERT_EQ(t.Add(f.Plain), 0);
  ASSERT_EQ(t.Add(f.LongName, "\\", TFixtureFiles::LongDiscName), 0);
  ASSERT_EQ(CreateDir(root.c_str(), videos.c_str()), 0);
  ASSERT_EQ(t.Add(f.InFolder, "\\Videos\\"), 0);
}

/// Extracts the image with bsdtar and compares every file with its source.
void ExpectImageHolds(const fs::path& image, const fs::path& scratch, const TFixtureFiles& f) {
  const fs::path out = scratch / "extracted";
  fs::remove_all(out);
  fs::create_directories(out);
  Shell("bsdtar -xf " + Quote(image.string()) + " -C " + Quote(out.string()) + " 2>&1");
  const std::vector<std::pair<fs::path, fs::path>> expected = {
      {out / "notes.txt", f.Plain},
      {out / TFixtureFiles::LongDiscName, f.LongName},
      {out / "Videos" / "clip.mkv", f.InFolder},
  };
  for (const auto& [onDisc, source] : expected) {
    ASSERT_TRUE(fs::exists(onDisc)) << onDisc << " missing; bsdtar lists:\n" << Shell("bsdtar -tf " + Quote(image.string()));
    EXPECT_EQ(fs::file_size(onDisc), fs::file_size(source)) << onDisc;
    EXPECT_TRUE(ReadAll(onDisc) == ReadAll(source)) << onDisc << " differs from " << source;
  }
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(out))
    if (e.is_regular_file()) ++files;
  EXPECT_EQ(files, 3u);
}

}  // namespace

TEST_F(DiscBurnTest, BurnsProjectToImageFileOverLongerOldFileAndReadsBack) {
  const TFixtureFiles f = MakeFixtures(Dir);
  const fs::path image = Dir / "disc.iso";
  WriteRandom(image, 8 * 1024 * 1024, 9);  // an old, longer image at the target
  UsePseudoDrive("stdio:" + image.string());
  DataProject(3, "HOLIDAY_2024");
  AddFixtures(*this, f);
  EXPECT_EQ(Rec.AddFile, 3);
  EXPECT_EQ(Rec.AddedNames.at(1), TFixtureFiles::LongDiscName);
  const int64_t size = ImageSize();
  ASSERT_GT(size, 2 * 1024 * 1024);

  const int32_t prepared = Prepare();
  ASSERT_EQ(prepared, 0) << TextOf(prepared);
  const int32_t burning = Burn();
  ASSERT_EQ(burning, 0) << TextOf(burning);
  ASSERT_TRUE(Rec.WaitJobDone());
  {
    std::lock_guard<std::mutex> l(Rec.Lock);
    EXPECT_EQ(Rec.BurnDone, 1);
    EXPECT_EQ(Rec.Finalize, 1);
    EXPECT_EQ(Rec.JobDone, 1);
    EXPECT_GE(Rec.Process, 1);
    EXPECT_EQ(Rec.DoneErrors, std::vector<std::string>{""});
  }
  EXPECT_EQ(static_cast<int64_t>(fs::file_size(image)), size) << "the old image's tail must be cut off";
  ExpectImageHolds(image, Dir, f);
  EXPECT_NE(Shell("isoinfo -d -i " + Quote(image.string())).find("Volume id: HOLIDAY_2024"), std::string::npos);

  // The drive was released: it can be used again at once.
  DBMediumInfo info;
  const int32_t medium = GetMediumInformation(-1, &info);
  EXPECT_EQ(medium, 0) << TextOf(medium);
}

// The same project reaches an image file by each of the three roads the library offers.
TEST_F(DiscBurnImageDeviceTest, EveryImageRoadWritesTheSameReadableImage) {
  const TFixtureFiles f = MakeFixtures(Dir);
  DataProject(3, "ROADS");
  AddFixtures(*this, f);

  db_char names[DB_DEVICE_LIST_BYTES / 2];
  int32_t count = 0;
  ASSERT_EQ(GetDevices(names, &count, 1), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(U8(names), "A: Image file writer");

  struct TRoad {
    const char* Name;
    std::function<int32_t(const fs::path&)> Start;
  };
  const std::vector<TRoad> roads = {
      {"image device", [&](const fs::path& p) {
         const std::u16string path = W(p.string());
         EXPECT_EQ(SetImageFilePath(path.c_str()), 0);
         EXPECT_EQ(SetBurnDevice(u'A'), 0);
         return Burn();
       }},
      {"CreateImage", [&](const fs::path& p) {
         const std::u16string path = W(p.string());
         return CreateImage(path.c_str());
       }},
      {"pseudo-drive", [&](const fs::path& p) {
         UsePseudoDrive("stdio:" + p.string());
         return Burn();
       }},
  };
  int jobs = 0;
  for (const auto& road : roads) {
    SCOPED_TRACE(road.Name);
    const fs::path image = Dir / (std::string(road.Name) + ".iso");
    ASSERT_OK(road.Start(image));
    ASSERT_TRUE(Rec.WaitJobDone(++jobs));
    EXPECT_EQ(Rec.DoneErrors.back(), "");
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(image)), ImageSize());
    ExpectImageHolds(image, Dir, f);
  }
  EXPECT_EQ(Rec.BurnDone, 3);
  EXPECT_EQ(Rec.Finalize, 3);
}

TEST_F(DiscBurnTest, ProjectNamesAreUniqueAndListedThroughTheSession) {
  const TFixtureFiles f = MakeFixtures(Dir);
  DataProject();
  AddFixtures(*this, f);
  const std::u16string root = u"\\", videos = u"Videos", notes = u"notes.txt", clip = u"clip.mkv",
                       renamed = u"renamed.txt", missing = u"missing.txt";

  // A duplicate is an error naming it, never a silent replacement.
  const int32_t duplicate = Add(f.LongName, "\\", "notes.txt");
  EXPECT_NE(duplicate, 0);
  EXPECT_NE(TextOf(duplicate).find("notes.txt"), std::string::npos) << TextOf(duplicate);
  EXPECT_NE(CreateDir(root.c_str(), videos.c_str()), 0);
  EXPECT_NE(Add(f.Plain, "\\", "Videos"), 0);
  EXPECT_NE(RenameFile(root.c_str(), notes.c_str(), videos.c_str()), 0);
  EXPECT_NE(Add(f.Plain, "\\No such folder\\"), 0);
  EXPECT_NE(RemoveFile(root.c_str(), missing.c_str()), 0);
  EXPECT_NE(Add(Dir / "src" / "does-not-exist.bin"), 0);

  EXPECT_EQ(RenameFile(root.c_str(), notes.c_str(), renamed.c_str()), 0);
  const std::u16string videosPath = u"\\Videos\\";
  EXPECT_EQ(RemoveFile(videosPath.c_str(), clip.c_str()), 0);
  EXPECT_EQ(Rec.RemoveFile, 1);

  db_handle session = 0, dir = 0;
  ASSERT_EQ(OpenDiskSession(0, 0, &session, 0), 0);
  ASSERT_EQ(OpenDirectory(session, root.c_str(), &dir), 0);
  int32_t n = 0;
  ASSERT_EQ(GetNumberOfFiles(dir, &n), 0);
  ASSERT_EQ(n, 3);
  struct TExpect {
    std::string Name;
    uint64_t Size;
    bool Folder;
  };
  const std::vector<TExpect> expected = {
      {"renamed.txt", 12345, false}, {TFixtureFiles::LongDiscName, 300001, false}, {"Videos", 0, true}};
  for (int32_t i = 0; i < n; ++i) {
    DBFileEntry e;
    ASSERT_EQ(ReadDirectory(dir, i, &e), 0);
    EXPECT_EQ(U8(e.Name), expected[i].Name);
    EXPECT_EQ((static_cast<uint64_t>(e.SizeHigh) << 32) | e.SizeLow, expected[i].Size);
    EXPECT_EQ((e.Attributes & DB_ATTR_DIRECTORY) != 0, expected[i].Folder);
  }
  db_handle sub = 0;
  ASSERT_EQ(OpenDirectory(session, videosPath.c_str(), &sub), 0);
  ASSERT_EQ(GetNumberOfFiles(sub, &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(CloseDiskSession(session), 0);
  EXPECT_EQ(GetNumberOfFiles(dir, &n), InvalidHandleCode) << "a closed session ends its folders";

  // Folders are renamed and removed by their path; the root is neither.
  const std::u16string clips = u"\\Clips";
  EXPECT_EQ(RenameDir(videosPath.c_str(), u"Clips"), 0);
  EXPECT_NE(RenameDir(root.c_str(), u"Root"), 0);
  EXPECT_NE(RemoveDir(videosPath.c_str()), 0);
  EXPECT_EQ(RemoveDir(clips.c_str()), 0);
  EXPECT_NE(RemoveDir(root.c_str()), 0);
  ASSERT_EQ(OpenDiskSession(0, 0, &session, 0), 0);
  ASSERT_EQ(OpenDirectory(session, root.c_str(), &dir), 0);
  ASSERT_EQ(GetNumberOfFiles(dir, &n), 0);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(CloseDiskSession(session), 0);

  // 3 keeps its meaning: a folder read without an open session.
  EXPECT_EQ(OpenDirectory(session, root.c_str(), &dir), DB_ERR_NO_SESSION);
  EXPECT_EQ(TextOf(DB_ERR_NO_SESSION), "No disc session open");

  EXPECT_EQ(ClearAll(), 0);
  ASSERT_EQ(OpenDiskSession(0, 0, &session, 0), 0);
  ASSERT_EQ(OpenDirectory(session, root.c_str(), &dir), 0);
  ASSERT_EQ(GetNumberOfFiles(dir, &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Prepare(), ProjectEmptyCode) << "an empty project is not burned";
}

TEST_F(DiscBurnTest, FileOfFourAndAHalfGigabytesNeedsLevelThree) {
  const fs::path big = Dir / "big.bin";
  MakeSparse(big, 4608LL * 1024 * 1024);
  UsePseudoDrive("stdio:/dev/null");

  DataProject(1);
  ASSERT_EQ(Add(big), 0);
  int64_t size = 0;
  const int32_t refused = GetImageSize(&size);
  EXPECT_NE(refused, 0);
  EXPECT_EQ(size, 0);
  EXPECT_NE(TextOf(refused).find("bigger than supported"), std::string::npos) << TextOf(refused);
  EXPECT_NE(Prepare(), 0);
  EXPECT_NE(Burn(), 0);
  EXPECT_EQ(Rec.BurnDone, 0);

  DBISOBlock iso;
  ASSERT_EQ(GetISOInfoEx(&iso), 0);
  iso.Level = 3;
  ASSERT_EQ(SetISOInfoEx(iso), 0);
  EXPECT_GT(ImageSize(), 4608LL * 1024 * 1024);
  ASSERT_OK(Burn());
  ASSERT_TRUE(Rec.WaitJobDone());
  EXPECT_EQ(Rec.DoneErrors, std::vector<std::string>{""});
  EXPECT_EQ(Rec.Finalize, 1);
}

TEST_F(DiscBurnTest, ProjectLargerThanTheMediumIsRefused) {
  const fs::path source = Dir / "two-megabytes.bin";
  WriteRandom(source, 2 * 1024 * 1024, 4);
  const fs::path image = Dir / "small.iso";
  UsePseudoDrive("stdio:" + image.string(), 1024 * 1024);

  DBMediumInfo info;
  ASSERT_EQ(GetMediumInformation(-1, &info), 0);
  EXPECT_EQ(+info.Status, 1);
  EXPECT_EQ(+info.FreeSectors, 512);
  EXPECT_EQ(U8(info.MediumType), "Image file");

  DataProject();
  ASSERT_EQ(Add(source), 0);
  const int32_t code = Prepare();
  EXPECT_NE(code, 0);
  EXPECT_NE(TextOf(code).find("free"), std::string::npos) << TextOf(code);
  EXPECT_NE(Burn(), 0);
  EXPECT_FALSE(fs::exists(image) && fs::file_size(image) > 0) << "nothing is written";
  EXPECT_EQ(Rec.BurnDone + Rec.Process, 0);
}

TEST_F(DiscBurnTest, VanishedOrReplacedSourceFailsByName) {
  const TFixtureFiles f = MakeFixtures(Dir);
  const fs::path image = Dir / "disc.iso";
  UsePseudoDrive("stdio:" + image.string());

  struct TCase {
    const char* Name;
    std::function<void(const fs::path&)> Spoil;
  };
  const std::vector<TCase> cases = {
      {"deleted", [](const fs::path& p) { fs::remove(p); }},
      {"replaced by a folder", [](const fs::path& p) { fs::remove(p); fs::create_directory(p); }},
      {"replaced by a pipe", [](const fs::path& p) { fs::remove(p); ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    DataProject();
    const fs::path source = Dir / "src" / (std::string("victim ") + c.Name + ".bin");
    WriteRandom(source, 5000, 5);
    ASSERT_EQ(Add(f.Plain), 0);
    ASSERT_EQ(Add(source), 0);
    c.Spoil(source);
    for (auto step : {&Prepare, &Burn}) {
      const int32_t code = step();
      EXPECT_NE(code, 0);
      EXPECT_NE(TextOf(code).find(source.string()), std::string::npos) << TextOf(code);
    }
    fs::remove_all(source);
  }
  EXPECT_EQ(Rec.BurnDone, 0);
  EXPECT_FALSE(fs::exists(image) && fs::file_size(image) > 0);
}

TEST_F(DiscBurnTest, AbortEndsTheBurnWithOurTextAndRemovesThePartialImage) {
  const fs::path image = Dir / "partial.iso";
  StartLongBurn(image);
  if (HasFatalFailure()) return;

  const auto asked = std::chrono::steady_clock::now();
  ASSERT_EQ(Abort(), 0);
  ASSERT_TRUE(Rec.WaitJobDone());
  const auto took = std::chrono::steady_clock::now() - asked;
  // Expected within a second; the bound leaves room for a loaded machine and the sanitizers.
  EXPECT_LT(took, std::chrono::seconds(3));
  std::lock_guard<std::mutex> l(Rec.Lock);
  EXPECT_EQ(Rec.BurnDone, 1);
  EXPECT_EQ(Rec.Finalize, 0);
  ASSERT_EQ(Rec.DoneErrors.size(), 1u);
  EXPECT_NE(Rec.DoneErrors[0].find("aborted"), std::string::npos) << Rec.DoneErrors[0];
  EXPECT_FALSE(fs::exists(image));
  EXPECT_NE(Abort(), 0) << "nothing left to abort";
}

TEST_F(DiscBurnTest, ErasesAWriteOnlyPseudoDriveAndRefusesAReadWriteOne) {
  const fs::path target = Dir / "rewritable.img";
  WriteRandom(target, 1024 * 1024, 6);
  const int fd = open(target.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const char16_t writeOnly = UsePseudoDrive("stdio:/dev/fd/" + std::to_string(fd));

  DBMediumInfo info;
  const int32_t medium = GetMediumInformation(-1, &info);
  ASSERT_EQ(medium, 0) << TextOf(medium);
  EXPECT_EQ(+info.Erasable, 1);
  const int32_t erase = Erase(1, 0);
  ASSERT_EQ(erase, 0) << TextOf(erase);
  ASSERT_TRUE(Rec.WaitJobDone());
  EXPECT_EQ(Rec.EraseDone, 1);
  EXPECT_EQ(Rec.BurnDone, 0);
  EXPECT_EQ(Rec.DoneErrors, std::vector<std::string>{""});
  EXPECT_EQ(fs::file_size(target), 0u);
  close(fd);

  // An ordinary image file cannot be erased: refused at once, no event.
  const fs::path plain = Dir / "plain.iso";
  WriteRandom(plain, 64 * 1024, 7);
  const char16_t readWrite = UsePseudoDrive("stdio:" + plain.string());
  EXPECT_NE(readWrite, writeOnly);
  const int32_t code = Erase(1, 0);
  EXPECT_EQ(code, NotErasableCode);
  EXPECT_NE(TextOf(code).find("cannot be erased"), std::string::npos) << TextOf(code);
  EXPECT_EQ(Rec.EraseDone, 1);
  EXPECT_EQ(fs::file_size(plain), 64u * 1024);
}

TEST_F(DiscBurnTest, ScanFindsNoDriveHereAndKeepsPseudoDrivesAndTheBurnDevice) {
  const char16_t letter = UsePseudoDrive("stdio:" + (Dir / "x.iso").string());
  ASSERT_OK(RescanDevices());
  db_char letters[DB_MAX_DEVICES];
  int32_t count = DB_MAX_DEVICES;
  ASSERT_EQ(GetBurnDevice(letters, &count), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(letters[0], letter);
  db_char vendor[DB_VENDOR_CHARS], product[DB_PRODUCT_CHARS], revision[DB_REVISION_CHARS];
  EXPECT_EQ(GetDeviceInformation(-1, vendor, product, revision), 0);
  EXPECT_EQ(SetBurnDevice(u'Z'), InvalidDeviceCode);

  // Image files have no speeds; conversions use the CD's 1x without a medium.
  int32_t speed = 0;
  EXPECT_EQ(GetBurnSpeed(-1, &speed), NoSpeedInformationCode);
  double multiple = 0;
  ASSERT_EQ(ConvertSpeedFromKBPerSec(7056, &multiple), 0);
  EXPECT_DOUBLE_EQ(multiple, 40.0);
}

TEST_F(DiscBurnTest, OptionsThisSystemCannotHonourAreRefused) {
  struct TCase {
    const char* Name;
    std::function<int32_t()> Set;
    const char* Text;
  };
  // A refused block comes with other values changed as well: none of them may be taken.
  const std::vector<TCase> cases = {
      {"DAO96",
       [] {
         DBOptionsBlock b;
         GetOptions(&b);
         b.WriteMethod = DB_WM_DAO96;
         b.VolumeLabel[0] = u'X';
         b.VolumeLabel[1] = 0;
         b.Copies = 5;
         b.Finalize = 0;
         return SetOptions(b);
       },
       "DAO96 write method"},
      {"Romeo",
       [] {
         DBISOBlock b;
         GetISOInfoEx(&b);
         b.Level = 4;
         b.AllowLowercaseNames = 1;
         b.SystemIdentifier[0] = u'Z';
         b.SystemIdentifier[1] = 0;
         return SetISOInfoEx(b);
       },
       "ISO 9660 level Romeo"},
      {"ISO level 7",
       [] {
         DBISOBlock b;
         GetISOInfoEx(&b);
         b.Level = 7;
         b.AllowLongISO9660Names = 1;
         return SetISOInfoEx(b);
       },
       "ISO 9660 level 7"},
      {"encryption",
       [] {
         DBCompressEncryptBlock b;
         GetCompressEncrypt(&b);
         b.Encryption = 1;
         return SetCompressEncrypt(b);
       },
       "encryption"},
      {"video CD project", [] { return CreateProject(DB_PT_VCD, -1); }, "video CD projects"},
      {"Blu-ray project", [] { return CreateProject(DB_PT_BLURAY, -1); }, "Blu-ray projects"},
      {"UDF DVD project", [] { return CreateProject(DB_PT_UDF_DVD, -1); }, "UDF DVD projects"},
      {"device access", [] { return SetASPI(DB_ASPI_WINASPI); }, "ASPI device access"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(c.Set(), NotSupportedCode);
    EXPECT_EQ(TextOf(NotSupportedCode), std::string("Not supported on this system: ") + c.Text);
  }
  DBOptionsBlock options;
  ASSERT_EQ(GetOptions(&options), 0);
  EXPECT_NE(+options.WriteMethod, DB_WM_DAO96) << "a refused value is not kept";
  EXPECT_EQ(options.VolumeLabel[0], 0) << "nor any other value of its block";
  EXPECT_EQ(+options.Copies, 0);
  EXPECT_EQ(+options.Finalize, 1);
  DBISOBlock iso;
  ASSERT_EQ(GetISOInfoEx(&iso), 0);
  EXPECT_EQ(+iso.Level, 3);
  EXPECT_EQ(+iso.AllowLowercaseNames, 0);
  EXPECT_EQ(+iso.AllowLongISO9660Names, 0);
  EXPECT_EQ(iso.SystemIdentifier[0], 0);

  // Project types outside the list are no unsupported feature but a wrong argument.
  for (const auto& [type, text] : std::vector<std::pair<int32_t, std::string>>{
           {DB_PT_NONE, "Project type 11 (none) is no project to create"},
           {12, "Unknown project type 12"},
           {-3, "Unknown project type -3"}}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(CreateProject(type, -1), InvalidArgumentCode);
    EXPECT_EQ(TextOf(InvalidArgumentCode), text);
  }
}

// Every entry point this system cannot serve: one code, its own text, outputs zeroed and no
// callback at all.
TEST_F(DiscBurnTest, UnsupportedEntryPointsAnswerOneCodeAndFireNothing) {
  constexpr int32_t Dirty = 0x5A5A5A5A;
  struct TOutputs {
    int32_t I1 = Dirty, I2 = Dirty, I3 = Dirty;
    uint32_t U = 0xA5A5A5A5u;
    uint8_t B = 0xA5;
    double D = 1.5;
    db_handle H = 77;
    db_char Text[64] = {u'x', u'y', 0};
    int32_t Length = 64;
    std::array<uint8_t, 256> Buffer;
    DBISOBlock Iso;
    DBUDFBlock Udf;
    DBBootBlock Boot;
    TOutputs() {
      Buffer.fill(0xA5);
      std::memset(&Iso, 0xA5, sizeof Iso);
      std::memset(&Udf, 0xA5, sizeof Udf);
      std::memset(&Boot, 0xA5, sizeof Boot);
    }
  };
  const std::u16string path = W((Dir / "x").string());
  const db_char* p = path.c_str();
  struct TCase {
    const char* Name;
    std::function<int32_t(TOutputs&)> Call;
    std::function<bool(const TOutputs&)> Zeroed;
  };
  const auto none = [](const TOutputs&) { return true; };
  const auto text = [](const TOutputs& o) { return o.Text[0] == 0 && o.Length == 0; };
  const auto ints = [](int n) {
    return [n](const TOutputs& o) { return o.I1 == 0 && (n < 2 || o.I2 == 0) && (n < 3 || o.I3 == 0); };
  };
  const std::vector<TCase> cases = {
      {"SetRegionalCode", [&](TOutputs&) { return SetRegionalCode(-1, 2); }, none},
      {"SetWriteCDTextInUnicode", [&](TOutputs&) { return SetWriteCDTextInUnicode(1); }, none},
      {"MultiDeviceDialog", [&](TOutputs&) { return MultiDeviceDialog(); }, none},
      {"GetTrackIndexes", [&](TOutputs& o) { return GetTrackIndexes(-1, 1, &o.I1, &o.I2); }, ints(2)},
      {"GetTrackISRC", [&](TOutputs& o) { return GetTrackISRC(-1, 1, o.Text); },
       [](const TOutputs& o) { return o.Text[0] == 0; }},
      {"TagsFromNetworkDialog", [&](TOutputs& o) { return TagsFromNetworkDialog(-1, &o.H); },
       [](const TOutputs& o) { return o.H == 0; }},
      {"CloseNetworkTagsHandle", [&](TOutputs&) { return CloseNetworkTagsHandle(1); }, none},
      {"GetNetworkDiskTagString",
       [&](TOutputs& o) { return GetNetworkDiskTagString(1, 0, o.Text, &o.Length); }, text},
      {"GetNetworkDiskTagInt", [&](TOutputs& o) { return GetNetworkDiskTagInt(1, 0, &o.I1); }, ints(1)},
      {"GetNetworkTrackTagString",
       [&](TOutputs& o) { return GetNetworkTrackTagString(1, 1, 0, o.Text, &o.Length); }, text},
      {"GetNetworkTrackTagInt", [&](TOutputs& o) { return GetNetworkTrackTagInt(1, 1, 0, &o.I1); }, ints(1)},
      {"GetUDFVolumeInformation", [&](TOutputs& o) { return GetUDFVolumeInformation(1, &o.Udf); },
       [](const TOutputs& o) { return o.Udf.Version == 0 && o.Udf.PartitionType == 0; }},
      {"SetRAWStructure", [&](TOutputs&) { return SetRAWStructure(2352, 0); }, none},
      {"GetMpegCount", [&](TOutputs& o) { return GetMpegCount(&o.I1); }, ints(1)},
      {"EraseMpegByIndex", [&](TOutputs&) { return EraseMpegByIndex(0); }, none},
      {"StopMpegAction", [&](TOutputs&) { return StopMpegAction(); }, none},
      {"PlayAudioFile", [&](TOutputs&) { return PlayAudioFile(p); }, none},
      {"PlayAudioTrack", [&](TOutputs&) { return PlayAudioTrack(-2, 1); }, none},
      {"BurnDialog", [&](TOutputs&) { return BurnDialog(); }, none},
      {"EraseDialog", [&](TOutputs&) { return EraseDialog(); }, none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TOutputs out;
    EXPECT_EQ(c.Call(out), NotSupportedCode);
    EXPECT_EQ(TextOf(NotSupportedCode), std::string("Not supported on this system: ") + c.Name);
    EXPECT_TRUE(c.Zeroed(out));
  }
  EXPECT_EQ(Rec.Total(), 0) << "no job started, no event";
  EXPECT_FALSE(fs::exists(Dir / "x"));
}

// A job the library accepted ends with exactly one done event also when the drive fails at
// its first write: /dev/full refuses every byte, as a filled file system does. The text gives
// libburn's reason, not only its "Burn run failed".
TEST_F(DiscBurnTest, AcceptedJobThatFailsAtOnceReportsOnce) {
  const TFixtureFiles f = MakeFixtures(Dir);
  UsePseudoDrive("stdio:/dev/full");
  DataProject();
  ASSERT_EQ(Add(f.InFolder), 0);
  ASSERT_OK(Burn());
  ASSERT_TRUE(Rec.WaitJobDone());
  std::lock_guard<std::mutex> l(Rec.Lock);
  EXPECT_EQ(Rec.BurnDone, 1);
  EXPECT_EQ(Rec.JobDone, 1);
  EXPECT_EQ(Rec.Finalize, 0);
  ASSERT_EQ(Rec.DoneErrors.size(), 1u);
  EXPECT_NE(Rec.DoneErrors[0], "") << "a failed write is never a success";
  EXPECT_EQ(Rec.DoneErrors[0].rfind("Burn run failed: ", 0), 0u) << Rec.DoneErrors[0];
  EXPECT_NE(Rec.DoneErrors[0].find("(No space left on device)"), std::string::npos) << Rec.DoneErrors[0];
}

TEST_F(DiscBurnTest, DeInitializeDuringABurnStopsItAndCutsTheCallbacks) {
  const fs::path image = Dir / "partial.iso";
  StartLongBurn(image);
  if (HasFatalFailure()) return;
  ASSERT_OK(ResetCallbacks());
  const int before = Rec.Total();
  ASSERT_OK(DeInitialize());
  EXPECT_EQ(Rec.Total(), before) << "no callback after ResetCallbacks returned";
  EXPECT_FALSE(fs::exists(image)) << "the partial image is removed";
  // The library starts again cleanly and can burn at once.
  ASSERT_OK(Initialize(DB_ASPI_INTERNAL, 0));
  RegisterAll(Rec);
  const fs::path small = Dir / "small.iso";
  UsePseudoDrive("stdio:" + small.string());
  DataProject();
  WriteRandom(Dir / "a.txt", 100, 8);
  ASSERT_EQ(Add(Dir / "a.txt"), 0);
  ASSERT_OK(Burn());
  ASSERT_TRUE(Rec.WaitJobDone());
  EXPECT_EQ(Rec.DoneErrors.back(), "");
}

// The component hands every notification to its user-interface thread and blocks the job
// thread until it is handled; a handler that deactivates the component must not deadlock.
TEST_F(DiscBurnTest, DeInitializeFromAHandlerOfABlockedDoneCallbackReturns) {
  struct TBlocking {
    std::mutex Lock;
    std::condition_variable Changed;
    bool InCallback = false, Released = false;
  } blocking;
  const TFixtureFiles f = MakeFixtures(Dir);
  UsePseudoDrive("stdio:" + (Dir / "disc.iso").string());
  DataProject();
  ASSERT_EQ(Add(f.Plain), 0);
  SetBurnDoneEventCallback(
      [](const db_char*, void* u) {
        auto* b = static_cast<TBlocking*>(u);
        std::unique_lock<std::mutex> l(b->Lock);
        b->InCallback = true;
        b->Changed.notify_all();
        b->Changed.wait(l, [&] { return b->Released; });
      },
      &blocking);
  ASSERT_OK(Burn());
  {
    std::unique_lock<std::mutex> l(blocking.Lock);
    ASSERT_TRUE(blocking.Changed.wait_for(l, std::chrono::minutes(1), [&] { return blocking.InCallback; }));
  }
  // "Handling" the notification: the job thread waits for us while we deinitialise.
  ResetCallbacks();
  DeInitialize();
  {
    std::lock_guard<std::mutex> l(blocking.Lock);
    blocking.Released = true;
    blocking.Changed.notify_all();
  }
  // The library works again afterwards, and the old job's end changes nothing in it.
  ASSERT_OK(Initialize(DB_ASPI_INTERNAL, 0));
  RegisterAll(Rec);
  UsePseudoDrive("stdio:" + (Dir / "again.iso").string());
  DataProject();
  ASSERT_EQ(Add(f.Plain), 0);
  ASSERT_OK(Burn());
  ASSERT_TRUE(Rec.WaitJobDone());
  EXPECT_EQ(Rec.DoneErrors.back(), "");
}

// A source that vanishes or changes while the image is being written: libisofs fills it with
// zeros, cuts it or writes its new bytes; the burn must end failed with the file's name and
// what became of it. The drive is a pipe that is not read until the file is spoilt, so the
// writer cannot have gone past the 64 MiB file written first: a file after it is spoilt
// before it is opened, that file itself while it is read.
TEST_F(DiscBurnTest, SourceVanishingOrChangingDuringTheBurnFailsByName) {
  struct TCase {
    const char* Name;
    std::function<void(const fs::path&)> Spoil;
    std::string Reason;  // after the file's name
    bool WhileRead = false;
  };
  const std::vector<TCase> cases = {
      {"vanishing", [](const fs::path& p) { fs::remove(p); }, ""},
      {"cut short", [](const fs::path& p) { fs::resize_file(p, 1000); },
       " (its size was 100000 bytes, now 1000)"},
      {"grown", [](const fs::path& p) { std::ofstream(p, std::ios::app | std::ios::binary) << "more"; },
       " (its size was 100000 bytes, now 100004)"},
      {"written to",
       [](const fs::path& p) {
         std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a modification time of its own
         std::fstream(p, std::ios::in | std::ios::out | std::ios::binary).write("XYZ", 3);
       },
       " (it was written to)"},
      {"cut short while read", [](const fs::path& p) { fs::resize_file(p, 100000); },
       " (its size was 67108864 bytes, now 100000)", true},
  };
  int jobs = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path big = Dir / "a big.bin";  // written first: its name sorts first
    MakeSparse(big, 64LL * 1024 * 1024);
    const fs::path victim = c.WhileRead ? big : Dir / (std::string("z ") + c.Name + ".bin");
    if (!c.WhileRead) WriteRandom(victim, 100000, 10);
    const fs::path pipe = Dir / (std::string(c.Name) + ".pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::mutex lock;
    std::condition_variable changed;
    bool spoilt = false;
    std::thread reader([&] {
      std::ifstream in(pipe, std::ios::binary);  // opens when the drive starts writing
      {
        std::unique_lock<std::mutex> l(lock);
        changed.wait(l, [&] { return spoilt; });
      }
      char buf[65536];
      while (in.read(buf, sizeof buf) || in.gcount() > 0) {
      }
    });
    const auto release = [&] {
      std::lock_guard<std::mutex> l(lock);
      spoilt = true;
      changed.notify_all();
    };
    UsePseudoDrive("stdio:" + pipe.string());
    DataProject();
    ASSERT_EQ(Add(big), 0);
    if (!c.WhileRead) {
      ASSERT_EQ(Add(victim), 0);
    }
    {
      std::lock_guard<std::mutex> l(Rec.Lock);
      Rec.Process = 0;  // the first Process of this burn spoils the file
      Rec.OnFirstProcess = [&] {
        c.Spoil(victim);
        release();
      };
    }
    const int32_t started = Burn();
    if (started != 0) {
      release();
      std::ofstream(pipe, std::ios::binary);  // lets the reader's open return
      reader.join();
      FAIL() << TextOf(started);
    }
    ASSERT_TRUE(Rec.WaitJobDone(++jobs));
    reader.join();
    std::lock_guard<std::mutex> l(Rec.Lock);
    ASSERT_EQ(Rec.DoneErrors.size(), static_cast<size_t>(jobs));
    const std::string& error = Rec.DoneErrors.back();
    EXPECT_NE(error.find(victim.string() + c.Reason), std::string::npos) << error;
    if (!c.Reason.empty()) {
      EXPECT_EQ(error, "Source file changed while it was written: " + victim.string() + c.Reason);
    }
    Rec.OnFirstProcess = nullptr;
  }
}

TEST_F(DiscBurnTest, BurnsAnExistingIsoImageAsItIs) {
  const TFixtureFiles f = MakeFixtures(Dir);
  DataProject(3, "COPY");
  AddFixtures(*this, f);
  const fs::path original = Dir / "original.iso";
  const std::u16string originalPath = W(original.string());
  ASSERT_OK(CreateImage(originalPath.c_str()));
  ASSERT_TRUE(Rec.WaitJobDone(1));

  const fs::path copy = Dir / "copy.iso";
  WriteRandom(copy, 6 * 1024 * 1024, 11);  // longer than the image
  UsePseudoDrive("stdio:" + copy.string());
  ASSERT_OK(BurnISO(originalPath.c_str()));
  ASSERT_TRUE(Rec.WaitJobDone(2));
  EXPECT_EQ(Rec.DoneErrors, (std::vector<std::string>{"", ""}));
  EXPECT_TRUE(ReadAll(copy) == ReadAll(original)) << "the copy is the image, byte for byte";

  const std::u16string missing = W((Dir / "missing.iso").string());
  EXPECT_NE(BurnISO(missing.c_str()), 0);
  EXPECT_EQ(Rec.BurnDone, 2);
}

// ---- reading media and images back ----

namespace {

constexpr int32_t NameExistsCode = 18;

std::string Field(const db_char* text, size_t chars) {
  return U8(std::u16string(text, std::find(text, text + chars, u'\0')).c_str());
}

std::string DateDigits(const DBDiscDate& d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", 1900 + d.Bytes[0], d.Bytes[1], d.Bytes[2],
                d.Bytes[3], d.Bytes[4], d.Bytes[5]);
  return buf;
}

struct TDiscFile {
  int64_t Size = 0;
  int32_t Lba = 0;
};

/// Every file of an open disc session, by path ("/Videos/clip.mkv"), through the folder walk.
std::map<std::string, TDiscFile> DiscFiles(db_handle session, const std::string& folder = "") {
  std::map<std::string, TDiscFile> files;
  const std::u16string path = W(folder.empty() ? "\\" : folder);
  db_handle dir = 0;
  EXPECT_OK(OpenDirectory(session, path.c_str(), &dir));
  int32_t count = 0;
  EXPECT_OK(GetNumberOfFiles(dir, &count));
  for (int32_t i = 0; i < count; ++i) {
    DBFileEntry e;
    EXPECT_OK(ReadDirectory(dir, i, &e));
    const std::string name = Field(e.Name, 260);
    if (e.Attributes & DB_ATTR_DIRECTORY) {
      for (auto& [p, f] : DiscFiles(session, folder + "/" + name)) files[p] = f;
    } else {
      files[folder + "/" + name] = {static_cast<int64_t>(e.SizeHigh) << 32 | e.SizeLow, e.Lba};
    }
  }
  EXPECT_OK(CloseDirectory(dir));
  return files;
}

/// xorriso's report of every file's data: path -> (first block, block count, size).
std::map<std::string, std::array<int64_t, 3>> XorrisoExtents(const fs::path& image,
                                                             const std::string& load = "") {
  std::map<std::string, std::array<int64_t, 3>> out;
  const std::string text = Shell("xorriso " + load + " -indev " + Quote(image.string()) +
                                 " -find / -type f -exec report_lba -- 2>/dev/null");
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    long long xt = 0, start = 0, blocks = 0, size = 0;
    char path[4096] = {};
    if (std::sscanf(line.c_str(), "File data lba: %lld , %lld , %lld , %lld , '%4095[^']'", &xt, &start,
                    &blocks, &size, path) == 5)
      out[path] = {start, blocks, size};
  }
  return out;
}

/// Compares the tree, the extents and the volume of an open session with xorriso's view
/// (`load` chooses the session: "-load session 1").
void ExpectSessionMatchesXorriso(db_handle session, const fs::path& image, const std::string& load = "") {
  const auto extents = XorrisoExtents(image, load);
  ASSERT_FALSE(extents.empty()) << "xorriso lists no file of " << image;
  const auto files = DiscFiles(session);
  EXPECT_EQ(files.size(), extents.size());
  for (const auto& [path, x] : extents) {
    SCOPED_TRACE(path);
    auto it = files.find(path);
    ASSERT_NE(it, files.end());
    EXPECT_EQ(it->second.Size, x[2]);
    EXPECT_EQ(it->second.Lba, x[0]);
    std::array<int32_t, 8> lbas{};
    int32_t count = static_cast<int32_t>(lbas.size());
    const std::u16string p = W(path);
    ASSERT_OK(GetFileAllocationTable(session, p.c_str(), lbas.data(), &count));
    ASSERT_EQ(count, 1);
    EXPECT_EQ(lbas[0], x[0]);
    EXPECT_EQ(lbas[1], x[1]);
  }
  const std::string pvd =
      Shell("xorriso " + load + " -indev " + Quote(image.string()) + " -pvd_info 2>/dev/null");
  DBISOBlock iso;
  ASSERT_OK(GetISOVolumeInformation(session, &iso));
  EXPECT_NE(pvd.find("Volume Id    : " + Field(iso.VolumeIdentifier, 33) + "\n"), std::string::npos) << pvd;
  EXPECT_NE(pvd.find("App Id       : " + Field(iso.ApplicationIdentifier, 128) + "\n"), std::string::npos)
      << pvd;
  EXPECT_NE(pvd.find("Publisher Id : " + Field(iso.PublisherIdentifier, 128) + "\n"), std::string::npos)
      << pvd;
  EXPECT_NE(pvd.find("System Id    : " + Field(iso.SystemIdentifier, 31) + "\n"), std::string::npos) << pvd;
  EXPECT_EQ(iso.UseCreationDateTime, 1);
  EXPECT_NE(pvd.find("Creation Time: " + DateDigits(iso.CreationDateTime)), std::string::npos) << pvd;
}

fs::path Genisoimage(const fs::path& dir, const fs::path& source, const std::string& extra = "") {
  const fs::path image = dir / "gen.iso";
  Shell("genisoimage -quiet -R -J -V GENVOL -A 'Gen App' -P 'Gen Publisher' " + extra + " -o " +
        Quote(image.string()) + " " + Quote(source.string()) + " 2>&1");
  return image;
}

}  // namespace

// Arguments out of their range are refused with the reason: compression levels are 0 to 9
// (a refused block leaves the one set before), CD-Text tracks count from 1 and tags are 0 to
// 5 (checked before the handle, which no CD here can give).
TEST_F(DiscBurnTest, ArgumentsOutOfRangeAreRefused) {
  DBCompressEncryptBlock set;
  ASSERT_OK(GetCompressEncrypt(&set));
  set.Compression = 1;
  set.CompressionLevel = 4;
  ASSERT_OK(SetCompressEncrypt(set));
  for (const int32_t level : {0, 9}) {
    DBCompressEncryptBlock b = set;
    b.CompressionLevel = level;
    SCOPED_TRACE(level);
    EXPECT_OK(SetCompressEncrypt(b));
  }
  ASSERT_OK(SetCompressEncrypt(set));
  struct TCase {
    const char* Name;
    std::function<int32_t()> Call;
    const char* Text;
  };
  const auto level = [set](int32_t l) {
    DBCompressEncryptBlock b = set;
    b.CompressionLevel = l;
    return SetCompressEncrypt(b);
  };
  const auto trackTag = [](int32_t track, int32_t tag) {
    db_char buffer[16] = {u'x'};
    int32_t length = 16;
    return GetCDTextTrackTagString(77, track, tag, buffer, &length);
  };
  const TCase cases[] = {
      {"level 10", [&] { return level(10); }, "Compression levels are 0 to 9"},
      {"level -1", [&] { return level(-1); }, "Compression levels are 0 to 9"},
      {"track 0", [&] { return trackTag(0, 0); }, "CD-Text tracks count from 1"},
      {"track -1", [&] { return trackTag(-1, 1); }, "CD-Text tracks count from 1"},
      {"tag 6", [&] { return trackTag(1, 6); }, "CD-Text tags are 0 to 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(c.Call(), InvalidArgumentCode);
    EXPECT_EQ(TextOf(InvalidArgumentCode), c.Text);
  }
  EXPECT_EQ(trackTag(1, 0), InvalidHandleCode) << "a track from 1 is looked up";
  DBCompressEncryptBlock kept;
  ASSERT_OK(GetCompressEncrypt(&kept));
  EXPECT_EQ(+kept.Compression, 1);
  EXPECT_EQ(+kept.CompressionLevel, 4);
}

// An image burned by the library and one made by genisoimage, read back through pseudo-drives
// (libburn reads the blocks): tree, sizes, extents and volume as xorriso sees them.
TEST_F(DiscBurnTest, ReadsBackTheVolumeTreeAndExtentsOfItsOwnImageAndOfGenisoimages) {
  const TFixtureFiles f = MakeFixtures(Dir);
  const fs::path own = Dir / "own.iso";
  UsePseudoDrive("stdio:" + own.string());
  DataProject(3, "HOLIDAY_2024");
  DBISOBlock ids;
  ASSERT_OK(GetISOInfoEx(&ids));
  u"Tarsel Test"s.copy(ids.ApplicationIdentifier, 127);
  u"Publisher X"s.copy(ids.PublisherIdentifier, 127);
  ASSERT_OK(SetISOInfoEx(ids));
  AddFixtures(*this, f);
  ASSERT_OK(Burn());
  ASSERT_TRUE(Rec.WaitJobDone());
  ASSERT_EQ(Rec.DoneErrors, std::vector<std::string>{""});
  const fs::path gen = Genisoimage(Dir, Dir / "src");
  ASSERT_TRUE(fs::exists(gen));

  for (const fs::path& image : {own, gen}) {
    SCOPED_TRACE(image.string());
    if (image == gen) UsePseudoDrive("stdio:" + gen.string());
    db_handle session = 0;
    ASSERT_OK(OpenDiskSession(-1, 0, &session, 0));
    ExpectSessionMatchesXorriso(session, image);
    DBISOBlock iso;
    ASSERT_OK(GetISOVolumeInformation(session, &iso));
    const std::string info = Shell("isoinfo -d -R -J -i " + Quote(image.string()));
    EXPECT_NE(info.find("Volume id: " + Field(iso.VolumeIdentifier, 33) + "\n"), std::string::npos) << info;
    // libisofs writes the identifiers in ISO 9660's upper case; genisoimage keeps them as given.
    EXPECT_EQ(Field(iso.ApplicationIdentifier, 128), image == own ? "TARSEL TEST" : "Gen App");
    DBBootBlock boot;
    EXPECT_EQ(GetBootVolumeInformation(session, &boot), 28) << "neither image is bootable";
    EXPECT_OK(CloseDiskSession(session));
  }
  EXPECT_EQ(Rec.BurnDone, 1) << "reading starts no job";
}

// The image writer's own file is read as a file; a file that holds no ISO 9660 volume is refused.
TEST_F(DiscBurnImageDeviceTest, ReadsTheImageWritersFile) {
  const TFixtureFiles f = MakeFixtures(Dir);
  const fs::path gen = Genisoimage(Dir, Dir / "src");
  const std::u16string path = W(gen.string());
  ASSERT_OK(SetImageFilePath(path.c_str()));
  db_handle session = 0;
  ASSERT_OK(OpenDiskSession(1, 0, &session, 0));
  ExpectSessionMatchesXorriso(session, gen);
  EXPECT_OK(CloseDiskSession(session));

  const std::u16string notIso = W(f.Plain.string());
  ASSERT_OK(SetImageFilePath(notIso.c_str()));
  EXPECT_EQ(OpenDiskSession(1, 0, &session, 0), InvalidArgumentCode);
  EXPECT_EQ(TextOf(InvalidArgumentCode), "The medium holds no session");
  EXPECT_EQ(session, 0);
}

// The files of an imported image are written from the image, byte for byte, beside new ones.
TEST_F(DiscBurnTest, ImportedImageFilesAreWrittenByteExact) {
  const TFixtureFiles f = MakeFixtures(Dir);
  const fs::path gen = Genisoimage(Dir, Dir / "src");
  const fs::path extra = Dir / "extra.bin";
  WriteRandom(extra, 70001, 12);
  const fs::path out = Dir / "out.iso";
  UsePseudoDrive("stdio:" + out.string());
  DataProject(3, "IMPORTED");
  const std::u16string g = W(gen.string());
  ASSERT_OK(ImportFile(g.c_str()));
  EXPECT_EQ(Add(extra, "\\", "notes.txt"), NameExistsCode) << "an imported name is taken";
  ASSERT_OK(Add(extra));
  EXPECT_EQ(ImportFile(g.c_str()), NameExistsCode) << "the same names twice";
  const std::u16string other = W((Dir / "other.iso").string());
  EXPECT_EQ(ImportFile(other.c_str()), InvalidArgumentCode) << "one imported image per project";

  db_handle project = 0;
  ASSERT_OK(OpenDiskSession(0, -1, &project, 0));
  const auto listed = DiscFiles(project);
  EXPECT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed.at("/long.bin").Size, 300001);
  ASSERT_OK(CloseDiskSession(project));

  ASSERT_OK(Burn());
  ASSERT_TRUE(Rec.WaitJobDone());
  ASSERT_EQ(Rec.DoneErrors, std::vector<std::string>{""});
  const fs::path x = Dir / "x";
  fs::create_directories(x);
  Shell("bsdtar -xf " + Quote(out.string()) + " -C " + Quote(x.string()));
  for (const auto& [name, source] : std::vector<std::pair<std::string, fs::path>>{{"notes.txt", f.Plain},
                                                                                  {"long.bin", f.LongName},
                                                                                  {"clip.mkv", f.InFolder},
                                                                                  {"extra.bin", extra}}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(x / name));
    EXPECT_TRUE(ReadAll(x / name) == ReadAll(source));
  }
}

namespace {

struct TXorrisoSession {
  int Start = 0, Sectors = 0;
};

/// The sessions xorriso finds on a medium or image ("ISO session  :   1 ,  32 ,  73s , ...").
std::vector<TXorrisoSession> XorrisoToc(const fs::path& image) {
  std::vector<TXorrisoSession> sessions;
  std::istringstream lines(Shell("xorriso -indev " + Quote(image.string()) + " -toc 2>/dev/null"));
  std::string line;
  while (std::getline(lines, line)) {
    int index = 0;
    TXorrisoSession s;
    if (std::sscanf(line.c_str(), "ISO session : %d , %d , %ds", &index, &s.Start, &s.Sectors) == 3)
      sessions.push_back(s);
  }
  return sessions;
}

/// The FreeDB disc id of data tracks as the CDDB protocol defines it: the digit sums of the
/// start seconds (with the 2-second lead-in), the play length, the track count.
uint32_t ExpectedFreedbId(const std::vector<TXorrisoSession>& tracks) {
  auto digits = [](int n) {
    int s = 0;
    for (; n > 0; n /= 10) s += n % 10;
    return s;
  };
  int sum = 0;
  for (const auto& t : tracks) sum += digits((t.Start + 150) / 75);
  const int end = tracks.back().Start + tracks.back().Sectors;
  const int length = (end + 150) / 75 - (tracks.front().Start + 150) / 75;
  return static_cast<uint32_t>(sum % 255) << 24 | static_cast<uint32_t>(length) << 8 |
         static_cast<uint32_t>(tracks.size());
}

std::set<std::string> Names(const std::map<std::string, TDiscFile>& files) {
  std::set<std::string> names;
  for (const auto& [path, f] : files) names.insert(path);
  return names;
}

std::set<std::string> SessionFiles(int32_t session) {
  db_handle h = 0;
  EXPECT_OK(OpenDiskSession(-1, session, &h, 0));
  const auto names = Names(DiscFiles(h));
  EXPECT_OK(CloseDiskSession(h));
  return names;
}

}  // namespace

// Sessions, tracks and the FreeDB id of a two-session image that xorriso grew, as its own
// table of contents shows them; each session's tree is read on its own.
TEST_F(DiscBurnTest, SessionsAndTracksOfATwoSessionImage) {
  fs::create_directories(Dir / "a");
  fs::create_directories(Dir / "b");
  WriteRandom(Dir / "a" / "one.bin", 100000, 21);
  WriteRandom(Dir / "b" / "two.bin", 50000, 22);
  const fs::path two = Dir / "two.iso";
  const std::string target = Quote("stdio:" + two.string());
  Shell("cd " + Quote(Dir.string()) + " && xorriso -outdev " + target +
        " -map a /a -commit 2>&1 && xorriso -dev " + target + " -map b /b -commit 2>&1");
  const auto toc = XorrisoToc(two);
  ASSERT_EQ(toc.size(), 2u) << Shell("xorriso -indev " + Quote(two.string()) + " -toc 2>&1");
  UsePseudoDrive("stdio:" + two.string());
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i + 1);
    int32_t start = -1, sectors = -1, mode = -1, format = -1;
    ASSERT_OK(GetSessionInformation(-1, i + 1, &start, &sectors));
    EXPECT_EQ(start, toc[i].Start);
    EXPECT_EQ(sectors, toc[i].Sectors);
    ASSERT_OK(GetTrackInformation(-1, i + 1, &start, &sectors, &mode));
    EXPECT_EQ(start, toc[i].Start);
    EXPECT_EQ(sectors, toc[i].Sectors);
    EXPECT_EQ(mode, 1);
    ASSERT_OK(GetTrackFormatEx(-1, i + 1, &format));
    EXPECT_EQ(format, DB_TRACK_DATA);
  }
  int32_t start = 0, sectors = 0;
  EXPECT_EQ(GetSessionInformation(-1, 3, &start, &sectors), InvalidArgumentCode);
  EXPECT_EQ(TextOf(InvalidArgumentCode), "No session 3 on the medium (it holds 2)");
  EXPECT_EQ(GetTrackInformation(-1, 0, &start, &sectors, nullptr), InvalidArgumentCode);
  uint32_t id = 0;
  ASSERT_OK(GetMediumFreedbId(-1, &id));
  EXPECT_EQ(id, ExpectedFreedbId(toc));

  EXPECT_EQ(SessionFiles(1), (std::set<std::string>{"/a/one.bin"}));
  EXPECT_EQ(SessionFiles(2), (std::set<std::string>{"/a/one.bin", "/b/two.bin"}));
  EXPECT_EQ(SessionFiles(-1), SessionFiles(2)) << "-1 and 0 name the newest session";
  DBMediumInfo medium;
  ASSERT_OK(GetMediumInformation(-1, &medium));
  EXPECT_EQ(+medium.SessionCount, 2);
  EXPECT_EQ(+medium.TrackCount, 2);
  db_handle h = 0;
  ASSERT_OK(OpenDiskSession(-1, 1, &h, 0));
  ExpectSessionMatchesXorriso(h, two, "-load session 1");
  ASSERT_OK(CloseDiskSession(h));
}

namespace {

/// Extracts session `session` of an image with xorriso (0: the newest) into a fresh folder.
fs::path ExtractSession(const fs::path& image, int session, const fs::path& into) {
  fs::remove_all(into);
  fs::create_directories(into);
  const std::string load = session > 0 ? "-load session " + std::to_string(session) + " " : "";
  Shell("xorriso " + load + "-indev " + Quote(image.string()) + " -osirrox on -extract / " +
        Quote(into.string()) + " 2>&1");
  return into;
}

/// The burn device holds `image`, written and open: its record is what xorriso finds in it
/// ("Media status : is written , is appendable", its sessions and the blocks they take).
void ExpectOpenMediumRecord(const fs::path& image, int sessions) {
  const std::string report = Shell("xorriso -indev " + Quote(image.string()) + " -toc 2>&1");
  EXPECT_NE(report.find("is written , is appendable"), std::string::npos) << report;
  const auto toc = XorrisoToc(image);
  ASSERT_EQ(toc.size(), static_cast<size_t>(sessions)) << report;
  DBMediumInfo medium;
  ASSERT_OK(GetMediumInformation(-1, &medium));
  EXPECT_EQ(+medium.Status, 2) << "appendable";
  EXPECT_EQ(+medium.Appendable, 1);
  EXPECT_EQ(+medium.SessionCount, sessions);
  EXPECT_EQ(+medium.UsedSectors, toc.back().Start + toc.back().Sectors);
  EXPECT_GT(+medium.FreeSectors, 0);
}

void BurnAndWait(TRecorder& rec, int jobs) {
  ASSERT_OK(Burn());
  ASSERT_TRUE(rec.WaitJobDone(jobs));
  std::lock_guard<std::mutex> l(rec.Lock);
  ASSERT_EQ(rec.DoneErrors.back(), "");
}

}  // namespace

// A disc left open gets a second session that continues the first: the new tree holds the
// old files (less one the project dropped) and a new one; the first session stays readable
// on its own, and both tables of contents agree.
TEST_F(DiscBurnTest, ASecondSessionContinuesTheFirstAndKeepsItsFiles) {
  const TFixtureFiles f = MakeFixtures(Dir);
  const fs::path extra = Dir / "extra.bin";
  WriteRandom(extra, 80000, 31);
  const fs::path image = Dir / "multi.iso";
  UsePseudoDrive("stdio:" + image.string());
  DataProject(3, "FIRST");
  DBOptionsBlock options;
  ASSERT_OK(GetOptions(&options));
  options.Finalize = 0;
  ASSERT_OK(SetOptions(options));
  AddFixtures(*this, f);
  BurnAndWait(Rec, 1);
  ExpectOpenMediumRecord(image, 1);

  ASSERT_OK(CreateProject(DB_PT_DATA, 0));
  db_handle project = 0;
  ASSERT_OK(OpenDiskSession(0, -1, &project, 0));
  EXPECT_EQ(DiscFiles(project).size(), 3u) << "the project starts with the first session's files";
  ASSERT_OK(CloseDiskSession(project));
  const std::u16string root = u"\\", notes = u"notes.txt";
  ASSERT_OK(RemoveFile(root.c_str(), notes.c_str()));
  ASSERT_OK(Add(extra, "\\Videos\\"));
  BurnAndWait(Rec, 2);

  const auto toc = XorrisoToc(image);
  ASSERT_EQ(toc.size(), 2u) << Shell("xorriso -indev " + Quote(image.string()) + " -toc 2>&1");
  ExpectOpenMediumRecord(image, 2);
  for (int i = 0; i < 2; ++i) {
    int32_t start = 0, sectors = 0;
    ASSERT_OK(GetSessionInformation(-1, i + 1, &start, &sectors));
    EXPECT_EQ(start, toc[i].Start);
    EXPECT_EQ(sectors, toc[i].Sectors);
  }
  const fs::path newest = Dir / "newest";
  Shell("mkdir -p " + Quote(newest.string()) + " && bsdtar -xf " + Quote(image.string()) + " -C " +
        Quote(newest.string()));
  EXPECT_FALSE(fs::exists(newest / "notes.txt"));
  EXPECT_TRUE(ReadAll(newest / TFixtureFiles::LongDiscName) == ReadAll(f.LongName));
  EXPECT_TRUE(ReadAll(newest / "Videos" / "clip.mkv") == ReadAll(f.InFolder));
  EXPECT_TRUE(ReadAll(newest / "Videos" / "extra.bin") == ReadAll(extra));
  const fs::path first = ExtractSession(image, 1, Dir / "first");
  EXPECT_TRUE(ReadAll(first / "notes.txt") == ReadAll(f.Plain)) << "the first session is untouched";
  EXPECT_FALSE(fs::exists(first / "Videos" / "extra.bin"));
  EXPECT_EQ(SessionFiles(1).size(), 3u);
  EXPECT_EQ(SessionFiles(2), (std::set<std::string>{"/" + std::string(TFixtureFiles::LongDiscName),
                                                    "/Videos/clip.mkv", "/Videos/extra.bin"}));
  EXPECT_OK(CloseSession(-1));  // an image file needs no closing
}

// A finalised image (its one session written from block 0, where a further session's volume
// descriptors would go) is closed, as a closed CD-R is: its record says so, a further session
// is refused with the reason, and the image stays as it was, readable as xorriso reads it.
TEST_F(DiscBurnTest, AFinalisedImageRefusesAFurtherSessionAndItsRecordSaysClosed) {
  const TFixtureFiles f = MakeFixtures(Dir);
  const fs::path extra = Dir / "extra.bin";
  WriteRandom(extra, 5000, 32);
  const fs::path image = Dir / "closed.iso";
  UsePseudoDrive("stdio:" + image.string(), 100 * 1024 * 1024);
  EXPECT_EQ(CreateProject(DB_PT_DATA, 0), InvalidArgumentCode) << "nothing to continue yet";
  EXPECT_EQ(TextOf(InvalidArgumentCode), "The medium holds no session");
  DataProject(3, "CLOSED");
  AddFixtures(*this, f);
  BurnAndWait(Rec, 1);
  const std::string before = ReadAll(image);
  const auto toc = XorrisoToc(image);
  ASSERT_EQ(toc.size(), 1u);
  EXPECT_EQ(toc[0].Start, 0);

  DBMediumInfo medium;
  ASSERT_OK(GetMediumInformation(-1, &medium));
  EXPECT_EQ(+medium.Status, 3) << "closed";
  EXPECT_EQ(+medium.Appendable, 0);
  EXPECT_EQ(+medium.SessionCount, 1);
  EXPECT_EQ(+medium.UsedSectors, toc[0].Sectors);
  EXPECT_EQ(+medium.FreeSectors, 0);

  constexpr int32_t MediumNotWritableCode = 14;
  for (int32_t session : {1, 0}) {
    SCOPED_TRACE(session);
    EXPECT_EQ(CreateProject(DB_PT_DATA, session), MediumNotWritableCode);
    EXPECT_EQ(TextOf(MediumNotWritableCode), "The disc was finalised: it takes no further session");
  }
  EXPECT_EQ(CreateProject(DB_PT_DATA, 2), InvalidArgumentCode);
  EXPECT_TRUE(ReadAll(image) == before) << "the image is untouched";
  const fs::path all = ExtractSession(image, 0, Dir / "all");
  EXPECT_TRUE(ReadAll(all / "notes.txt") == ReadAll(f.Plain));
  EXPECT_TRUE(ReadAll(all / "Videos" / "clip.mkv") == ReadAll(f.InFolder));
  EXPECT_NE(Shell("isoinfo -d -R -J -i " + Quote(image.string())).find("Volume id: CLOSED"),
            std::string::npos);

  // A new project is a new image: it replaces the closed one whole.
  DataProject(3, "AGAIN");
  ASSERT_OK(Add(extra));
  BurnAndWait(Rec, 2);
  const fs::path again = ExtractSession(image, 0, Dir / "again");
  EXPECT_TRUE(ReadAll(again / "extra.bin") == ReadAll(extra));
  EXPECT_FALSE(fs::exists(again / "notes.txt"));
}

// Bootable discs: the El Torito catalog that isoinfo finds names the boot image's sectors,
// which hold the boot file byte for byte; the entry's fields are those set, read back both
// from the catalog's bytes and through the library. The boot files are listed nowhere.
TEST_F(DiscBurnTest, BootableDiscsCarryTheirBootImageAndEntry) {
  const TFixtureFiles f = MakeFixtures(Dir);
  struct TCase {
    const char* Name;
    size_t Size;
    int32_t Emulation, Platform, LoadSegment, SectorCount;
    bool Bootable;
    uint8_t MediaByte;  // El Torito media type of the entry
  };
  const std::vector<TCase> cases = {
      {"no emulation", 4 * 2048, 0, 0, 0x7C0, 4, true, 0},
      {"1.44 MB floppy, not bootable, Mac", 1440 * 1024, 2, 2, 0, 1, false, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path bootFile = Dir / "boot.bin";
    WriteRandom(bootFile, c.Size, 41);
    const fs::path image = Dir / (std::string("boot-") + std::to_string(c.Emulation) + ".iso");
    UsePseudoDrive("stdio:" + image.string());
    DataProject(3, "BOOTABLE");
    ASSERT_EQ(Add(f.Plain), 0);
    DBOptionsBlock options;
    ASSERT_OK(GetOptions(&options));
    options.Bootable = 1;
    std::memset(options.BootImage, 0, sizeof options.BootImage);
    W(bootFile.string()).copy(options.BootImage, 259);
    ASSERT_OK(SetOptions(options));
    DBBootBlock boot;
    ASSERT_OK(GetBootInfoEx(&boot));
    std::memset(boot.DeveloperID, 0, sizeof boot.DeveloperID);
    u"TARSEL"s.copy(boot.DeveloperID, 23);
    boot.Emulation = c.Emulation;
    boot.PlatformID = c.Platform;
    boot.LoadSegment = c.LoadSegment;
    boot.SectorCount = c.SectorCount;
    boot.BootIndicator = c.Bootable ? 1 : 0;
    ASSERT_OK(SetBootInfoEx(boot));
    const int jobs = Rec.JobDone + 1;
    BurnAndWait(Rec, jobs);

    const std::string info = Shell("isoinfo -d -R -J -i " + Quote(image.string()));
    unsigned catalogSector = 0;
    const auto at = info.find("boot catalog is in sector ");
    ASSERT_NE(at, std::string::npos) << info;
    ASSERT_EQ(std::sscanf(info.c_str() + at, "boot catalog is in sector %u", &catalogSector), 1);
    const std::string bytes = ReadAll(image);
    const auto* cat = reinterpret_cast<const uint8_t*>(bytes.data()) + catalogSector * 2048;
    EXPECT_EQ(cat[0], 1) << "validation entry";
    EXPECT_EQ(cat[1], c.Platform);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(cat + 4), 6), "TARSEL");
    const uint8_t* entry = cat + 32;
    EXPECT_EQ(entry[0], c.Bootable ? 0x88 : 0x00);
    EXPECT_EQ(entry[1], c.MediaByte);
    const unsigned lba = entry[8] | entry[9] << 8 | entry[10] << 16 | static_cast<unsigned>(entry[11]) << 24;
    EXPECT_TRUE(bytes.compare(lba * 2048, c.Size, ReadAll(bootFile)) == 0) << "the boot image's sectors";
    if (c.Emulation == 0) {
      EXPECT_EQ(entry[2] | entry[3] << 8, c.LoadSegment);
      EXPECT_EQ(entry[6] | entry[7] << 8, c.SectorCount);
    }
    const std::string report =
        Shell("xorriso -indev " + Quote(image.string()) + " -report_el_torito plain 2>&1");
    EXPECT_NE(report.find("El Torito boot img :   1"), std::string::npos) << report;
    EXPECT_EQ(Shell("bsdtar -tf " + Quote(image.string())), ".\n./notes.txt\n");

    db_handle session = 0;
    ASSERT_OK(OpenDiskSession(-1, 0, &session, 0));
    DBBootBlock read;
    ASSERT_OK(GetBootVolumeInformation(session, &read));
    EXPECT_EQ(Field(read.DeveloperID, 24), "TARSEL");
    EXPECT_EQ(+read.Emulation, c.Emulation);
    EXPECT_EQ(+read.PlatformID, c.Platform);
    EXPECT_EQ(+read.BootIndicator, c.Bootable ? 1 : 0);
    if (c.Emulation == 0) {
      EXPECT_EQ(+read.LoadSegment, c.LoadSegment);
      EXPECT_EQ(+read.SectorCount, c.SectorCount);
    }
    EXPECT_EQ(DiscFiles(session).size(), 1u);
    ASSERT_OK(CloseDiskSession(session));
  }
  // Floppy emulation takes only floppy-sized images.
  WriteRandom(Dir / "boot.bin", 3000, 42);
  EXPECT_NE(Prepare(), 0);
  EXPECT_NE(TextOf(22).find("The boot image cannot be used"), std::string::npos) << TextOf(22);
}

namespace {

/// What the verify callbacks reported.
struct TVerifyLog {
  std::mutex Lock;
  int Started = 0;
  std::vector<std::string> Files;
  std::vector<std::pair<std::string, std::string>> Errors;
  std::vector<int32_t> Done;
  std::vector<int32_t> SizeCodes;  // of GetImageSize called from each VerifyDone

  static TVerifyLog* Of(void* u) { return static_cast<TVerifyLog*>(u); }
  void Register() {
    SetStartVerifyEventCallback(
        [](void* u) {
          std::lock_guard<std::mutex> l(Of(u)->Lock);
          ++Of(u)->Started;
        },
        this);
    SetVerifyFileEventCallback(
        [](const db_char* name, void* u) {
          std::lock_guard<std::mutex> l(Of(u)->Lock);
          Of(u)->Files.push_back(U8(name));
        },
        this);
    SetVerifyErrorEventCallback(
        [](const db_char* name, const db_char* error, void* u) {
          std::lock_guard<std::mutex> l(Of(u)->Lock);
          Of(u)->Errors.emplace_back(U8(name), U8(error));
        },
        this);
    SetVerifyDoneEventCallback(
        [](int32_t errors, void* u) {
          int64_t size = 0;
          const int32_t sizeCode = GetImageSize(&size);
          std::lock_guard<std::mutex> l(Of(u)->Lock);
          Of(u)->Done.push_back(errors);
          Of(u)->SizeCodes.push_back(sizeCode);
        },
        this);
  }
};

}  // namespace

// Verifying reads the copy back: after a good burn it finds nothing; after one byte of the
// medium changed it names the file that holds the byte, and only that one.
TEST_F(DiscBurnTest, VerifyingPassesOnAGoodCopyAndCatchesAChangedByte) {
  const TFixtureFiles f = MakeFixtures(Dir);
  TVerifyLog log;
  log.Register();
  const fs::path image = Dir / "verified.iso";
  UsePseudoDrive("stdio:" + image.string());
  DataProject(3, "VERIFIED");
  AddFixtures(*this, f);
  ASSERT_OK(SetVerify(1));
  uint8_t verify = 0;
  ASSERT_OK(GetVerify(&verify));
  EXPECT_EQ(verify, 1);
  BurnAndWait(Rec, 1);
  const std::set<std::string> all = {"/notes.txt", "/" + std::string(TFixtureFiles::LongDiscName),
                                     "/Videos/clip.mkv"};
  {
    std::lock_guard<std::mutex> l(log.Lock);
    EXPECT_EQ(log.Started, 1);
    EXPECT_EQ(std::set<std::string>(log.Files.begin(), log.Files.end()), all);
    EXPECT_TRUE(log.Errors.empty());
    EXPECT_EQ(log.Done, std::vector<int32_t>{0});
  }

  // One byte in the middle of clip.mkv's blocks, as xorriso places them.
  const auto extents = XorrisoExtents(image);
  ASSERT_TRUE(extents.count("/Videos/clip.mkv"));
  {
    std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
    const std::streamoff at = extents.at("/Videos/clip.mkv")[0] * 2048 + 1000000;
    file.seekg(at);
    char c = 0;
    file.get(c);
    file.seekp(at);
    file.put(static_cast<char>(c ^ 0x40));
  }
  const std::u16string root = u"\\";
  ASSERT_OK(VerifyFile(root.c_str()));
  ASSERT_TRUE(Rec.WaitJobDone(2));
  {
    std::lock_guard<std::mutex> l(log.Lock);
    EXPECT_EQ(log.Started, 2);
    ASSERT_EQ(log.Errors.size(), 1u);
    EXPECT_EQ(log.Errors[0].first, "/Videos/clip.mkv");
    EXPECT_EQ(log.Errors[0].second, "The copy on the medium differs from the source file");
    EXPECT_EQ(log.Done, (std::vector<int32_t>{0, 1}));
    // The library is busy while a burn verifies (its BurnDone follows), and free again when
    // the verify job's VerifyDone is told.
    EXPECT_EQ(log.SizeCodes, (std::vector<int32_t>{24, 0}));
  }
  EXPECT_EQ(Rec.BurnDone, 1) << "verifying alone ends with VerifyDone, not BurnDone";
  const std::u16string missing = u"\\nothing\\";
  EXPECT_NE(VerifyFile(missing.c_str()), 0);
}

namespace {

/// How often `needle` occurs in the file.
size_t Occurrences(const fs::path& file, const std::string& needle) {
  const std::string hay = ReadAll(file);
  size_t count = 0;
  for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++count;
  return count;
}

}  // namespace

// A hidden file (or folder) is on the disc, only listed in no directory: its data is written,
// the readers do not list it, and verifying after the burn, on each of two drives, checks the
// listed files and passes.
TEST_F(DiscBurnTest, HiddenFilesAreWrittenUnlistedAndVerifyingPasses) {
  TVerifyLog log;
  log.Register();
  fs::create_directories(Dir / "src" / "private");
  const fs::path shown = Dir / "src" / "shown.bin", secret = Dir / "src" / "secret.bin",
                 inner = Dir / "src" / "private" / "inner.bin";
  WriteRandom(shown, 30000, 61);
  WriteRandom(secret, 20000, 62);
  WriteRandom(inner, 10000, 63);
  const fs::path first = Dir / "first.iso", second = Dir / "second.iso";
  BurnToTwoPseudoDrives(first, second);
  DataProject(3, "HIDDEN");
  DBOptionsBlock options;
  ASSERT_OK(GetOptions(&options));
  options.VerifyAfterBurn = 1;
  ASSERT_OK(SetOptions(options));
  ASSERT_EQ(Add(shown), 0);
  ASSERT_EQ(Add(secret), 0);
  const std::u16string root = u"\\", privateDir = u"Private", secretPath = u"\\secret.bin",
                       privatePath = u"\\Private";
  ASSERT_OK(CreateDir(root.c_str(), privateDir.c_str()));
  ASSERT_EQ(Add(inner, "\\Private\\"), 0);
  ASSERT_OK(SetFileAttr(secretPath.c_str(), DB_ATTR_HIDDEN));
  ASSERT_OK(SetFileAttr(privatePath.c_str(), DB_ATTR_HIDDEN));
  BurnAndWait(Rec, 1);
  {
    std::lock_guard<std::mutex> l(log.Lock);
    EXPECT_EQ(log.Started, 2);
    EXPECT_EQ(log.Files, (std::vector<std::string>{"/shown.bin", "/shown.bin"}));
    EXPECT_TRUE(log.Errors.empty()) << log.Errors.front().first << ": " << log.Errors.front().second;
    EXPECT_EQ(log.Done, (std::vector<int32_t>{0, 0}));
  }
  for (const auto& image : {first, second}) {
    SCOPED_TRACE(image.filename().string());
    EXPECT_EQ(Occurrences(image, ReadAll(secret)), 1u) << "the hidden file's data is written";
    EXPECT_EQ(Occurrences(image, ReadAll(inner)), 1u) << "so is the hidden folder's";
    EXPECT_EQ(Occurrences(image, ReadAll(shown)), 1u);
    EXPECT_EQ(Shell("bsdtar -tf " + Quote(image.string())), ".\n./shown.bin\n");
    const std::string names = Shell("isoinfo -f -R -J -i " + Quote(image.string()));
    EXPECT_EQ(names.find("secret"), std::string::npos) << names;
    EXPECT_EQ(names.find("rivate"), std::string::npos) << names;
  }
}

// The library's own settings: the language kept, media-change notification accepted, DVD-Video
// folders recognised; read-only files lose their write permissions on the disc, hidden ones
// are in no directory, user values are listed back and zisofs compresses what it can.
TEST_F(DiscBurnTest, TheLibrarysOwnSettingsReachTheDisc) {
  const std::u16string german = u"Deutsch", none = u"", missing = W((Dir / "missing.lng").string());
  ASSERT_OK(SetLanguage(german.c_str(), none.c_str()));
  db_char language[32];
  int32_t length = 32;
  ASSERT_OK(GetLanguage(language, &length));
  EXPECT_EQ(U8(language), "Deutsch");
  EXPECT_EQ(SetLanguage(german.c_str(), missing.c_str()), InvalidArgumentCode);
  EXPECT_OK(EnableMCNDisabling(1));
  EXPECT_OK(EnableMCNDisabling(0));

  fs::create_directories(Dir / "dvd" / "VIDEO_TS");
  std::ofstream(Dir / "dvd" / "VIDEO_TS" / "video_ts.ifo") << "DVDVIDEO-VMG";
  const std::u16string videoTs = W((Dir / "dvd" / "VIDEO_TS").string()), plain = W(Dir.string()),
                       absent = W((Dir / "absent").string());
  uint8_t valid = 9;
  ASSERT_OK(IsValidVideoTsFolder(videoTs.c_str(), &valid));
  EXPECT_EQ(valid, 1);
  ASSERT_OK(IsValidVideoTsFolder(plain.c_str(), &valid));
  EXPECT_EQ(valid, 0);
  EXPECT_NE(IsValidVideoTsFolder(absent.c_str(), &valid), 0);

  const fs::path locked = Dir / "locked.txt", secret = Dir / "secret.txt", tagged = Dir / "tagged.txt",
                 big = Dir / "big.txt";
  WriteRandom(locked, 1000, 51);
  WriteRandom(secret, 2000, 52);
  WriteRandom(tagged, 3000, 53);
  {
    std::ofstream out(big);
    for (int i = 0; i < 100000; ++i) out << "line " << i % 10 << " of a very compressible text\n";
  }
  const fs::path image = Dir / "settings.iso";
  UsePseudoDrive("stdio:" + image.string());
  DataProject(3, "SETTINGS");
  for (const auto& p : {locked, secret, tagged, big}) ASSERT_EQ(Add(p), 0);
  DBCompressEncryptBlock compress;
  ASSERT_OK(GetCompressEncrypt(&compress));
  compress.Compression = 1;
  compress.CompressionLevel = 9;
  ASSERT_OK(SetCompressEncrypt(compress));
  const std::u16string lockedPath = u"\\locked.txt", secretPath = u"\\secret.txt",
                       taggedPath = u"\\tagged.txt";
  ASSERT_OK(SetFileAttr(lockedPath.c_str(), DB_ATTR_READONLY));
  ASSERT_OK(SetFileAttr(secretPath.c_str(), DB_ATTR_HIDDEN));
  ASSERT_OK(SetFileUserParam(taggedPath.c_str(), 7));
  const std::u16string nowhere = u"\\nowhere.txt";
  EXPECT_NE(SetFileUserParam(nowhere.c_str(), 1), 0);
  db_handle project = 0;
  ASSERT_OK(OpenDiskSession(0, -1, &project, 0));
  DBFileEntry entry;
  ASSERT_OK(GetFileEntry(project, lockedPath.c_str(), &entry));
  EXPECT_EQ(+entry.Attributes, static_cast<uint32_t>(DB_ATTR_READONLY));
  ASSERT_OK(GetFileEntry(project, taggedPath.c_str(), &entry));
  EXPECT_EQ(+entry.UserParam, 7);
  ASSERT_OK(CloseDiskSession(project));
  BurnAndWait(Rec, 1);

  const std::string listing = Shell("bsdtar -tvf " + Quote(image.string()));
  EXPECT_NE(listing.find("-r--r--r--"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("secret"), std::string::npos) << listing;
  EXPECT_EQ(Shell("isoinfo -f -R -J -i " + Quote(image.string())).find("secret"), std::string::npos);
  EXPECT_LT(fs::file_size(image), fs::file_size(big) / 4) << "zisofs shrinks the text";
  const fs::path x = ExtractSession(image, 0, Dir / "x");
  EXPECT_TRUE(ReadAll(x / "big.txt") == ReadAll(big)) << "xorriso reads the compressed file back whole";
  EXPECT_TRUE(ReadAll(x / "tagged.txt") == ReadAll(tagged));
  EXPECT_EQ((fs::status(x / "locked.txt").permissions() & fs::perms::owner_write), fs::perms::none);
}

// Several burn devices: one burn writes the project to each; the list of burn devices is what
// GetBurnDevice reports. Locking a file's "tray" is accepted; the log holds every message.
TEST_F(DiscBurnTest, OneBurnWritesEveryBurnDeviceAndTheLogKeepsTheMessages) {
  std::vector<std::string> infoTexts;
  SetInfoTextEventCallback([](const db_char* text, int32_t,
                              void* u) { static_cast<std::vector<std::string>*>(u)->push_back(U8(text)); },
                           DB_HIGH_DEBUG, &infoTexts);
  const TFixtureFiles f = MakeFixtures(Dir);
  const fs::path first = Dir / "first.iso", second = Dir / "second.iso";
  const char16_t a = UsePseudoDrive("stdio:" + first.string());
  const std::u16string secondAddress = W("stdio:" + second.string());
  ASSERT_OK(AddPseudoDrive(secondAddress.c_str(), 0));
  const char16_t b = static_cast<char16_t>(a + 1);
  ASSERT_OK(AddBurnDevice(b));
  EXPECT_EQ(AddBurnDevice(b), InvalidArgumentCode);
  db_char letters[DB_MAX_DEVICES];
  int32_t count = DB_MAX_DEVICES;
  ASSERT_OK(GetBurnDevice(letters, &count));
  EXPECT_EQ(U8(letters), (std::string{static_cast<char>(a), static_cast<char>(b)}));
  DataProject(3, "TWICE");
  AddFixtures(*this, f);
  BurnAndWait(Rec, 1);
  EXPECT_EQ(Rec.BurnDone, 1) << "one burn, one done event";
  ExpectImageHolds(first, Dir / "one", f);
  ExpectImageHolds(second, Dir / "two", f);

  ASSERT_OK(RemoveBurnDevice(b));
  count = DB_MAX_DEVICES;
  ASSERT_OK(GetBurnDevice(letters, &count));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(RemoveBurnDevice(a), InvalidArgumentCode);
  EXPECT_EQ(TextOf(InvalidArgumentCode), "The only burn device cannot be removed");
  EXPECT_OK(LockMedium(-1, 1));
  EXPECT_OK(LockMedium(-1, 0));
  EXPECT_EQ(LockMedium(26, 1), InvalidDeviceCode);

  EXPECT_EQ(Erase(1, 0), NotErasableCode);  // libburn says why, as a message
  const fs::path log = Dir / "burn.log";
  const std::u16string logPath = W(log.string()), badPath = W((Dir / "no" / "such" / "burn.log").string());
  ASSERT_OK(SaveLogToFile(logPath.c_str()));
  const std::string text = ReadAll(log);
  ASSERT_FALSE(infoTexts.empty());
  for (const auto& t : infoTexts) EXPECT_NE(text.find(t), std::string::npos) << t << " missing from the log";
  EXPECT_NE(SaveLogToFile(badPath.c_str()), 0);
}

namespace {

/// A WAV file of random PCM samples; returns the samples.
std::string WriteWave(const fs::path& path, uint32_t bytes, uint32_t rate, unsigned seed) {
  std::mt19937 gen(seed);
  std::string pcm(bytes, '\0');
  for (auto& c : pcm) c = static_cast<char>(gen());
  auto le = [](uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
    return s;
  };
  std::ofstream out(path, std::ios::binary);
  out << "RIFF" << le(36 + bytes, 4) << "WAVE"
      << "fmt " << le(16, 4) << le(1, 2) << le(2, 2) << le(rate, 4) << le(rate * 4, 4) << le(4, 2)
      << le(16, 2) << "data" << le(bytes, 4) << pcm;
  return pcm;
}

}  // namespace

// Audio CDs from CD-format WAV files: play times, CD-Text and ISRC, the BIN/CUE image with the
// CD-Text file, the CUE sheet read back as a project; writing is refused on anything but a CD.
TEST_F(DiscBurnTest, AudioCdTracksAndCdTextAsFarAsAnImageFileGoes) {
  const fs::path one = Dir / "one.wav", two = Dir / "two.wav", noAudio = Dir / "notes.bin";
  const std::string pcm1 = WriteWave(one, 176400 + 124, 44100, 61);  // a second and a bit
  const std::string pcm2 = WriteWave(two, 2352 * 75, 44100, 62);     // exactly 75 sectors
  WriteRandom(noAudio, 5000, 63);
  const std::u16string onePath = W(one.string());
  int32_t ms = 0;
  ASSERT_OK(GetPlayTime(onePath.c_str(), &ms));
  EXPECT_EQ(ms, 1000);
  double seconds = 0;
  ASSERT_OK(GetPrecisePlayTime(onePath.c_str(), &seconds));
  EXPECT_DOUBLE_EQ(seconds, (176400.0 + 124) / 176400.0);

  ASSERT_OK(CreateProject(DB_PT_AUDIO, -1));
  EXPECT_EQ(Add(noAudio), 20);
  EXPECT_NE(TextOf(20).find("Not an audio file that can be decoded: " + noAudio.string()), std::string::npos);
  ASSERT_OK(Add(one));
  ASSERT_OK(Add(two));
  const std::u16string root = u"\\", track1 = u"\\one.wav", album = u"Caf\u00e9", band = u"Band",
                       song = u"Song One", isrc = u"DEA123456789", badIsrc = u"XYZ",
                       japanese = u"\u65e5\u672c";
  ASSERT_OK(SetAudioFileProperty(root.c_str(), DB_AUDIO_TITLE, album.c_str()));
  ASSERT_OK(SetAudioFileProperty(root.c_str(), DB_AUDIO_PERFORMER, band.c_str()));
  ASSERT_OK(SetAudioFileProperty(track1.c_str(), DB_AUDIO_TITLE, song.c_str()));
  ASSERT_OK(SetAudioFileProperty(track1.c_str(), DB_AUDIO_ISRC, isrc.c_str()));
  EXPECT_EQ(SetAudioFileProperty(track1.c_str(), DB_AUDIO_ISRC, badIsrc.c_str()), InvalidArgumentCode);
  // The disc's CD-Text has one character code, ISO 8859-1 or MS-JIS: Japanese beside the
  // album's "Café" is refused, as is a character neither code holds, and the titles and
  // performers set before stay (the CUE sheet below shows them).
  const std::u16string note = u"Song \U0001F3B5";
  struct TRefusal {
    const std::u16string* Path;
    int32_t Property;
    const std::u16string* Value;
    std::string Text;
  };
  const std::string mixed =
      "The CD-Text is written in one character code, and neither ISO 8859-1 (Latin-1) nor "
      "MS-JIS (Japanese) holds both \"\u65e5\u672c\" and \"Caf\u00e9\"";
  for (const auto& r : std::vector<TRefusal>{
           {&root, DB_AUDIO_PERFORMER, &japanese, mixed},
           {&track1, DB_AUDIO_TITLE, &japanese, mixed},
           {&track1, DB_AUDIO_PERFORMER, &japanese, mixed},
           {&root, DB_AUDIO_TITLE, &note,
            "Not usable as CD-Text, which holds ISO 8859-1 (Latin-1) or MS-JIS (Japanese) characters only: "
            "Song \U0001F3B5"}}) {
    EXPECT_EQ(SetAudioFileProperty(r.Path->c_str(), r.Property, r.Value->c_str()), InvalidArgumentCode);
    EXPECT_EQ(TextOf(InvalidArgumentCode), r.Text);
  }
  EXPECT_EQ(ImageSize(), (76 + 75) * 2352);

  const fs::path cue = Dir / "album.cue";
  const std::u16string cuePath = W(cue.string());
  std::atomic<int32_t> sizeCodeAtDone{-1};
  Rec.OnDone = [&] {
    int64_t size = 0;
    sizeCodeAtDone = GetImageSize(&size);
  };
  ASSERT_OK(CreateImage(cuePath.c_str()));
  ASSERT_TRUE(Rec.WaitJobDone(1));
  Rec.OnDone = nullptr;
  ASSERT_EQ(Rec.DoneErrors, std::vector<std::string>{""});
  EXPECT_EQ(sizeCodeAtDone, 0) << "the library is no longer busy when BurnDone is told";
  // The first track fills 76 sectors (its last one padded with silence): the second starts at 00:01:01.
  EXPECT_EQ(ReadAll(cue),
            "CDTEXTFILE \"album.cdt\"\nTITLE \"Caf\u00e9\"\nPERFORMER \"Band\"\n"
            "FILE \"album.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"Song One\"\n"
            "    ISRC DEA123456789\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:01:01\n");
  EXPECT_TRUE(ReadAll(Dir / "album.bin") == pcm1 + std::string(76 * 2352 - pcm1.size(), '\0') + pcm2);
  const std::string cdt = ReadAll(Dir / "album.cdt");
  ASSERT_GT(cdt.size(), 4u);
  EXPECT_EQ((cdt.size() - 4) % 18, 0u) << "CD-Text packs of 18 bytes";
  std::string texts;  // the 12 text bytes of each pack (after its 4-byte header, before its CRC)
  for (size_t at = 4; at + 18 <= cdt.size(); at += 18) {
    if (static_cast<uint8_t>(cdt[at]) == 0x80) texts += cdt.substr(at + 4, 12);
  }
  EXPECT_NE(texts.find(std::string("Caf\xE9\0Song One\0", 14)), std::string::npos)
      << "titles of disc and track 1, in ISO 8859-1";

  const std::string refusal =
      "Audio CDs are written on CD-R and CD-RW media only; the drive holds: stdio file";
  UsePseudoDrive("stdio:" + (Dir / "not-a-cd.bin").string());
  EXPECT_EQ(Prepare(), 14);
  EXPECT_EQ(TextOf(14), refusal);

  // The CUE sheet, parsed by libburn, is a project of its two tracks.
  ASSERT_OK(CreateProject(DB_PT_CUE, -1));
  ASSERT_OK(Add(cue));
  db_handle project = 0;
  ASSERT_OK(OpenDiskSession(0, -1, &project, 0));
  const auto tracks = DiscFiles(project);
  ASSERT_OK(CloseDiskSession(project));
  ASSERT_EQ(tracks.size(), 2u);
  EXPECT_EQ(tracks.at("/Track 01").Size, 76 * 2352);
  EXPECT_EQ(tracks.at("/Track 02").Size, 75 * 2352);
  EXPECT_EQ(Prepare(), 14);
  EXPECT_EQ(TextOf(14), refusal);

  // A mixed-mode CD: the root's audio files are its audio tracks, the other files its data track.
  ASSERT_OK(CreateProject(DB_PT_MIXED_MODE, -1));
  ASSERT_OK(Add(noAudio));  // not an audio file: a data file
  const int64_t dataTrack = ImageSize();
  EXPECT_GT(dataTrack, 0);
  EXPECT_EQ(dataTrack % 2048, 0);
  ASSERT_OK(Add(one));
  EXPECT_EQ(ImageSize(), dataTrack + 76 * 2352) << "the data track and the WAV file's 76 audio sectors";
  EXPECT_EQ(Prepare(), 14);
  EXPECT_EQ(TextOf(14), refusal);
  EXPECT_EQ(CreateImage(cuePath.c_str()), InvalidArgumentCode) << "a mixed-mode CD has no image file";
  EXPECT_EQ(Rec.BurnDone, 1);
  EXPECT_TRUE(Rec.Decoded.empty()) << "WAV files in the CD's format are read as they are";
}

namespace {

/// Audio files of a 441 Hz sine (lavfi's sine source, at 1/8 of full scale) made by Debian's
/// ffmpeg program, in the shapes real files come in.
struct TAudioFixture {
  const char* Name;
  int Rate, Channels;
  const char* Codec;
  double Seconds;  // the length it is made with: the truth a play time is held to
};
const TAudioFixture AudioFixtures[] = {
    {"sine.mp3", 48000, 1, "libmp3lame", 1.5},  // its LAME header has the decoder drop delay and padding
    {"sine.flac", 44100, 2, "flac", 0.7},
    {"sine.ogg", 22050, 2, "libvorbis", 0.9},  // ends inside its last decoded frame
    {"sine.m4a", 48000, 2, "aac", 1.2},        // an edit list cuts the encoder's delay
    {"surround.flac", 48000, 6, "flac", 0.5},  // 5.1
    {"sine48k.wav", 48000, 2, "pcm_s16le", 0.4},
    {"sine-u8.wav", 8000, 1, "pcm_u8", 0.3},
};

fs::path MakeAudio(const fs::path& dir, const TAudioFixture& f) {
  const fs::path path = dir / f.Name;
  char source[96];
  std::snprintf(source, sizeof source, "sine=frequency=441:sample_rate=%d:duration=%g", f.Rate, f.Seconds);
  Shell("ffmpeg -nostdin -v error -y -f lavfi -i " + std::string(source) + " -ac " +
        std::to_string(f.Channels) + " -c:a " + f.Codec + " " + Quote(path.string()) + " 2>&1");
  return path;
}

/// The file as Debian's ffmpeg program decodes it to the CD's format: an independent reader.
std::string FfmpegPcm(const fs::path& path) {
  return Shell("ffmpeg -nostdin -v error -i " + Quote(path.string()) +
               " -f s16le -ar 44100 -ac 2 - 2>/dev/null");
}

int16_t SampleAt(const std::string& pcm, size_t index) {
  return static_cast<int16_t>(static_cast<uint8_t>(pcm[2 * index]) | static_cast<uint8_t>(pcm[2 * index + 1])
                                                                         << 8);
}

/// CD sectors of a track of this many seconds.
int64_t SectorsOf(double seconds) { return (std::llround(seconds * 44100) * 4 + 2351) / 2352; }

}  // namespace

// Japanese CD-Text is written in MS-JIS: the BIN/CUE image's CD-Text file says so in its
// size pack, its title packs are double-byte ones holding what iconv makes of the titles, and
// the CUE sheet, whose TITLE lines give them in UTF-8, is taken back as a project.
TEST_F(DiscBurnTest, JapaneseCdTextIsWrittenInMsJis) {
  const fs::path one = Dir / "one.wav";
  WriteWave(one, 2352 * 80, 44100, 71);
  ASSERT_OK(CreateProject(DB_PT_AUDIO, -1));
  ASSERT_OK(Add(one));
  const std::string album = "\u65e5\u672c\u306e\u6b4c", song = "\u3055\u304f\u3089";
  const std::u16string root = u"\\", track1 = u"\\one.wav", albumText = W(album), songText = W(song),
                       band = u"Band";
  ASSERT_OK(SetAudioFileProperty(root.c_str(), DB_AUDIO_TITLE, albumText.c_str()));
  ASSERT_OK(SetAudioFileProperty(root.c_str(), DB_AUDIO_PERFORMER, band.c_str()));
  ASSERT_OK(SetAudioFileProperty(track1.c_str(), DB_AUDIO_TITLE, songText.c_str()));
  const fs::path cue = Dir / "japan.cue";
  const std::u16string cuePath = W(cue.string());
  ASSERT_OK(CreateImage(cuePath.c_str()));
  ASSERT_TRUE(Rec.WaitJobDone(1));
  ASSERT_EQ(Rec.DoneErrors, std::vector<std::string>{""});
  const std::string cdt = ReadAll(Dir / "japan.cdt");
  ASSERT_GT(cdt.size(), 4u);
  std::string titles;
  bool sizePackSeen = false;
  for (size_t at = 4; at + 18 <= cdt.size(); at += 18) {
    const auto type = static_cast<uint8_t>(cdt[at]);
    if (type == 0x8F && !sizePackSeen) {
      sizePackSeen = true;
      EXPECT_EQ(static_cast<uint8_t>(cdt[at + 4]), 0x80) << "character code MS-JIS";
    }
    if (type == 0x80 || type == 0x81) {
      EXPECT_NE(cdt[at + 3] & 0x80, 0) << "double-byte characters";
    }
    if (type == 0x80) titles += cdt.substr(at + 4, 12);
  }
  const auto msJis = [](const std::string& text) {
    return Shell("printf '%s' " + Quote(text) + " | iconv -f UTF-8 -t CP932");
  };
  ASSERT_FALSE(msJis(album).empty());
  EXPECT_EQ(titles.find(msJis(album) + std::string(2, '\0') + msJis(song) + std::string(2, '\0')), 0u);
  EXPECT_NE(ReadAll(cue).find("TITLE \"" + album + "\""), std::string::npos) << ReadAll(cue);
  ASSERT_OK(CreateProject(DB_PT_CUE, -1));
  EXPECT_OK(Add(cue));
}

// Play times of audio files of any format FFmpeg reads, to within a CD frame (1/75 s) of the
// length they were made with; a file FFmpeg cannot read is refused with its reason.
TEST_F(DiscBurnTest, PlayTimesOfAudioFilesOfAnyFormat) {
  for (const TAudioFixture& f : AudioFixtures) {
    const fs::path path = MakeAudio(Dir, f);
    ASSERT_TRUE(fs::exists(path)) << f.Name << " was not made";
    const std::u16string p = W(path.string());
    double seconds = 0;
    int32_t ms = 0;
    EXPECT_OK(GetPrecisePlayTime(p.c_str(), &seconds));
    EXPECT_NEAR(seconds, f.Seconds, 1.0 / 75) << f.Name;
    EXPECT_OK(GetPlayTime(p.c_str(), &ms));
    EXPECT_NEAR(ms, f.Seconds * 1000, 14) << f.Name;
  }
  const fs::path garbage = Dir / "garbage.mp3", missing = Dir / "missing.flac", text = Dir / "readme.txt";
  WriteRandom(garbage, 20000, 7);
  std::ofstream(text) << "Not a sound in here.\n";
  for (const fs::path& path : {garbage, missing, text}) {
    const std::u16string p = W(path.string());
    double seconds = -1;
    EXPECT_EQ(GetPrecisePlayTime(p.c_str(), &seconds), 20) << path;
    EXPECT_EQ(seconds, 0);
    const std::string why = TextOf(20);
    EXPECT_EQ(why.rfind("Not an audio file that can be decoded: " + path.string() + " (", 0), 0u) << why;
    if (path == missing) {
      EXPECT_NE(why.find("No such file or directory"), std::string::npos) << "FFmpeg's reason";
    }
  }
  const std::u16string missingPath = W(missing.string());
  int32_t ms = -1;
  EXPECT_EQ(GetPlayTime(missingPath.c_str(), &ms), 20);
  EXPECT_EQ(ms, 0);
}

// FFmpeg's lines about a damaged MP3 ("[mp3float] Header missing") go to the library's log and
// InfoText events, whether the file is measured for its play time or decoded into an image,
// and never to the standard error of the program that loaded the library.
TEST_F(DiscBurnTest, DecoderMessagesGoToTheLogNotToStandardError) {
  std::vector<std::string> infoTexts;
  std::mutex infoLock;
  struct TInfo {
    std::vector<std::string>* Texts;
    std::mutex* Lock;
  } info{&infoTexts, &infoLock};
  SetInfoTextEventCallback(
      [](const db_char* text, int32_t, void* u) {
        auto* i = static_cast<TInfo*>(u);
        std::lock_guard<std::mutex> l(*i->Lock);
        i->Texts->push_back(U8(text));
      },
      DB_INFO, &info);
  const fs::path mp3 = MakeAudio(Dir, {"damaged.mp3", 44100, 2, "libmp3lame", 3.0});
  {
    std::fstream file(mp3, std::ios::in | std::ios::out | std::ios::binary);
    std::mt19937 gen(5);
    std::string junk(4000, '\0');
    for (auto& c : junk) c = static_cast<char>(gen());
    file.seekp(20000);
    file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  }
  const fs::path errors = Dir / "stderr.txt";
  std::fflush(stderr);
  const int savedStderr = dup(2);
  const int errorFile = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(errorFile, 0);
  dup2(errorFile, 2);
  close(errorFile);
  const std::u16string path = W(mp3.string()), cue = W((Dir / "album.cue").string());
  double seconds = 0;
  const int32_t measured = GetPrecisePlayTime(path.c_str(), &seconds);
  const int32_t project = CreateProject(DB_PT_AUDIO, -1);
  const int32_t added = Add(mp3);
  const int32_t imaged = CreateImage(cue.c_str());
  const bool done = imaged == 0 && Rec.WaitJobDone();
  std::fflush(stderr);
  dup2(savedStderr, 2);
  close(savedStderr);
  EXPECT_OK(measured);
  EXPECT_OK(project);
  EXPECT_OK(added);
  EXPECT_OK(imaged);
  EXPECT_TRUE(done);
  EXPECT_EQ(ReadAll(errors).find("Header missing"), std::string::npos) << ReadAll(errors);
  std::lock_guard<std::mutex> l(infoLock);
  const auto headerMissing = std::count(infoTexts.begin(), infoTexts.end(), "[mp3float] Header missing");
  EXPECT_GE(headerMissing, 3) << "measured for the play time, for the track, decoded into the image";
  const fs::path log = Dir / "burn.log";
  const std::u16string logPath = W(log.string());
  ASSERT_OK(SaveLogToFile(logPath.c_str()));
  EXPECT_NE(ReadAll(log).find("[mp3float] Header missing"), std::string::npos);
}

// An audio CD of an MP3 file, a FLAC file and a CD-format WAV file as a BIN/CUE image: the
// decoded tracks are the CD's PCM of their files' length in whole sectors, as Debian's ffmpeg
// decodes them, and each decoded file is reported once; a file that cannot be decoded when
// the image is written fails it and leaves no image behind; writing still needs a CD.
TEST_F(DiscBurnTest, AudioFilesOfAnyFormatAreDecodedIntoTheirTracks) {
  const fs::path mp3 = MakeAudio(Dir, AudioFixtures[0]), flac = MakeAudio(Dir, AudioFixtures[1]);
  const fs::path wav = Dir / "cd.wav";
  const std::string wavPcm = WriteWave(wav, 2352 * 10, 44100, 64);
  ASSERT_OK(CreateProject(DB_PT_AUDIO, -1));
  ASSERT_OK(Add(mp3));
  ASSERT_OK(Add(flac));
  ASSERT_OK(Add(wav));
  const int64_t mp3Sectors = SectorsOf(1.5), flacSectors = SectorsOf(0.7);
  ASSERT_EQ(mp3Sectors, 113);  // 66150 samples
  ASSERT_EQ(flacSectors, 53);  // 30870 samples
  EXPECT_EQ(ImageSize(), (mp3Sectors + flacSectors + 10) * 2352);
  EXPECT_TRUE(Rec.Decoded.empty()) << "nothing is decoded before the image is written";

  const fs::path cue = Dir / "mixed.cue";
  const std::u16string cuePath = W(cue.string());
  ASSERT_OK(CreateImage(cuePath.c_str()));
  ASSERT_TRUE(Rec.WaitJobDone(1));
  ASSERT_EQ(Rec.DoneErrors, std::vector<std::string>{""});
  EXPECT_EQ(ReadAll(cue),
            "FILE \"mixed.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
            "    INDEX 01 00:01:38\n  TRACK 03 AUDIO\n    INDEX 01 00:02:16\n");
  const std::string bin = ReadAll(Dir / "mixed.bin");
  ASSERT_EQ(bin.size(), static_cast<size_t>((mp3Sectors + flacSectors + 10) * 2352));
  EXPECT_TRUE(bin.substr((mp3Sectors + flacSectors) * 2352) == wavPcm) << "the WAV file's PCM as it is";
  ASSERT_EQ(Rec.Decoded.size(), 2u) << "one report per decoded file";
  EXPECT_EQ(Rec.Decoded[0].File, mp3.string());
  EXPECT_EQ(Rec.Decoded[1].File, flac.string());
  for (const auto& d : Rec.Decoded) {
    EXPECT_EQ(d.Error, "");
    EXPECT_EQ(d.Code, 0);
  }

  struct TTrack {
    fs::path Source;
    int64_t FirstSector, Samples;
  };
  for (const TTrack& t : {TTrack{mp3, 0, 66150}, TTrack{flac, mp3Sectors, 30870}}) {
    const std::string track = bin.substr(t.FirstSector * 2352, t.Samples * 4);
    const std::string reference = FfmpegPcm(t.Source);
    ASSERT_GE(reference.size(), track.size() - 4 * 4) << t.Source;
    int maxDiff = 0, crossings = 0;
    double sumSquares = 0;
    for (size_t i = 0; i < track.size() / 2; ++i) {
      const int16_t v = SampleAt(track, i);
      if (i * 2 < reference.size()) maxDiff = std::max(maxDiff, std::abs(v - SampleAt(reference, i)));
      sumSquares += static_cast<double>(v) * v;
      if (i >= 2 && i % 2 == 0 && (SampleAt(track, i - 2) < 0) != (v < 0)) ++crossings;  // left channel
      if (i % 2 == 1) {
        EXPECT_EQ(v, SampleAt(track, i - 1)) << "a mono or stereo sine: both channels alike";
      }
      if (i % 2 == 1 && v != SampleAt(track, i - 1)) break;
    }
    EXPECT_LE(maxDiff, 2) << t.Source << ": as Debian's ffmpeg decodes it";
    // 441 Hz: two zero crossings a period. lavfi's sine peaks at 1/8 of full scale (4096); one
    // channel spread over two loses 3 dB in FFmpeg's channel matrix (the MP3 file is mono, the
    // FLAC file was made stereo from the mono sine), so each channel peaks at 4096/sqrt(2) and
    // its RMS is 2048; the MP3 encoder's losses leave a little less.
    const double seconds = static_cast<double>(t.Samples) / 44100;
    EXPECT_NEAR(crossings, 2 * 441 * seconds, 3) << t.Source;
    EXPECT_NEAR(std::sqrt(sumSquares / (track.size() / 2)), 2048, 150) << t.Source;
    const size_t end = (t.FirstSector * 2352 + t.Samples * 4 + 2351) / 2352 * 2352;
    EXPECT_EQ(bin.substr(t.FirstSector * 2352 + t.Samples * 4, end - t.FirstSector * 2352 - t.Samples * 4),
              std::string(end - t.FirstSector * 2352 - t.Samples * 4, '\0'))
        << "the rest of the last sector is silence";
  }

  // A file that no longer decodes when the image is written.
  const fs::path later = Dir / "later.ogg";
  fs::copy_file(MakeAudio(Dir, AudioFixtures[2]), later);
  ASSERT_OK(CreateProject(DB_PT_AUDIO, -1));
  ASSERT_OK(Add(later));
  WriteRandom(later, 30000, 9);
  Rec.Decoded.clear();
  const fs::path broken = Dir / "broken.cue";
  const std::u16string brokenPath = W(broken.string());
  ASSERT_OK(CreateImage(brokenPath.c_str()));
  ASSERT_TRUE(Rec.WaitJobDone(2));
  ASSERT_EQ(Rec.DoneErrors.size(), 2u);
  EXPECT_EQ(Rec.DoneErrors[1].rfind("The audio file cannot be decoded: " + later.string() + " (", 0), 0u)
      << Rec.DoneErrors[1];
  ASSERT_EQ(Rec.Decoded.size(), 1u);
  EXPECT_EQ(Rec.Decoded[0].File, later.string());
  EXPECT_EQ(Rec.Decoded[0].Error, Rec.DoneErrors[1]);
  EXPECT_EQ(Rec.Decoded[0].Code, 20);
  EXPECT_FALSE(fs::exists(broken)) << "no CUE sheet of a failed image";
  EXPECT_FALSE(fs::exists(Dir / "broken.bin")) << "no BIN file of a failed image";

  // Decoded tracks are written on CDs only, like any audio track; nothing is decoded for that.
  ASSERT_OK(CreateProject(DB_PT_AUDIO, -1));
  ASSERT_OK(Add(mp3));
  UsePseudoDrive("stdio:" + (Dir / "not-a-cd.bin").string());
  const std::string refusal =
      "Audio CDs are written on CD-R and CD-RW media only; the drive holds: stdio file";
  EXPECT_EQ(Prepare(), 14);
  EXPECT_EQ(TextOf(14), refusal);
  EXPECT_EQ(Burn(), 14);
  EXPECT_EQ(TextOf(14), refusal);
  // A mixed-mode CD takes the root's audio files as tracks, and a video file as data.
  ASSERT_OK(CreateProject(DB_PT_MIXED_MODE, -1));
  ASSERT_OK(Add(flac));
  const fs::path video = Dir / "clip.mkv";
  Shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=64x48:d=0.2 -f lavfi -i sine=d=0.2 " +
        Quote(video.string()) + " 2>&1");
  ASSERT_TRUE(fs::exists(video));
  ASSERT_OK(Add(video));
  const std::u16string flacTrack = u"\\sine.flac", videoFile = u"\\clip.mkv", title = u"Title";
  EXPECT_OK(SetAudioFileProperty(flacTrack.c_str(), DB_AUDIO_TITLE, title.c_str()));
  EXPECT_EQ(SetAudioFileProperty(videoFile.c_str(), DB_AUDIO_TITLE, title.c_str()), InvalidArgumentCode)
      << "a data file";
  EXPECT_EQ(Prepare(), 14);
  EXPECT_EQ(Rec.Decoded.size(), 1u) << "no decoding for a write that is refused";
}

// Reading CDs on an image file: sectors and data tracks are read; CD-Text and audio tracks
// are refused with the reason.
TEST_F(DiscBurnTest, ReadsSectorsAndDataTracksAndRefusesCdOnlyReadsOnAFile) {
  const TFixtureFiles f = MakeFixtures(Dir);
  const fs::path gen = Genisoimage(Dir, Dir / "src");
  UsePseudoDrive("stdio:" + gen.string());
  const std::string bytes = ReadAll(gen);
  std::vector<char> buffer(2 * 2048);
  ASSERT_OK(ReadSectors(-1, 16, 2, buffer.data(), static_cast<int32_t>(buffer.size())));
  EXPECT_TRUE(std::string(buffer.data(), buffer.size()) == bytes.substr(16 * 2048, 2 * 2048));
  EXPECT_EQ(ReadSectors(-1, 16, 2, buffer.data(), 2048), InvalidArgumentCode) << "the buffer is too small";

  const fs::path saved = Dir / "track1.iso";
  const std::u16string savedPath = W(saved.string());
  ASSERT_OK(SaveTrackToFile(-1, 1, savedPath.c_str()));
  int32_t start = 0, sectors = 0;
  ASSERT_OK(GetTrackInformation(-1, 1, &start, &sectors, nullptr));
  EXPECT_TRUE(ReadAll(saved) == bytes.substr(0, static_cast<size_t>(sectors) * 2048));
  EXPECT_EQ(GrabAudioTrack(-1, 1, savedPath.c_str()), InvalidArgumentCode);
  EXPECT_EQ(TextOf(InvalidArgumentCode), "Track 1 is no audio track");

  db_handle text = 77;
  EXPECT_EQ(ReadCDText(-1, &text), 14);
  EXPECT_EQ(text, 0);
  EXPECT_EQ(TextOf(14), "CD-Text is read from CDs only; the drive holds: stdio file");
}

// Copying a single-session data disc from one drive to another: the copy holds the source's
// session block for block; a disc of two sessions and a copy onto itself are refused.
TEST_F(DiscBurnTest, CopiesASingleSessionDiscToAnotherDrive) {
  const TFixtureFiles f = MakeFixtures(Dir);
  const fs::path gen = Genisoimage(Dir, Dir / "src");
  const fs::path copy = Dir / "copy.iso";
  WriteRandom(copy, 4 * 1024 * 1024, 71);  // an older, longer image at the target
  const char16_t source = UsePseudoDrive("stdio:" + gen.string());
  const char16_t target = UsePseudoDrive("stdio:" + copy.string());
  const int32_t from = source - u'A' + 1, to = target - u'A' + 1;
  EXPECT_EQ(CopyDisk(from, from), InvalidArgumentCode);
  ASSERT_OK(CopyDisk(from, to));
  ASSERT_TRUE(Rec.WaitJobDone(1));
  ASSERT_EQ(Rec.DoneErrors, std::vector<std::string>{""});
  const auto toc = XorrisoToc(gen);
  ASSERT_EQ(toc.size(), 1u);
  const std::string original = ReadAll(gen);
  EXPECT_TRUE(ReadAll(copy) == original.substr(0, static_cast<size_t>(toc[0].Sectors) * 2048));
  const fs::path x = ExtractSession(copy, 0, Dir / "x");
  EXPECT_TRUE(ReadAll(x / "long.bin") == ReadAll(f.LongName));
  EXPECT_TRUE(ReadAll(x / "clip.mkv") == ReadAll(f.InFolder));

  const fs::path grown = Dir / "grown.iso";
  const std::string grownTarget = Quote("stdio:" + grown.string());
  Shell("xorriso -outdev " + grownTarget + " -map " + Quote(f.Plain.string()) +
        " /a -commit 2>&1 && xorriso -dev " + grownTarget + " -map " + Quote(f.LongName.string()) +
        " /b -commit 2>&1");
  const char16_t twoSessions = UsePseudoDrive("stdio:" + grown.string());
  EXPECT_EQ(CopyDisk(twoSessions - u'A' + 1, to), InvalidArgumentCode);
  EXPECT_EQ(TextOf(InvalidArgumentCode), "Only single-session discs are copied; this one holds 2");
}

// Copies above 1: the image is made once and written to every burn device once per copy, each
// write verified; the scratch image is gone afterwards.
TEST_F(DiscBurnTest, SeveralCopiesAreWrittenFromOneImageAndVerified) {
  const TFixtureFiles f = MakeFixtures(Dir);
  TVerifyLog log;
  log.Register();
  const fs::path scratchDir = Dir / "tmp";
  fs::create_directories(scratchDir);
  const std::u16string tmp = W(scratchDir.string());
  ASSERT_OK(SetTmpPath(tmp.c_str()));
  const fs::path first = Dir / "first.iso", second = Dir / "second.iso";
  BurnToTwoPseudoDrives(first, second);
  DataProject(3, "COPIES");
  AddFixtures(*this, f);
  DBOptionsBlock options;
  ASSERT_OK(GetOptions(&options));
  options.Copies = 2;
  options.VerifyAfterBurn = 1;
  ASSERT_OK(SetOptions(options));
  // Settings and the project changed while the first copy is written (on the job thread, so
  // before the second is set up) leave the copies as they were started.
  std::vector<int32_t> changes;
  Rec.OnFirstProcess = [&] {
    DBOptionsBlock changed = options;
    changed.VerifyAfterBurn = 0;
    changed.TestBurn = 1;
    changes = {SetOptions(changed), SetVerify(0), CreateProject(DB_PT_CUE, -1)};
  };
  BurnAndWait(Rec, 1);
  EXPECT_EQ(changes, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(Rec.BurnDone, 1);
  EXPECT_EQ(Rec.Finalize, 4) << "two copies on each of two drives";
  {
    std::lock_guard<std::mutex> l(log.Lock);
    EXPECT_EQ(log.Done, (std::vector<int32_t>{0, 0, 0, 0}));
  }
  ExpectImageHolds(first, Dir / "one", f);
  ExpectImageHolds(second, Dir / "two", f);
  EXPECT_TRUE(fs::is_empty(scratchDir)) << "the scratch image is removed";
}
