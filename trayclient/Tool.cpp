// The tool window: a page of the status server, fetched directly (no proxy),
// decoded by the charset its header or the page itself names, shown as HTML
// or plain text; a link opens in the same window.
#include "Tool.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <optional>

#include "VandrelConstants.h"

TToolDialog::TToolDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      Browser(new QTextBrowser(this)),
      m_network(new QNetworkAccessManager(this)) {
  setFont(QFont(vandrel::kFontFamily, vandrel::kFontPoints));
  resize(vandrel::kToolWidth, vandrel::kToolHeight);

  Browser->setObjectName("Browser");
  Browser->setOpenLinks(false);
  Browser->setFrameShape(QFrame::NoFrame);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Browser);

  // The status server is reached directly, as the poll reaches it.
  m_network->setProxy(QNetworkProxy::NoProxy);
  connect(m_network, &QNetworkAccessManager::finished, this, &TToolDialog::replyFinished);
  connect(Browser, &QTextBrowser::anchorClicked, this,
          [this](const QUrl& link) { Navigate(m_url.resolved(link)); });
}

TToolDialog::~TToolDialog() {
  m_network->disconnect(this);
  if (m_reply) m_reply->abort();
}

void TToolDialog::Navigate(const QUrl& url) {
  if (m_reply) {
    QNetworkReply* old = m_reply;
    m_reply = nullptr;
    old->abort();
  }
  m_url = url;
  Browser->clear();
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  m_reply = m_network->get(request);
}

void TToolDialog::replyFinished(QNetworkReply* reply) {
  reply->deleteLater();
  if (reply != m_reply) return;  // superseded by a later navigation
  m_reply = nullptr;
  if (reply->error() != QNetworkReply::NoError) {
    emit pageLoaded(false);
    return;
  }
  const QByteArray body = reply->readAll();
  const QString type = reply->header(QNetworkRequest::ContentTypeHeader).toString();
  // The charset of the header wins over the page's own; pages that name
  // none are read as UTF-8.
  QStringConverter::Encoding encoding = QStringConverter::Utf8;
  const qsizetype charset = type.indexOf("charset=", 0, Qt::CaseInsensitive);
  std::optional<QStringConverter::Encoding> named;
  if (charset >= 0)
    named = QStringConverter::encodingForName(
        type.mid(charset + 8).section(';', 0, 0).trimmed().remove('"').toLatin1().constData());
  if (!named) named = QStringConverter::encodingForHtml(body);
  if (named) encoding = *named;
  QStringDecoder decode(encoding);
  const QString text = decode(body);
  if (type.startsWith("text/plain", Qt::CaseInsensitive))
    Browser->setPlainText(text);
  else
    Browser->setHtml(text);
  emit pageLoaded(true);
}
