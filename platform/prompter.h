#pragma once
// User prompts: the message boxes and beeps of the windows behind one small interface, so that
// batch runs with nobody present and tests can answer them.

#include <QString>
#include <memory>

class QWidget;

namespace platform {

enum class TPromptIcon { Information, Warning, Error, Question };

class IPrompter {
 public:
  virtual ~IPrompter() = default;
  /// Shows text with caption ("Error", "Warning"...) and icon, with an OK button.
  virtual void Message(QWidget* parent, TPromptIcon icon, const QString& caption, const QString& text) = 0;
  /// Asks a Yes/No question; true means Yes.
  virtual bool Question(QWidget* parent, TPromptIcon icon, const QString& caption, const QString& text) = 0;
  /// The error (hand) beep when error is set, else the default beep.
  virtual void Beep(bool error) = 0;
};

/// Message boxes on screen.
class TQtPrompter : public IPrompter {
 public:
  void Message(QWidget* parent, TPromptIcon icon, const QString& caption, const QString& text) override;
  bool Question(QWidget* parent, TPromptIcon icon, const QString& caption, const QString& text) override;
  void Beep(bool error) override;
};

/// For runs with nobody present: every text goes to standard error and every question is answered
/// No, the answer that loses nothing.
class TUnattendedPrompter : public IPrompter {
 public:
  void Message(QWidget* parent, TPromptIcon icon, const QString& caption, const QString& text) override;
  bool Question(QWidget* parent, TPromptIcon icon, const QString& caption, const QString& text) override;
  void Beep(bool error) override;
};

/// The prompter the windows use; TQtPrompter until another is installed.
IPrompter& Prompter();
/// Installs a prompter (not owned; nullptr goes back to the default). Tests install a recording one.
void SetPrompter(IPrompter* prompter);

/// Turns the "\r" line breaks of the program's texts into "\n".
QString NormalizeLineBreaks(QString text);

}  // namespace platform
