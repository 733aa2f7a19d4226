// A stand-in for the status server: an HTTP/1.1 server on 127.0.0.1 that
// gives queued answers in turn and fixed pages by path, and records every
// request it receives.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <deque>

class QTcpSocket;

struct Answer {
  Answer(int code = 200, QByteArray body = {}, QByteArray headers = {}, int delayMs = 0, bool silent = false)
      : code(code), body(std::move(body)), headers(std::move(headers)), delayMs(delayMs), silent(silent) {}
  int code;
  QByteArray body;
  QByteArray headers;  // extra header lines, each ending in \r\n
  int delayMs;
  bool silent;  // read the request, never answer
  // When set: no Content-Length, and body repeated as long as the client
  // reads, up to this many bytes; the end of the connection ends the body.
  qint64 streamBytes = 0;
  // When set: the head at once, with the body's length, then one byte of
  // the body every this many milliseconds.
  int dripMs = 0;
};

// An answer of unannounced length: body repeated up to bytes.
inline Answer streamed(QByteArray body, qint64 bytes) {
  Answer a{200, std::move(body)};
  a.streamBytes = bytes;
  return a;
}

// An answer of body whose bytes come one every milliseconds.
inline Answer dripped(QByteArray body, int milliseconds) {
  Answer a{200, std::move(body)};
  a.dripMs = milliseconds;
  return a;
}

struct Request {
  QByteArray method;
  QByteArray path;
  QMap<QByteArray, QByteArray> headers;  // names in lower case
};

class StatusServer : public QObject {
  Q_OBJECT

 public:
  StatusServer();
  ~StatusServer() override;

  quint16 port() const { return m_server.serverPort(); }
  void enqueue(const Answer& answer) { m_queue.push_back(answer); }
  void setPage(const QByteArray& path, const Answer& answer) { m_pages[path] = answer; }

  QList<Request> requests;
  int unanswered = 0;  // requests read and not yet answered
  qint64 streamedBytes = 0;  // of streamed answers, handed to the network
  qint64 drippedBytes = 0;   // of dripped answers, handed to the network

 signals:
  void requestReceived();

 private:
  void accept();
  void readFrom(QTcpSocket* socket);
  void answer(QTcpSocket* socket, const Answer& answer);
  void stream(QTcpSocket* socket, const Answer& answer);
  void drip(QTcpSocket* socket, const Answer& answer);

  QTcpServer m_server;
  std::deque<Answer> m_queue;
  QMap<QByteArray, Answer> m_pages;
  QMap<QTcpSocket*, QByteArray> m_buffers;
};
