// Settings in the registry stand-in, the start-up entry in the XDG autostart
// folder and the system proxy values.
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>

#include "tray_fixture.h"

using namespace traytest;
using namespace vandrel;

namespace {

using SettingsTest = TrayTest;

template <class W>
W* control(TWinMain& win, const char* name) {
  W* w = win.findChild<W*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}

TEST_F(SettingsTest, FirstRunWritesTheDefaults) {
  make();
  win->LoadSettings();
  Store s;
  EXPECT_EQ(s.dword(kValuePort), 1529u);
  EXPECT_EQ(s.dword(kValueNotifyBad), 1u);
  EXPECT_EQ(s.dword(kValueNotifyMedium), 1u);
  EXPECT_EQ(s.dword(kValueNotifyGood), 0u);
  EXPECT_EQ(s.dword(kValueNotifySound), 1u);
  EXPECT_EQ(s.string(kValueSoundFile), QByteArray(""));
  EXPECT_EQ(s.dword(kValueNotifyBrowser), 1u);
  // The field already holds "localhost", so nothing is written for it.
  EXPECT_FALSE(s.get(kValueServer).has_value());

  EXPECT_EQ(control<QSpinBox>(*win, "sePort")->value(), 1529);
  EXPECT_TRUE(control<QCheckBox>(*win, "ckOnBad")->isChecked());
  EXPECT_TRUE(control<QCheckBox>(*win, "ckOnMedium")->isChecked());
  EXPECT_FALSE(control<QCheckBox>(*win, "ckOnGood")->isChecked());
  EXPECT_TRUE(control<QCheckBox>(*win, "ckSoundNotify")->isChecked());
  EXPECT_TRUE(control<QLineEdit>(*win, "edSoundFile")->isEnabled());
  EXPECT_TRUE(control<QCheckBox>(*win, "ckNotifyBrowser")->isChecked());
  EXPECT_FALSE(control<QCheckBox>(*win, "ckStartup")->isChecked());
  EXPECT_EQ(control<QLineEdit>(*win, "edServer")->text(), "localhost");
  EXPECT_EQ(win->baseAddress(), "http://localhost:1529");
}

TEST_F(SettingsTest, BlankOrEmptyServerBecomesLocalhost) {
  for (const QByteArray& blank : {QByteArray("   "), QByteArray(""), QByteArray(" \t ")}) {
    SCOPED_TRACE(blank.toStdString());
    make();
    Store s;
    s.setString(kValueServer, "status.example");
    win->LoadSettings();
    s.setString(kValueServer, blank);
    win->LoadSettings();
    EXPECT_EQ(control<QLineEdit>(*win, "edServer")->text(), "localhost");
    EXPECT_EQ(s.string(kValueServer), QByteArray("localhost"));
  }
}

TEST_F(SettingsTest, StoredValuesSetTheControls) {
  {
    Store s;
    s.setDword(kValuePort, 8080);
    s.setDword(kValueNotifyBad, 0);
    s.setDword(kValueNotifyMedium, 0);
    s.setDword(kValueNotifyGood, 1);
    s.setDword(kValueNotifySound, 0);
    s.setString(kValueSoundFile, "/sounds/ring.wav");
    s.setString(kValueServer, " status.example ");
    s.setDword(kValueNotifyBrowser, 0);
  }
  make();
  win->LoadSettings();
  EXPECT_EQ(control<QSpinBox>(*win, "sePort")->value(), 8080);
  EXPECT_FALSE(control<QCheckBox>(*win, "ckOnBad")->isChecked());
  EXPECT_FALSE(control<QCheckBox>(*win, "ckOnMedium")->isChecked());
  EXPECT_TRUE(control<QCheckBox>(*win, "ckOnGood")->isChecked());
  EXPECT_FALSE(control<QCheckBox>(*win, "ckSoundNotify")->isChecked());
  EXPECT_FALSE(control<QLineEdit>(*win, "edSoundFile")->isEnabled());
  EXPECT_EQ(control<QLineEdit>(*win, "edSoundFile")->text(), "/sounds/ring.wav");
  EXPECT_EQ(control<QLineEdit>(*win, "edServer")->text(), " status.example ");
  EXPECT_FALSE(control<QCheckBox>(*win, "ckNotifyBrowser")->isChecked());
  // Read back unchanged, the server text untrimmed.
  Store s;
  EXPECT_EQ(s.dword(kValuePort), 8080u);
  EXPECT_EQ(s.string(kValueServer), QByteArray(" status.example "));
  EXPECT_EQ(s.dword(kValueNotifySound), 0u);

  // A value changed elsewhere takes effect at the next load.
  s.setDword(kValuePort, 9090);
  win->LoadSettings();
  EXPECT_EQ(win->baseAddress(), "http:// status.example :9090");
}

TEST_F(SettingsTest, ValueOfTheWrongTypeIsReplacedByItsDefault) {
  {
    Store s;
    s.setString(kValuePort, "8080");
    s.setString(kValueNotifyGood, "1");
    s.setDword(kValueServer, 7);
  }
  make();
  win->LoadSettings();
  Store s;
  EXPECT_EQ(s.dword(kValuePort), 1529u);
  EXPECT_EQ(s.dword(kValueNotifyGood), 0u);
  EXPECT_EQ(control<QLineEdit>(*win, "edServer")->text(), "localhost");
}

TEST_F(SettingsTest, PortBeyondTheBoxIsLeftAsStored) {
  {
    Store s;
    s.setDword(kValuePort, 70000);
  }
  make();
  win->LoadSettings();
  Store s;
  EXPECT_EQ(s.dword(kValuePort), 70000u);
}

TEST_F(SettingsTest, EveryChangeIsWrittenAtOnce) {
  make();
  win->LoadSettings();
  Store s;
  control<QSpinBox>(*win, "sePort")->setValue(2000);
  EXPECT_EQ(s.dword(kValuePort), 2000u);
  struct Box {
    const char* control;
    const char* value;
  };
  for (Box b : {Box{"ckOnBad", kValueNotifyBad}, Box{"ckOnMedium", kValueNotifyMedium}, Box{"ckOnGood", kValueNotifyGood},
                Box{"ckSoundNotify", kValueNotifySound}, Box{"ckNotifyBrowser", kValueNotifyBrowser}}) {
    SCOPED_TRACE(b.control);
    QCheckBox* box = control<QCheckBox>(*win, b.control);
    const DWORD before = box->isChecked();
    box->click();
    EXPECT_EQ(s.dword(b.value), before ? 0u : 1u);
    box->click();
    EXPECT_EQ(s.dword(b.value), before);
  }
  control<QLineEdit>(*win, "edSoundFile")->setText("  /sounds/ring.wav  ");
  EXPECT_EQ(s.string(kValueSoundFile), QByteArray("/sounds/ring.wav"));
  control<QLineEdit>(*win, "edServer")->setText(" status.example ");
  EXPECT_EQ(s.string(kValueServer), QByteArray(" status.example "));
}

TEST_F(SettingsTest, UntickingSoundDisablesTheSoundFile) {
  make();
  win->LoadSettings();
  QCheckBox* sound = control<QCheckBox>(*win, "ckSoundNotify");
  QLineEdit* file = control<QLineEdit>(*win, "edSoundFile");
  QToolButton* browse = control<QToolButton>(*win, "bBrowseSound");
  ASSERT_TRUE(sound->isChecked());
  sound->click();
  EXPECT_FALSE(file->isEnabled());
  EXPECT_FALSE(browse->isEnabled());
  sound->click();
  EXPECT_TRUE(file->isEnabled());
  EXPECT_TRUE(browse->isEnabled());
}

// The settings store in a folder of its own for the time of a test.
class OwnStore {
 public:
  OwnStore() : m_saved(qgetenv("QUORVANE_CONFIG_DIR")) {
    QDir().mkpath(folder());
    qputenv("QUORVANE_CONFIG_DIR", QFile::encodeName(folder()));
  }
  ~OwnStore() { qputenv("QUORVANE_CONFIG_DIR", m_saved); }
  QString folder() const { return m_dir.filePath("config"); }
  QString file(const char* name = "current_user.reg") const { return folder() + "/" + name; }

 private:
  QTemporaryDir m_dir;
  QByteArray m_saved;
};

// A store that cannot be read or kept leaves the defaults in force (the
// port box held 1530 before the first load), and the options window says
// so, once while it lasts; the note goes when the store works again.
TEST_F(SettingsTest, StoreThatFailsLeavesTheDefaultsAndSaysSoInTheWindow) {
  struct Case {
    const char* name;
    std::function<void(const OwnStore&)> spoil, mend;
    const char* told;    // the note
    const char* reason;  // part of its tip
  };
  const Case cases[] = {
      {"Damaged",
       [](const OwnStore& store) {
         QFile f(store.file());
         ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         f.write("garbage\n");
       },
       [](const OwnStore& store) { ASSERT_TRUE(QFile::remove(store.file())); }, kSettingsNotRead,
       "current_user.reg, line 1: unparseable line"},
      {"NotAFile", [](const OwnStore& store) { ASSERT_TRUE(QDir().mkdir(store.file())); },
       [](const OwnStore& store) { ASSERT_TRUE(QDir().rmdir(store.file())); }, kSettingsNotRead,
       "is not a regular file"},
      {"NotWritable", [](const OwnStore& store) { ASSERT_TRUE(QDir().mkdir(store.file("current_user.reg.lock"))); },
       [](const OwnStore& store) { ASSERT_TRUE(QDir().rmdir(store.file("current_user.reg.lock"))); },
       kSettingsNotKept, "cannot open lock file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OwnStore store;
    c.spoil(store);
    make();
    auto* note = control<QLabel>(*win, "lbStoreNote");
    ASSERT_NE(note, nullptr);
    EXPECT_FALSE(note->isVisibleTo(win.get()));
    win->LoadSettings();
    const QString tip = note->toolTip();
    win->LoadSettings();  // as before every poll
    win->LoadSettings();

    EXPECT_EQ(control<QSpinBox>(*win, "sePort")->value(), 1529);
    EXPECT_EQ(win->statusAddress(), "http://localhost:1529/getserverstatus");
    EXPECT_TRUE(control<QCheckBox>(*win, "ckOnBad")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(*win, "ckOnMedium")->isChecked());
    EXPECT_FALSE(control<QCheckBox>(*win, "ckOnGood")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(*win, "ckSoundNotify")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(*win, "ckNotifyBrowser")->isChecked());

    EXPECT_TRUE(note->isVisibleTo(win.get()));
    EXPECT_EQ(note->text(), c.told);
    EXPECT_EQ(note->toolTip(), tip);
    EXPECT_TRUE(tip.contains(store.folder())) << qPrintable(tip);
    EXPECT_TRUE(tip.contains(c.reason)) << qPrintable(tip);
    EXPECT_TRUE(warnings.isEmpty());  // no box pops up at every poll

    c.mend(store);
    win->LoadSettings();
    EXPECT_FALSE(note->isVisibleTo(win.get()));
    EXPECT_EQ(Store().dword(kValuePort), 1529u);
    win.reset();
  }
}

TEST_F(SettingsTest, AChangeThatCannotBeKeptIsToldInTheWindow) {
  OwnStore store;
  make();
  win->LoadSettings();
  auto* note = control<QLabel>(*win, "lbStoreNote");
  ASSERT_NE(note, nullptr);
  const QString lock = store.file("current_user.reg.lock");
  ASSERT_TRUE(QFile::remove(lock) && QDir().mkdir(lock));
  auto* good = control<QCheckBox>(*win, "ckOnGood");
  good->click();
  EXPECT_TRUE(note->isVisibleTo(win.get()));
  EXPECT_EQ(note->text(), kSettingsNotKept);
  EXPECT_EQ(note->toolTip(), "cannot open lock file " + lock + ": Is a directory");
  control<QSpinBox>(*win, "sePort")->setValue(2000);
  EXPECT_EQ(note->text(), kSettingsNotKept);
  EXPECT_EQ(Store().dword(kValueNotifyGood), 0u);

  ASSERT_TRUE(QDir().rmdir(lock));
  good->click();  // back to what is stored
  control<QSpinBox>(*win, "sePort")->setValue(2001);
  EXPECT_EQ(Store().dword(kValuePort), 2001u);
  EXPECT_FALSE(note->isVisibleTo(win.get()));
}

// Both notes at once, in the window of fixed size: each line is shown whole
// and nothing is pushed off the bottom.
TEST_F(SettingsTest, BothStoreNotesFitTheWindow) {
  OwnStore store;
  {
    QFile f(store.file());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("garbage\n");
  }
  make();
  win->ShowOptions();
  control<QCheckBox>(*win, "ckOnGood")->click();
  QTest::qWait(50);
  auto* note = control<QLabel>(*win, "lbStoreNote");
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->text(), QString(kSettingsNotRead) + "\n" + kSettingsNotKept);
  EXPECT_GE(note->height(), note->heightForWidth(note->width()));
  auto* close = win->findChild<QPushButton*>("bClose");
  ASSERT_NE(close, nullptr);
  EXPECT_TRUE(win->rect().contains(close->geometry()));
}

// ---------------------------------------------------------------- start-up entry

TEST_F(SettingsTest, StartupEntryIsWrittenAndRemoved) {
  make();
  win->LoadSettings();
  const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/" + kAutostartFile;
  ASSERT_EQ(autostartPath(), path);
  QCheckBox* startup = control<QCheckBox>(*win, "ckStartup");

  startup->click();
  ASSERT_TRUE(QFile::exists(path));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = f.readAll().split('\n');
  EXPECT_EQ(lines.value(0), "[Desktop Entry]");
  EXPECT_TRUE(lines.contains("Type=Application"));
  EXPECT_TRUE(lines.contains("Name=Vandrel Client"));
  EXPECT_TRUE(lines.contains("Exec=" + desktopExec(QCoreApplication::applicationFilePath()).toUtf8()));

  startup->click();
  EXPECT_FALSE(QFile::exists(path));
}

TEST_F(SettingsTest, StartupStateIsReadBackFromTheAutostartFolder) {
  make();
  win->LoadSettings();
  QCheckBox* startup = control<QCheckBox>(*win, "ckStartup");
  EXPECT_FALSE(startup->isChecked());

  QDir().mkpath(autostartFolder());
  {
    QFile f(autostartPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Desktop Entry]\nType=Application\nExec=/elsewhere/VandrelClient\n");
  }
  win->LoadSettings();
  EXPECT_TRUE(startup->isChecked());

  QFile::remove(autostartPath());
  win->LoadSettings();
  EXPECT_FALSE(startup->isChecked());
}

// Each way the entry cannot be made or removed is told with its reason, and
// the box then shows whether an entry is there.
TEST_F(SettingsTest, StartupEntryThatCannotBeChangedIsToldWithTheReason) {
  struct Case {
    const char* name;
    std::function<void(const QString& config)> spoil;  // given the XDG config folder
    bool tick;                                          // the click ticks the box (else clears it)
    const char* reason;
    bool ticked;  // afterwards
  };
  const Case cases[] = {
      {"FileWhereTheConfigFolderShouldBe",
       [](const QString& config) {
         QDir().rmpath(config);
         QFile f(config);
         ASSERT_TRUE(f.open(QIODevice::WriteOnly));
       },
       true, "Not a directory", false},
      {"FolderWhereTheEntryShouldBe",
       [](const QString& config) { ASSERT_TRUE(QDir().mkpath(config + "/autostart/" + kAutostartFile)); },
       true, "refers to a directory", false},
      {"EntryThatCannotBeRemoved",
       [](const QString& config) {
         // A folder with a file in it: the box is ticked, and removing fails.
         ASSERT_TRUE(QDir().mkpath(config + "/autostart/" + kAutostartFile));
         QFile f(config + "/autostart/" + kAutostartFile + "/inside");
         ASSERT_TRUE(f.open(QIODevice::WriteOnly));
       },
       false, "Is a directory", true},
  };
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    const QString config = dir.filePath("config");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    make();
    QCheckBox* startup = control<QCheckBox>(*win, "ckStartup");
    if (!c.tick) {
      const QSignalBlocker quiet(startup);
      startup->setChecked(true);
    }
    c.spoil(config);
    warnings.clear();
    startup->click();
    EXPECT_EQ(startup->isChecked(), c.ticked);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].contains(autostartPath())) << qPrintable(warnings[0]);
    EXPECT_TRUE(warnings[0].contains(c.reason)) << qPrintable(warnings[0]);
    EXPECT_FALSE(warnings[0].contains("Unknown error")) << qPrintable(warnings[0]);
    win.reset();
  }
  qputenv("XDG_CONFIG_HOME", saved);
}

TEST(Autostart, FolderFollowsTheBaseDirectoryRules) {
  const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
  const QByteArray savedHome = qgetenv("HOME");
  QTemporaryDir home;
  qputenv("HOME", QFile::encodeName(home.path()));
  const QString fallback = home.path() + "/.config/autostart";

  qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(autostartFolder(), fallback);
  qputenv("XDG_CONFIG_HOME", "");
  EXPECT_EQ(autostartFolder(), fallback);
  qputenv("XDG_CONFIG_HOME", "relative/config");
  EXPECT_EQ(autostartFolder(), fallback);
  qputenv("XDG_CONFIG_HOME", "/srv/cfg");
  EXPECT_EQ(autostartFolder(), "/srv/cfg/autostart");
  EXPECT_EQ(autostartPath(), "/srv/cfg/autostart/vandrel-client-autostart.desktop");

  qputenv("HOME", savedHome);
  qputenv("XDG_CONFIG_HOME", savedXdg);
}

TEST(Autostart, ExecQuotesTheProgram) {
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/bin/VandrelClient", R"("/usr/bin/VandrelClient")"},
      {"/opt/Vandrel Client/VandrelClient", R"("/opt/Vandrel Client/VandrelClient")"},
      {R"(/opt/a"b/c)", R"("/opt/a\\"b/c")"},
      {R"(/opt/a\b/c)", R"("/opt/a\\\\b/c")"},
      {"/opt/$HOME/`x`", R"("/opt/\\$HOME/\\`x\\`")"},
      {"/opt/100%/c", R"("/opt/100%%/c")"},
  };
  for (auto [program, exec] : cases) EXPECT_EQ(desktopExec(program), exec) << program;
}

// ---------------------------------------------------------------- system proxy

TEST(Proxy, ServerTextSplitsIntoHostAndPort) {
  struct Case {
    const char* text;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"proxy.example:8080", "proxy.example", 8080},
      {"proxy.example", "", 80},  // no colon: the whole text is the port
      {"3128", "", 3128},
      {"proxy.example:", "proxy.example", 80},
      {"proxy.example:http", "proxy.example", 80},
      {":3128", "", 3128},
      {"a:1:2", "a", 80},
      {"", "", 80},
  };
  for (const Case& c : cases) {
    const ProxySetting p = parseProxyServer(c.text);
    EXPECT_EQ(p.host, c.host) << c.text;
    EXPECT_EQ(p.port, c.port) << c.text;
  }
}

TEST_F(SettingsTest, SystemProxyIsReadWhenTheWindowIsMade) {
  struct Case {
    std::optional<DWORD> enable;
    std::optional<QByteArray> server;
    bool used;
  };
  const Case cases[] = {
      {1, "proxy.example:8080", true},
      {0, "proxy.example:8080", false},
      {2, "proxy.example:8080", false},
      {1, std::nullopt, false},
      {std::nullopt, "proxy.example:8080", false},
  };
  for (const Case& c : cases) {
    clearStore();
    {
      Store proxy(plat::HKEY_LOCAL_MACHINE, kProxyKey);
      if (c.enable) proxy.setDword(kValueProxyEnable, *c.enable);
      if (c.server) proxy.setString(kValueProxyServer, *c.server);
    }
    make();
    EXPECT_EQ(win->hasProxy(), c.used);
    if (c.used) {
      EXPECT_EQ(win->proxyHost(), "proxy.example");
      EXPECT_EQ(win->proxyPort(), 8080);
    }
  }
}

}  // namespace
