// Times the adding window against a plain probe loop over the same generated files:
//   plain:   avformat_open_input + avformat_find_stream_info + avformat_close_input per file
//   decoder: TFFDecoder::LoadFile, the file and first video stream records, CloseFile per file
//   adding:  the adding window's whole scan (checks, probe on its worker, row texts, rows
//            appended on the user-interface thread, final sort)
// and prints the rates and the ratio adding/plain; the adding window should keep at least 0.9 of
// the plain loop's rate. The decoder line tells the decoder's share of the difference from the
// window's own. Usage: probe_bench [COUNT] (1000 by default). bench/probe_bench.sh builds and runs it.

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>

#include "app/adding/adding.h"
#include "app/main_window/main_window.h"
#include "fixtures/media_fixtures.h"
#include "media/ff_api.h"
#include "media/ff_decoder.h"

namespace {

using TClock = std::chrono::steady_clock;

// Each measurement is repeated and the fastest run kept, so a stray scheduling delay on the
// shared machine does not decide the ratio.
constexpr int kRounds = 5;

double Seconds(TClock::time_point start) { return std::chrono::duration<double>(TClock::now() - start).count(); }

// Returns the seconds taken, or a negative value when a file did not open.
double PlainLoop(const QStringList& files) {
  const auto start = TClock::now();
  for (const QString& file : files) {
    const QByteArray name = file.toUtf8();
    AVFormatContext* context = nullptr;
    if (media::FF().avformat_open_input(&context, name.constData(), nullptr, nullptr) < 0) return -1;
    const int found = media::FF().avformat_find_stream_info(context, nullptr);
    media::FF().avformat_close_input(&context);
    if (found < 0) return -1;
  }
  return Seconds(start);
}

// The decoder alone, as the adding window's worker calls it: what the window adds on top of the
// plain loop splits into the decoder's share and the window's own.
double DecoderLoop(const QStringList& files) {
  media::TFFDecoder decoder;
  const auto start = TClock::now();
  for (const QString& file : files) {
    if (!decoder.LoadFile(file.toStdString())) return -1;
    decoder.FileStreamInfo();
    if (decoder.IsVideoStream(0)) decoder.GetVideoStreamInfo(0);
    decoder.CloseFile();
  }
  return Seconds(start);
}

// Returns the seconds taken, or a negative value when not every file became a row.
double AddingWindow(const QStringList& files) {
  app::Tfrm_Main main;
  main.DropQueue() = files;
  app::Tfrm_Adding adding(main);
  QEventLoop loop;
  QObject::connect(&adding, &QDialog::finished, &loop, &QEventLoop::quit);
  adding.show();
  const auto start = TClock::now();
  adding.Scan();
  if (adding.isVisible()) loop.exec();
  const double seconds = Seconds(start);
  return main.RowCount() == files.size() ? seconds : -1;
}

int Run(int count) {
  QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/probe_bench-XXXXXX"));
  if (!scratch.isValid()) throw std::runtime_error("no scratch folder");
  // The main window reads and writes its settings under here, not in the user's own folder.
  qputenv("XDG_CONFIG_HOME", scratch.filePath(QStringLiteral("config")).toUtf8());
  const fixtures::TMediaFixtures media = fixtures::WriteMediaFixtures(scratch.filePath(QStringLiteral("fixtures")).toStdString());
  QDir().mkpath(scratch.filePath(QStringLiteral("files")));
  QStringList files;
  for (int i = 0; i < count; ++i) {
    const QString file = scratch.filePath(QStringLiteral("files/clip%1.avi").arg(i, 4, 10, QLatin1Char('0')));
    if (!QFile::copy(QString::fromStdString(media.ClipAvi), file)) throw std::runtime_error("copy failed");
    files << file;
  }

  PlainLoop(files);  // warms the page cache and the libraries for both sides
  double plain = 1e9;
  double decoder = 1e9;
  double adding = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    const double p = PlainLoop(files);
    const double d = DecoderLoop(files);
    const double a = AddingWindow(files);
    if (p < 0 || d < 0 || a < 0) {
      std::fprintf(stderr, "probe_bench: a file was not probed (plain %.3f, decoder %.3f, adding %.3f)\n", p, d, a);
      return 1;
    }
    plain = std::min(plain, p);
    decoder = std::min(decoder, d);
    adding = std::min(adding, a);
  }
  const double plainRate = count / plain;
  const double addingRate = count / adding;
  std::printf("files: %d (clip.avi, %lld bytes each), best of %d rounds\n", count,
              static_cast<long long>(QFileInfo(files.first()).size()), kRounds);
  std::printf("plain open+find_stream_info: %.3f s, %.0f files/s\n", plain, plainRate);
  std::printf("decoder LoadFile loop:       %.3f s, %.0f files/s\n", decoder, count / decoder);
  std::printf("adding window:               %.3f s, %.0f files/s\n", adding, addingRate);
  std::printf("ratio adding/plain: %.2f (goal >= 0.90)\n", addingRate / plainRate);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (count < 1) {
    std::fprintf(stderr, "usage: probe_bench [COUNT]\n");
    return 2;
  }
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication application(qtArgc, qtArgv);
  try {
    return Run(count);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "probe_bench: %s\n", e.what());
    return 1;
  }
}
