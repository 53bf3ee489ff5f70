#include "media/ff_loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "media/ff_exception.h"
#include "media/ff_logger.h"
#include "media_test_support.h"

namespace {

using media::TLibrary;

const std::vector<TLibrary> GFFmpegLibraries = {TLibrary::avUtil,  TLibrary::swScale,  TLibrary::swResample,
                                                TLibrary::avCodec, TLibrary::avFormat, TLibrary::avFilter,
                                                TLibrary::avDevice};

// Where Debian keeps the library file, found without loading it (a library loaded once is
// recognised by inode afterwards, whatever path it is asked for by).
std::string SystemLibraryFile(const std::string& fileName) {
  for (const char* dir : {"/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/usr/lib", "/lib"}) {
    const std::filesystem::path p = std::filesystem::path(dir) / fileName;
    if (std::filesystem::exists(p)) return p.string();
  }
  return {};
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

unsigned RuntimeMajor(TLibrary lib) {
  const media::TFFApi& api = media::FF();
  switch (lib) {
    case TLibrary::avUtil:
      return api.avutil_version() >> 16;
    case TLibrary::swScale:
      return api.swscale_version() >> 16;
    case TLibrary::swResample:
      return api.swresample_version() >> 16;
    case TLibrary::avCodec:
      return api.avcodec_version() >> 16;
    case TLibrary::avFormat:
      return api.avformat_version() >> 16;
    case TLibrary::avFilter:
      return api.avfilter_version() >> 16;
    case TLibrary::avDevice:
      return api.avdevice_version() >> 16;
    default:
      return 0;
  }
}

// A library the loader opened stays mapped for the life of the process (it is opened with
// RTLD_NODELETE, and glibc recognises a loaded file by its inode whatever path it is asked for by),
// and FF() is one table for the process. So every case runs its body in a freshly started copy of
// this program: the result is the same under ctest and when the binary runs all cases at once.
class FFLoaderTest : public ::testing::Test {
 protected:
  void TearDown() override { Loader.SetLibraryPath(""); }
  static void InFreshProcess(const std::function<void()>& body) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
          body();
          std::fflush(stdout);
          std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
  }
  media::TFFLoader& Loader = media::FFLoader();
};

TEST_F(FFLoaderTest, FileNamesFollowTheSonameRule) {
  struct TCase {
    TLibrary Lib;
    const char* FileName;
  };
  const TCase cases[] = {{TLibrary::avUtil, "libavutil.so.57"},
                         {TLibrary::swScale, "libswscale.so.6"},
                         {TLibrary::swResample, "libswresample.so.4"},
                         {TLibrary::avCodec, "libavcodec.so.59"},
                         {TLibrary::avFormat, "libavformat.so.59"},
                         {TLibrary::avFilter, "libavfilter.so.8"},
                         {TLibrary::avDevice, "libavdevice.so.59"},
                         {TLibrary::libMFX, "libmfx.so.1"},
                         {TLibrary::SDL2, ""}};
  for (const TCase& c : cases) EXPECT_EQ(media::TFFLoader::LibraryFileName(c.Lib), c.FileName);
}

TEST_F(FFLoaderTest, LoadsTheEncoderSetFromTheSystem) {
  InFreshProcess([&] {
    ASSERT_TRUE(Loader.Load(media::EncoderLibraries)) << Loader.LastErrMsg();
    EXPECT_TRUE(Loader.Loaded(media::EncoderLibraries));
    EXPECT_TRUE(Loader.Loaded(media::DecoderLibraries));
    EXPECT_NO_THROW(Loader.CheckLibAV(media::EncoderLibraries));
    EXPECT_EQ(RuntimeMajor(TLibrary::avUtil), unsigned(LIBAVUTIL_VERSION_MAJOR));
    EXPECT_EQ(RuntimeMajor(TLibrary::avCodec), unsigned(LIBAVCODEC_VERSION_MAJOR));
    EXPECT_EQ(RuntimeMajor(TLibrary::avDevice), unsigned(LIBAVDEVICE_VERSION_MAJOR));
    for (TLibrary lib : GFFmpegLibraries)
      EXPECT_EQ(std::filesystem::path(Loader.LoadedFrom(lib)).filename(),
                media::TFFLoader::LibraryFileName(lib));
    // avdevice_register_all ran: the lavfi device is known as an input format.
    EXPECT_NE(media::FF().av_find_input_format("lavfi"), nullptr);
    // A second load of a loaded set is a no-op that succeeds.
    EXPECT_TRUE(Loader.Load(media::EncoderLibraries));
  });
}

TEST_F(FFLoaderTest, LoadsFromAFolderThatHoldsTheLibraries) {
  InFreshProcess([&] {
    const std::string dir = media_test::MakeTempDir("libdir");
    for (TLibrary lib : GFFmpegLibraries) {
      const std::string file = media::TFFLoader::LibraryFileName(lib);
      const std::string target = SystemLibraryFile(file);
      ASSERT_FALSE(target.empty()) << file;
      std::filesystem::create_symlink(target, std::filesystem::path(dir) / file);
    }
    Loader.SetLibraryPath(dir);
    ASSERT_TRUE(Loader.Load(media::EncoderLibraries)) << Loader.LastErrMsg();
    for (TLibrary lib : GFFmpegLibraries)
      EXPECT_TRUE(StartsWith(Loader.LoadedFrom(lib), dir + "/")) << Loader.LoadedFrom(lib);
    // The bound entry points really come from the folder's files.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(media::FF().avcodec_version), &info), 0);
    EXPECT_EQ(std::string(info.dli_fname), dir + "/libavcodec.so.59");
  });
}

TEST_F(FFLoaderTest, AFolderWithoutALibraryFallsBackToTheSystemSearch) {
  InFreshProcess([&] {
    const std::string dir = media_test::MakeTempDir("partial");
    const std::string file = media::TFFLoader::LibraryFileName(TLibrary::avUtil);
    std::filesystem::create_symlink(SystemLibraryFile(file), std::filesystem::path(dir) / file);
    Loader.SetLibraryPath(dir);
    ASSERT_TRUE(Loader.Load(media::DecoderLibraries)) << Loader.LastErrMsg();
    EXPECT_EQ(Loader.LoadedFrom(TLibrary::avUtil), dir + "/" + file);
    EXPECT_FALSE(StartsWith(Loader.LoadedFrom(TLibrary::avCodec), dir));
  });
}

TEST_F(FFLoaderTest, AJunkLibraryFailsTheSetAndLeavesNothingHalfLoaded) {
  InFreshProcess([&] {
    const std::string dir = media_test::MakeTempDir("junk");
    const std::string junk = dir + "/libavformat.so.59";
    std::ofstream(junk) << "this is not an ELF file\n";
    Loader.SetLibraryPath(dir);
    EXPECT_FALSE(Loader.Load(media::EncoderLibraries));
    EXPECT_TRUE(StartsWith(Loader.LastErrMsg(), "Load library " + junk + " error: ")) << Loader.LastErrMsg();
    for (TLibrary lib : GFFmpegLibraries)
      EXPECT_FALSE(Loader.Loaded(lib)) << media::TFFLoader::LibraryBaseName(lib);
    EXPECT_EQ(media::FF().avutil_version, nullptr);
    EXPECT_EQ(media::FF().avcodec_open2, nullptr);
    EXPECT_FALSE(Loader.Loaded(media::DecoderLibraries));
  });
}

TEST_F(FFLoaderTest, AFailedSetKeepsTheLibrariesThatWereLoadedBefore) {
  InFreshProcess([&] {
    ASSERT_TRUE(Loader.Load(TLibrary::avUtil)) << Loader.LastErrMsg();
    ASSERT_TRUE(Loader.Load(TLibrary::avCodec)) << Loader.LastErrMsg();
    const std::string dir = media_test::MakeTempDir("junk2");
    std::ofstream(dir + "/libavformat.so.59") << "junk";
    Loader.SetLibraryPath(dir);
    EXPECT_FALSE(Loader.Load(media::EncoderLibraries));
    // avutil and avcodec were in use before the call: they stay; what the call loaded goes.
    EXPECT_TRUE(Loader.Loaded(TLibrary::avUtil));
    EXPECT_TRUE(Loader.Loaded(TLibrary::avCodec));
    EXPECT_NE(media::FF().avcodec_open2, nullptr);
    EXPECT_FALSE(Loader.Loaded(TLibrary::swScale));
    EXPECT_FALSE(Loader.Loaded(TLibrary::swResample));
  });
}

TEST_F(FFLoaderTest, AMissingEntryPointNamesFunctionAndLibrary) {
  InFreshProcess([&] {
#define FIRST_NAME(name) #name,
    const char* const swscaleNames[] = {FF_SWSCALE_SYMBOLS(FIRST_NAME)};
#undef FIRST_NAME
    Loader.SetLibraryPath(STUB_EMPTY_SWSCALE_DIR);
    EXPECT_FALSE(Loader.Load(media::DecoderLibraries));
    const std::string expected = std::string("Load function ") + swscaleNames[0] + "@libswscale.so.6 error: ";
    EXPECT_TRUE(StartsWith(Loader.LastErrMsg(), expected)) << Loader.LastErrMsg();
    EXPECT_NE(Loader.LastErrMsg().find("undefined symbol"), std::string::npos) << Loader.LastErrMsg();
    EXPECT_FALSE(Loader.Loaded(TLibrary::swScale));
    EXPECT_FALSE(Loader.Loaded(TLibrary::avUtil));
    EXPECT_EQ(media::FF().sws_scale, nullptr);
  });
}

// A folder copy binds every function when it loads: one it calls and cannot find is a load
// failure with the function's name (the entry-point check would pass it by).
TEST_F(FFLoaderTest, AFolderCopyCallingAMissingFunctionFailsToLoad) {
  InFreshProcess([&] {
    ASSERT_TRUE(Loader.Load(TLibrary::avUtil)) << Loader.LastErrMsg();
    Loader.SetLibraryPath(STUB_UNBOUND_SWSCALE_DIR);
    EXPECT_FALSE(Loader.Load(TLibrary::swScale));
    const std::string expected =
        std::string("Load library ") + STUB_UNBOUND_SWSCALE_DIR + "/libswscale.so.6 error: ";
    EXPECT_TRUE(StartsWith(Loader.LastErrMsg(), expected)) << Loader.LastErrMsg();
    EXPECT_NE(Loader.LastErrMsg().find("stub_function_no_library_defines"), std::string::npos)
        << Loader.LastErrMsg();
    EXPECT_FALSE(Loader.Loaded(TLibrary::swScale));
    EXPECT_TRUE(Loader.Loaded(TLibrary::avUtil));
  });
}

TEST_F(FFLoaderTest, AWrongMajorVersionIsALoadFailure) {
  InFreshProcess([&] {
    ASSERT_TRUE(Loader.Load(media::DecoderLibraries)) << Loader.LastErrMsg();
    Loader.SetLibraryPath(STUB_OLD_AVDEVICE_DIR);
    EXPECT_FALSE(Loader.Load(TLibrary::avDevice));
    EXPECT_EQ(Loader.LastErrMsg(),
              std::string("Load library ") + STUB_OLD_AVDEVICE_DIR +
                  "/libavdevice.so.59 error: version 58.13.100 found, the program needs major "
                  "version 59");
    EXPECT_FALSE(Loader.Loaded(TLibrary::avDevice));
    EXPECT_EQ(media::FF().avdevice_version, nullptr);
    EXPECT_TRUE(Loader.Loaded(media::DecoderLibraries));
  });
}

TEST_F(FFLoaderTest, LoadingAvutilInstallsTheLogCallback) {
  InFreshProcess([&] {
    media::TFFLogger& logger = media::FFLogger();
    logger.SetSynchronous(true);
    logger.SetTriggerEventInMainThread(false);
    logger.SetLogLevel(media::TLogLevel::llWarning);
    std::vector<std::string> lines;
    logger.SetOnLog([&](const media::ILogReporter*, int, media::TLogLevel, const std::string& line) {
      lines.push_back(line);
    });
    ASSERT_TRUE(Loader.Load(TLibrary::avUtil)) << Loader.LastErrMsg();
    media::FF().av_log(nullptr, AV_LOG_ERROR, "through %s %d\n", "ffmpeg", 5);
    media::FF().av_log(nullptr, AV_LOG_INFO, "above the threshold\n");
    logger.SetOnLog(nullptr);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[Error] through ffmpeg 5"), std::string::npos) << lines[0];
  });
}

TEST_F(FFLoaderTest, RowsThatAreNeverLoadedAlwaysSucceed) {
  InFreshProcess([&] {
    Loader.SetLibraryPath("/nonexistent/folder");
    for (TLibrary lib : {TLibrary::myUtil, TLibrary::SDL2, TLibrary::libSoundTouch}) {
      EXPECT_TRUE(Loader.Load(lib)) << media::TFFLoader::LibraryBaseName(lib);
      EXPECT_TRUE(Loader.Loaded(lib));
      EXPECT_EQ(Loader.LoadedFrom(lib), "");
    }
    EXPECT_TRUE(Loader.Loaded(media::TLibraries{TLibrary::SDL2, TLibrary::libSoundTouch}));
  });
}

TEST_F(FFLoaderTest, CheckLibAVNamesTheFirstMissingLibrary) {
  InFreshProcess([&] {
    try {
      Loader.CheckLibAV(media::TLibraries{TLibrary::SDL2, TLibrary::avCodec, TLibrary::avFormat});
      FAIL() << "no exception";
    } catch (const media::FFmpegException& e) {
      EXPECT_STREQ(e.what(), "Library avcodec not loaded.");
    }
  });
}

TEST_F(FFLoaderTest, EmptySetsAreRefused) {
  EXPECT_THROW(Loader.Load(media::TLibraries{}), media::FFmpegException);
  EXPECT_THROW(Loader.Loaded(media::TLibraries{}), media::FFmpegException);
  EXPECT_THROW(Loader.Unload(media::TLibraries{}), media::FFmpegException);
}

TEST_F(FFLoaderTest, UnloadClearsTheEntryPoints) {
  InFreshProcess([&] {
    ASSERT_TRUE(Loader.Load(TLibrary::avUtil)) << Loader.LastErrMsg();
    ASSERT_NE(media::FF().av_malloc, nullptr);
    Loader.Unload(TLibrary::avUtil);
    EXPECT_FALSE(Loader.Loaded(TLibrary::avUtil));
    EXPECT_EQ(media::FF().av_malloc, nullptr);
    EXPECT_EQ(Loader.LoadedFrom(TLibrary::avUtil), "");
  });
}

TEST_F(FFLoaderTest, LibrarySetsHaveTheDocumentedMembers) {
  EXPECT_FALSE(media::DecoderLibraries.Contains(TLibrary::avDevice));
  EXPECT_TRUE(media::DecoderLibraries.Contains(TLibrary::myUtil));
  EXPECT_TRUE(media::EncoderLibraries.Contains(TLibrary::avDevice));
  EXPECT_FALSE(media::EncoderLibraries.Contains(TLibrary::libMFX));
  EXPECT_EQ(media::AllLibraries.Bits(), 0x7FF);
  EXPECT_EQ((media::EncoderLibraries - TLibrary::avDevice), media::DecoderLibraries);
}

}  // namespace
