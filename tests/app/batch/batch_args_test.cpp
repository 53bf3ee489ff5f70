#include "app/batch/batch_args.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/settings/temp_folder.h"
#include "platform/file_names.h"

namespace {

using app::TBatchRoad;

// Parameters after the program name; names are relative to the test's folder, which holds the
// files a.mp4, b.mkv, sub/c.avi and x, and the folder "folder".
struct TArgsCase {
  const char* Name;
  QStringList Params;
  bool BatchMode;
  TBatchRoad Road;
  const char* OutputFolder;  // relative to the test's folder, or nullptr when not in batch mode
  const char* ListFile;      // relative, or nullptr
  QStringList Inputs;        // relative
  bool SaveLogAndQuit;
};

class BatchArgsFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    FTemp = std::make_unique<QTemporaryDir>(testing_support::MakeTempFolder("batch_args"));
    ASSERT_TRUE(FTemp->isValid());
    QDir(FTemp->path()).mkpath(QStringLiteral("sub"));
    QDir(FTemp->path()).mkpath(QStringLiteral("folder"));
    for (const char* name : {"a.mp4", "b.mkv", "sub/c.avi", "x"}) {
      QFile file(FTemp->filePath(QString::fromUtf8(name)));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
  }
  QString Abs(const QString& relative) const { return QDir::cleanPath(FTemp->filePath(relative)); }

  std::unique_ptr<QTemporaryDir> FTemp;
};

void PrintTo(const TArgsCase& c, std::ostream* out) { *out << c.Name; }

class BatchArgsTest : public BatchArgsFolder, public ::testing::WithParamInterface<TArgsCase> {};

TEST_P(BatchArgsTest, ReadsTheParameters) {
  const TArgsCase& c = GetParam();
  const app::TCommandLine commandLine(QStringList{QStringLiteral("/opt/converter/converter")} + c.Params);
  const app::TBatchArgs args = app::ParseBatchArgs(commandLine, FTemp->path());

  EXPECT_EQ(args.BatchMode, c.BatchMode);
  EXPECT_EQ(args.Road, c.Road);
  EXPECT_EQ(args.SaveLogAndQuit, c.SaveLogAndQuit);
  EXPECT_EQ(args.OutputFolder, c.OutputFolder ? Abs(QString::fromUtf8(c.OutputFolder)) + '/' : QString());
  EXPECT_EQ(args.ListFile, c.ListFile ? Abs(QString::fromUtf8(c.ListFile)) : QString());
  QStringList inputs;
  for (const QString& input : c.Inputs) inputs << Abs(input);
  EXPECT_EQ(args.Inputs, inputs);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, BatchArgsTest, ::testing::Values(
    TArgsCase{"NoParameters", {}, false, TBatchRoad::None, nullptr, nullptr, {}, false},
    TArgsCase{"OneParameterIsNoBatch", {"-v"}, false, TBatchRoad::None, nullptr, nullptr, {}, false},
    TArgsCase{"XAloneIsNoBatch", {"x"}, false, TBatchRoad::None, nullptr, nullptr, {}, false},
    TArgsCase{"TwoParametersEmptyQueue", {"-v", "out"}, true, TBatchRoad::Convert, "out", nullptr, {}, false},
    TArgsCase{"AnyCase", {"-V", "out", "a.mp4", "X"}, true, TBatchRoad::Convert, "out", nullptr, {"a.mp4"}, true},
    TArgsCase{"ExtractSkipsMissingAndFolders", {"-a", "out/", "a.mp4", "missing.mp4", "folder", "sub/c.avi"},
              true, TBatchRoad::Extract, "out", nullptr, {"a.mp4", "sub/c.avi"}, false},
    TArgsCase{"EmptyParameterEndsTheScan", {"-v", "out", "a.mp4", "", "b.mkv"},
              true, TBatchRoad::Convert, "out", nullptr, {"a.mp4"}, false},
    TArgsCase{"ListFileAnyCase", {"-a", "out", "sub/List.FLS", "x"},
              true, TBatchRoad::Extract, "out", "sub/List.FLS", {}, true},
    TArgsCase{"ListFileTakesNoFurtherInputs", {"-v", "out", "l.fls", "a.mp4"},
              true, TBatchRoad::Convert, "out", "l.fls", {}, false},
    TArgsCase{"TrailingXIsNeverAnInput", {"-v", "out", "x"}, true, TBatchRoad::Convert, "out", nullptr, {}, true},
    TArgsCase{"XInTheMiddleIsAnInput", {"-v", "out", "x", "a.mp4"},
              true, TBatchRoad::Convert, "out", nullptr, {"x", "a.mp4"}, false},
    TArgsCase{"XAsOutputFolderIsAFolder", {"-v", "x"}, true, TBatchRoad::Convert, "x", nullptr, {}, false},
    TArgsCase{"UnknownRoadStillQueues", {"-q", "../elsewhere", "b.mkv"},
              true, TBatchRoad::None, "../elsewhere", nullptr, {"b.mkv"}, false},
    TArgsCase{"EmptyOutputFolderIsNoBatch", {"-v", "", "a.mp4"},
              false, TBatchRoad::None, nullptr, nullptr, {}, false}),
    [](const auto& info) { return std::string(info.param.Name); });
// clang-format on

TEST_F(BatchArgsFolder, ScanEndsAfterParameter999) {
  QStringList params = {"-v", "out"};
  for (int i = 3; i <= 1001; ++i) params << QStringLiteral("a.mp4");
  const app::TBatchArgs args = app::ParseBatchArgs(
      app::TCommandLine(QStringList{QStringLiteral("converter")} + params), FTemp->path());
  EXPECT_EQ(args.Inputs.size(), app::KLastInputParam - 2);
}

TEST_F(BatchArgsFolder, AbsolutePathsStayAsTheyAre) {
  const app::TBatchArgs args =
      app::ParseBatchArgs(app::TCommandLine(QStringList{"converter", "-v", Abs("out"), Abs("a.mp4")}),
                          QStringLiteral("/nonexistent"));
  EXPECT_EQ(args.OutputFolder, Abs("out") + '/');
  EXPECT_EQ(args.Inputs, QStringList{Abs("a.mp4")});
}

// Parameters as the shell passes them, in bytes that are not UTF-8 (a Latin-1 "é"): each names
// its own file, folder or missing name, and the output folder keeps its bytes.
TEST_F(BatchArgsFolder, ParametersThatAreNotUtf8NameTheirOwnFiles) {
  const QByteArray base = platform::FileNameToBytes(FTemp->path());
  ASSERT_EQ(::mkdir((base + "/d\xe9j\xe0").constData(), 0755), 0);
  FILE* file = std::fopen((base + "/caf\xe9.mp4").constData(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  const char* const argv[] = {"converter",  "-v",          "out\xe9", "caf\xe9.mp4",
                              "d\xe9j\xe0", "caf\xe9.mkv", "x",       nullptr};
  const app::TBatchArgs args = app::ParseBatchArgs(app::TCommandLine(7, argv), FTemp->path());
  EXPECT_EQ(platform::FileNameToBytes(args.OutputFolder), base + "/out\xe9/");
  ASSERT_EQ(args.Inputs.size(), 1);
  EXPECT_EQ(platform::FileNameToBytes(args.Inputs[0]), base + "/caf\xe9.mp4");
  ASSERT_EQ(args.Missing.size(), 2);
  EXPECT_EQ(platform::FileNameToBytes(args.Missing[0]), base + "/d\xe9j\xe0");
  EXPECT_EQ(platform::FileNameToBytes(args.Missing[1]), base + "/caf\xe9.mkv");
  EXPECT_TRUE(args.SaveLogAndQuit);
}

// Left out of the inputs, but kept apart: the batch did not convert them.
TEST_F(BatchArgsFolder, NamedInputsThatAreNoFileAreKeptApart) {
  const app::TBatchArgs args = app::ParseBatchArgs(
      app::TCommandLine(QStringList{"converter", "-v", "out", "a.mp4", "missing.mp4", "folder", "b.mkv", "x"}),
      FTemp->path());
  EXPECT_EQ(args.Inputs, (QStringList{Abs("a.mp4"), Abs("b.mkv")}));
  EXPECT_EQ(args.Missing, (QStringList{Abs("missing.mp4"), Abs("folder")}));
}

}  // namespace
