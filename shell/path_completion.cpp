#include "shell/path_completion.h"

#include <QCompleter>
#include <QFileSystemModel>
#include <QLineEdit>

namespace shell {

namespace {

// Marks an edit whose typing already asks the model for folders, so that switching completion
// off and on again does not hook it twice.
constexpr char kHookedProperty[] = "navPathCompletionHooked";
// Names our completer: an edit that has it keeps it, with the folders its model has read.
constexpr char kCompleterName[] = "navPathCompleter";

}  // namespace

void AttachPathCompletion(QLineEdit* edit) {
  if (edit == nullptr) return;
  if (edit->completer() != nullptr && edit->completer()->objectName() == QLatin1String(kCompleterName))
    return;
  auto* completer = new QCompleter(edit);  // owned by the edit
  completer->setObjectName(QLatin1String(kCompleterName));
  auto* model = new QFileSystemModel(completer);
  model->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
  model->setRootPath(QString());
  completer->setModel(model);
  completer->setCaseSensitivity(Qt::CaseSensitive);
  edit->setCompleter(completer);
  if (edit->property(kHookedProperty).toBool()) return;
  edit->setProperty(kHookedProperty, true);
  QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
    QCompleter* current = edit->completer();
    auto* files = current != nullptr ? qobject_cast<QFileSystemModel*>(current->model()) : nullptr;
    const int slash = text.lastIndexOf(QLatin1Char('/'));
    if (files != nullptr && slash >= 0) files->index(slash == 0 ? QStringLiteral("/") : text.left(slash));
  });
}

}  // namespace shell
