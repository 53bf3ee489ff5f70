#pragma once
// The update check: once the main window is on screen (never in a batch), fetches the version file
// and, when the version published there is newer than the program's own, asks whether to open the
// download page. Without a network the check ends silently; it never holds up the window, and
// closing the window ends a fetch that is still waiting.

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <utility>

namespace components {
class TWebData;
}

namespace app {

class Tfrm_Main;

/// Largest version file read (bytes): the file holds a few characters, so anything bigger is not
/// a version file.
inline constexpr qint64 kVersionFileMaxSize = 1024;
/// Time the fetch may take before the check gives up (milliseconds).
inline constexpr int kVersionFileTimeout = 15000;

/// "major.minor" (white space around it ignored): at most 5 characters, digits, one dot, digits.
/// Nothing for any other text.
std::optional<std::pair<int, int>> ParseVersion(const QString& text);
/// fetched is a version and newer than own: a greater major, or an equal major and a greater minor.
bool IsNewerVersion(const QString& fetched, const QString& own);
/// The version file's address: CONVERTER_UPDATE_URL when it is set and not empty, else
/// kVersionFileUrl.
QString VersionFileUrl();
/// The question asked for a newer version.
QString UpdateQuestion(const QString& version);

class TUpdateCheck : public QObject {
  Q_OBJECT

 public:
  /// A child of main; the question is asked over main.
  explicit TUpdateCheck(Tfrm_Main& main);
  ~TUpdateCheck() override;

  /// tmr_Update's work: creates UpdateFetcher and starts fetching the version file, then returns.
  /// Runs once; does nothing in a batch.
  void Start();
  /// The fetch of the check; null before Start.
  components::TWebData* UpdateFetcher() const { return FUpdateFetcher.get(); }

 signals:
  /// The check is over: nothing was newer, the fetch failed, or the question has been answered.
  void Ended();

 private:
  /// Fetch thread: the version file's text arrived.
  void UpdateCheckDone(components::TWebData* Sender, int iItem, const QString& data);
  /// User-interface thread: asks about version and opens the download page on Yes.
  void AskForUpdate(const QString& version);

  Tfrm_Main& FMain;
  std::unique_ptr<components::TWebData> FUpdateFetcher;
  bool FAsking = false;  // the question is on screen
};

/// Makes the main window's StartUpdateCheck run a TUpdateCheck owned by the window.
void WireUpdateCheck(Tfrm_Main& main);

}  // namespace app
