#include "platform/prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace platform {

namespace {
IPrompter* GPrompter = nullptr;

QMessageBox::Icon ToQt(TPromptIcon icon) {
  switch (icon) {
    case TPromptIcon::Information: return QMessageBox::Information;
    case TPromptIcon::Warning: return QMessageBox::Warning;
    case TPromptIcon::Error: return QMessageBox::Critical;
    case TPromptIcon::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

QString NormalizeLineBreaks(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

void TQtPrompter::Message(QWidget* parent, TPromptIcon icon, const QString& caption, const QString& text) {
  QMessageBox box(ToQt(icon), caption, NormalizeLineBreaks(text), QMessageBox::Ok, parent);
  // Messages name paths, addresses and library errors that the user may want to copy.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  box.exec();
}

bool TQtPrompter::Question(QWidget* parent, TPromptIcon icon, const QString& caption, const QString& text) {
  QMessageBox box(ToQt(icon), caption, NormalizeLineBreaks(text), QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void TQtPrompter::Beep(bool) { QApplication::beep(); }

void TUnattendedPrompter::Message(QWidget*, TPromptIcon, const QString& caption, const QString& text) {
  std::fprintf(stderr, "%s: %s\n", qUtf8Printable(caption), qUtf8Printable(NormalizeLineBreaks(text)));
}

bool TUnattendedPrompter::Question(QWidget*, TPromptIcon, const QString& caption, const QString& text) {
  std::fprintf(stderr, "%s: %s\n-> No\n", qUtf8Printable(caption), qUtf8Printable(NormalizeLineBreaks(text)));
  return false;
}

void TUnattendedPrompter::Beep(bool) {}

IPrompter& Prompter() {
  static TQtPrompter qtPrompter;
  return GPrompter != nullptr ? *GPrompter : qtPrompter;
}

void SetPrompter(IPrompter* prompter) { GPrompter = prompter; }

}  // namespace platform
