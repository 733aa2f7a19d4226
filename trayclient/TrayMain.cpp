// The tray client's main window: the tray icon (a drawn picture per status
// and the frames of the poll's animation) and its menu, the options window
// and its settings in the store, the autostart entry, the status poll with
// its one deadline and size cap, the notifications and the tool windows.
#include "TrayMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScreen>
#include <QSoundEffect>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <numbers>
#include <system_error>

#include "Tool.h"
#include "plat/platform.h"

using namespace vandrel;

// ====================================================================== pictures
namespace {

// Sizes a tray asks for; each is drawn on its own pixel grid.
constexpr int kIconSizes[] = {16, 20, 22, 24, 32, 48, 64};

struct StatusLook {
  QColor fill;
  QColor edge;
};
// 0 no contact or no data, 1 OK, 2 failing within retries, 3 failed,
// 4 service stopped.
const StatusLook kLooks[kStatusImageCount] = {
    {QColor(0x9a, 0xa0, 0xa8), QColor(0x5c, 0x62, 0x6a)},
    {QColor(0x3c, 0xb0, 0x4a), QColor(0x1e, 0x6e, 0x2a)},
    {QColor(0xf2, 0xb1, 0x1e), QColor(0x9a, 0x68, 0x08)},
    {QColor(0xe0, 0x3a, 0x30), QColor(0x8a, 0x16, 0x10)},
    {QColor(0x4d, 0x74, 0xb0), QColor(0x24, 0x3e, 0x6a)},
};

void drawDisc(QPainter& p, qreal s, const StatusLook& look) {
  const qreal edge = std::max<qreal>(1.0, s / 16.0);
  const QRectF disc(edge / 2 + s * 0.03, edge / 2 + s * 0.03, s - edge - s * 0.06, s - edge - s * 0.06);
  QRadialGradient shade(disc.center() - QPointF(s * 0.15, s * 0.18), s * 0.62);
  shade.setColorAt(0.0, look.fill.lighter(135));
  shade.setColorAt(1.0, look.fill);
  p.setPen(QPen(look.edge, edge));
  p.setBrush(shade);
  p.drawEllipse(disc);
}

QPixmap drawStatus(int image, int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  drawDisc(p, s, kLooks[image]);

  const qreal w = std::max<qreal>(1.6, s * 0.14);  // glyph stroke
  QPen glyph(Qt::white, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(glyph);
  p.setBrush(Qt::NoBrush);
  switch (image) {
    case 0:  // no data: a bar
      p.drawLine(QPointF(s * 0.30, s * 0.5), QPointF(s * 0.70, s * 0.5));
      break;
    case 1: {  // OK: a tick
      QPainterPath tick;
      tick.moveTo(s * 0.27, s * 0.52);
      tick.lineTo(s * 0.43, s * 0.68);
      tick.lineTo(s * 0.73, s * 0.34);
      p.drawPath(tick);
      break;
    }
    case 2:  // retrying: an exclamation mark
      p.drawLine(QPointF(s * 0.5, s * 0.26), QPointF(s * 0.5, s * 0.56));
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(s * 0.5, s * 0.73), w * 0.62, w * 0.62);
      break;
    case 3:  // failed: a cross
      p.drawLine(QPointF(s * 0.33, s * 0.33), QPointF(s * 0.67, s * 0.67));
      p.drawLine(QPointF(s * 0.67, s * 0.33), QPointF(s * 0.33, s * 0.67));
      break;
    case 4:  // stopped: a square
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(s * 0.33, s * 0.33, s * 0.34, s * 0.34));
      break;
  }
  return pm;
}

// A poll under way: four dots round a slate disc, one lit per frame.
QPixmap drawFrame(int frame, int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  drawDisc(p, s, {QColor(0x4a, 0x58, 0x66), QColor(0x26, 0x2e, 0x36)});
  const qreal r = s * 0.26;
  const QPointF c(s / 2, s / 2);
  for (int i = 0; i < kAnimationFrameCount; ++i) {
    const qreal a = (i * 90.0 - 90.0) * std::numbers::pi / 180.0;
    const QPointF at = c + QPointF(std::cos(a) * r, std::sin(a) * r);
    const bool lit = i == frame;
    p.setPen(Qt::NoPen);
    p.setBrush(lit ? QColor(0xff, 0xff, 0xff) : QColor(0x8e, 0x9c, 0xaa));
    p.drawEllipse(at, lit ? s * 0.13 : s * 0.085, lit ? s * 0.13 : s * 0.085);
  }
  return pm;
}

}  // namespace

QIcon vandrel::statusIcon(int image) {
  static QIcon icons[kStatusImageCount];
  if (image < 0 || image >= kStatusImageCount) image = 0;
  if (icons[image].isNull())
    for (int size : kIconSizes) icons[image].addPixmap(drawStatus(image, size));
  return icons[image];
}

QIcon vandrel::animationIcon(int frame) {
  static QIcon icons[kAnimationFrameCount];
  frame = ((frame % kAnimationFrameCount) + kAnimationFrameCount) % kAnimationFrameCount;
  if (icons[frame].isNull())
    for (int size : kIconSizes) icons[frame].addPixmap(drawFrame(frame, size));
  return icons[frame];
}

// ====================================================================== helpers

ProxySetting vandrel::parseProxyServer(const QString& text) {
  ProxySetting proxy;
  const qsizetype colon = text.indexOf(':');
  QString port;
  if (colon < 0) {
    port = text;
  } else {
    proxy.host = text.left(colon);
    port = text.mid(colon + 1);
  }
  bool ok = false;
  proxy.port = port.toInt(&ok, 10);
  if (!ok) proxy.port = kDefaultProxyPort;
  return proxy;
}

QString vandrel::hintTime(const QTime& time) {
  QString format = QLocale::system().timeFormat(QLocale::LongFormat);
  // The zone ('t') does not belong in a tray hint.
  format.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b\\s*")));
  format = format.trimmed();
  if (format.isEmpty()) format = QStringLiteral("HH:mm:ss");
  return QLocale::system().toString(time, format);
}

QString vandrel::autostartFolder() {
  // XDG base directories: an unset, empty or relative value means the
  // default.
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + "/.config";
  return base + "/autostart";
}

QString vandrel::autostartPath() { return autostartFolder() + "/" + kAutostartFile; }

QString vandrel::desktopExec(const QString& program) {
  // The program goes in double quotes (inside them ", `, $ and \ take a
  // backslash), '%' is doubled so that it is no field code, and the whole
  // value is then escaped as a desktop-entry string.
  QString quoted = "\"";
  for (QChar c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  QString value;
  for (QChar c : quoted) {
    if (c == '\\')
      value += "\\\\";
    else if (c == '\n')
      value += "\\n";
    else if (c == '\t')
      value += "\\t";
    else if (c == '\r')
      value += "\\r";
    else
      value += c;
  }
  return value;
}

QByteArray vandrel::autostartEntry(const QString& program) {
  QByteArray entry;
  entry += "[Desktop Entry]\n";
  entry += "Type=Application\n";
  entry += QByteArray("Name=") + kAppTitle + "\n";
  entry += "Exec=" + desktopExec(program).toUtf8() + "\n";
  entry += "Terminal=false\n";
  return entry;
}

bool vandrel::isPlayableWave(const QString& file) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray head = f.read(12);
  return head.size() == 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE";
}

// ====================================================================== settings store
namespace {

// Settings store errors go to the log, once per distinct text, so that a
// broken store is noticed without flooding at every poll.
void warnStore(const char* what, LONG code) {
  static QString last;
  const QString text = QString("%1: error %2 (%3)").arg(what).arg(code).arg(plat::RegLastErrorText());
  if (text == last) return;
  last = text;
  qWarning("%s", qPrintable(text));
}

// How a key is opened: to read only, to load (made when missing, so that the
// defaults can be written) or to write a value.
enum class Open { kRead, kLoad, kWrite };

class Key {
 public:
  // told hears of every failure of the store and of every write that worked
  // (a missing key or value is no failure).
  Key(plat::Hive hive, const char* path, Open how, TWinMain::StoreOutcome told = {}) : m_told(std::move(told)) {
    bool writing = how == Open::kWrite;
    LONG rc = plat::RegOpenKey(hive, path, writing, &m_key);
    if (rc == plat::ERROR_FILE_NOT_FOUND && how == Open::kLoad) {
      writing = true;  // the key is made: failing now is failing to keep
      rc = plat::RegOpenKey(hive, path, true, &m_key);
    }
    if (rc != plat::ERROR_SUCCESS) {
      m_key = nullptr;
      if (rc != plat::ERROR_FILE_NOT_FOUND) failed(writing, path, rc);
    }
  }
  ~Key() {
    if (m_key) plat::RegCloseKey(m_key);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  explicit operator bool() const { return m_key != nullptr; }

  // A value of another type counts as missing.
  bool readDword(const char* name, DWORD* value) const {
    DWORD type = plat::REG_NONE, size = sizeof(DWORD), data = 0;
    const LONG rc = plat::RegQueryValue(m_key, name, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (rc != plat::ERROR_SUCCESS && rc != plat::ERROR_MORE_DATA) readFailed(name, rc);
    if (rc != plat::ERROR_SUCCESS || type != plat::REG_DWORD || size != sizeof(DWORD)) return false;
    *value = data;
    return true;
  }
  bool readString(const char* name, QString* value) const {
    DWORD type = plat::REG_NONE, size = 0;
    LONG rc = plat::RegQueryValue(m_key, name, &type, nullptr, &size);
    if (rc != plat::ERROR_SUCCESS || type != plat::REG_SZ) {
      readFailed(name, rc);
      return false;
    }
    QByteArray data;
    do {
      data.resize(std::max<DWORD>(size, 1));
      size = static_cast<DWORD>(data.size());
      rc = plat::RegQueryValue(m_key, name, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    } while (rc == plat::ERROR_MORE_DATA);
    if (rc != plat::ERROR_SUCCESS || type != plat::REG_SZ) {
      readFailed(name, rc);
      return false;
    }
    data.resize(size);
    const qsizetype nul = data.indexOf('\0');
    if (nul >= 0) data.truncate(nul);
    *value = QString::fromUtf8(data);
    return true;
  }
  void writeDword(const char* name, DWORD value) const {
    written(name, plat::RegSetValue(m_key, name, plat::REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value));
  }
  void writeString(const char* name, const QString& value) const {
    const QByteArray data = value.toUtf8();  // written with its NUL
    written(name, plat::RegSetValue(m_key, name, plat::REG_SZ, reinterpret_cast<const BYTE*>(data.constData()),
                                    static_cast<DWORD>(data.size() + 1)));
  }

 private:
  void failed(bool writing, const char* what, LONG rc) const {
    warnStore(what, rc);
    if (m_told) m_told(writing, false);
  }
  void readFailed(const char* name, LONG rc) const {
    if (rc != plat::ERROR_SUCCESS && rc != plat::ERROR_FILE_NOT_FOUND) failed(false, name, rc);
  }
  void written(const char* name, LONG rc) const {
    if (rc != plat::ERROR_SUCCESS)
      failed(true, name, rc);
    else if (m_told)
      m_told(true, true);
  }

  plat::HKEY m_key = nullptr;
  TWinMain::StoreOutcome m_told;
};

QFont windowFont() {
  QFont font(kFontFamily, kFontPoints);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

void centreOnScreen(QWidget* window) {
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

}  // namespace

// ====================================================================== window

TWinMain::TWinMain(QWidget* parent) : QWidget(parent) {
  setObjectName("WinMain");
  setFont(windowFont());
  setWindowTitle(kAppTitle);
  buildWindow();
  buildTray();

  // FormCreate: the top text, an empty server list, the window off the
  // screen (the framework shows it once at start; it must not be seen).
  lbTop->setText(kTopText);
  move(kOffScreenLeft, y());
  setAttribute(Qt::WA_DontShowOnScreen, true);
  readSystemProxy();
  m_tools->menuAction()->setVisible(false);

  m_player = [this](const QString& file) { return playSound(file); };
  m_opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  m_warner = [this](const QString& text) {
    qWarning("%s", qPrintable(text));
    QMessageBox::warning(isVisible() && !testAttribute(Qt::WA_DontShowOnScreen) ? this : nullptr, kAppTitle, text);
  };

  m_network = new QNetworkAccessManager(this);
  m_network->setCookieJar(new QNetworkCookieJar(m_network));
  // The proxy values are read but the requests go out directly.
  m_network->setProxy(QNetworkProxy::NoProxy);

  tmrMain = new QTimer(this);
  tmrMain->setObjectName("tmrMain");
  tmrMain->setInterval(kStartupDelayMs);
  connect(tmrMain, &QTimer::timeout, this, &TWinMain::tmrMainTimer);
  tmrMain->start();

  RefreshTimer = new QTimer(this);
  RefreshTimer->setObjectName("RefreshTimer");
  RefreshTimer->setInterval(kRefreshIntervalMs);
  connect(RefreshTimer, &QTimer::timeout, this, &TWinMain::RefreshTimerTimer);
  RefreshTimer->start();

  m_animation = new QTimer(this);
  m_animation->setObjectName("animation");
  m_animation->setInterval(kAnimationIntervalMs);
  connect(m_animation, &QTimer::timeout, this, &TWinMain::nextFrame);

  m_deadline = new QTimer(this);
  m_deadline->setObjectName("pollDeadline");
  m_deadline->setSingleShot(true);
  connect(m_deadline, &QTimer::timeout, this, &TWinMain::pollDeadlinePassed);
}

TWinMain::~TWinMain() {
  // FormDestroy: the server records go with the window. A poll still under
  // way is dropped without handling.
  if (m_reply) {
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
  }
  m_book.clear();
  tiMain->setContextMenu(nullptr);
  delete m_menu;
}

void TWinMain::buildWindow() {
  setFixedSize(kOptionsWidth, kOptionsHeight);

  auto* main = new QVBoxLayout(this);
  main->setContentsMargins(10, 10, 10, 10);
  main->setSpacing(6);

  auto section = [&](const char* title) {
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    auto* label = new QLabel(title, this);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    row->addWidget(label);
    row->addWidget(line, 1);
    main->addSpacing(4);
    main->addLayout(row);
  };

  lbTop = new QLabel(this);
  lbTop->setObjectName("lbTop");
  lbTop->setWordWrap(true);
  main->addWidget(lbTop);
  // Shown while the settings store fails.
  lbStoreNote = new QLabel(this);
  lbStoreNote->setObjectName("lbStoreNote");
  lbStoreNote->setWordWrap(true);
  lbStoreNote->setTextFormat(Qt::PlainText);
  lbStoreNote->setFrameShape(QFrame::StyledPanel);
  lbStoreNote->setMargin(4);
  lbStoreNote->hide();
  main->addWidget(lbStoreNote);

  // General settings
  section(kGeneralTitle);
  auto* general = new QGridLayout;
  general->setContentsMargins(12, 0, 0, 0);
  general->setHorizontalSpacing(8);
  edServer = new QLineEdit(kDefaultServer, this);
  edServer->setObjectName("edServer");
  edServer->setEnabled(false);
  sePort = new QSpinBox(this);
  sePort->setObjectName("sePort");
  sePort->setRange(0, 65535);
  sePort->setValue(kDefaultPort);
  sePort->setFixedWidth(80);
  ckStartup = new QCheckBox(kStartupText, this);
  ckStartup->setObjectName("ckStartup");
  auto* serverLabel = new QLabel(kServerLabel, this);
  serverLabel->setBuddy(edServer);
  auto* portLabel = new QLabel(kPortLabel, this);
  portLabel->setBuddy(sePort);
  general->addWidget(serverLabel, 0, 0);
  general->addWidget(edServer, 0, 1);
  general->addWidget(portLabel, 1, 0);
  general->addWidget(sePort, 1, 1, Qt::AlignLeft);
  general->addWidget(ckStartup, 2, 0, 1, 2);
  general->setColumnStretch(1, 1);
  main->addLayout(general);

  // Notification settings: an icon, a box and its wrapped text per row.
  section(kNotificationTitle);
  auto notifyRow = [&](QCheckBox*& box, const char* name, const char* text, int image) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(12, 0, 0, 0);
    row->setSpacing(6);
    auto* icon = new QLabel(this);
    icon->setPixmap(statusIcon(image).pixmap(16, 16));
    icon->setFixedSize(16, 16);
    box = new QCheckBox(this);
    box->setObjectName(name);
    box->setAccessibleName(text);
    auto* label = new QLabel(text, this);
    label->setObjectName(QString(name) + "Text");
    label->setWordWrap(true);
    label->setBuddy(box);
    label->installEventFilter(this);  // a click on the text toggles the box
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(box, 0, Qt::AlignTop);
    row->addWidget(label, 1);
    main->addLayout(row);
  };
  notifyRow(ckOnBad, "ckOnBad", kOnBadText, kIconFailed);
  notifyRow(ckOnMedium, "ckOnMedium", kOnMediumText, kIconRetrying);
  notifyRow(ckOnGood, "ckOnGood", kOnGoodText, kIconOk);

  // Notification method settings
  section(kMethodTitle);
  auto* method = new QGridLayout;
  method->setContentsMargins(12, 0, 0, 0);
  method->setHorizontalSpacing(8);
  ckSoundNotify = new QCheckBox(kSoundNotifyText, this);
  ckSoundNotify->setObjectName("ckSoundNotify");
  auto* soundLabel = new QLabel(kSoundFileLabel, this);
  edSoundFile = new QLineEdit(this);
  edSoundFile->setObjectName("edSoundFile");
  soundLabel->setBuddy(edSoundFile);
  bBrowseSound = new QToolButton(this);
  bBrowseSound->setObjectName("bBrowseSound");
  bBrowseSound->setText("...");
  auto* soundRow = new QHBoxLayout;
  soundRow->setSpacing(2);
  soundRow->addWidget(edSoundFile, 1);
  soundRow->addWidget(bBrowseSound);
  ckNotifyBrowser = new QCheckBox(kBrowserNotifyText, this);
  ckNotifyBrowser->setObjectName("ckNotifyBrowser");
  method->addWidget(ckSoundNotify, 0, 0, 1, 2);
  method->addWidget(soundLabel, 1, 0);
  method->addLayout(soundRow, 1, 1);
  method->addWidget(ckNotifyBrowser, 2, 0, 1, 2);
  method->setColumnStretch(1, 1);
  main->addLayout(method);

  main->addStretch(1);
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  main->addWidget(line);
  auto* buttons = new QHBoxLayout;
  bClose = new QPushButton(kCloseText, this);
  bClose->setObjectName("bClose");
  bClose->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(bClose);
  main->addLayout(buttons);

  // The defaults are in force until the settings are read, and stay so when
  // they cannot be (set before the handlers, so that nothing is written).
  ckOnBad->setChecked(kDefaultNotifyBad);
  ckOnMedium->setChecked(kDefaultNotifyMedium);
  ckOnGood->setChecked(kDefaultNotifyGood);
  ckSoundNotify->setChecked(kDefaultNotifySound);
  ckNotifyBrowser->setChecked(kDefaultNotifyBrowser);

  connect(sePort, &QSpinBox::valueChanged, this, &TWinMain::sePortChange);
  connect(ckOnBad, &QCheckBox::toggled, this, &TWinMain::ckOnBadClick);
  connect(ckOnMedium, &QCheckBox::toggled, this, &TWinMain::ckOnMediumClick);
  connect(ckOnGood, &QCheckBox::toggled, this, &TWinMain::ckOnGoodClick);
  connect(ckSoundNotify, &QCheckBox::toggled, this, &TWinMain::ckSoundNotifyClick);
  connect(edSoundFile, &QLineEdit::textChanged, this, &TWinMain::edSoundFileChange);
  connect(edServer, &QLineEdit::textChanged, this, &TWinMain::edServerChange);
  connect(ckNotifyBrowser, &QCheckBox::toggled, this, &TWinMain::ckNotifyBrowserClick);
  connect(ckStartup, &QCheckBox::toggled, this, &TWinMain::ckStartupClick);
  connect(bBrowseSound, &QToolButton::clicked, this, &TWinMain::browseSoundFile);
  connect(bClose, &QPushButton::clicked, this, &TWinMain::bCloseClick);

  // The sound file follows its box from the start, not only on a change.
  edSoundFile->setEnabled(ckSoundNotify->isChecked());
  bBrowseSound->setEnabled(ckSoundNotify->isChecked());
}

void TWinMain::buildTray() {
  m_menu = new QMenu;
  m_menu->setObjectName("pmMain");
  m_tools = m_menu->addMenu(kMenuTools);
  m_tools->setObjectName("Tools1");
  using Handler = void (TWinMain::*)();
  static constexpr Handler kToolHandlers[] = {
      &TWinMain::raceRoute1Click,      &TWinMain::NetStats1Click,           &TWinMain::AddressTranslationTablesARP1Click,
      &TWinMain::ResolveName1Click,    &TWinMain::ResolveIPAddress1Click,   &TWinMain::ManualPing1Click,
      &TWinMain::RebootRemoteServer1Click, &TWinMain::RestartRemoteService1Click,
  };
  static_assert(std::size(kToolHandlers) == kToolPages.size());
  for (size_t i = 0; i < kToolPages.size(); ++i)
    connect(m_tools->addAction(kToolPages[i].item), &QAction::triggered, this, kToolHandlers[i]);
  connect(m_menu->addAction(kMenuOptions), &QAction::triggered, this, &TWinMain::ShowOptions);
  connect(m_menu->addAction(kMenuOpenTestList), &QAction::triggered, this, &TWinMain::tiMainDblClick);
  m_menu->addSeparator();
  connect(m_menu->addAction(kMenuCheckNow), &QAction::triggered, this, &TWinMain::RefreshTimerTimer);
  m_menu->addSeparator();
  connect(m_menu->addAction(kMenuExit), &QAction::triggered, this, &TWinMain::Close1Click);
  m_menu->addSeparator();
  connect(m_menu->addAction(kMenuHelp), &QAction::triggered, this, &TWinMain::Help1Click);

  tiMain = new QSystemTrayIcon(this);
  tiMain->setObjectName("tiMain");
  tiMain->setIcon(statusIcon(0));
  tiMain->setToolTip(kAppTitle);
  tiMain->setContextMenu(m_menu);
  connect(tiMain, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) tiMainDblClick();
  });
  tiMain->show();
}

void TWinMain::readSystemProxy() {
  // The proxy is not used, so a failure to read it is only logged.
  Key key(plat::HKEY_LOCAL_MACHINE, kProxyKey, Open::kRead);
  if (!key) return;
  DWORD enable = 0;
  QString server;
  if (key.readDword(kValueProxyEnable, &enable) && enable == 1 && key.readString(kValueProxyServer, &server)) {
    m_proxy = parseProxyServer(server);
    m_hasProxy = true;
  }
}

// ---------------------------------------------------------------- settings

void TWinMain::LoadSettings() {
  [this] {
    bool unread = false;
    Key key(plat::HKEY_CURRENT_USER, kSettingsKey, Open::kLoad, [this, &unread](bool writing, bool ok) {
      unread |= !writing && !ok;
      tellStore(writing, ok);
    });
    // Told; the controls keep what they hold: the defaults until a load
    // has worked, else what it read.
    if (!key) return;
    DWORD number = 0;
    QString text;
    auto loadBool = [&](QCheckBox* box, const char* name, bool fallback) {
      if (key.readDword(name, &number)) {
        box->setChecked(number != 0);
      } else {
        box->setChecked(fallback);
        key.writeDword(name, fallback ? 1 : 0);
      }
    };

    if (key.readDword(kValuePort, &number)) {
      // A stored number the port box cannot hold is shown cut to its range,
      // but the stored value is left as it is.
      const QSignalBlocker quiet(number > 65535 ? sePort : nullptr);
      sePort->setValue(number > 65535 ? 65535 : static_cast<int>(number));
    } else {
      sePort->setValue(kDefaultPort);
      key.writeDword(kValuePort, kDefaultPort);
    }
    loadBool(ckOnBad, kValueNotifyBad, kDefaultNotifyBad);
    loadBool(ckOnMedium, kValueNotifyMedium, kDefaultNotifyMedium);
    loadBool(ckOnGood, kValueNotifyGood, kDefaultNotifyGood);
    loadBool(ckSoundNotify, kValueNotifySound, kDefaultNotifySound);
    if (key.readString(kValueSoundFile, &text)) {
      edSoundFile->setText(text);
    } else {
      edSoundFile->setText(QString());
      key.writeString(kValueSoundFile, QString());
    }
    if (key.readString(kValueServer, &text)) edServer->setText(text);
    if (edServer->text().trimmed().isEmpty()) {
      edServer->setText(kDefaultServer);
      key.writeString(kValueServer, kDefaultServer);
    }
    loadBool(ckNotifyBrowser, kValueNotifyBrowser, kDefaultNotifyBrowser);
    if (!unread) tellStore(false, true);
  }();
  ckStartup->setChecked(QFileInfo::exists(autostartPath()));
}

void TWinMain::writeSetting(const char* name, DWORD value) {
  Key key(plat::HKEY_CURRENT_USER, kSettingsKey, Open::kWrite, [this](bool writing, bool ok) { tellStore(writing, ok); });
  if (key) key.writeDword(name, value);
}

void TWinMain::writeSetting(const char* name, const QString& text) {
  Key key(plat::HKEY_CURRENT_USER, kSettingsKey, Open::kWrite, [this](bool writing, bool ok) { tellStore(writing, ok); });
  if (key) key.writeString(name, text);
}

void TWinMain::tellStore(bool writing, bool ok) {
  // Told once while it lasts: a failure already shown is not shown again,
  // and the note goes when the same kind of call works again. The window
  // has room for the short texts only: the reasons (the file, the line, the
  // system's word) are the note's tip, and go to the log.
  QString& why = m_storeTold[writing ? 1 : 0];
  if (ok == why.isEmpty()) return;
  why = ok ? QString() : QString::fromLocal8Bit(plat::RegLastErrorText());
  QStringList texts, reasons;
  for (int kind = 0; kind < 2; ++kind) {
    if (m_storeTold[kind].isEmpty()) continue;
    texts << (kind ? kSettingsNotKept : kSettingsNotRead);
    reasons << m_storeTold[kind];
  }
  lbStoreNote->setText(texts.join('\n'));
  lbStoreNote->setToolTip(reasons.join('\n'));
  lbStoreNote->setVisible(!texts.isEmpty());
}

void TWinMain::sePortChange(int value) { writeSetting(kValuePort, static_cast<DWORD>(value)); }
void TWinMain::ckOnBadClick(bool checked) { writeSetting(kValueNotifyBad, DWORD(checked)); }
void TWinMain::ckOnMediumClick(bool checked) { writeSetting(kValueNotifyMedium, DWORD(checked)); }
void TWinMain::ckOnGoodClick(bool checked) { writeSetting(kValueNotifyGood, DWORD(checked)); }
void TWinMain::ckNotifyBrowserClick(bool checked) { writeSetting(kValueNotifyBrowser, DWORD(checked)); }
void TWinMain::edSoundFileChange(const QString& text) { writeSetting(kValueSoundFile, text.trimmed()); }
void TWinMain::edServerChange(const QString& text) { writeSetting(kValueServer, text); }

void TWinMain::ckSoundNotifyClick(bool checked) {
  edSoundFile->setEnabled(checked);
  bBrowseSound->setEnabled(checked);
  writeSetting(kValueNotifySound, DWORD(checked));
}

void TWinMain::ckStartupClick(bool checked) {
  const QString path = autostartPath();
  if (!checked) {
    QFile entry(path);
    if (entry.exists() && !entry.remove()) {
      // The entry is still there, and so the client still starts at login.
      m_warner(QString(kStartupNotRemoved).arg(path, entry.errorString()));
      const QSignalBlocker quiet(ckStartup);
      ckStartup->setChecked(true);
    }
    return;
  }
  // The folder is made here rather than by QSaveFile so that the reason of a
  // failure is known.
  std::error_code made;
  std::filesystem::create_directories(QFile::encodeName(autostartFolder()).toStdString(), made);
  QString reason;
  if (made) {
    reason = QString::fromLocal8Bit(made.message());
  } else {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(autostartEntry(QCoreApplication::applicationFilePath())) < 0 ||
        !file.commit())
      reason = file.errorString();
  }
  if (!reason.isNull()) {
    m_warner(QString(kStartupNotWritten).arg(path, reason));
    // The box shows whether an entry is there, whatever the attempt left.
    const QSignalBlocker quiet(ckStartup);
    ckStartup->setChecked(QFileInfo(path).isFile());
  }
}

void TWinMain::browseSoundFile() {
  const QString current = edSoundFile->text().trimmed();
  const QString file = QFileDialog::getOpenFileName(this, QString(), current.isEmpty() ? QString() : QFileInfo(current).path(),
                                                    kSoundFilter);
  if (!file.isEmpty()) edSoundFile->setText(file);
}

void TWinMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;  // the desktop restoring it, not a show
  // FormShow
  edServer->setEnabled(false);
  setWindowTitle(kAppTitle);
  LoadSettings();
}

void TWinMain::closeEvent(QCloseEvent* event) {
  // The session ending closes every window: that must not be refused.
  if (m_exiting || qApp->isSavingSession()) {
    event->accept();
    return;
  }
  // Closing never ends the program: the window goes back to the tray.
  event->ignore();
  hide();
  GetStatusFromServer();
}

void TWinMain::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    bClose->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool TWinMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    if (auto* label = qobject_cast<QLabel*>(watched)) {
      if (auto* box = qobject_cast<QCheckBox*>(label->buddy()); box && box->isEnabled()) {
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) box->click();
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TWinMain::ShowOptions() {
  setAttribute(Qt::WA_DontShowOnScreen, false);
  centreOnScreen(this);
  show();
  raise();
  activateWindow();
}

void TWinMain::bCloseClick() { close(); }

// ---------------------------------------------------------------- addresses

QString TWinMain::baseAddress() const { return "http://" + edServer->text() + ":" + QString::number(sePort->value()); }
QString TWinMain::statusAddress() const { return baseAddress() + kStatusPath; }
QString TWinMain::helpAddress() const { return baseAddress() + kHelpPath; }
QString TWinMain::toolAddress(const char* path) const {
  return "http://" + edServer->text().trimmed() + ":" + QString::number(sePort->value()) + path;
}
QString TWinMain::fallbackSound() const { return QCoreApplication::applicationDirPath() + "/" + kFallbackSound; }

// ---------------------------------------------------------------- poll

void TWinMain::RefreshTimerTimer() {
  LoadSettings();
  GetStatusFromServer();
}

void TWinMain::GetStatusFromServer() {
  if (m_reply) {
    m_pollQueued = true;
    return;
  }
  startAnimation();
  const QUrl url(statusAddress());
  if (!url.isValid() || url.host().isEmpty()) {
    ChangeIcon(kIconNoContact);
    stopAnimation();
    emit pollFinished();
    return;
  }
  QNetworkRequest request(url);
  request.setRawHeader("Accept", kAccept);
  request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
  // A redirect is an answer other than the status, as any non-2xx status.
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  m_answer.clear();
  m_answerTooLong = false;
  m_pastDeadline = false;
  m_reply = m_network->get(request);
  // One deadline for the whole poll: a time-out of the transfer would start
  // again at every byte, and a server that drips its answer would hold the
  // poll, and every poll after it, for ever.
  m_deadline->start(m_pollTimeout);
  // Without a bound the network thread buffers whatever arrives while this
  // thread is busy, however far past the answer cap that is.
  m_reply->setReadBufferSize(kReadBufferBytes);
  connect(m_reply, &QNetworkReply::readyRead, this, &TWinMain::pollDataArrived);
  connect(m_reply, &QNetworkReply::metaDataChanged, this, &TWinMain::pollDataArrived);
  connect(m_reply, &QNetworkReply::finished, this, &TWinMain::pollFinishedReply);
}

bool TWinMain::readAnswer(QNetworkReply* reply) {
  // An answer that says it is too long is dropped before its body comes.
  const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
  if (announced > kMaxAnswerBytes || reply->bytesAvailable() > kMaxAnswerBytes - m_answer.size()) {
    m_answerTooLong = true;
    return false;
  }
  m_answer += reply->readAll();
  return true;
}

void TWinMain::pollDataArrived() {
  if (m_reply && !readAnswer(m_reply)) m_reply->abort();  // finishes the reply: the poll fails
}

void TWinMain::pollDeadlinePassed() {
  if (!m_reply || m_reply->isFinished()) return;
  m_pastDeadline = true;
  m_reply->abort();  // finishes the reply: the poll fails
}

void TWinMain::pollFinishedReply() {
  QNetworkReply* reply = m_reply;
  m_reply = nullptr;
  if (!reply) return;
  m_deadline->stop();
  reply->deleteLater();
  const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (!m_answerTooLong && reply->error() == QNetworkReply::NoError) readAnswer(reply);
  QByteArray answer;
  answer.swap(m_answer);
  if (m_answerTooLong)
    qWarning("the status answer of %s is longer than %lld bytes; it is not read", qPrintable(reply->url().toString()),
             static_cast<long long>(kMaxAnswerBytes));
  if (m_pastDeadline)
    qWarning("the status answer of %s did not come whole within %d ms; it is not read",
             qPrintable(reply->url().toString()), m_pollTimeout);
  if (!m_answerTooLong && reply->error() == QNetworkReply::NoError && code >= 200 && code < 300)
    DoActions(QString::fromLatin1(answer));  // byte for byte, names compare exactly
  else
    ChangeIcon(kIconNoContact);
  stopAnimation();
  emit pollFinished();
  if (m_pollQueued) {
    m_pollQueued = false;
    GetStatusFromServer();
  }
}

void TWinMain::DoActions(const QString& body) {
  StatusChanges changes;
  const qint64 index = m_book.read(body, &changes);
  // Each kind of change notifies when its box is ticked.
  if ((changes.bad && ckOnBad->isChecked()) || (changes.medium && ckOnMedium->isChecked()) ||
      (changes.good && ckOnGood->isChecked()))
    notify();
  ChangeIcon(index);
}

void TWinMain::notify() {
  if (ckSoundNotify->isChecked()) {
    const QString file = edSoundFile->text().trimmed();
    if (file.isEmpty() || !m_player(file)) m_player(fallbackSound());
  }
  if (ckNotifyBrowser->isChecked()) m_opener(QUrl(baseAddress()));
}

bool TWinMain::playSound(const QString& file) {
  if (!isPlayableWave(file)) return false;
  if (!m_effect) m_effect = new QSoundEffect(this);
  m_effect->stop();
  m_effect->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
  m_effect->play();  // starts once loaded; a missing sound device only stays silent
  return true;
}

void TWinMain::UpdateConnectionStatus(const QString& name, int status) { m_book.update(name, status); }

void TWinMain::ChangeIcon(qint64 index) {
  m_iconIndex = index;
  const IconLook look = iconLook(index);
  m_hint = look.hint + hintTime(QTime::currentTime());
  m_imageIndex = look.image;
  // Desktop tooltips break lines at LF, not at CR.
  tiMain->setToolTip(QString(m_hint).replace('\r', '\n'));
  if (!isAnimating()) tiMain->setIcon(statusIcon(m_imageIndex));
}

bool TWinMain::isAnimating() const { return m_animation->isActive(); }

void TWinMain::startAnimation() {
  m_frame = 0;
  tiMain->setIcon(animationIcon(m_frame));
  m_animation->start();
}

void TWinMain::nextFrame() {
  m_frame = (m_frame + 1) % kAnimationFrameCount;
  tiMain->setIcon(animationIcon(m_frame));
}

void TWinMain::stopAnimation() {
  m_animation->stop();
  tiMain->setIcon(statusIcon(m_imageIndex));
}

// ---------------------------------------------------------------- tray and menu

void TWinMain::tmrMainTimer() {
  tmrMain->stop();
  close();  // hides the window and polls
  setAttribute(Qt::WA_DontShowOnScreen, false);
  m_opener(QUrl(baseAddress()));
}

void TWinMain::tiMainDblClick() { m_opener(QUrl(baseAddress())); }
void TWinMain::Help1Click() { m_opener(QUrl(helpAddress())); }

void TWinMain::Close1Click() {
  // Ends the program as it stands: no close of the window, no last poll.
  m_exiting = true;
  QCoreApplication::exit(0);
}

void TWinMain::openTool(int index) {
  const ToolPage& page = kToolPages[static_cast<size_t>(index)];
  auto dialog = std::make_unique<TToolDialog>();
  dialog->Navigate(QUrl(toolAddress(page.path)));
  dialog->setWindowTitle(QString(kToolCaptionPrefix) + page.caption);
  centreOnScreen(dialog.get());
  dialog->exec();
}

void TWinMain::raceRoute1Click() { openTool(0); }
void TWinMain::NetStats1Click() { openTool(1); }
void TWinMain::AddressTranslationTablesARP1Click() { openTool(2); }
void TWinMain::ResolveName1Click() { openTool(3); }
void TWinMain::ResolveIPAddress1Click() { openTool(4); }
void TWinMain::ManualPing1Click() { openTool(5); }
void TWinMain::RebootRemoteServer1Click() { openTool(6); }
void TWinMain::RestartRemoteService1Click() { openTool(7); }
