// Saving the port's settings to its store and loading them back, in files of a temporary
// folder; the user's configuration folder is the temporary one too.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "platform/executable_path.h"
#include "serial/serial_comm.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thrown_message.h"

namespace kestova {
namespace {

using test::ThrownMessage;

// Sets an environment variable (or removes it) for one test and puts it back afterwards.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~TScopedEnv() { FOld ? setenv(FName, FOld->c_str(), 1) : unsetenv(FName); }

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

// Everything the store saves, to compare two ports.
struct TSaved {
  TSerialPortInt portNum;
  TSerialBaudrate baudrate;
  int32_t userBaudrate;
  TSerialParity parity;
  TSerialDatabits databits;
  TSerialStopbits stopbits;
  TSerialControlDtr dtr;
  TSerialControlRts rts;
  bool xonOut, xonIn;
  bool operator==(const TSaved&) const = default;
};

TSaved SavedOf(TSerialComm& p) {
  return {p.PortNum(),
          p.Baudrate(),
          p.UserBaudrate(),
          p.Parity(),
          p.Databits(),
          p.Stopbits(),
          p.FlowControl().ControlDtr(),
          p.FlowControl().ControlRts(),
          p.FlowControl().XonXoffOut(),
          p.FlowControl().XonXoffIn()};
}

class SerialSettingsTest : public ::testing::Test {
 protected:
  // A port whose store is `file`, section comDisplay.
  std::unique_ptr<TSerialComm> NewPort(const std::string& file) {
    auto port = std::make_unique<TSerialComm>();
    port->SetName("comDisplay");
    port->SettingsStore().SetKey(file);
    return port;
  }
  // A port with every saved value away from the defaults.
  std::unique_ptr<TSerialComm> NewOddPort(const std::string& file) {
    auto port = NewPort(file);
    port->SetPortNum(7);
    port->SetBaudrate(br57600);
    port->SetParity(paEven);
    port->SetDatabits(db7);
    port->SetStopbits(sb2);
    port->FlowControl().SetControlDtr(dtrEnabled);
    port->FlowControl().SetControlRts(rtsEnabled);
    return port;
  }

  test::TTempDir FDir{"kestova-port-settings"};
  TScopedEnv FConfig{"XDG_CONFIG_HOME", FDir.File("config").c_str()};
};

TEST_F(SerialSettingsTest, DefaultsSavedAndLoadedAgainAreTheSame) {
  const std::string file = FDir.File("port.ini");
  auto saved = NewPort(file);
  saved->SaveSettings();
  auto loaded = NewOddPort(file);
  EXPECT_TRUE(loaded->LoadSettings());
  EXPECT_EQ(SavedOf(*loaded), SavedOf(*saved));
}

TEST_F(SerialSettingsTest, NineValuesInTheirOrderWithOrdinalsAndACommonPortName) {
  const std::string file = FDir.WriteFile("port.ini", "; kept\n[Other]\nA=1\n");
  auto port = NewPort(file);
  port->SetDeviceName("/dev/ttyUSB%d");
  port->SetPortNum(3);
  port->SetBaudrate(br9600);
  port->SaveSettings();
  EXPECT_EQ(test::ReadWholeFile(file),
            "; kept\n[Other]\nA=1\n\n[comDisplay]\nUSERBAUDRATE=0\nBAUDRATE=7\nPARITY=0\nDATABITS=4\nPORTNUM=3\n"
            "STOPBITS=0\nCOMNAME=COM3\nFLOWCONTROL=0\nFLAG=1\n");

  port->SetUserBaudrate(250000);
  port->SaveSettings();  // changed in place
  EXPECT_NE(test::ReadWholeFile(file).find("[comDisplay]\nUSERBAUDRATE=250000\nBAUDRATE=0\n"), std::string::npos)
      << test::ReadWholeFile(file);
  auto loaded = NewOddPort(file);
  ASSERT_TRUE(loaded->LoadSettings());
  EXPECT_EQ(loaded->Baudrate(), brUser);
  EXPECT_EQ(loaded->UserBaudrate(), 250000);
}

TEST_F(SerialSettingsTest, FlowControlSummaryBothWays) {
  struct Case {
    const char* name;
    TSerialControlDtr dtr;
    TSerialControlRts rts;
    bool xonOut, xonIn;
    int summary;
  };
  const Case cases[] = {
      {"none", dtrDisabled, rtsDisabled, false, false, 0},
      {"handshake lines count as none", dtrHandshake, rtsHandshake, false, false, 0},
      {"xon/xoff out", dtrDisabled, rtsDisabled, true, false, 2},
      {"xon/xoff in", dtrDisabled, rtsDisabled, false, true, 2},
      {"rts enabled", dtrDisabled, rtsEnabled, false, false, 1},
      {"1 wins over 2", dtrEnabled, rtsDisabled, true, true, 1},
  };
  for (const Case& c : cases) {
    const std::string file = FDir.File("flow" + std::to_string(&c - cases) + ".ini");
    auto port = NewPort(file);
    port->FlowControl().SetControlDtr(c.dtr);
    port->FlowControl().SetControlRts(c.rts);
    port->FlowControl().SetXonXoffOut(c.xonOut);
    port->FlowControl().SetXonXoffIn(c.xonIn);
    port->SaveSettings();
    EXPECT_NE(test::ReadWholeFile(file).find("FLOWCONTROL=" + std::to_string(c.summary) + "\n"), std::string::npos)
        << c.name;

    auto loaded = NewOddPort(file);
    loaded->FlowControl().SetXonXoffIn(true);
    ASSERT_TRUE(loaded->LoadSettings()) << c.name;
    const TSerialFlowControl& flow = loaded->FlowControl();
    EXPECT_EQ(flow.ControlDtr(), c.summary == 1 ? dtrEnabled : dtrDisabled) << c.name;
    EXPECT_EQ(flow.ControlRts(), c.summary == 1 ? rtsEnabled : rtsDisabled) << c.name;
    EXPECT_EQ(flow.XonXoffOut(), c.summary == 2) << c.name;
    EXPECT_EQ(flow.XonXoffIn(), c.summary == 2) << c.name;
  }
  // Any other summary leaves the flow control as it is.
  const std::string file = FDir.WriteFile("other.ini", "[comDisplay]\nFLAG=1\nBAUDRATE=7\nFLOWCONTROL=5\n");
  auto port = NewOddPort(file);
  ASSERT_TRUE(port->LoadSettings());
  EXPECT_EQ(port->FlowControl().ControlDtr(), dtrEnabled);
  EXPECT_EQ(port->FlowControl().ControlRts(), rtsEnabled);
}

TEST_F(SerialSettingsTest, WithoutFlagOneOrWithAValueOutOfRangeNothingChanges) {
  struct Case {
    const char* text;
    const char* error;  // empty: LoadSettings returns False
  };
  const Case cases[] = {
      {"", ""},
      {"[comDisplay]\nBAUDRATE=7\nPORTNUM=1\n", ""},
      {"[comDisplay]\nFLAG=0\nBAUDRATE=7\n", ""},
      {"[comDisplay]\nFLAG=yes\nBAUDRATE=7\n", ""},
      {"[Other]\nFLAG=1\n", ""},
      {"[comDisplay]\nFLAG=1\nDATABITS=8\n", "DATABITS=8"},
      {"[comDisplay]\nFLAG=1\nBAUDRATE=16\n", "BAUDRATE=16"},
      {"[comDisplay]\nFLAG=1\nPARITY=-1\n", "PARITY=-1"},
      {"[comDisplay]\nFLAG=1\nSTOPBITS=3\n", "STOPBITS=3"},
      {"[comDisplay]\nFLAG=1\nPORTNUM=-2\n", "PORTNUM=-2"},
      {"[comDisplay]\nFLAG=1\nBAUDRATE=7\nUSERBAUDRATE=-9600\n", "USERBAUDRATE=-9600"},
  };
  for (const Case& c : cases) {
    const std::string file = FDir.WriteFile("load.ini", c.text);
    auto port = NewOddPort(file);
    const TSaved before = SavedOf(*port);
    if (c.error[0] == '\0') {
      EXPECT_FALSE(port->LoadSettings()) << c.text;
    } else {
      EXPECT_EQ(ThrownMessage<ESerialCommError>([&] { port->LoadSettings(); }),
                "Invalid port setting " + std::string(c.error) + " in [comDisplay] of " + file)
          << c.text;
    }
    EXPECT_EQ(SavedOf(*port), before) << c.text;
  }
  auto port = NewOddPort(FDir.File("missing.ini"));
  const TSaved before = SavedOf(*port);
  EXPECT_FALSE(port->LoadSettings()) << "no file";
  EXPECT_EQ(SavedOf(*port), before);
}

TEST_F(SerialSettingsTest, WhereEachStoreKeepsTheValues) {
  // The INI store's defaults: the program's path with ".INI", the component's name.
  TSerialComm port;
  port.SetName("comDisplay");
  EXPECT_FALSE(port.LoadSettings());
  EXPECT_EQ(port.SettingsStore().Key(), ExecutablePath() + ".INI") << "the test program's name has no extension";
  EXPECT_EQ(port.SettingsStore().Section(), "comDisplay");
  EXPECT_EQ(ChangeFileExt("/opt/kestova/bin/display.exe", ".INI"), "/opt/kestova/bin/display.INI");
  EXPECT_EQ(ChangeFileExt("/opt/kestova.d/display", ".INI"), "/opt/kestova.d/display.INI");

  // The registry store: one file per root, the key path as the section, for saving and loading.
  auto saved = NewOddPort("");
  saved->SettingsStore().SetLocation(slRegistry);
  saved->SettingsStore().SetKey("\\Software\\Kestova\\");
  saved->SettingsStore().SetSection("Display");
  saved->SaveSettings();
  const std::string file = FDir.File("config/kestova/port-settings.ini");
  EXPECT_EQ(test::ReadWholeFile(file).rfind("[Software\\Kestova\\Display]\nUSERBAUDRATE=0\nBAUDRATE=12\n", 0), 0u)
      << test::ReadWholeFile(file);
  auto loaded = NewPort("");
  loaded->SetSettingsStore(saved->SettingsStore());
  ASSERT_TRUE(loaded->LoadSettings());
  EXPECT_EQ(SavedOf(*loaded), SavedOf(*saved));

  EXPECT_EQ(RegistryStoreFile(rrCURRENTUSER), file);
  EXPECT_EQ(RegistryStoreFile(rrLOCALMACHINE), "/etc/kestova/port-settings.ini");
  const TScopedEnv home("HOME", FDir.Path().c_str());
  for (const char* config : {static_cast<const char*>(nullptr), "", "relative/config"}) {
    const TScopedEnv xdg("XDG_CONFIG_HOME", config);
    EXPECT_EQ(RegistryStoreFile(rrCURRENTUSER), FDir.File(".config/kestova/port-settings.ini"))
        << (config ? config : "unset");
  }
}

}  // namespace
}  // namespace kestova
