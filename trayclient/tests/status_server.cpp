// The stand-in status server: reads each GET request, answers from the page
// of its path or from the queue, and can delay an answer, drip it a byte at
// a time or stream a long one, counting what the client took.
#include "status_server.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <stdexcept>

StatusServer::StatusServer() {
  if (!m_server.listen(QHostAddress::LocalHost, 0)) throw std::runtime_error("cannot listen on 127.0.0.1");
  connect(&m_server, &QTcpServer::newConnection, this, &StatusServer::accept);
}

StatusServer::~StatusServer() { m_server.close(); }

void StatusServer::accept() {
  while (QTcpSocket* socket = m_server.nextPendingConnection()) {
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
      m_buffers.remove(socket);
      socket->deleteLater();
    });
  }
}

void StatusServer::readFrom(QTcpSocket* socket) {
  QByteArray& buffer = m_buffers[socket];
  buffer += socket->readAll();
  qsizetype end;
  // GET requests carry no body: each ends at the blank line.
  while ((end = buffer.indexOf("\r\n\r\n")) >= 0) {
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    buffer.remove(0, end + 4);
    Request request;
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.path = first.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const qsizetype colon = lines[i].indexOf(':');
      if (colon > 0) request.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
    }
    requests.push_back(request);
    ++unanswered;
    Answer reply;
    if (m_pages.contains(request.path)) {
      reply = m_pages[request.path];
    } else if (!m_queue.empty()) {
      reply = m_queue.front();
      m_queue.pop_front();
    } else {
      reply.code = 503;
    }
    emit requestReceived();
    if (reply.silent) continue;
    if (reply.delayMs > 0)
      QTimer::singleShot(reply.delayMs, socket, [this, socket, reply] { answer(socket, reply); });
    else
      answer(socket, reply);
  }
}

void StatusServer::answer(QTcpSocket* socket, const Answer& reply) {
  --unanswered;
  if (reply.streamBytes > 0) {
    stream(socket, reply);
    return;
  }
  QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.code) + " Status\r\n";
  out += "Content-Type: text/html\r\n";
  out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
  out += reply.headers;
  out += "Connection: close\r\n\r\n";
  if (reply.dripMs > 0) {
    socket->write(out);
    drip(socket, reply);
    return;
  }
  out += reply.body;
  socket->write(out);
  socket->disconnectFromHost();
}

void StatusServer::drip(QTcpSocket* socket, const Answer& reply) {
  if (reply.body.isEmpty()) {
    socket->disconnectFromHost();
    return;
  }
  // The timer goes with the socket, when the client drops the connection.
  auto* timer = new QTimer(socket);
  auto sent = std::make_shared<qsizetype>(0);
  connect(timer, &QTimer::timeout, socket, [this, socket, timer, body = reply.body, sent] {
    if (socket->state() != QAbstractSocket::ConnectedState) {
      timer->stop();
      return;
    }
    socket->write(body.constData() + *sent, 1);
    ++drippedBytes;
    if (++*sent == body.size()) {
      timer->stop();
      socket->disconnectFromHost();
    }
  });
  timer->start(reply.dripMs);
}

void StatusServer::stream(QTcpSocket* socket, const Answer& reply) {
  QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.code) + " Status\r\n";
  head += "Content-Type: text/html\r\n";
  head += reply.headers;
  head += "Connection: close\r\n\r\n";
  socket->write(head);
  const qint64 headBytes = head.size();
  // Writes go out in 64 KiB pieces, topped up as the client takes them, so
  // that what was sent tells how much the client read.
  QByteArray piece;
  while (piece.size() < (64 << 10)) piece += reply.body;
  auto queued = std::make_shared<qint64>(0);
  auto written = std::make_shared<qint64>(-headBytes);
  auto feed = [socket, reply, piece, queued] {
    while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < (256 << 10) &&
           *queued < reply.streamBytes) {
      const qint64 n = std::min<qint64>(piece.size(), reply.streamBytes - *queued);
      socket->write(piece.constData(), n);
      *queued += n;
    }
    if (*queued >= reply.streamBytes && socket->bytesToWrite() == 0) socket->disconnectFromHost();
  };
  connect(socket, &QTcpSocket::bytesWritten, socket, [this, feed, written](qint64 n) {
    const qint64 body = std::max<qint64>(0, *written + n) - std::max<qint64>(0, *written);
    *written += n;
    streamedBytes += body;
    feed();
  });
  feed();
}
