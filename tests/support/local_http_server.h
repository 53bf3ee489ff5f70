#pragma once
// A small HTTP/1.1 server on 127.0.0.1 (any free port) for the fetch tests, run on the thread
// that makes it: the test waits by running that thread's event loop (QTest::qWaitFor). Each path
// has a scripted answer: a whole response, a redirect, silence, an endless body or a body cut off
// early. Unknown paths answer 404.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <utility>

namespace testing_support {

struct THttpAnswer {
  enum class TMode {
    Whole,    // status, headers and the body, then the connection closes
    Silent,   // reads the request and never answers
    Endless,  // a 200 without length whose body never ends
    CutOff,   // announces the body's length plus 1000, sends the body and closes
  };
  int Status = 200;
  QByteArray Body;
  QList<std::pair<QByteArray, QByteArray>> Headers;
  TMode Mode = TMode::Whole;

  static THttpAnswer Text(const QByteArray& body, int status = 200) {
    return {status, body, {}, TMode::Whole};
  }
  static THttpAnswer Redirect(const QByteArray& location, int status = 302) {
    return {status, QByteArray(), {{"Location", location}}, TMode::Whole};
  }
  static THttpAnswer Of(TMode mode) { return {200, QByteArray("some bytes"), {}, mode}; }
};

class TLocalHttpServer : public QObject {
 public:
  TLocalHttpServer() {
    QObject::connect(&FServer, &QTcpServer::newConnection, this, [this] { Accept(); });
    FServer.listen(QHostAddress::LocalHost, 0);
  }

  bool Listening() const { return FServer.isListening(); }
  quint16 Port() const { return FServer.serverPort(); }
  /// "http://127.0.0.1:PORT" + path.
  QString Url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(Port()).arg(path);
  }
  void Route(const QString& path, THttpAnswer answer) { FRoutes.insert(path, std::move(answer)); }
  /// Requests whose head arrived for path, and for every path.
  int Hits(const QString& path) const { return FHits.value(path); }
  int TotalHits() const { return FTotal; }
  /// The head (request line and headers) of the last request.
  const QByteArray& LastRequest() const { return FLastRequest; }

  /// An address on 127.0.0.1 where nothing listens: connections are refused.
  static QString RefusedUrl(const QString& path) {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
  }

 private:
  // An endless body is sent in pieces of this size while less than that is waiting to go out.
  static constexpr qint64 kEndlessPiece = 64 * 1024;

  void Accept() {
    while (QTcpSocket* socket = FServer.nextPendingConnection()) {
      socket->setParent(this);
      auto buffer = std::make_shared<QByteArray>();
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
        if (buffer->contains("\r\n\r\n")) {
          socket->readAll();  // a body or a second request is not expected
          return;
        }
        buffer->append(socket->readAll());
        const qsizetype headEnd = buffer->indexOf("\r\n\r\n");
        if (headEnd >= 0) Answer(socket, buffer->left(headEnd));
      });
    }
  }

  void Answer(QTcpSocket* socket, const QByteArray& head) {
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() > 1 ? QString::fromLatin1(requestLine[1]) : QString();
    ++FTotal;
    ++FHits[path];
    FLastRequest = head;
    const THttpAnswer answer = FRoutes.value(path, THttpAnswer::Text("Not Found", 404));
    if (answer.Mode == THttpAnswer::TMode::Silent) return;

    QByteArray response = "HTTP/1.1 " + QByteArray::number(answer.Status) + " Scripted\r\n";
    for (const auto& [name, value] : answer.Headers) response += name + ": " + value + "\r\n";
    response += "Connection: close\r\n";
    if (answer.Mode == THttpAnswer::TMode::Endless) {
      response += "Content-Type: application/octet-stream\r\n\r\n";
      socket->write(response);
      const auto more = [socket] {
        if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < kEndlessPiece)
          socket->write(QByteArray(kEndlessPiece, 'x'));
      };
      QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
      more();
      return;
    }
    const qint64 announced = answer.Body.size() + (answer.Mode == THttpAnswer::TMode::CutOff ? 1000 : 0);
    response += "Content-Length: " + QByteArray::number(announced) + "\r\n\r\n" + answer.Body;
    socket->write(response);
    socket->disconnectFromHost();
  }

  QTcpServer FServer;
  QHash<QString, THttpAnswer> FRoutes;
  QHash<QString, int> FHits;
  int FTotal = 0;
  QByteArray FLastRequest;
};

}  // namespace testing_support
