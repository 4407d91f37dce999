#include "platform/usb_pole_display.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/executable_path.h"
#include "tests/support/temp_dir.h"

namespace kestova {
namespace {

namespace fs = std::filesystem;

// A temporary folder with the emulator's call log in it, named to the emulator through the
// environment for the length of the test.
class UsbPoleDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("KESTOVA_USBPD_LOG", FCallLog.c_str(), 1);
    ::unsetenv("KESTOVA_USBPD_OPEN_RESULT");
  }
  void TearDown() override {
    ::unsetenv("KESTOVA_USBPD_LOG");
    ::unsetenv("KESTOVA_USBPD_OPEN_RESULT");
  }

  std::vector<std::string> Calls() const {
    std::ifstream in(FCallLog);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  test::TTempDir FTemp{"kestova-usbpd"};
  fs::path FDir = FTemp.Path();
  fs::path FCallLog = FDir / "calls.log";
};

TEST_F(UsbPoleDisplayTest, EmulatorLogsEveryCallInOrder) {
  TUsbPoleDisplay display;
  ASSERT_TRUE(display.Load(KESTOVA_TEST_USBPD_EMULATOR)) << display.LastError();
  EXPECT_TRUE(display.Loaded());
  EXPECT_TRUE(display.LastError().empty());

  EXPECT_EQ(display.OpenUSBpd(), 0);
  display.WritePD("\x1B\x49");
  display.WritePD(std::string("\x1B\x48\x00", 3));
  display.WritePD("Ra\x9Fun");
  display.WritePD("");
  display.WritePD(std::string_view());
  display.WritePD("\x1B\x48\x14");
  display.WritePD(std::string("\x00\x7F\x80\xFF", 4));
  EXPECT_EQ(display.CloseUSBpd(), 0);

  EXPECT_EQ(Calls(), (std::vector<std::string>{"OPEN", "1B 49", "1B 48 00", "52 61 9F 75 6E", "-", "-", "1B 48 14",
                                               "00 7F 80 FF", "CLOSE"}));
}

// Where a program looks for the library: the build copies the emulator there.
TEST_F(UsbPoleDisplayTest, TheBuildPlacesTheEmulatorBesideTheExecutable) {
  TUsbPoleDisplay display;
  ASSERT_TRUE(display.Load(ExecutableFolder() + kUsbPoleDisplayLibraryName)) << display.LastError();
  display.WritePD("OK");
  EXPECT_EQ(Calls(), std::vector<std::string>{"4F 4B"});
}

TEST_F(UsbPoleDisplayTest, EmulatorOpenResultCanBeChosen) {
  ::setenv("KESTOVA_USBPD_OPEN_RESULT", "7", 1);
  TUsbPoleDisplay display;
  ASSERT_TRUE(display.Load(KESTOVA_TEST_USBPD_EMULATOR)) << display.LastError();
  EXPECT_EQ(display.OpenUSBpd(), 7);
  EXPECT_EQ(Calls(), std::vector<std::string>{"OPEN"});
}

TEST_F(UsbPoleDisplayTest, EmulatorWithoutLogFileStaysQuiet) {
  ::unsetenv("KESTOVA_USBPD_LOG");
  TUsbPoleDisplay display;
  ASSERT_TRUE(display.Load(KESTOVA_TEST_USBPD_EMULATOR)) << display.LastError();
  EXPECT_EQ(display.OpenUSBpd(), 0);
  display.WritePD("abc");
  display.CloseUSBpd();
  EXPECT_FALSE(fs::exists(FCallLog));
}

// A library that cannot be bound leaves the display unbound: every call returns kNotLoaded,
// nothing of the library runs, and the reason names the loader's complaint.
struct RefusedCase {
  std::string Name;
  std::string Path;
  std::string Reason;  // part of LastError()
};

TEST_F(UsbPoleDisplayTest, UnusableLibrariesAreRefusedWithTheLoadersReason) {
  const fs::path notElf = FDir / "not-elf" / kUsbPoleDisplayLibraryName;
  fs::create_directories(notElf.parent_path());
  std::ofstream(notElf) << "this is not a shared object\n";

  const std::vector<RefusedCase> cases = {
      {"missing", (FDir / "absent" / kUsbPoleDisplayLibraryName).string(),
       "cannot open shared object file: No such file or directory"},
      {"incomplete", KESTOVA_TEST_USBPD_INCOMPLETE, "undefined symbol: CloseUSBpd"},
      {"not a library", notElf.string(), "libusbpd.so"},
      {"folder", FDir.string(), FDir.string()},
      {"no name", "", "No library file name given"},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TUsbPoleDisplay display;
    EXPECT_FALSE(display.Load(c.Path));
    EXPECT_FALSE(display.Loaded());
    EXPECT_NE(display.LastError().find(c.Reason), std::string::npos) << display.LastError();
    EXPECT_EQ(display.OpenUSBpd(), TUsbPoleDisplay::kNotLoaded);
    EXPECT_EQ(display.WritePD("\x1B\x49"), TUsbPoleDisplay::kNotLoaded);
    EXPECT_EQ(display.WritePD(""), TUsbPoleDisplay::kNotLoaded);
    EXPECT_EQ(display.CloseUSBpd(), TUsbPoleDisplay::kNotLoaded);
  }
  EXPECT_TRUE(Calls().empty());
}

TEST_F(UsbPoleDisplayTest, ReloadingReplacesTheBindingAndAFailedReloadUnbinds) {
  TUsbPoleDisplay display;
  ASSERT_FALSE(display.Load(KESTOVA_TEST_USBPD_INCOMPLETE));
  ASSERT_TRUE(display.Load(KESTOVA_TEST_USBPD_EMULATOR));
  EXPECT_TRUE(display.LastError().empty());  // the earlier failure is forgotten
  display.WritePD("A");

  ASSERT_FALSE(display.Load((FDir / "absent.so").string()));
  EXPECT_EQ(display.WritePD("B"), TUsbPoleDisplay::kNotLoaded);

  ASSERT_TRUE(display.Load(KESTOVA_TEST_USBPD_EMULATOR));
  TUsbPoleDisplay moved = std::move(display);
  moved.WritePD("C");
  EXPECT_EQ(display.WritePD("D"), TUsbPoleDisplay::kNotLoaded);  // NOLINT: moved-from is unbound
  moved.Unload();
  EXPECT_EQ(moved.WritePD("E"), TUsbPoleDisplay::kNotLoaded);

  EXPECT_EQ(Calls(), (std::vector<std::string>{"41", "43"}));
}

TEST(DlHandleTest, CloseReportsNothingForAnOpenHandleAndIsIdempotent) {
  TDlHandle handle(::dlopen(KESTOVA_TEST_USBPD_EMULATOR, RTLD_NOW | RTLD_LOCAL));
  ASSERT_TRUE(handle);
  TDlHandle other = std::move(handle);
  EXPECT_FALSE(handle);  // NOLINT: moved-from is empty
  EXPECT_EQ(other.Close(), "");
  EXPECT_FALSE(other);
  EXPECT_EQ(other.Close(), "");
}

}  // namespace
}  // namespace kestova
