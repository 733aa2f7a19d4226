// The tool window: one page of the status server in a light HTML view.
#pragma once

#include <QDialog>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;

class TToolDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TToolDialog(QWidget* parent = nullptr);
  ~TToolDialog() override;

  // Loads the page at url into the view; links followed in the view load
  // the same way. A failed load leaves the view empty.
  void Navigate(const QUrl& url);

  QUrl url() const { return m_url; }
  QTextBrowser* browser() const { return Browser; }

 signals:
  void pageLoaded(bool ok);  // after each navigation, for tests

 private:
  void replyFinished(QNetworkReply* reply);

  QTextBrowser* Browser;
  QNetworkAccessManager* m_network;
  QNetworkReply* m_reply = nullptr;
  QUrl m_url;
};
