#include "app/run_window/run_wiring.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "app/main_window/main_window.h"
#include "app/run_window/ff_run_media.h"
#include "app/settings/settings.h"

namespace app {

namespace {

QString AbsoluteFolder(const QString& folder) {
  if (folder.isEmpty()) return folder;
  QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
  if (!absolute.endsWith(QLatin1Char('/'))) absolute += QLatin1Char('/');
  return absolute;
}

template <typename TWindow>
void ShowRunWindow(Tfrm_Main& main, bool video, const QString& outputFolder, const TRunSession& session) {
  TWindow window(MakeRunInput(main, video, outputFolder, session), std::make_unique<TFFRunEncoder>(),
                 std::make_unique<TFFRunDecoder>(), &main);
  window.exec();
  if (session.OnClosed) session.OnClosed(window);
  // A signal ended the run: the program ends too, as the signal would have ended it.
  if (window.EndSignal() != 0) QCoreApplication::exit(128 + window.EndSignal());
}

}  // namespace

TRunInput MakeRunInput(const Tfrm_Main& main, bool video, const QString& outputFolder,
                       const TRunSession& session) {
  TRunInput input;
  for (int i = 0; i < main.RowCount(); ++i) input.Rows.push_back({main.RowCaption(i), main.RowPath(i)});
  input.OptionString = main.OptionString();
  // The container's text ("AVI", "WebM") and the audio format's ("MP3", "FLAC") are both the
  // extension in upper case.
  const QComboBox* format = video ? main.cb_VideoFormat() : main.cb_AudioFormat();
  input.Extension = QLatin1Char('.') + format->currentText().toLower();
  input.OutputFolder = AbsoluteFolder(outputFolder);
  input.Taskbar = main.prg_Win7();
  const QString settingsFile = SettingsFilePath();
  if (!settingsFile.isEmpty()) input.SettingsFolder = QFileInfo(settingsFile).absolutePath();
  input.EchoLog = session.EchoLog;
  input.SaveLog = session.SaveLog;
  input.CloseWhenDone = session.CloseWhenDone;
  input.NotAddedLines = session.NotAddedLines;
  input.Delays = main.WindowDelays();
  return input;
}

void WireRunWindows(Tfrm_Main& main, const TRunSession& session) {
  main.ShowVideoWindow = [&main, &session](const QString& outputFolder) {
    ShowRunWindow<Tfrm_Video>(main, true, outputFolder, session);
  };
  main.ShowAudioWindow = [&main, &session](const QString& outputFolder) {
    ShowRunWindow<Tfrm_Audio>(main, false, outputFolder, session);
  };
}

}  // namespace app
