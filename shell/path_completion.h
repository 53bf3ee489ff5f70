#pragma once
// Completion of paths typed into a field, from the disk.

class QLineEdit;

namespace shell {

/// Gives edit the completion of folders and files (replacing its completer, unless that is this
/// completion already) and asks the disk for each folder as it is typed: QFileSystemModel reads
/// a folder only once it is asked for by path, and QCompleter walks the model without asking.
/// The entries are offered as the model reads them, in the background.
void AttachPathCompletion(QLineEdit* edit);

}  // namespace shell
