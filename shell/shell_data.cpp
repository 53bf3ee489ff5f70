#include "shell/shell_data.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QUrl>
#include <unistd.h>

#include "platform/file_names.h"
#include "platform/shell_open.h"
#include "shell/mounts.h"
#include "shell/path_completion.h"
#include "shell/xdg_dirs.h"

namespace shell {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");
const QString kGnomeCopied = QStringLiteral("x-special/gnome-copied-files");
const QString kKdeCut = QStringLiteral("application/x-kde-cutselection");

// A local path from one line of a uri-list; empty for anything else.
QString LocalPathOf(const QString& line) {
  const QString text = line.trimmed();
  if (text.isEmpty() || text.startsWith(QLatin1Char('#'))) return {};
  const QUrl url(text, QUrl::StrictMode);
  if (!url.isValid() || !url.isLocalFile()) return {};
  // The name's own bytes from the percent-encoding (toLocalFile loses those that are not UTF-8).
  const QString path = platform::FileNameFromUrl(url);
  if (path.isEmpty() || path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r'))) return {};
  return path;
}

QStringList PathsOfLines(const QString& text) {
  QStringList paths;
  for (const QString& line : text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")), Qt::SkipEmptyParts))
    if (const QString path = LocalPathOf(line); !path.isEmpty()) paths.append(path);
  return paths;
}

}  // namespace

std::unique_ptr<QMimeData> GetDropFiles(const QStringList& paths, bool cut) {
  auto data = std::make_unique<QMimeData>();
  AddDropFilesToDataObject(paths, data.get(), cut);
  return data;
}

void AddDropFilesToDataObject(const QStringList& paths, QMimeData* data, bool cut) {
  if (data == nullptr) return;
  QByteArray uris;
  QByteArray copied = cut ? "cut" : "copy";
  QString plain;
  for (const QString& path : paths) {
    const QByteArray url = platform::ShellUrl(path).toEncoded();  // the name's own bytes
    uris += url + "\r\n";
    copied += '\n' + url;
    plain += path + QLatin1Char('\n');
  }
  data->setData(kUriList, uris);
  data->setData(kGnomeCopied, copied);
  if (cut) data->setData(kKdeCut, "1");
  data->setText(plain);
}

QStringList GetFilesFromDataObject(const QMimeData* data) {
  if (data == nullptr) return {};
  if (data->hasFormat(kUriList)) return PathsOfLines(QString::fromUtf8(data->data(kUriList)));
  if (data->hasFormat(kGnomeCopied)) {
    QStringList lines = QString::fromUtf8(data->data(kGnomeCopied)).split(QLatin1Char('\n'));
    if (!lines.isEmpty()) lines.removeFirst();  // "copy" or "cut"
    return PathsOfLines(lines.join(QLatin1Char('\n')));
  }
  return {};
}

bool IsCutData(const QMimeData* data) {
  if (data == nullptr) return false;
  if (data->hasFormat(kKdeCut) && data->data(kKdeCut).startsWith('1')) return true;
  return data->hasFormat(kGnomeCopied) && data->data(kGnomeCopied).startsWith("cut");
}

QStringList GetClipboardFiles() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return {};
  return GetFilesFromDataObject(QGuiApplication::clipboard()->mimeData());
}

QStringList GetExistingPathsFromText(const QString& text) {
  QStringList paths;
  for (const QString& line :
       text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")), Qt::SkipEmptyParts)) {
    QString word = line.trimmed();
    // A terminal quotes a name with blanks: '/v/a b.mp4'.
    if (word.size() > 2 && (word.front() == QLatin1Char('\'') || word.front() == QLatin1Char('"')) &&
        word.back() == word.front())
      word = word.mid(1, word.size() - 2);
    // Address bars write file URLs with %20 for a blank, editors often with the blank itself.
    const QString path = word.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)
                             ? platform::FileNameFromUrl(QUrl(word, QUrl::TolerantMode))
                             : word;
    if (!path.startsWith(QLatin1Char('/')) || !PathExists(path)) continue;
    paths.append(QDir::cleanPath(path));
  }
  return paths;
}

QStringList GetClipboardPaths() {
  const QStringList files = GetClipboardFiles();
  if (!files.isEmpty() || qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
    return files;
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data != nullptr && data->hasText() ? GetExistingPathsFromText(data->text()) : QStringList();
}

bool IsDriveRoot(const QString& path) { return !path.isEmpty() && TMounts::IsMountRoot(path); }

bool IsDriveReady(const QString& path) {
  if (path.isEmpty()) return false;
  const QString root = TMounts::ForPath(path).Root;
  return ::access(QFile::encodeName(root).constData(), R_OK | X_OK) == 0;
}

bool PathExists(const QString& path) {
  if (path.isEmpty()) return false;
  if (IsDriveRoot(path)) return IsDriveReady(path);
  const platform::TFileNameInfo info = platform::FileNameInfo(path);
  return info.Exists || info.IsLink;
}

bool NavForceDirectories(const QString& path) {
  if (path.isEmpty()) throw EInvalidOperation("NavForceDirectories() cannot be called with an empty path.");
  QDir dir;
  return dir.mkpath(path);
}

bool IsDrivePath(const QString& path) { return path.startsWith(QLatin1Char('/')) && !path.startsWith(QLatin1String("//")); }

bool IsUncPath(const QString& path) {
  return path.startsWith(QLatin1String("//")) && path.indexOf(QLatin1Char('/'), 2) > 2;
}

bool IsNetworkPath(const QString& path) { return IsUncPath(path) || (IsDrivePath(path) && TMounts::IsRemote(path)); }

bool HasExtension(const QString& path, const QString& extension) {
  QString p = path;
  while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) p.chop(1);
  const QString wanted = extension.startsWith(QLatin1Char('.')) ? extension : QLatin1Char('.') + extension;
  const QString name = QFileInfo(p).fileName();
  const int dot = static_cast<int>(name.lastIndexOf(QLatin1Char('.')));
  if (dot < 0) return wanted == QLatin1String(".");
  return name.mid(dot).compare(wanted, Qt::CaseInsensitive) == 0;
}

bool SamePath(const QString& a, const QString& b) {
  auto strip = [](QString p) {
    while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) p.chop(1);
    return p;
  };
  return strip(a) == strip(b);
}

int64_t GetFileSize64(const QString& path) {
  const platform::TFileNameInfo info = platform::FileNameInfo(path);
  if (!info.Exists) return -1;
  return info.Size;
}

QString FormatSizeText(bool kilobytes, int64_t value) {
  if (value < 0) return {};
  const QLocale locale;
  if (kilobytes) {
    const int64_t kb = (value + 1023) / 1024;
    return locale.toString(static_cast<qlonglong>(kb)) + QStringLiteral(" KB");
  }
  return locale.formattedDataSize(value, 1, QLocale::DataSizeTraditionalFormat);
}

int CompareLogical(const QString& a, const QString& b) {
  int i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      int si = i, sj = j;
      while (si < a.size() && a[si] == QLatin1Char('0')) ++si;
      while (sj < b.size() && b[sj] == QLatin1Char('0')) ++sj;
      int ei = si, ej = sj;
      while (ei < a.size() && a[ei].isDigit()) ++ei;
      while (ej < b.size() && b[ej].isDigit()) ++ej;
      if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
      const int c = QStringView(a).mid(si, ei - si).compare(QStringView(b).mid(sj, ej - sj));
      if (c != 0) return c < 0 ? -1 : 1;
      i = ei;
      j = ej;
      continue;
    }
    const QChar ca = a[i].toCaseFolded();
    const QChar cb = b[j].toCaseFolded();
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

QString ExpandPathMacros(const QString& text) { return ExpandPathMacros(text, QDateTime::currentDateTime()); }

QString ExpandPathMacros(const QString& text, const QDateTime& now) {
  QString result = text;
  result.replace(QStringLiteral("%DATE%"), now.toString(QStringLiteral("yyyy-MM-dd")), Qt::CaseInsensitive);
  result.replace(QStringLiteral("%TIME%"), now.toString(QStringLiteral("HH-mm-ss")), Qt::CaseInsensitive);
  result.replace(QStringLiteral("%MYDOCUMENTS%"), GetSpecialFolderPath(TNavShellFolder::SF_PERSONAL),
                 Qt::CaseInsensitive);
  // %VAR% and $VAR / ${VAR} from the environment; unknown names stay as they are.
  static const QRegularExpression variable(QStringLiteral(R"(%([A-Za-z_][A-Za-z0-9_]*)%|\$\{([A-Za-z_][A-Za-z0-9_]*)\}|\$([A-Za-z_][A-Za-z0-9_]*))"));
  QString expanded;
  qsizetype last = 0;
  for (auto it = variable.globalMatch(result); it.hasNext();) {
    const QRegularExpressionMatch match = it.next();
    QString name = match.captured(1);
    if (name.isEmpty()) name = match.captured(2);
    if (name.isEmpty()) name = match.captured(3);
    expanded += result.mid(last, match.capturedStart() - last);
    const QByteArray value = qgetenv(name.toLocal8Bit().constData());
    expanded += qEnvironmentVariableIsSet(name.toLocal8Bit().constData()) ? QString::fromLocal8Bit(value) : match.captured(0);
    last = match.capturedEnd();
  }
  expanded += result.mid(last);
  if (expanded == QLatin1String("~") || expanded.startsWith(QLatin1String("~/")))
    expanded = TXdgDirs::Home() + expanded.mid(1);
  return expanded;
}

QString ResolveLinkTarget(const QString& link) {
  const QFileInfo info(link);
  if (!info.isSymLink()) return {};
  return info.symLinkTarget();
}

bool SetAutoComplete(QLineEdit* edit, bool fileSystem, bool /*urls*/) {
  if (edit == nullptr) return false;
  if (fileSystem)
    AttachPathCompletion(edit);
  else
    edit->setCompleter(nullptr);
  return true;
}

QString GetSpecialFolderPath(TNavShellFolder folder) {
  const INavItemIdList list = GetSpecialFolderItemIdList(folder);
  return NavIsEmpty(list) ? QString() : list->GetPath();
}

}  // namespace shell
