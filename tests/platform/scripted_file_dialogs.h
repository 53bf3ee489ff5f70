#pragma once
// File dialogs answered from a script: each call takes the next answer of its kind; an empty
// optional is Cancel, and so is a call with no answer left. Every call is counted.

#include <QString>
#include <QStringList>
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
  bool OpenFileNames(QWidget*, const QString& title, const QString& folder, const QString& filter,
                     QStringList& fileNames) override {
    ++OpenManyCalls;
    LastTitle = title;
    LastFolder = folder;
    LastFilter = filter;
    return Take(OpenManyNames, fileNames);
  }
  bool SaveFileName(QWidget*, const QString& filter, const QString& defaultSuffix, QString& fileName) override {
    ++SaveCalls;
    LastFilter = filter;
    LastDefaultSuffix = defaultSuffix;
    LastSaveProposal = fileName;
    return Take(SaveNames, fileName);
  }

  std::deque<std::optional<QString>> Folders;
  std::deque<std::optional<QString>> OpenNames;
  std::deque<std::optional<QString>> SaveNames;
  std::deque<std::optional<QStringList>> OpenManyNames;
  int FolderCalls = 0;
  int OpenCalls = 0;
  int SaveCalls = 0;
  int OpenManyCalls = 0;
  QString LastTitle;
  QString LastFilter;
  QString LastFolder;
  QString LastDefaultSuffix;
  QString LastSaveProposal;  // the name the window offered in the save dialog

 private:
  template <typename T>
  static bool Take(std::deque<std::optional<T>>& answers, T& result) {
    if (answers.empty()) return false;
    const std::optional<T> answer = answers.front();
    answers.pop_front();
    if (!answer) return false;
    result = *answer;
    return true;
  }
};

}  // namespace testing_support
