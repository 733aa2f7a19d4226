// The status poll against a stand-in server: successive answers and the icon,
// hint and notifications each one leaves.
#include <QAction>
#include <QElapsedTimer>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include "tray_fixture.h"

using namespace traytest;
using namespace vandrel;

namespace {

struct Step {
  Answer answer;
  qint64 icon;       // ChangeIcon index
  const char* hint;  // hint before the time
  bool notified;     // one sound and one browser open
  size_t records;    // servers kept afterwards
};

struct Scenario {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::pair<const char*, DWORD>> settings = {};  // written before the first poll
};

Answer body(const char* text) { return Answer{200, text}; }
Answer status(int code, const char* text = "a,2\r\n") { return Answer{code, text}; }

const char* const kNoContact = "Could not contact the server.\rLast attempt: ";
const char* const kOk = "All servers OK.\rLast checked: ";
const char* const kRetry = "A test has failed, but the maximum number of retries has not been exceeded.\rLast checked: ";
const char* const kFailed = "A test has failed.\rLast checked: ";
const char* const kStopped = "The monitoring service has been stopped on the remote server.\rLast attempt: ";
const char* const kNoServers = "No servers currently monitored.\rLast attempt: ";
const char* const kDisabled = "Monitoring is currently disabled.\rLast attempt: ";

// One box ticked, the other two not, over a walk that makes each change
// between passed, retrying and failed once (0>1 and 2>1 medium, 1>2 and 0>2
// bad, 1>0 and 2>0 good): only the ticked kind notifies.
Scenario onlyTicked(const char* name, const char* box) {
  struct Walk {
    const char* body;
    qint64 icon;
    const char* hint;
    const char* kind;  // the box of the change this answer makes (the constant itself)
  };
  static const Walk kWalk[] = {
      {"a,0\r\n", 1, kOk, nullptr},           {"a,1\r\n", 2, kRetry, kValueNotifyMedium},
      {"a,2\r\n", 3, kFailed, kValueNotifyBad}, {"a,1\r\n", 2, kRetry, kValueNotifyMedium},
      {"a,0\r\n", 1, kOk, kValueNotifyGood},   {"a,2\r\n", 3, kFailed, kValueNotifyBad},
      {"a,0\r\n", 1, kOk, kValueNotifyGood},
  };
  Scenario s{name, {}, {}};
  for (const char* value : {kValueNotifyBad, kValueNotifyMedium, kValueNotifyGood})
    s.settings.emplace_back(value, value == box ? 1 : 0);
  for (const Walk& w : kWalk) s.steps.push_back({body(w.body), w.icon, w.hint, w.kind == box, 1});
  return s;
}

const Scenario kScenarios[] = {
    {"FirstSightRaisesNothing", {{body("a,0\r\nb,2\r\n"), 3, kFailed, false, 2}}},
    {"ZeroToTwoRaisesBadOnce",
     {{body("a,0\r\nb,0\r\n"), 1, kOk, false, 2},
      {body("a,0\r\nb,2\r\n"), 3, kFailed, true, 2},
      {body("a,0\r\nb,2\r\n"), 3, kFailed, false, 2}}},
    {"ZeroToThreeRaisesNothing", {{body("a,0\r\n"), 1, kOk, false, 1}, {body("a,3\r\n"), 4, kStopped, false, 1}}},
    {"ThreeToZeroRaisesNothing", {{body("a,3\r\n"), 4, kStopped, false, 1}, {body("a,0\r\n"), 1, kOk, false, 1}}},
    {"EmptyBodyLeavesNoRecords", {{body("a,1\r\n"), 2, kRetry, false, 1}, {body(""), 0, kNoContact, false, 0}}},
    {"UnreadableStatus",
     {{body("x"), 0, kNoContact, false, 1},
      {body("a,x\r\nb,1 \r\n"), 0, kNoContact, false, 2},
      {body("a,0\r\nb,x\r\n"), 1, kOk, false, 2}}},
    {"NoItemsKeepsTheList",
     {{body("a,0\r\n"), 1, kOk, false, 1},
      {body("no items\r\n"), -2, kNoServers, false, 1},
      {body("a,2\r\n"), 3, kFailed, true, 1}}},
    {"NotMonitoringKeepsTheList",
     {{body("a,1\r\n"), 2, kRetry, false, 1},
      {body("not monitoring\r\n"), -1, kDisabled, false, 1},
      {body("not monitoring\r\n"), -1, kDisabled, false, 1},
      {body("a,0\r\n"), 1, kOk, false, 1}}},
    {"SpecialAnswersAreExact",
     {{body("no items"), 0, kNoContact, false, 1}, {body("not monitoring\n"), 0, kNoContact, false, 1}}},
    {"MissingAfterAChangeIsSeenOnceMore",
     {{body("a,0\r\nb,0\r\n"), 1, kOk, false, 2},
      {body("a,0\r\nb,2\r\n"), 3, kFailed, true, 2},
      {body("a,0\r\n"), 1, kOk, true, 1},
      {body("a,0\r\n"), 1, kOk, false, 1}}},
    {"MediumNotifiesGoodOnlyWhenTicked",
     {{body("a,0\r\n"), 1, kOk, false, 1},
      {body("a,1\r\n"), 2, kRetry, true, 1},
      {body("a,0\r\n"), 1, kOk, false, 1},
      {body("a,2\r\n"), 3, kFailed, true, 1},
      {body("a,1\r\n"), 2, kRetry, true, 1}}},
    {"UntickedKindsStayQuiet",
     {{body("a,0\r\n"), 1, kOk, false, 1},
      {body("a,2\r\n"), 3, kFailed, false, 1},
      {body("a,1\r\n"), 2, kRetry, false, 1},
      {body("a,0\r\n"), 1, kOk, true, 1}},
     {{kValueNotifyBad, 0}, {kValueNotifyMedium, 0}, {kValueNotifyGood, 1}}},
    onlyTicked("OnlyOnBadTicked", kValueNotifyBad),
    onlyTicked("OnlyOnMediumTicked", kValueNotifyMedium),
    onlyTicked("OnlyOnGoodTicked", kValueNotifyGood),
    {"LineFeedsDuplicatesAndCase",
     // "a" is made and updated again by the same answer: 0 then 1 is a change.
     {{body("a,0\nA,2\na,1\n"), 3, kFailed, true, 2}, {body("a,1\nA,2"), 3, kFailed, false, 2}}},
    {"LineWithoutCommaIsAnUnnamedServer", {{body("a,1\r\noffline\r\n"), 2, kRetry, false, 2}}},
    {"NegativeStatuses",
     // -2 and -3 would otherwise pass for the special answers' indexes.
     {{body("a,-2\r\n"), 0, kNoContact, false, 1}, {body("a,-3\r\n"), 0, kNoContact, false, 1}}},
    {"StatusesAboveThreeAreToldAsTheyCame",
     // The server answered: no failure to make contact, and the number
     // stays as sent, up to the largest.
     {{body("a,0\r\nb,2\r\n"), 3, kFailed, false, 2},
      {body("a,0\r\nb,7\r\n"), 8, "A server reports status 7, which this client does not know.\rLast checked: ", false,
       2},
      {body("a,2147483647\r\nb,3\r\n"), 2147483648,
       "A server reports status 2147483647, which this client does not know.\rLast checked: ", false, 2},
      {body("a,0\r\nb,2\r\n"), 3, kFailed, false, 2}}},
    {"HttpErrorsKeepTheList",
     {{body("a,0\r\n"), 1, kOk, false, 1},
      {status(500), 0, kNoContact, false, 1},
      {status(404), 0, kNoContact, false, 1},
      {Answer{302, "a,2\r\n", "Location: /getserverstatus\r\n"}, 0, kNoContact, false, 1},
      {status(200), 3, kFailed, true, 1}}},
    {"TimeOutKeepsTheList",
     {{body("a,0\r\n"), 1, kOk, false, 1},
      {Answer{200, "", "", 0, true}, 0, kNoContact, false, 1},
      {body("a,2\r\n"), 3, kFailed, true, 1}}},
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

class PollTable : public TrayTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(PollTable, IconHintAndNotifications) {
  const Scenario& scenario = GetParam();
  StatusServer server;
  make();
  win->setPollTimeout(300);
  {
    Store s;
    for (auto [name, value] : scenario.settings) s.setDword(name, value);
  }
  pointAt(server);

  int step = 0;
  for (const Step& expected : scenario.steps) {
    SCOPED_TRACE("step " + std::to_string(++step));
    const qsizetype soundsBefore = sounds.size(), opensBefore = opened.size();
    server.enqueue(expected.answer);
    ASSERT_TRUE(poll());
    EXPECT_EQ(win->iconIndex(), expected.icon);
    const int image = expected.icon >= 0 && expected.icon < kStatusImageCount ? static_cast<int>(expected.icon) : 0;
    EXPECT_EQ(win->imageIndex(), image);
    EXPECT_EQ(win->trayIcon()->icon().cacheKey(), statusIcon(image).cacheKey());
    EXPECT_TRUE(win->hint().startsWith(QString::fromLatin1(expected.hint))) << qPrintable(win->hint());
    EXPECT_GT(win->hint().size(), qsizetype(strlen(expected.hint)));  // the time follows
    EXPECT_EQ(win->trayIcon()->toolTip(), QString(win->hint()).replace('\r', '\n'));
    EXPECT_EQ(sounds.size() - soundsBefore, expected.notified ? 1 : 0);
    EXPECT_EQ(opened.size() - opensBefore, expected.notified ? 1 : 0);
    EXPECT_EQ(win->records().size(), expected.records);
    EXPECT_FALSE(win->isAnimating());
  }
  EXPECT_EQ(server.requests.size(), qsizetype(scenario.steps.size()));
}

INSTANTIATE_TEST_SUITE_P(Answers, PollTable, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

using PollTest = TrayTest;

TEST_F(PollTest, RecordsKeepBothStatesAndFirstAppearanceOrder) {
  make();
  win->DoActions("b,0\r\na,0\r\n");
  win->DoActions("a,2\r\nb,1\r\nc,3\r\n");
  ASSERT_EQ(win->records().size(), 3u);
  const TConnectionStatus& b = win->records()[0];
  const TConnectionStatus& a = win->records()[1];
  const TConnectionStatus& c = win->records()[2];
  EXPECT_EQ(b.name, "b");
  EXPECT_EQ(b.current, 1);
  EXPECT_EQ(b.previous, 0);
  EXPECT_EQ(a.name, "a");
  EXPECT_EQ(a.current, 2);
  EXPECT_EQ(a.previous, 0);
  EXPECT_EQ(c.current, 3);
  EXPECT_EQ(c.previous, 3);
  for (const auto& r : win->records()) EXPECT_EQ(r.mark, win->generation());
  // The special answers flip the generation too, and keep every record.
  const quint8 before = win->generation();
  win->DoActions("no items\r\n");
  EXPECT_NE(win->generation(), before);
  EXPECT_EQ(win->records().size(), 3u);
  // The next list drops the servers it does not name, after an odd number of
  // special answers as after none.
  win->DoActions("a,0\r\n");
  ASSERT_EQ(win->records().size(), 1u);
  EXPECT_EQ(win->records()[0].name, "a");
  EXPECT_EQ(win->iconIndex(), kIconOk);
}

TEST_F(PollTest, RequestCarriesTheHeadersAndCookies) {
  StatusServer server;
  make();
  pointAt(server);
  server.enqueue(Answer{200, "a,0\r\n", "Set-Cookie: session=abc123; Path=/\r\n"});
  server.enqueue(body("a,0\r\n"));
  ASSERT_TRUE(poll());
  ASSERT_TRUE(poll());
  ASSERT_EQ(server.requests.size(), 2);
  const Request& first = server.requests[0];
  EXPECT_EQ(first.method, "GET");
  EXPECT_EQ(first.path, "/getserverstatus");
  EXPECT_EQ(first.headers.value("accept"), "text/html, */*");
  EXPECT_EQ(first.headers.value("user-agent"), "Mozilla/3.0 (compatible; Indy Library)");
  EXPECT_EQ(first.headers.value("host"), "127.0.0.1:" + QByteArray::number(server.port()));
  EXPECT_EQ(server.requests[1].headers.value("cookie"), "session=abc123");
}

TEST_F(PollTest, NoConnectionShowsNoContact) {
  make();
  quint16 closedPort;
  {
    StatusServer gone;  // a port that was just free
    closedPort = gone.port();
  }
  Store s;
  s.setString(kValueServer, "127.0.0.1");
  s.setDword(kValuePort, closedPort);
  win->LoadSettings();
  win->ChangeIcon(kIconOk);
  ASSERT_TRUE(poll());
  EXPECT_EQ(win->iconIndex(), kIconNoContact);
  EXPECT_TRUE(win->hint().startsWith(kNoContact));
}

TEST_F(PollTest, GuiStaysLiveAndAnimatesWhilePolling) {
  StatusServer server;
  make();
  pointAt(server);
  server.enqueue(Answer{200, "a,0\r\n", "", 900});
  QSignalSpy done(win.get(), &TWinMain::pollFinished);
  win->GetStatusFromServer();
  EXPECT_TRUE(win->isPolling());
  EXPECT_TRUE(win->isAnimating());
  EXPECT_EQ(win->trayIcon()->icon().cacheKey(), animationIcon(0).cacheKey());
  QList<int> frames;
  QTimer sample;
  QObject::connect(&sample, &QTimer::timeout, [&] { frames << win->animationFrame(); });
  sample.start(100);
  ASSERT_TRUE(done.wait(5000));
  sample.stop();
  // 250 ms frames over 900 ms: the event loop ran and the frames moved on.
  EXPECT_TRUE(frames.contains(1));
  EXPECT_TRUE(frames.contains(2));
  EXPECT_FALSE(win->isAnimating());
  EXPECT_EQ(win->trayIcon()->icon().cacheKey(), statusIcon(kIconOk).cacheKey());
}

TEST_F(PollTest, OnePollAtATime) {
  StatusServer server;
  make();
  pointAt(server);
  server.enqueue(Answer{200, "a,0\r\n", "", 400});
  server.enqueue(body("a,2\r\n"));
  QSignalSpy done(win.get(), &TWinMain::pollFinished);
  win->GetStatusFromServer();
  win->GetStatusFromServer();
  win->GetStatusFromServer();
  QSignalSpy received(&server, &StatusServer::requestReceived);
  ASSERT_TRUE(received.wait(5000));
  QTest::qWait(150);
  EXPECT_EQ(server.requests.size(), 1);  // the others wait for this one
  while (done.count() < 2) ASSERT_TRUE(done.wait(5000));
  QTest::qWait(100);
  // The requests made meanwhile come to one more poll, after the first.
  EXPECT_EQ(server.requests.size(), 2);
  EXPECT_EQ(done.count(), 2);
  EXPECT_EQ(win->iconIndex(), kIconFailed);
  EXPECT_EQ(sounds.size(), 1);
}

// A server that drips its answer, a byte every 100 ms, never lets a time-out
// of the transfer pass: the poll fails at its deadline all the same, as for
// an unreadable answer, and the poll asked for meanwhile reaches the server.
TEST_F(PollTest, ADrippingServerFailsThePollAtItsDeadline) {
  StatusServer server;
  make();
  const int deadline = 400;
  win->setPollTimeout(deadline);
  pointAt(server);
  server.enqueue(body("a,0\r\n"));
  ASSERT_TRUE(poll());
  server.enqueue(dripped(QByteArray(100, ' ') + "a,0\r\n", 100));
  server.enqueue(body("a,2\r\n"));
  QSignalSpy done(win.get(), &TWinMain::pollFinished);
  QElapsedTimer clock;
  clock.start();
  win->GetStatusFromServer();
  win->GetStatusFromServer();  // waits for the first
  ASSERT_TRUE(done.wait(5000));
  const qint64 took = clock.elapsed();
  EXPECT_GE(took, deadline - 50);
  EXPECT_LT(took, deadline + 1000);  // a loaded machine may be late, not seconds late
  EXPECT_GE(server.drippedBytes, 2);  // bytes came, and kept coming
  EXPECT_EQ(win->iconIndex(), kIconNoContact);
  EXPECT_TRUE(win->hint().startsWith(kNoContact));
  EXPECT_EQ(win->records().size(), 1u);

  ASSERT_TRUE(done.count() > 1 || done.wait(5000));
  EXPECT_EQ(server.requests.size(), 3);
  EXPECT_EQ(win->iconIndex(), kIconFailed);
  EXPECT_FALSE(win->isAnimating());
}

TEST_F(PollTest, RequestsGoDirectWithASystemProxySet) {
  {
    Store proxy(plat::HKEY_LOCAL_MACHINE, kProxyKey);
    proxy.setDword(kValueProxyEnable, 1);
    proxy.setString(kValueProxyServer, "127.0.0.1:9");
  }
  StatusServer server;
  make();
  ASSERT_TRUE(win->hasProxy());
  pointAt(server);
  server.enqueue(body("a,0\r\n"));
  ASSERT_TRUE(poll());
  EXPECT_EQ(server.requests.size(), 1);
  EXPECT_EQ(win->iconIndex(), kIconOk);
}

TEST_F(PollTest, CheckNowReloadsTheSettingsFirst) {
  StatusServer server;
  make();
  Store s;
  s.setString(kValueServer, "127.0.0.1");
  s.setDword(kValuePort, server.port());
  server.enqueue(body("a,1\r\n"));
  QSignalSpy done(win.get(), &TWinMain::pollFinished);
  for (QAction* action : win->trayMenu()->actions())
    if (action->text() == kMenuCheckNow) action->trigger();
  ASSERT_TRUE(done.wait(5000));
  EXPECT_EQ(server.requests.size(), 1);
  EXPECT_EQ(win->iconIndex(), kIconRetrying);
}

// ---------------------------------------------------------------- large and hostile answers

// Distinct server names (both numbers are prime) in no sorted order, so
// that the order of first appearance is not the order of the names.
QByteArray serverName(int i) { return "server-" + QByteArray::number(qint64(i) * 7919 % 1000003); }

// The worst answer one poll reads: as many distinct servers as fit.
TEST_F(PollTest, TheLargestAnswerOfDistinctServersKeepsItsOrderAndIsPruned) {
  StatusServer server;
  make();
  pointAt(server);
  QByteArray first;
  int servers = 0;
  for (QByteArray line; first.size() + (line = serverName(servers) + ",0\r\n").size() <= kMaxAnswerBytes; ++servers)
    first += line;
  const int failing = servers / 6 * 3 + 1;  // not one of the dropped
  // The second answer drops every third server, fails one, and names a
  // server twice and a new one last.
  QByteArray second;
  for (int i = 0; i < servers; ++i) {
    if (i % 3 == 0) continue;
    second += serverName(i) + (i == failing ? ",2\r\n" : ",0\r\n");
  }
  second += serverName(1) + ",1\r\n" + "newcomer,3\r\n";
  server.enqueue(body(first));
  server.enqueue(body(second));

  ASSERT_TRUE(poll());
  ASSERT_GT(servers, 800000);
  ASSERT_EQ(win->records().size(), size_t(servers));
  EXPECT_EQ(win->iconIndex(), kIconOk);

  ASSERT_TRUE(poll());
  const auto& records = win->records();
  ASSERT_EQ(records.size(), size_t(servers - (servers + 2) / 3 + 1));
  size_t at = 0;
  for (int i = 0; i < servers; ++i) {
    if (i % 3 == 0) continue;
    ASSERT_EQ(records[at].name, QString::fromLatin1(serverName(i))) << "record " << at;
    const int now = i == failing ? 2 : i == 1 ? 1 : 0;
    ASSERT_EQ(records[at].current, now) << records[at].name.toStdString();
    ASSERT_EQ(records[at].previous, 0) << records[at].name.toStdString();
    ++at;
  }
  EXPECT_EQ(records.back().name, "newcomer");
  EXPECT_EQ(records.back().previous, 3);
  EXPECT_EQ(win->iconIndex(), kIconStopped);
  EXPECT_EQ(sounds.size(), 1);  // 0 to 2 and 0 to 1: one notification

  // The pruned list is still found by name: the same answer again updates
  // each record in place and adds none.
  const size_t kept = records.size();
  server.enqueue(body(second));
  ASSERT_TRUE(poll());
  ASSERT_EQ(win->records().size(), kept);
  const TConnectionStatus& failed = win->records()[size_t(failing - failing / 3 - 1)];
  EXPECT_EQ(failed.name, QString::fromLatin1(serverName(failing)));
  EXPECT_EQ(failed.previous, 2);
  EXPECT_EQ(failed.current, 2);
  for (const TConnectionStatus& r : win->records()) ASSERT_EQ(r.mark, win->generation()) << r.name.toStdString();
}

// A status line of exactly bytes: "a,1", then one long name with status 0.
QByteArray answerOf(qsizetype bytes) {
  QByteArray text = "a,1\r\n";
  text += QByteArray(bytes - text.size() - 4, 'n');
  text += ",0\r\n";
  return text;
}

TEST_F(PollTest, OnePollReadsAtMostItsCap) {
  StatusServer server;
  make();
  win->setPollTimeout(5000);
  pointAt(server);
  struct Step {
    const char* what;
    Answer answer;
    qint64 icon;
    size_t records;
  };
  const Step steps[] = {
      {"an answer of the cap is read", body(answerOf(kMaxAnswerBytes)), kIconRetrying, 2},
      {"one byte more is not", body(answerOf(kMaxAnswerBytes + 1)), kIconNoContact, 2},
      {"nor an endless answer of no stated length", streamed("b,0\r\n", qint64(256) << 20), kIconNoContact, 2},
      {"and polling goes on", body("a,0\r\n"), kIconOk, 1},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    server.enqueue(step.answer);
    ASSERT_TRUE(poll());
    EXPECT_EQ(win->iconIndex(), step.icon);
    EXPECT_EQ(win->records().size(), step.records);
    EXPECT_FALSE(win->isAnimating());
  }
  // The endless answer was cut off well before its end: what came on top of
  // the cap is what the sockets and the network thread buffer while the
  // server, on this same thread, gets to write (more on a loaded machine).
  EXPECT_GT(server.streamedBytes, kMaxAnswerBytes);
  EXPECT_LT(server.streamedBytes, 6 * kMaxAnswerBytes);
}

// ---------------------------------------------------------------- notification

struct SoundCase {
  const char* name;
  QByteArray soundFile;                 // "ClientNotifySoundFile"
  bool playable;                        // the player accepts the sound file
  std::vector<const char*> played;      // "@" stands for alert.wav
};

const SoundCase kSoundCases[] = {
    {"EmptyFilePlaysAlert", "", true, {"@"}},
    {"BlankFilePlaysAlert", "   ", true, {"@"}},
    {"FilePlays", "/sounds/ring.wav", true, {"/sounds/ring.wav"}},
    {"FileIsTrimmed", "  /sounds/ring.wav ", true, {"/sounds/ring.wav"}},
    {"FailedFileFallsBackToAlert", "/sounds/ring.wav", false, {"/sounds/ring.wav", "@"}},
};

void PrintTo(const SoundCase& c, std::ostream* os) { *os << c.name; }

class SoundTable : public TrayTest, public ::testing::WithParamInterface<SoundCase> {};

TEST_P(SoundTable, PlaysTheRightFile) {
  const SoundCase& c = GetParam();
  make();
  Store().setString(kValueSoundFile, c.soundFile);
  win->LoadSettings();
  playable = [&](const QString& file) { return file == win->fallbackSound() || c.playable; };
  win->DoActions("a,0\r\n");
  win->DoActions("a,2\r\n");
  QStringList expected;
  for (const char* f : c.played) expected << (QString(f) == "@" ? win->fallbackSound() : QString(f));
  EXPECT_EQ(sounds, expected);
}

INSTANTIATE_TEST_SUITE_P(Sound, SoundTable, ::testing::ValuesIn(kSoundCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PollTest, NotificationMethodsFollowTheirBoxes) {
  struct Case {
    DWORD sound, browser;
  };
  for (Case c : {Case{1, 1}, Case{1, 0}, Case{0, 1}, Case{0, 0}}) {
    SCOPED_TRACE(testing::Message() << "sound " << c.sound << " browser " << c.browser);
    sounds.clear();
    opened.clear();
    make();
    Store s;
    s.setString(kValueServer, "status.example");
    s.setDword(kValuePort, 1529);
    s.setDword(kValueNotifySound, c.sound);
    s.setDword(kValueNotifyBrowser, c.browser);
    win->LoadSettings();
    win->DoActions("a,0\r\n");
    win->DoActions("a,2\r\n");
    EXPECT_EQ(sounds.size(), c.sound ? 1 : 0);
    EXPECT_EQ(opened, c.browser ? QStringList{"http://status.example:1529"} : QStringList{});
  }
}

TEST(Sound, AlertWavShipsNextToTheProgramAndIsAWave) {
  const QString alert = QCoreApplication::applicationDirPath() + "/alert.wav";
  EXPECT_TRUE(isPlayableWave(alert)) << qPrintable(alert);
  QFile f(alert);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_GT(f.size(), 44);
  EXPECT_LT(f.size(), 8192);
}

TEST(Sound, OnlyWaveFilesArePlayable) {
  QTemporaryDir dir;
  QFile text(dir.filePath("note.wav"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("just some text, not a RIFF file");
  text.close();
  EXPECT_FALSE(isPlayableWave(text.fileName()));
  EXPECT_FALSE(isPlayableWave(dir.filePath("missing.wav")));
  EXPECT_FALSE(isPlayableWave(dir.path()));
}

TEST(Status, Parse) {
  const std::pair<const char*, int> cases[] = {
      {"0", 0}, {"3", 3}, {"12", 12}, {"+1", 1}, {" 2", 2}, {"", -1}, {"x", -1}, {"1x", -1},
      {"1 ", -1}, {"0x1", -1}, {"-1", -1}, {"-2", -1}, {"99999999999", -1},
  };
  for (auto [text, value] : cases) EXPECT_EQ(parseStatus(QString(text)), value) << '"' << text << '"';
}

}  // namespace
