// The Debian package an integrator installs: made once by scripts/package.sh from this build
// tree, then looked at (control fields, contents, lintian, the systemd unit) and run from a
// throwaway root; on CI (CI=true) also installed on the machine and purged again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <sstream>

#include "tests/serial/pty_pair.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

const std::vector<std::string> kPrograms = {"kestova-displayd", "kestova-display", "kestova-send",
                                            "kestova-packet",   "kestova-rfid",    "kestova-virtual-display"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class PackageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FDir = std::make_unique<TTempDir>("kestova-package");
    const std::string out = RunProgramOrThrow({"/bin/bash", KESTOVA_SOURCE_DIR "/scripts/package.sh", "--no-build",
                                               "--build-dir", KESTOVA_BINARY_DIR, "--out", FDir->Path()},
                                              240s);
    FDeb = Lines(out).back();
  }
  static void TearDownTestSuite() { FDir.reset(); }

  static std::string Field(const std::string& name) {
    const std::string value = RunProgramOrThrow({"/usr/bin/dpkg-deb", "--field", FDeb, name});
    return value.substr(0, value.find_last_not_of('\n') + 1);
  }
  // The package unpacked into a folder of its own, with the host's systemd targets beside the
  // unit so that systemd-analyze can resolve its dependencies there.
  static std::string Unpacked(const TTempDir& dir) {
    RunProgramOrThrow({"/usr/bin/dpkg-deb", "--extract", FDeb, dir.Path()});
    return dir.Path();
  }

  // Runs an installed kestova-displayd --check-config on the installed settings where a
  // pseudo-terminal stands in for /dev/ttyS0 (the settings' COM1): never near the console.
  static TProgramResult CheckInstalledConfig(const std::string& program, const std::string& settings) {
    const TPtyPair pty;
    return RunProgram({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                       "mount --bind " + pty.SlavePath() + " /dev/ttyS0 && exec " + program +
                           " --check-config --settings " + settings});
  }
  static bool CanStandInForTheConsole() { return geteuid() == 0 && std::filesystem::exists("/dev/ttyS0"); }

  static std::unique_ptr<TTempDir> FDir;
  static std::string FDeb;
};

std::unique_ptr<TTempDir> PackageTest::FDir;
std::string PackageTest::FDeb;

TEST_F(PackageTest, NameVersionArchitectureAndRealDependencies) {
  const std::string arch = RunProgramOrThrow({"/usr/bin/dpkg", "--print-architecture"});
  EXPECT_EQ(std::filesystem::path(FDeb).filename().string(),
            std::string("kestova-display_") + KESTOVA_PROJECT_VERSION + "_" + arch.substr(0, arch.size() - 1) + ".deb");
  EXPECT_EQ(Field("Package"), "kestova-display");
  EXPECT_EQ(Field("Version"), KESTOVA_PROJECT_VERSION);
  const std::string depends = Field("Depends");
  // From the programs' own links: the C and C++ runtimes, OpenSSL, fmt, Qt; adduser for the user.
  for (const char* library : {"libc6 (", "libstdc++6 (", "libssl3 (", "libqt6widgets6 (", "adduser"})
    EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;
  EXPECT_EQ(RunProgramOrThrow({"/usr/bin/dpkg-deb", "--info", FDeb, "conffiles"}), "/etc/kestova/Settings.ini\n");
}

TEST_F(PackageTest, ContentsAreTheProgramsSettingsUnitDesktopEntryDocsAndManPages) {
  std::vector<std::string> files;
  for (const std::string& line : Lines(RunProgramOrThrow({"/usr/bin/dpkg-deb", "--contents", FDeb})))
    files.push_back(line.substr(line.find("./") + 1));
  for (const std::string& program : kPrograms) {
    EXPECT_TRUE(Contains(files, "/usr/bin/" + program)) << program;
    EXPECT_TRUE(Contains(files, "/usr/share/man/man1/" + program + ".1.gz")) << program;
  }
  for (const char* file :
       {"/etc/kestova/Settings.ini", "/lib/systemd/system/kestova-displayd.service",
        "/usr/share/applications/kestova-display.desktop", "/usr/share/icons/hicolor/scalable/apps/kestova-display.svg",
        "/usr/share/doc/kestova-display/README.md", "/usr/share/doc/kestova-display/PROTOCOL.md",
        "/usr/share/doc/kestova-display/copyright", "/usr/share/doc/kestova-display/changelog.gz"})
    EXPECT_TRUE(Contains(files, file)) << file;
  // The emulator must not pass for the vendor's library.
  for (const std::string& file : files) EXPECT_EQ(file.find("usbpd"), std::string::npos) << file;

  const TTempDir dir("kestova-unpacked");
  const std::string root = Unpacked(dir);
  const std::string unit = RunProgramOrThrow({"/bin/cat", root + "/lib/systemd/system/kestova-displayd.service"});
  for (const char* line : {"ExecStart=/usr/bin/kestova-displayd --service --settings /etc/kestova/Settings.ini\n",
                           "Type=notify\n", "WatchdogSec=30\n", "User=kestova\n", "SupplementaryGroups=dialout\n",
                           "ProtectSystem=strict\n", "ConfigurationDirectory=kestova\n"})
    EXPECT_NE(unit.find(line), std::string::npos) << line;
  const TProgramResult control = RunProgram({"/usr/bin/dpkg-deb", "--ctrl-tarfile", FDeb});
  ASSERT_EQ(control.ExitCode, 0);
}

TEST_F(PackageTest, LintianReportsNoErrors) {
  if (!std::filesystem::exists("/usr/bin/lintian")) GTEST_SKIP() << "lintian is not installed";
  const TProgramResult result = RunProgram({"/usr/bin/lintian", "--no-tag-display-limit", FDeb}, 240s);
  for (const std::string& line : Lines(result.Output)) EXPECT_NE(line.rfind("E: ", 0), 0u) << line;
  std::cout << "lintian " << FDeb << ":\n" << result.Output;
}

TEST_F(PackageTest, TheUnitVerifies) {
  if (!std::filesystem::exists("/usr/bin/systemd-analyze")) GTEST_SKIP() << "systemd-analyze is not installed";
  const TTempDir dir("kestova-unpacked");
  const std::string root = Unpacked(dir);
  for (const auto& entry : std::filesystem::directory_iterator("/lib/systemd/system"))
    if (entry.path().extension() == ".target")
      std::filesystem::copy(entry.path(), root + "/lib/systemd/system/", std::filesystem::copy_options::skip_existing);
  const TProgramResult result =
      RunProgram({"/usr/bin/systemd-analyze", "verify", "--man=no", "--root=" + root, "kestova-displayd.service"});
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
  EXPECT_EQ(result.Output, "") << "warnings about the unit";
}

TEST_F(PackageTest, TheInstalledProgramsRunFromAThrowawayRoot) {
  const TTempDir dir("kestova-unpacked");
  const std::string root = Unpacked(dir);
  for (const std::string& program : kPrograms) {
    const TProgramResult help = RunProgram({root + "/usr/bin/" + program, "--help"});
    EXPECT_EQ(help.ExitCode, 0) << program << "\n" << help.Output;
  }
  const std::string settings = root + "/etc/kestova/Settings.ini";
  if (!CanStandInForTheConsole()) GTEST_SKIP() << "the settings check needs root and /dev/ttyS0 to stand in for";
  const TProgramResult check = CheckInstalledConfig(root + "/usr/bin/kestova-displayd", settings);
  EXPECT_EQ(check.ExitCode, 0) << check.Output;
  EXPECT_NE(check.Output.find("[Mqtt]\nBroker=localhost\n"), std::string::npos) << check.Output;
}

// On CI only: a machine of its own, where the package may really be installed, run and purged.
TEST_F(PackageTest, OnCiItInstallsRunsAndPurgesOnTheMachine) {
  const char* ci = std::getenv("CI");
  if (ci == nullptr || std::string(ci) != "true") GTEST_SKIP() << "installs on the machine only when CI=true";
  ASSERT_EQ(RunProgram({"/usr/bin/dpkg-query", "--show", "kestova-display"}).ExitCode, 1)
      << "kestova-display is installed already; not touching it";
  const TProgramResult install =
      RunProgram({"/usr/bin/apt-get", "install", "-y", "-qq", "--no-install-recommends", FDeb}, 240s);
  ASSERT_EQ(install.ExitCode, 0) << install.Output;
  EXPECT_NE(RunProgram({"/usr/bin/id", "-nG", "kestova"}).Output.find("dialout"), std::string::npos);
  EXPECT_EQ(RunProgram({"/usr/bin/kestova-displayd", "--help"}).ExitCode, 0);
  if (CanStandInForTheConsole()) {
    const TProgramResult check = CheckInstalledConfig("/usr/bin/kestova-displayd", "/etc/kestova/Settings.ini");
    EXPECT_EQ(check.ExitCode, 0) << check.Output;
  }
  const TProgramResult purge = RunProgram({"/usr/bin/apt-get", "purge", "-y", "-qq", "kestova-display"}, 240s);
  ASSERT_EQ(purge.ExitCode, 0) << purge.Output;
  EXPECT_FALSE(std::filesystem::exists("/usr/bin/kestova-displayd"));
  EXPECT_FALSE(std::filesystem::exists("/etc/kestova/Settings.ini"));
}

}  // namespace
}  // namespace kestova::test
