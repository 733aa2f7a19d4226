// quorvane: loads the protocol plug-ins and prints what they make of the
// frames of a capture file or a live interface.
#include <dlfcn.h>
#include <errno.h>
#include <getopt.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <pcap/pcap.h>

#include <string>
#include <vector>

#include "qvhost/capture.h"
#include "qvhost/host.h"
#include "qvhost/render.h"
#include "qvhost/windows.h"

namespace {

const char kUsage[] =
    "usage: quorvane [options] [CAPTURE]\n"
    "Decodes the frames of CAPTURE (pcap or pcapng; the sample capture when none\n"
    "is named, unless a window is asked for) and prints a summary row per frame.\n"
    "  -V, --detail                 print each frame's detail tree\n"
    "  -s, --stats                  print the protocol statistics at the end\n"
    "  -q, --quiet                  print no summary rows\n"
    "  -c, --count N                stop after N frames\n"
    "  -i, --interface DEVICE       capture live from DEVICE\n"
    "  -P, --plugins FOLDER         load the plug-ins from FOLDER\n"
    "  -n, --raw-addresses          show addresses as numbers, not names\n"
    "      --vendor                 show vendor names for unnamed MAC addresses\n"
    "      --no-network-addresses   keep MAC addresses in the address columns\n"
    "      --hide-beacons           leave 802.11 beacons unmarked\n"
    "      --names FILE             load the name table from FILE and save it\n"
    "                               there when it changed\n"
    "      --name-table             open the name table window on the --names\n"
    "                               file before decoding\n"
    "      --host-colors            open the host display colour coding window\n"
    "                               on the --names file before decoding\n"
    "  -h, --help                   print this help\n";

int PrintMessage(HWND, const char* text, const char* title, DWORD, void*) {
  fprintf(stderr, "quorvane: %s: %s\n", title ? title : "", text ? text : "");
  return plat::IDOK;
}

// The protocols' settings fall back to their defaults when the registry file
// cannot be read, and changes are lost when it cannot be written: said once.
void SettingsFailure(bool writing, LONG, const char* text, void*) {
  static bool told = false;
  if (told) return;
  told = true;
  fprintf(stderr, "quorvane: settings could not be %s: %s\n", writing ? "kept" : "read", text ? text : "");
}

volatile sig_atomic_t g_stop = 0;
qvhost::CaptureSource* g_source = nullptr;
void OnSignal(int) {
  g_stop = 1;
  if (g_source) g_source->BreakLoop();
}

// The first failed write of the output (its errno) ends the decoding: what
// follows would be lost as well, or would leave a gap in the output.
int g_writeError = 0;
void WriteOut(const char* text, size_t length, void*) {
  if (!g_writeError && fwrite(text, 1, length, stdout) != length) g_writeError = errno ? errno : EIO;
}
void FlushOut(qvhost::TextOut* output) {
  output->Flush();
  if (!g_writeError && fflush(stdout) != 0) g_writeError = errno ? errno : EIO;
}

// The windows' module, loaded only when a window is asked for; its
// application ends after the host has stopped the plug-ins.
struct Windows {
  const qvhost::WindowSystem* system = nullptr;
  Windows() = default;
  Windows(const Windows&) = delete;
  Windows& operator=(const Windows&) = delete;
  ~Windows() {
    if (system) system->close();
  }
  // False, with the reason on stderr, when the module cannot be loaded.
  bool Open(const char* program) {
    const std::string path = qvhost::ProgramFolder() + "/" + qvhost::kWindowsModule;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto entry = module ? reinterpret_cast<qvhost::WindowsEntryProc>(dlsym(module, qvhost::kWindowsEntry)) : nullptr;
    system = entry ? entry(program) : nullptr;
    if (system) return true;
    const char* error = module ? nullptr : dlerror();
    const std::string why = error ? error : path + " is not this build's window module";
    fprintf(stderr, "quorvane: the name table windows cannot be opened: %s\n", why.c_str());
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  enum { OPT_VENDOR = 1000, OPT_NO_NETWORK, OPT_HIDE_BEACONS, OPT_NAMES, OPT_NAME_TABLE, OPT_HOST_COLORS };
  static const option kOptions[] = {
      {"detail", no_argument, nullptr, 'V'},
      {"stats", no_argument, nullptr, 's'},
      {"quiet", no_argument, nullptr, 'q'},
      {"count", required_argument, nullptr, 'c'},
      {"interface", required_argument, nullptr, 'i'},
      {"plugins", required_argument, nullptr, 'P'},
      {"raw-addresses", no_argument, nullptr, 'n'},
      {"vendor", no_argument, nullptr, OPT_VENDOR},
      {"no-network-addresses", no_argument, nullptr, OPT_NO_NETWORK},
      {"hide-beacons", no_argument, nullptr, OPT_HIDE_BEACONS},
      {"names", required_argument, nullptr, OPT_NAMES},
      {"name-table", no_argument, nullptr, OPT_NAME_TABLE},
      {"host-colors", no_argument, nullptr, OPT_HOST_COLORS},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  bool detail = false, stats = false, quiet = false, nameTable = false, hostColors = false;
  unsigned long limit = 0;
  std::string device, pluginFolder = qvhost::ProgramFolder(), namesFile;
  DWORD setFlags = 0, clearFlags = 0;
  int c;
  while ((c = getopt_long(argc, argv, "Vsqc:i:P:nh", kOptions, nullptr)) != -1) {
    switch (c) {
      case 'V': detail = true; break;
      case 's': stats = true; break;
      case 'q': quiet = true; break;
      case 'c': {
        char* end = nullptr;
        errno = 0;
        limit = strtoul(optarg, &end, 10);
        if (optarg[0] < '0' || optarg[0] > '9' || !end || *end || errno == ERANGE || limit == 0) {
          fprintf(stderr, "quorvane: --count wants a positive number, not '%s'\n", optarg);
          return 1;
        }
        break;
      }
      case 'i': device = optarg; break;
      case 'P': pluginFolder = optarg; break;
      case 'n': setFlags |= MT_RAW_ADDRESSES; break;
      case OPT_VENDOR: setFlags |= MT_SHOW_VENDOR; break;
      case OPT_NO_NETWORK: clearFlags |= MT_SHOW_NETWORK_ADDRESSES; break;
      case OPT_HIDE_BEACONS: setFlags |= MT_HIDE_BEACONS; break;
      case OPT_NAMES: namesFile = optarg; break;
      case OPT_NAME_TABLE: nameTable = true; break;
      case OPT_HOST_COLORS: hostColors = true; break;
      case 'h': fputs(kUsage, stdout); return 0;
      default: fputs(kUsage, stderr); return 1;
    }
  }
  if (argc - optind > 1 || (!device.empty() && optind < argc)) {
    if (argc - optind > 1)
      fprintf(stderr, "quorvane: one capture at a time, and %d are named\n", argc - optind);
    else
      fprintf(stderr, "quorvane: -i captures live from %s and reads no capture file, and %s is named too\n",
              device.c_str(), argv[optind]);
    fputs(kUsage, stderr);
    return 1;
  }
  const bool windows = nameTable || hostColors;
  if (windows && namesFile.empty()) {
    fputs("quorvane: --name-table and --host-colors edit the file named by --names FILE\n", stderr);
    return 1;
  }
  Windows app;
#ifdef QV_WINDOWS
  if (windows) {
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY") && !getenv("QT_QPA_PLATFORM")) {
      fputs("quorvane: the name table windows need a display, and none is set (DISPLAY)\n", stderr);
      return 1;
    }
    if (!app.Open(argv[0])) return 1;
  }
#else
  if (windows) {
    fputs("quorvane: this build has no windows (built without Qt)\n", stderr);
    return 1;
  }
#endif
  // With a window asked for, only a capture that is named is decoded.
  std::string file;
  if (device.empty() && (optind < argc || !windows))
    file = optind < argc ? argv[optind] : qvhost::ProgramFolder() + "/sample.pcap";
  const bool decode = !file.empty() || !device.empty();

  plat::SetMessageSink(PrintMessage, nullptr);
  plat::SetRegFailureSink(SettingsFailure, nullptr);
  qvhost::CaptureSource source;
  std::string error;
  bool opened = !decode || (device.empty() ? source.OpenFile(file, &error) : source.OpenLive(device, &error));
  if (!opened) {
    fprintf(stderr, "quorvane: %s\n", error.c_str());
    return 2;
  }

  qvhost::Host host;
  host.KeepLibrariesLoaded();
  std::vector<std::string> errors;
  const size_t loaded = host.LoadFolder(pluginFolder, &errors);
  for (const std::string& e : errors) fprintf(stderr, "quorvane: %s\n", e.c_str());
  // Without a plug-in no frame can be decoded: that is no run to report as
  // a success.
  if (loaded == 0) {
    if (errors.empty()) fprintf(stderr, "quorvane: no plug-ins in %s\n", pluginFolder.c_str());
    return 2;
  }
  host.flags() = (host.flags() | setFlags) & ~clearFlags;
  // No help files ship: the topic asked for is shown.
  host.hooks().showHelp = [](const char* topic, HWND asking) {
    plat::MessageBox(asking, topic ? topic : "", "Quorvane Network Monitor Help", plat::MB_OK | plat::MB_ICONINFORMATION);
  };
  if (app.system) app.system->use(host.table());
  errors.clear();
  host.Start(&errors);
  for (const std::string& e : errors) fprintf(stderr, "quorvane: %s\n", e.c_str());
  if (!namesFile.empty() && !host.LoadNames(namesFile, &error)) fprintf(stderr, "quorvane: %s\n", error.c_str());
  if (windows) {
    bool loaded = false;
    for (const qvhost::LoadedLibrary& l : host.libraries()) loaded |= l.name == "pallisand";
    if (!loaded) {
      fprintf(stderr, "quorvane: the name table windows come with the pallisand plug-in, which is not loaded\n");
      return 1;
    }
    if (nameTable) host.table()->ShowNameTable(host.table()->mainWindow, 0);
    if (hostColors) host.table()->ShowHostColors(host.table()->mainWindow, 0);
  }

  g_source = &source;
  // Whatever ends the run, the names learnt are saved: a closed terminal
  // stops it as an interrupt does, and a reader that went away (as head
  // does) makes a write fail, which stops the decoding.
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  signal(SIGHUP, OnSignal);
  signal(SIGPIPE, SIG_IGN);

  // Names are learnt in the summary pass: with a name table kept, -q still
  // runs it, only its rows are not printed.
  unsigned mask = qvhost::RUN_COUNT;
  if (!quiet || detail || !namesFile.empty()) mask |= qvhost::RUN_SUMMARY;
  if (detail) mask |= qvhost::RUN_DETAIL;

  qvhost::TextOut output(WriteOut, nullptr);
  qvhost::FrameOutput frame;
  qvhost::Packet packet;
  unsigned long number = 0, unknownLink = 0, noRoot = 0, badRadiotap = 0, shortRadiotap = 0;
  int shortRadiotapLength = 0;  // the first of them
  const char* missingRoot = nullptr;
  const char* rootName = nullptr;
  ProtocolDescriptor* rootFound = nullptr;
  int rc = 0;
  const bool rows = !quiet && decode;
  // Frames from an interface come one by one: each that prints is shown as it comes.
  const bool live = !device.empty() && (rows || detail);
  if (rows) {
    const std::string header = qvhost::SummaryHeader();
    output.Append(header.data(), header.size());
  }
  qvhost::Media media;
  while (decode && !g_stop && !g_writeError && (limit == 0 || number < limit) && (rc = source.Next(&packet)) == 1) {
    number++;
    ProtocolDescriptor* root = nullptr;
    if (!qvhost::MediaOf(source.linkType(), packet, &media)) {
      if (source.linkType() != DLT_IEEE802_11_RADIO)
        unknownLink++;
      else if (media.radiotapLength < 0 || media.radiotapLength >= 8)
        badRadiotap++;
      else if (!shortRadiotap++)
        shortRadiotapLength = media.radiotapLength;
      continue;
    }
    // The root of a link type is one of a few constant names: found once.
    if (media.root != rootName) {
      rootName = media.root;
      rootFound = host.Find(rootName);
    }
    root = rootFound;
    if (!root) {
      noRoot++;
      missingRoot = media.root;
      continue;
    }
    // Only 802.11 frames give the frame record values of their own.
    host.DecodeFrame(root, packet.data + media.skip, media.capturedLength, media.wireLength, mask, &frame,
                     media.root == qvhost::kWirelessRoot ? &media.radio : nullptr);
    if (rows) qvhost::RenderSummary(number, frame, &output);
    if (detail) {
      host.RenderAndReleaseDetail(&frame, &output);
      output.Append("\n", 1);
    }
    if (live) FlushOut(&output);
  }
  if (rc < 0) {
    FlushOut(&output);
    fprintf(stderr, "quorvane: %s: %s\n", device.empty() ? file.c_str() : device.c_str(), source.error().c_str());
  }
  if (stats && !g_writeError) {
    std::string statistics = "\n";
    qvhost::RenderStatistics(host, &statistics);
    output.Append(statistics.data(), statistics.size());
  }
  FlushOut(&output);
  // A reader that stopped reading wanted no more: not worth a word.
  if (g_writeError && g_writeError != EPIPE)
    fprintf(stderr, "quorvane: writing the output: %s\n", strerror(g_writeError));
  if (unknownLink) {
    const char* name = pcap_datalink_val_to_name(source.linkType());
    fprintf(stderr, "quorvane: %lu of %lu frames skipped: no decoder for link type %s\n", unknownLink, number,
            name ? name : std::to_string(source.linkType()).c_str());
  }
  if (noRoot)
    fprintf(stderr, "quorvane: %lu of %lu frames skipped: no plug-in registers %s\n", noRoot, number, missingRoot);
  if (badRadiotap)
    fprintf(stderr, "quorvane: %lu of %lu frames skipped: radiotap header longer than the captured bytes\n",
            badRadiotap, number);
  if (shortRadiotap)
    fprintf(stderr, "quorvane: %lu of %lu frames skipped: radiotap header length %d is less than 8\n", shortRadiotap,
            number, shortRadiotapLength);
  g_source = nullptr;
  int status = rc < 0 || g_writeError ? 2 : 0;
  if (!namesFile.empty()) {
    error.clear();
    bool saved = host.SaveNamesIfChanged(namesFile, &error);
    if (!error.empty()) fprintf(stderr, "quorvane: %s\n", error.c_str());
    if (!saved && status == 0) status = 3;
  }
  return status;
}
