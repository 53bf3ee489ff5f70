#pragma once
// File dialogs answered from a script: each call takes the next answer of its kind; an empty
// optional is Cancel, and so is a call with no answer left. Every call is counted.

#include <QString>
#include <deque>
#include <optional>

#include "platform/file_dialogs.h"

namespace testing_support {

class TScriptedFileDialogs : public platform::IFileDialogs {
 public:
  /// Installs itself as the process's dialogs for its lifetime.
  TScriptedFileDialogs() { platform::SetFileDialogs(this); }
  ~TScriptedFileDialogs() override { platform::SetFileDialogs(nullptr); }

  bool PickFolder(QWidget*, const QString& title, QString& folder) override {
    ++FolderCalls;
    LastTitle = title;
    return Take(Folders, folder);
  }
  bool OpenFileName(QWidget*, const QString& filter, const QString&, QString& fileName) override {
    ++OpenCalls;
    LastFilter = filter;
    return Take(OpenNames, fileName);
  }
  bool SaveFileName(QWidget*, const QString& filter, const QString&, QString& fileName) override {
    ++SaveCalls;
    LastFilter = filter;
    return Take(SaveNames, fileName);
  }

  std::deque<std::optional<QString>> Folders;
  std::deque<std::optional<QString>> OpenNames;
  std::deque<std::optional<QString>> SaveNames;
  int FolderCalls = 0;
  int OpenCalls = 0;
  int SaveCalls = 0;
  QString LastTitle;
  QString LastFilter;

 private:
  static bool Take(std::deque<std::optional<QString>>& answers, QString& result) {
    if (answers.empty()) return false;
    const std::optional<QString> answer = answers.front();
    answers.pop_front();
    if (!answer) return false;
    result = *answer;
    return true;
  }
};

}  // namespace testing_support
