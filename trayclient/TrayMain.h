// The main window of the tray client: the options window, the tray icon with
// its menu, the status poll and the notifications.
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>
#include <QStringView>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <vector>

#include "StatusAnswer.h"
#include "VandrelConstants.h"
#include "plat/types.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QSoundEffect;
class QSpinBox;
class QSystemTrayIcon;
class QTimer;
class QToolButton;

namespace vandrel {

// Tray pictures, drawn at every tray size so they stay crisp.
QIcon statusIcon(int image);     // 0 to 4
QIcon animationIcon(int frame);  // 0 to 3

// "host:port" of the system proxy: host before the first ':', port after it
// (kDefaultProxyPort when missing or not a number). Without a ':' the host is
// empty and the whole text is read as the port.
struct ProxySetting {
  QString host;
  int port = 0;
};
ProxySetting parseProxyServer(const QString& text);

// The time as the hint shows it: the locale's long time without zone.
QString hintTime(const QTime& time);

// The start-up entry: $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).
QString autostartFolder();
QString autostartPath();
// The Exec value that runs program (a full path) with no arguments.
QString desktopExec(const QString& program);
// The whole desktop file that starts program at login.
QByteArray autostartEntry(const QString& program);

// True when file can be opened and holds a RIFF WAVE header.
bool isPlayableWave(const QString& file);

}  // namespace vandrel

class TWinMain : public QWidget {
  Q_OBJECT

 public:
  // Plays file asynchronously; false when it cannot be played.
  using SoundPlayer = std::function<bool(const QString& file)>;
  // Opens an address in the user's browser.
  using UrlOpener = std::function<void(const QUrl& url)>;
  // Tells the user something went wrong (a warning box by default).
  using Warner = std::function<void(const QString& text)>;
  // What became of a call to the settings store: writing says whether a
  // value was to be kept.
  using StoreOutcome = std::function<void(bool writing, bool ok)>;

  explicit TWinMain(QWidget* parent = nullptr);  // FormCreate
  ~TWinMain() override;                          // FormDestroy

  void setSoundPlayer(SoundPlayer player) { m_player = std::move(player); }
  void setUrlOpener(UrlOpener opener) { m_opener = std::move(opener); }
  void setWarner(Warner warner) { m_warner = std::move(warner); }
  // The deadline of each poll, from its start to the whole answer.
  void setPollTimeout(int milliseconds) { m_pollTimeout = milliseconds; }

  // ---- poll and status
  void RefreshTimerTimer();
  // Starts a poll. While one runs, the request is kept and the next poll
  // starts when the running one ends.
  void GetStatusFromServer();
  void DoActions(const QString& body);
  void UpdateConnectionStatus(const QString& name, int status);
  // index is the top status + 1 (so wider than a status) or a special
  // answer's index.
  void ChangeIcon(qint64 index);

  // ---- settings and options window
  void LoadSettings();
  void ShowOptions();
  void bCloseClick();

  // ---- tray and menu
  void tmrMainTimer();
  void tiMainDblClick();
  void Help1Click();
  void Close1Click();
  void raceRoute1Click();
  void NetStats1Click();
  void AddressTranslationTablesARP1Click();
  void ResolveName1Click();
  void ResolveIPAddress1Click();
  void ManualPing1Click();
  void RebootRemoteServer1Click();
  void RestartRemoteService1Click();

  // ---- server addresses
  QString baseAddress() const;
  QString statusAddress() const;
  QString helpAddress() const;
  QString toolAddress(const char* path) const;  // server text trimmed
  QString fallbackSound() const;                // "alert.wav" next to the program

  // ---- state
  const std::vector<TConnectionStatus>& records() const { return m_book.records(); }
  quint8 generation() const { return m_book.generation(); }
  QString hint() const { return m_hint; }
  qint64 iconIndex() const { return m_iconIndex; }  // last ChangeIcon index
  int imageIndex() const { return m_imageIndex; }  // status image shown when idle
  bool isPolling() const { return m_reply != nullptr; }
  bool isAnimating() const;
  int animationFrame() const { return m_frame; }
  bool hasProxy() const { return m_hasProxy; }
  QString proxyHost() const { return m_proxy.host; }
  int proxyPort() const { return m_proxy.port; }
  QSystemTrayIcon* trayIcon() const { return tiMain; }
  QMenu* trayMenu() const { return m_menu; }
  QMenu* toolsMenu() const { return m_tools; }

 signals:
  void pollFinished();  // after each poll has been handled

 protected:
  void showEvent(QShowEvent* event) override;    // FormShow
  void closeEvent(QCloseEvent* event) override;  // FormClose
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildWindow();
  void buildTray();
  void readSystemProxy();
  void openTool(int index);
  void pollFinishedReply();
  // Takes what has come of the answer; false once it is longer than one
  // poll reads.
  bool readAnswer(QNetworkReply* reply);
  void pollDataArrived();
  void pollDeadlinePassed();
  void startAnimation();
  void stopAnimation();
  void nextFrame();
  void notify();
  bool playSound(const QString& file);
  void browseSoundFile();

  void writeSetting(const char* name, DWORD value);
  void writeSetting(const char* name, const QString& text);
  // Shows or clears the note of the options window on the settings store.
  void tellStore(bool writing, bool ok);

  // change handlers: each writes its value at once
  void sePortChange(int value);
  void ckOnBadClick(bool checked);
  void ckOnMediumClick(bool checked);
  void ckOnGoodClick(bool checked);
  void ckSoundNotifyClick(bool checked);
  void edSoundFileChange(const QString& text);
  void edServerChange(const QString& text);
  void ckNotifyBrowserClick(bool checked);
  void ckStartupClick(bool checked);

  // controls
  QLabel* lbTop;
  QLabel* lbStoreNote;
  QLineEdit* edServer;
  QSpinBox* sePort;
  QCheckBox* ckStartup;
  QCheckBox* ckOnBad;
  QCheckBox* ckOnMedium;
  QCheckBox* ckOnGood;
  QCheckBox* ckSoundNotify;
  QLineEdit* edSoundFile;
  QToolButton* bBrowseSound;
  QCheckBox* ckNotifyBrowser;
  QPushButton* bClose;

  // tray
  QSystemTrayIcon* tiMain;
  QMenu* m_menu;
  QMenu* m_tools;
  QTimer* tmrMain;
  QTimer* RefreshTimer;
  QTimer* m_animation;
  int m_frame = 0;

  // poll
  QNetworkAccessManager* m_network;
  QNetworkReply* m_reply = nullptr;
  bool m_pollQueued = false;
  int m_pollTimeout = vandrel::kPollTimeoutMs;
  QTimer* m_deadline;
  bool m_pastDeadline = false;
  QByteArray m_answer;       // the body read so far
  bool m_answerTooLong = false;
  vandrel::StatusBook m_book;
  QString m_hint;
  qint64 m_iconIndex = vandrel::kIconNoContact;
  int m_imageIndex = 0;

  QString m_storeTold[2];  // why reading, and keeping, failed; empty when told of nothing

  bool m_hasProxy = false;
  vandrel::ProxySetting m_proxy;

  SoundPlayer m_player;
  UrlOpener m_opener;
  Warner m_warner;
  QSoundEffect* m_effect = nullptr;
  bool m_exiting = false;
};
