#include "shell/path_completion.h"

#include <QCompleter>
#include <QFileSystemModel>
#include <QLineEdit>

#include "shell/shell_data.h"

namespace shell {

void AttachPathCompletion(QLineEdit* edit) {
  if (edit == nullptr || !SetAutoComplete(edit, true, false)) return;
  QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
    QCompleter* completer = edit->completer();
    auto* files = completer != nullptr ? qobject_cast<QFileSystemModel*>(completer->model()) : nullptr;
    const int slash = text.lastIndexOf(QLatin1Char('/'));
    if (files != nullptr && slash >= 0) files->index(slash == 0 ? QStringLiteral("/") : text.left(slash));
  });
}

}  // namespace shell
