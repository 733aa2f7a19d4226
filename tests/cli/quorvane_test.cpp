// quorvane as a user runs it: options, exit codes, messages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pcap_file.h"

namespace {

struct Result {
  int status;
  std::string output;
};

// shell runs first, in the same shell (variables, limits).
Result Quorvane(const std::string& args, const std::string& shell = "") {
  std::string command = shell + " " + std::string(QV_QUORVANE) + " " + args + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  Result run{-1, ""};
  if (!p) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) run.output.append(buffer, n);
  int rc = pclose(p);
  run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return run;
}

std::string TempPath(const char* name) {
  const char* dir = getenv("QUORVANE_CONFIG_DIR");
  std::string base = dir ? dir : "/tmp";
  std::string mk = "mkdir -p '" + base + "'";
  if (system(mk.c_str()) != 0) return "/tmp/" + std::string(name);
  return base + "/" + name;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// quorvane started without a shell, on these descriptors for its standard
// input and output (opened close-on-exec, so that it holds no others); what
// it says on stderr goes to the file errors.
pid_t Spawn(const std::vector<std::string>& args, int in, int out, const std::string& errors) {
  pid_t pid = fork();
  if (pid == 0) {
    int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv = {const_cast<char*>(QV_QUORVANE)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Its exit status (128 + the signal that ended it) and what it said.
Result Wait(pid_t pid, const std::string& errors) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return {-1, ""};
  return {WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1,
          ReadFile(errors)};
}

// The sample capture teaches the name table two names.
const char kLearnt[] = "NAS1,00A0C9223344,6,";

// A classic pcap file of the given link type with these frames.
std::string WritePcap(const char* name, unsigned linkType, const std::vector<std::vector<unsigned char>>& frames) {
  return qvtest::WritePcapFile(TempPath(name), linkType, frames);
}

}  // namespace

TEST(Quorvane, DecodesTheSampleCaptureWhenNoneIsNamed) {
  Result r = Quorvane("");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Destination"), std::string::npos);
}

TEST(Quorvane, UsageAndCaptureErrors) {
  const struct {
    const char* args;
    int status;
    const char* says;
  } cases[] = {
      {"--no-such-option", 1, "usage: quorvane"},
      {"--count 0", 1, "--count"},
      {"--count -1", 1, "--count"},
      {"--count 99999999999999999999", 1, "--count"},
      {"one.pcap two.pcap", 1, "usage: quorvane"},
      {"one.pcap two.pcap", 1, "quorvane: one capture at a time, and 2 are named\n"},
      {"-i lo one.pcap", 1,
       "quorvane: -i captures live from lo and reads no capture file, and one.pcap is named too\n"},
      {"/nonexistent/capture.pcap", 2, "/nonexistent/capture.pcap"},
      {"/etc/hostname", 2, "/etc/hostname"},
      {"--help", 0, "--detail"},
      {"--help", 0, "--name-table"},
  };
  for (const auto& c : cases) {
    Result r = Quorvane(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
  }
}

TEST(Quorvane, FramesOfOtherLinkTypesAreCountedAsSkipped) {
  std::string raw = WritePcap("raw.pcap", 101, {{0x45, 0, 0, 20}, {0x45, 0, 0, 20}});
  Result r = Quorvane("'" + raw + "'");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("2 of 2 frames skipped: no decoder for link type RAW"), std::string::npos) << r.output;
  // A radiotap header longer than the capture cannot be stripped.
  std::string radio = WritePcap("radio.pcap", 127, {{0, 0, 0x40, 0}, {0, 0}});
  r = Quorvane("'" + radio + "'");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("2 of 2 frames skipped: radiotap header longer than the captured bytes"), std::string::npos)
      << r.output;
  // One whose length is less than its own fixed part says so.
  radio = WritePcap("radio-short.pcap", 127, {{0, 0, 4, 0, 0, 0, 0, 0, 0x80, 0}, {0, 0, 4, 0}, {0, 0, 7, 0}});
  r = Quorvane("'" + radio + "'");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("quorvane: 3 of 3 frames skipped: radiotap header length 4 is less than 8\n"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find("longer than the captured bytes"), std::string::npos) << r.output;
}

TEST(Quorvane, CountStopsEarly) {
  std::string raw = WritePcap("three.pcap", 101, {{1}, {2}, {3}});
  Result r = Quorvane("-c 2 '" + raw + "'");
  EXPECT_NE(r.output.find("2 of 2 frames skipped"), std::string::npos) << r.output;
}

TEST(Quorvane, PluginFolderThatGivesNoPluginIsAnError) {
  const std::string empty = TempPath("no-plugins");
  ASSERT_EQ(system(("rm -rf '" + empty + "' && mkdir -p '" + empty + "'").c_str()), 0);
  const struct {
    std::string folder;
    const char* says;
  } cases[] = {
      {"/nonexistent/plugins", "plug-in folder /nonexistent/plugins: No such file or directory"},
      {"/etc/hostname", "plug-in folder /etc/hostname: Not a directory"},
      {empty, "no plug-ins in "},
  };
  for (const auto& c : cases) {
    Result r = Quorvane("-P '" + c.folder + "'");
    EXPECT_EQ(r.status, 2) << c.folder << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.folder << "\n" << r.output;
    // No frame is decoded, so there is no row and no count of skipped frames.
    EXPECT_EQ(r.output.find("Destination"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("frames skipped"), std::string::npos) << r.output;
  }
}

// A file that would crash the loader (cut short) or block it (a FIFO) is
// named before it is loaded, as is anything but a regular file; the rest
// load and decode.
TEST(Quorvane, BrokenFilesInThePluginFolderAreNamedAndTheRestLoad) {
  const std::string plugins = getenv("QV_PLUGIN_DIR"), folder = TempPath("broken-plugins");
  ASSERT_EQ(system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "/libfolder.so' && cd '" + folder +
                    "' && ln -s '" + plugins + "/libbrannock.so' . && head -c 4096 '" + plugins +
                    "/libcorvale.so' > libcut.so && head -c 40 '" + plugins +
                    "/libcorvale.so' > libheader.so && mkfifo libfifo.so")
                       .c_str()),
            0);
  Result r = Quorvane("-P '" + folder + "' -c 2", "timeout 60");
  EXPECT_EQ(r.status, 0) << r.output;
  for (const char* said : {"libcut.so: cut short: its ELF segments reach past its end",
                           "libfifo.so: not a regular file", "libfolder.so: not a regular file",
                           "libheader.so: cut short: no whole ELF header"}) {
    const std::string line = "quorvane: cannot load " + folder + "/" + said + "\n";
    EXPECT_NE(r.output.find(line), std::string::npos) << line << r.output;
  }
  EXPECT_NE(r.output.find("     1  FF-FF-FF-FF-FF-FF        00-A0-C9-14-C8-29"), std::string::npos) << r.output;
}

// With a second copy of a plug-in beside the first, each protocol registers
// once: the first copy's, and the rows are those of one copy.
TEST(Quorvane, ASecondCopyOfAPluginIsRefusedAndTheFirstKept) {
  const std::string plugins = getenv("QV_PLUGIN_DIR"), folder = TempPath("two-copies");
  ASSERT_EQ(system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "' && ln -s '" + plugins + "'/lib*.so '" +
                    folder + "' && cp '" + plugins + "/libcorvale.so' '" + folder + "/libcorvale-old.so'")
                       .c_str()),
            0);
  Result one = Quorvane("-V -s -P '" + plugins + "'");
  Result two = Quorvane("-V -s -P '" + folder + "'");
  EXPECT_EQ(two.status, 0) << two.output;
  const std::string refused = "quorvane: " + folder + "/libcorvale.so: protocols already registered by " + folder +
                              "/libcorvale-old.so are refused (the first is kept): DOD-IP, IP-ICMP, IP-IGMP, "
                              "IP-ARP, IP-UDP, IP-TCP, IP-NBNS, IP-NBDS, IP-NBSS, IP_BOOTP, IP-TFTP, IP-FTP, "
                              "IP-HTTP, IP-DNS, IP-EGP, IP-SLP, IP-OSPF, IP-SNMP, IP-SSDP, RADIUS, IP-SMTP, IP-POP3\n";
  EXPECT_EQ(two.output, refused + one.output);
}

// Whatever ends the run, the names learnt are saved: a full disk or a reader
// that went away ends the decoding at the first failed write (said, but for
// the reader, whose going is no surprise), with status 2; -q still learns.
// The sample's rows are written at the end, its tree long before the frames
// that teach the names.
TEST(Quorvane, NamesAreSavedWhenTheOutputCannotBeWritten) {
  const std::string names = TempPath("output-failures.names"), errors = TempPath("output-failures.err");
  int closed[2];
  ASSERT_EQ(pipe2(closed, O_CLOEXEC), 0);
  close(closed[0]);
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC), null = open("/dev/null", O_RDWR | O_CLOEXEC);
  ASSERT_GE(full, 0);
  ASSERT_GE(null, 0);
  const struct {
    const char* what;
    std::vector<std::string> args;
    int out;
    int status;
    std::string says;
    bool learns;
  } cases[] = {
      {"rows into a full disk", {}, full, 2, "quorvane: writing the output: No space left on device\n", true},
      {"the tree into a full disk", {"-V"}, full, 2, "quorvane: writing the output: No space left on device\n", false},
      {"statistics into a full disk", {"-q", "-s"}, full, 2, "quorvane: writing the output: No space left on device\n",
       true},
      {"rows to a reader that went away", {}, closed[1], 2, "", true},
      {"the tree to a reader that went away", {"-V"}, closed[1], 2, "", false},
      {"quiet", {"-q"}, null, 0, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    unlink(names.c_str());
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--names", names});
    Result r = Wait(Spawn(args, null, c.out, errors), errors);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_EQ(r.output, c.says);
    EXPECT_EQ(ReadFile(names).find(kLearnt) != std::string::npos, c.learns);
  }
  close(closed[1]);
  close(full);
  close(null);
}

// A closed terminal (SIGHUP) stops the run as an interrupt does: the names
// learnt so far are saved.
TEST(Quorvane, AHangUpStopsTheRunAndTheNamesAreSaved) {
  const std::string names = TempPath("hang-up.names"), errors = TempPath("hang-up.err");
  unlink(names.c_str());
  int in[2];
  ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_t pid = Spawn({"--names", names, "-"}, in[0], null, errors);
  close(in[0]);
  const std::string capture = ReadFile(std::string(getenv("QV_PLUGIN_DIR")) + "/sample.pcap");
  ASSERT_EQ(write(in[1], capture.data(), capture.size()), (ssize_t)capture.size());
  // Every frame read and decoded, and quorvane waiting for the next: the
  // pipe is empty, the interrupt handler is in place and it sleeps.
  auto waiting = [pid, fd = in[1]] {
    int unread = -1;
    std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    size_t caught = status.find("SigCgt:\t");
    size_t state = status.find("State:\t");
    return ioctl(fd, FIONREAD, &unread) == 0 && unread == 0 && caught != std::string::npos &&
           (strtoull(status.c_str() + caught + 8, nullptr, 16) & (1ull << (SIGINT - 1))) &&
           state != std::string::npos && status[state + 7] == 'S';
  };
  for (int i = 0; i < 600 && !waiting(); i++) usleep(100000);
  ASSERT_TRUE(waiting());
  kill(pid, SIGHUP);
  usleep(100000);
  close(in[1]);  // the end of the capture
  Result r = Wait(pid, errors);
  close(null);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(ReadFile(names).find(kLearnt), std::string::npos) << "names not saved";
}

// A name file the user made read-only is kept as it is, and said so.
TEST(Quorvane, AReadOnlyNameFileIsKept) {
  const std::string names = TempPath("read-only.names");
  const std::string text = "Router1,00A0C914C829,6,   ,0,0,255,0,0,0\n";
  chmod(names.c_str(), 0644);
  std::ofstream(names, std::ios::trunc) << text;
  ASSERT_EQ(chmod(names.c_str(), 0444), 0);
  Result r = Quorvane("--names '" + names + "'");
  EXPECT_EQ(r.status, 3) << r.output;
  EXPECT_NE(r.output.find("quorvane: " + names + ": not saved: the file is read-only, and is left as it is\n"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(ReadFile(names), text);
  chmod(names.c_str(), 0644);
}

TEST(Quorvane, QuietPrintsNoRowsEvenWithTheTree) {
  Result r = Quorvane("-q -V -c 1");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.find("No.  Destination"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Media Access Control"), std::string::npos) << r.output;
}

// Settings that cannot be read or kept leave the decoding alone; they are
// named once, and a damaged file is left as it is.
TEST(Quorvane, SettingsThatCannotBeReadOrKeptAreNamedOnce) {
  const std::string dir = TempPath("settings");
  const std::string damaged = dir + "/damaged", fifo = dir + "/fifo", full = dir + "/full";
  const std::string blocked = dir + "/file/config";
  ASSERT_EQ(system(("rm -rf '" + dir + "' && mkdir -p '" + damaged + "' '" + fifo + "' '" + full + "' && touch '" +
                    dir + "/file' && printf 'garbage\\n' > '" + damaged + "/current_user.reg' && mkfifo '" + fifo +
                    "/current_user.reg'")
                       .c_str()),
            0);
  const struct {
    const char* what;
    std::string shell;
    std::string says;
  } cases[] = {
      {"damaged file", "QUORVANE_CONFIG_DIR='" + damaged + "'",
       "quorvane: settings could not be read: registry file " + damaged +
           "/current_user.reg, line 1: unparseable line (the file is left as it is; repair or remove it)\n"},
      {"FIFO in the file's place", "QUORVANE_CONFIG_DIR='" + fifo + "' timeout 60",
       "quorvane: settings could not be read: registry file " + fifo +
           "/current_user.reg is not a regular file (it is left as it is)\n"},
      {"folder that cannot be made", "QUORVANE_CONFIG_DIR='" + blocked + "'",
       "quorvane: settings could not be kept: cannot create folder " + blocked + ": Not a directory\n"},
      // A file size limit stands for a full disk.
      {"no room", "trap '' XFSZ; ulimit -f 0; QUORVANE_CONFIG_DIR='" + full + "'",
       "quorvane: settings could not be kept: cannot write " + full + "/current_user.reg."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Result r = Quorvane("-q -c 1", c.shell);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.substr(0, c.says.size()), c.says) << r.output;
    EXPECT_EQ(r.output.find("settings", c.says.size()), std::string::npos) << "said more than once:\n" << r.output;
  }
  std::ifstream in(damaged + "/current_user.reg");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "garbage\n");
}

TEST(Quorvane, ANameFileThatIsNoRegularFileIsRefusedAtOnce) {
  const std::string fifo = TempPath("names.fifo");
  ASSERT_EQ(system(("rm -f '" + fifo + "' && mkfifo '" + fifo + "'").c_str()), 0);
  Result r = Quorvane("-q -c 1 --names '" + fifo + "'", "timeout 60");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "quorvane: " + fifo + ": not a regular file; the name table is neither loaded from it nor saved to it\n");
}

// The windows edit the --names file; they are not opened without one, a
// display or the plug-in that makes them.
TEST(Quorvane, WindowOptionsNeedTheirFileDisplayAndPlugin) {
  std::string names = TempPath("window-options.names");
  // A plug-in folder without the name table's.
  std::string others = TempPath("no-name-table");
  ASSERT_EQ(system(("mkdir -p '" + others + "' && ln -sf '" + std::string(getenv("QV_PLUGIN_DIR")) +
                    "/libhalvern.so' '" + others + "/'")
                       .c_str()),
            0);
#ifdef QV_WINDOWS
  const char* noDisplay = "the name table windows need a display";
  const char* noPlugin = "the name table windows come with the pallisand plug-in";
#else
  const char* noDisplay = "this build has no windows";
  const char* noPlugin = noDisplay;
#endif
  const struct {
    std::string shell, args;
    const char* says;
  } cases[] = {
      {"", "--name-table", "--name-table and --host-colors edit the file named by --names FILE"},
      {"", "--host-colors -c 1", "--name-table and --host-colors edit the file named by --names FILE"},
      {"env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "--names '" + names + "' --name-table", noDisplay},
      {"QT_QPA_PLATFORM=offscreen", "-P '" + others + "' --names '" + names + "' --host-colors", noPlugin},
  };
  for (const auto& c : cases) {
    Result r = Quorvane(c.args, c.shell);
    EXPECT_EQ(r.status, 1) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
  }
}
