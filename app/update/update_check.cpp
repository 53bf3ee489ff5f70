#include "app/update/update_check.h"

#include <QRegularExpression>

#include "app/about/about.h"
#include "app/batch/batch_mode.h"
#include "app/main_window/main_window.h"
#include "components/web_data.h"
#include "platform/prompter.h"
#include "platform/shell_open.h"

namespace app {

namespace {
// A version file holds "major.minor"; anything longer than this is an error page or worse.
constexpr qsizetype kMaxVersionLength = 5;
}  // namespace

std::optional<std::pair<int, int>> ParseVersion(const QString& text) {
  static const QRegularExpression kVersion(QStringLiteral("^([0-9]+)\\.([0-9]+)$"));
  const QString version = text.trimmed();
  if (version.size() > kMaxVersionLength) return std::nullopt;
  const QRegularExpressionMatch match = kVersion.match(version);
  if (!match.hasMatch()) return std::nullopt;
  return std::make_pair(match.captured(1).toInt(), match.captured(2).toInt());
}

bool IsNewerVersion(const QString& fetched, const QString& own) {
  const auto theirs = ParseVersion(fetched);
  const auto ours = ParseVersion(own);
  if (!theirs || !ours) return false;
  return theirs->first > ours->first || (theirs->first == ours->first && theirs->second > ours->second);
}

QString VersionFileUrl() {
  const QString fromEnvironment = qEnvironmentVariable("CONVERTER_UPDATE_URL");
  return fromEnvironment.isEmpty() ? QString::fromLatin1(kVersionFileUrl) : fromEnvironment;
}

QString UpdateQuestion(const QString& version) {
  return QStringLiteral("A new version is available: ") + version + QStringLiteral("\r\r") +
         QStringLiteral("Do you want to visit the download page now?");
}

TUpdateCheck::TUpdateCheck(Tfrm_Main& main) : QObject(&main), FMain(main) {}

// The fetcher goes first: it stops its thread before this object's queued calls are dropped.
TUpdateCheck::~TUpdateCheck() { FUpdateFetcher.reset(); }

void TUpdateCheck::Start() {
  if (FUpdateFetcher || FMain.BatchRun()) return;
  FUpdateFetcher = std::make_unique<components::TWebData>();
  FUpdateFetcher->SetMaxSize(kVersionFileMaxSize);
  FUpdateFetcher->SetTimeout(kVersionFileTimeout);
  FUpdateFetcher->Data().Add()->SetURL(VersionFileUrl());
  FUpdateFetcher->OnData = [this](components::TWebData* sender, int item, const QString& data) {
    UpdateCheckDone(sender, item, data);
  };
  // Every end that asked nothing ends the check here; a question ends it when it is answered
  // (it was queued before the end of the run, so it has been asked by now).
  FUpdateFetcher->OnCollectDone = [this](components::TWebData*) {
    if (!FAsking) emit Ended();
  };
  FUpdateFetcher->Execute();
}

void TUpdateCheck::UpdateCheckDone(components::TWebData*, int, const QString& data) {
  // The comparison runs here on the fetch thread; the question belongs to the user-interface
  // thread.
  if (!IsNewerVersion(data, QString::fromLatin1(kProgramVersion))) return;
  const QString version = data.trimmed();
  QMetaObject::invokeMethod(
      this, [this, version] { AskForUpdate(version); }, Qt::QueuedConnection);
}

void TUpdateCheck::AskForUpdate(const QString& version) {
  FAsking = true;
  const bool yes = platform::Prompter().Question(&FMain, platform::TPromptIcon::Information,
                                                 QStringLiteral("Update"), UpdateQuestion(version));
  if (yes) platform::OpenOrTell(&FMain, QString::fromLatin1(kHomePage), QStringLiteral("The download page"));
  FAsking = false;
  emit Ended();
}

void WireUpdateCheck(Tfrm_Main& main) {
  auto* check = new TUpdateCheck(main);  // owned by main
  check->setObjectName(QStringLiteral("UpdateCheck"));
  main.StartUpdateCheck = [check] { check->Start(); };
}

}  // namespace app
