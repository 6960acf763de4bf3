#pragma once
// A tiny HTTP server on 127.0.0.1 for the version check: every request gets
// the one version file it was made with (or, when told not to answer, the
// request is read and left waiting). It runs on the test's event loop.

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

namespace qv::testing {

// Answers every request with `body` (or, when `answer` is off, never).
class VersionServer {
 public:
  explicit VersionServer(QByteArray body, bool answer = true) : body_(std::move(body)), answer_(answer) {
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          request_ += socket->readAll();
          if (!request_.contains("\r\n\r\n") || !answer_) return;
          socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                        QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
          socket->disconnectFromHost();
        });
      }
    });
    server_.listen(QHostAddress(QHostAddress::LocalHost), 0);
  }
  QString Url() const { return QStringLiteral("http://127.0.0.1:%1/quorvanet/version").arg(server_.serverPort()); }
  QByteArray Request() const { return request_; }
  void Close() { server_.close(); }

 private:
  QTcpServer server_;
  QByteArray body_;
  bool answer_;
  QByteArray request_;
};

}  // namespace qv::testing
