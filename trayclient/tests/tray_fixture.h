// A main window with its timers stopped, sounds and browser opens recorded,
// and a settings store emptied for each test.
#pragma once

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "TrayMain.h"
#include "plat/platform.h"
#include "status_server.h"

namespace traytest {

inline constexpr const char* kAllValues[] = {
    vandrel::kValuePort,      vandrel::kValueNotifyBad, vandrel::kValueNotifyMedium, vandrel::kValueNotifyGood,
    vandrel::kValueNotifySound, vandrel::kValueSoundFile, vandrel::kValueServer,     vandrel::kValueNotifyBrowser,
};

class Store {
 public:
  explicit Store(plat::Hive hive = plat::HKEY_CURRENT_USER, const char* path = vandrel::kSettingsKey) {
    EXPECT_EQ(plat::RegOpenKey(hive, path, true, &m_key), plat::ERROR_SUCCESS) << plat::RegLastErrorText();
  }
  ~Store() {
    if (m_key) plat::RegCloseKey(m_key);
  }
  void setDword(const char* name, DWORD value) {
    EXPECT_EQ(plat::RegSetValue(m_key, name, plat::REG_DWORD, reinterpret_cast<BYTE*>(&value), 4), plat::ERROR_SUCCESS);
  }
  void setString(const char* name, const QByteArray& text) {
    EXPECT_EQ(plat::RegSetValue(m_key, name, plat::REG_SZ, reinterpret_cast<const BYTE*>(text.constData()),
                                static_cast<DWORD>(text.size() + 1)),
              plat::ERROR_SUCCESS);
  }
  void remove(const char* name) { plat::RegDeleteValue(m_key, name); }
  // The value's type and bytes, or nothing when it is missing.
  std::optional<std::pair<DWORD, QByteArray>> get(const char* name) {
    DWORD type = 0, size = 0;
    if (plat::RegQueryValue(m_key, name, &type, nullptr, &size) != plat::ERROR_SUCCESS) return std::nullopt;
    QByteArray data(static_cast<qsizetype>(size), '\0');
    if (plat::RegQueryValue(m_key, name, &type, reinterpret_cast<BYTE*>(data.data()), &size) != plat::ERROR_SUCCESS)
      return std::nullopt;
    return std::make_pair(type, data.left(size));
  }
  std::optional<DWORD> dword(const char* name) {
    auto v = get(name);
    if (!v || v->first != plat::REG_DWORD || v->second.size() != 4) return std::nullopt;
    DWORD out;
    memcpy(&out, v->second.constData(), 4);
    return out;
  }
  std::optional<QByteArray> string(const char* name) {
    auto v = get(name);
    if (!v || v->first != plat::REG_SZ) return std::nullopt;
    QByteArray text = v->second;
    if (text.endsWith('\0')) text.chop(1);
    return text;
  }

 private:
  plat::HKEY m_key = nullptr;
};

inline void clearStore() {
  {
    Store settings;
    for (const char* name : kAllValues) settings.remove(name);
  }
  Store proxy(plat::HKEY_LOCAL_MACHINE, vandrel::kProxyKey);
  proxy.remove(vandrel::kValueProxyEnable);
  proxy.remove(vandrel::kValueProxyServer);
}

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clearStore();
    QFile::remove(vandrel::autostartPath());
  }
  void TearDown() override {
    win.reset();
    QFile::remove(vandrel::autostartPath());
  }

  // A window as the program makes it, minus its timers.
  TWinMain& make(bool stopTimers = true) {
    win = std::make_unique<TWinMain>();
    if (stopTimers) {
      win->findChild<QTimer*>("tmrMain")->stop();
      win->findChild<QTimer*>("RefreshTimer")->stop();
    }
    win->setSoundPlayer([this](const QString& file) {
      sounds << file;
      return playable(file);
    });
    win->setUrlOpener([this](const QUrl& url) { opened << url.toString(); });
    win->setWarner([this](const QString& text) { warnings << text; });
    win->setPollTimeout(2000);
    return *win;
  }

  // Points the window at server through the settings, as a user would.
  void pointAt(const StatusServer& server) {
    Store s;
    s.setString(vandrel::kValueServer, "127.0.0.1");
    s.setDword(vandrel::kValuePort, server.port());
    win->LoadSettings();
  }

  // One poll, waited for.
  bool poll() {
    QSignalSpy done(win.get(), &TWinMain::pollFinished);
    win->GetStatusFromServer();
    return done.count() > 0 || done.wait(10000);
  }

  std::unique_ptr<TWinMain> win;
  QStringList sounds;
  QStringList opened;
  QStringList warnings;
  std::function<bool(const QString&)> playable = [](const QString&) { return true; };
};

}  // namespace traytest
