#pragma once
// A prompter that keeps every message, question and beep and answers questions from a script.

#include <deque>
#include <vector>

#include "platform/prompter.h"

namespace testing_support {

class TRecordingPrompter : public platform::IPrompter {
 public:
  struct TPrompt {
    platform::TPromptIcon Icon;
    QString Caption;
    QString Text;
  };

  /// Installs itself as the process's prompter for its lifetime.
  TRecordingPrompter() { platform::SetPrompter(this); }
  ~TRecordingPrompter() override { platform::SetPrompter(nullptr); }

  void Message(QWidget*, platform::TPromptIcon icon, const QString& caption, const QString& text) override {
    Messages.push_back({icon, caption, text});
  }
  bool Question(QWidget*, platform::TPromptIcon icon, const QString& caption, const QString& text) override {
    Questions.push_back({icon, caption, text});
    if (Answers.empty()) return DefaultAnswer;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  void Beep(bool error) override { Beeps.push_back(error); }

  std::deque<bool> Answers;  // taken in order; then DefaultAnswer
  bool DefaultAnswer = false;
  std::vector<TPrompt> Messages;
  std::vector<TPrompt> Questions;
  std::vector<bool> Beeps;  // true: the error beep
};

}  // namespace testing_support
