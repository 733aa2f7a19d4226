// Texts, names and numbers of the tray client. Quoted texts are shown or
// stored byte for byte, so they live here once.
#pragma once

#include <QtGlobal>
#include <array>

namespace vandrel {

inline constexpr char kAppTitle[] = "Vandrel Client";

// ---------------------------------------------------------------- poll
inline constexpr int kRefreshIntervalMs = 30000;
inline constexpr int kStartupDelayMs = 1;
inline constexpr int kAnimationIntervalMs = 250;
inline constexpr int kPollTimeoutMs = 20000;  // from the poll's start to the whole answer

inline constexpr char kStatusPath[] = "/getserverstatus";
inline constexpr char kHelpPath[] = "/help-welcome.htm";
inline constexpr char kAccept[] = "text/html, */*";
inline constexpr char kUserAgent[] = "Mozilla/3.0 (compatible; Indy Library)";

// What one poll reads at most: far above any real status list (a line is a
// server name and a digit), and small enough that a hostile answer cannot
// take the memory of the desktop. A longer answer fails the poll.
inline constexpr qsizetype kMaxAnswerBytes = qsizetype(16) << 20;

// What the network thread holds of an answer before this thread takes it.
inline constexpr qint64 kReadBufferBytes = qint64(1) << 20;

inline constexpr char kNoItems[] = "no items\r\n";
inline constexpr char kNotMonitoring[] = "not monitoring\r\n";

// Server states as the status server sends them; kStatusUnreadable stands
// for a status that is not a number.
enum Status : int {
  kStatusUnreadable = -1,
  kStatusPassed = 0,
  kStatusRetrying = 1,
  kStatusFailed = 2,
  kStatusStopped = 3,
};

// ChangeIcon indexes: top status + 1, and the two special answers.
enum IconIndex : int {
  kIconNoServers = -2,
  kIconDisabled = -1,
  kIconNoContact = 0,
  kIconOk = 1,
  kIconRetrying = 2,
  kIconFailed = 3,
  kIconStopped = 4,
};
inline constexpr int kStatusImageCount = 5;
inline constexpr int kAnimationFrameCount = 4;

// Hint text before the time, for ChangeIcon indexes -2 to 4.
inline constexpr const char* kHintTexts[] = {
    "No servers currently monitored.\rLast attempt: ",
    "Monitoring is currently disabled.\rLast attempt: ",
    "Could not contact the server.\rLast attempt: ",
    "All servers OK.\rLast checked: ",
    "A test has failed, but the maximum number of retries has not been exceeded.\rLast checked: ",
    "A test has failed.\rLast checked: ",
    "The monitoring service has been stopped on the remote server.\rLast attempt: ",
};
inline constexpr int kHintFirstIndex = -2;
// The hint of a status above the known ones (%1: the status): the server
// answered, so it is no failure to make contact.
inline constexpr char kHintUnknownStatus[] = "A server reports status %1, which this client does not know.\rLast checked: ";

// ---------------------------------------------------------------- settings
inline constexpr char kSettingsKey[] = "Software\\Brimwell Software, Inc.\\Vandrel";
inline constexpr char kValuePort[] = "ClientPort";
inline constexpr char kValueNotifyBad[] = "ClientNotifyBad";
inline constexpr char kValueNotifyMedium[] = "ClientNotifyMedium";
inline constexpr char kValueNotifyGood[] = "ClientNotifyGood";
inline constexpr char kValueNotifySound[] = "ClientNotifySound";
inline constexpr char kValueSoundFile[] = "ClientNotifySoundFile";
inline constexpr char kValueServer[] = "ServerAddress";
inline constexpr char kValueNotifyBrowser[] = "ClientNotifyBrowser";

inline constexpr int kDefaultPort = 1529;
inline constexpr bool kDefaultNotifyBad = true;
inline constexpr bool kDefaultNotifyMedium = true;
inline constexpr bool kDefaultNotifyGood = false;
inline constexpr bool kDefaultNotifySound = true;
inline constexpr bool kDefaultNotifyBrowser = true;
inline constexpr char kDefaultServer[] = "localhost";

// Told in the options window while the settings store fails (why is the
// note's tip).
inline constexpr char kSettingsNotRead[] = "The settings could not be read; those shown here are in force.";
inline constexpr char kSettingsNotKept[] = "A change of the settings could not be kept.";

inline constexpr char kFallbackSound[] = "alert.wav";

// The start-up entry: a desktop file in the XDG autostart folder, named
// after the application title.
inline constexpr char kAutostartFile[] = "vandrel-client-autostart.desktop";

// Told to the user when the start-up entry cannot be made or removed (%1:
// the entry's path, %2: the reason).
inline constexpr char kStartupNotWritten[] = "The client cannot be set to run at startup: %1 cannot be written: %2.";
inline constexpr char kStartupNotRemoved[] = "The client still runs at startup: %1 cannot be removed: %2.";

// Told when the desktop has no system tray, the client's only presence.
inline constexpr char kNoSystemTray[] =
    "No system tray is available on this desktop. Vandrel Client shows itself only as a tray icon, "
    "so it cannot run here.";
inline constexpr int kExitNoSystemTray = 1;

// The proxy of the system's Internet settings.
inline constexpr char kProxyKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr char kValueProxyEnable[] = "ProxyEnable";
inline constexpr char kValueProxyServer[] = "ProxyServer";
inline constexpr int kDefaultProxyPort = 80;

// ---------------------------------------------------------------- options window
inline constexpr int kOptionsWidth = 379;
inline constexpr int kOptionsHeight = 482;
inline constexpr int kOffScreenLeft = -2000;
inline constexpr char kFontFamily[] = "MS Sans Serif";
inline constexpr int kFontPoints = 8;

inline constexpr char kTopText[] =
    "This utility was built to run in your system tray and notify you when activity is "
    "monitored by Vandrel.  Fill in the appropriate settings below:";
inline constexpr char kGeneralTitle[] = "General Settings  ";
inline constexpr char kServerLabel[] = "Vandrel Server:";
inline constexpr char kPortLabel[] = "Vandrel Port:";
inline constexpr char kStartupText[] = "Run this client at startup.";
inline constexpr char kNotificationTitle[] = "Notification Settings  ";
inline constexpr char kOnBadText[] =
    "Check this box if you would like to be notified when a server fails its specified number "
    "of consecutive tests.";
inline constexpr char kOnMediumText[] =
    "Check this box if you would like to be notified when a server fails or succeeds on a test, "
    "but consecutive test criteria has not been met.";
inline constexpr char kOnGoodText[] =
    "Check this box if you would like to be notified when a server passes the specified number "
    "of consecutive tests.";
inline constexpr char kMethodTitle[] = "Notification Method Settings  ";
inline constexpr char kSoundNotifyText[] = "Notify me with a sound.";
inline constexpr char kSoundFileLabel[] = "Sound File:";
inline constexpr char kSoundFilter[] = "Sound files (*.wav)";
inline constexpr char kBrowserNotifyText[] = "Notify me by opening a browser to the Vandrel server.";
inline constexpr char kCloseText[] = "Close";

// ---------------------------------------------------------------- tray menu
inline constexpr char kMenuTools[] = "Tools";
inline constexpr char kMenuOptions[] = "Options...";
inline constexpr char kMenuOpenTestList[] = "Open Test List...";
inline constexpr char kMenuCheckNow[] = "Check Now";
inline constexpr char kMenuExit[] = "E&xit";
inline constexpr char kMenuHelp[] = "Help";

// ---------------------------------------------------------------- tool window
inline constexpr int kToolWidth = 450;
inline constexpr int kToolHeight = 400;
inline constexpr char kToolCaptionPrefix[] = "Vandrel Client Tool - ";

struct ToolPage {
  const char* item;     // menu text
  const char* path;     // page of the server
  const char* caption;  // tail of the window caption
};
inline constexpr std::array<ToolPage, 8> kToolPages{{
    {"Trace Route", "/popuptraceroute", "Trace Route"},
    {"Net Stats", "/popupnetstat", "Net Stat"},
    {"Address Translation Tables (ARP)", "/popuparp", "ARP"},
    {"Resolve Name", "/popupresolvename", "Resolve Name"},
    {"Resolve IP Address", "/popupresolveip", "Resolve Address"},
    {"Manual Ping", "/popupmanualping", "Manual Ping"},
    {"Reboot Remote Server", "/popupreboot", "Reboot Remote Server"},
    {"Restart Remote Service", "/popuprestart", "Restart Remote Service"},
}};

}  // namespace vandrel
