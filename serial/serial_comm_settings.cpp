// Saving the port's main line parameters to its settings store and loading them back.
#include <filesystem>

#include "platform/ini_file.h"
#include "platform/ini_file_writer.h"
#include "serial/serial_custom_comm.h"

namespace kestova {
namespace {

// The flow-control summary the store keeps: 0 none, 1 DTR/RTS, 2 XON/XOFF.
constexpr int32_t kFlowNone = 0;
constexpr int32_t kFlowDtrRts = 1;
constexpr int32_t kFlowXonXoff = 2;

struct TStoredValue {
  const char* name;
  int32_t low;
  int32_t high;
  int32_t value = 0;
};

}  // namespace

void TSerialCustomComm::SaveSettings() {
  const TSerialFlowControl& flow = *FFlowControl;
  int32_t summary = kFlowNone;
  if (flow.XonXoffOut() || flow.XonXoffIn()) summary = kFlowXonXoff;
  if (flow.ControlDtr() == dtrEnabled || flow.ControlRts() == rtsEnabled) summary = kFlowDtrRts;

  const TSettingsPlace place = PlaceSettings(*FSettingsStore, Name());
  if (FSettingsStore->Location() == slRegistry) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(place.File).parent_path(), ec);
    // A folder that cannot be made shows as the file that cannot be written.
  }
  TIniFileWriter ini(place.File);
  const std::string& s = place.Section;
  ini.WriteInteger(s, "USERBAUDRATE", FUserBaudrate);
  ini.WriteInteger(s, "BAUDRATE", FBaudrate);
  ini.WriteInteger(s, "PARITY", FParity);
  ini.WriteInteger(s, "DATABITS", FDatabits);
  ini.WriteInteger(s, "PORTNUM", FPortNum);
  ini.WriteInteger(s, "STOPBITS", FStopbits);
  ini.WriteString(s, "COMNAME", "COM" + std::to_string(FPortNum));
  ini.WriteInteger(s, "FLOWCONTROL", summary);
  ini.WriteInteger(s, "FLAG", 1);
  ini.UpdateFile();
}

bool TSerialCustomComm::LoadSettings() {
  const TSettingsPlace place = PlaceSettings(*FSettingsStore, Name());
  const TIniFile ini(place.File);
  if (ini.ReadInteger(place.Section, "FLAG", 0) != 1) return false;

  // Read and checked first, so that a value out of range changes nothing.
  TStoredValue values[] = {
      {"BAUDRATE", brUser, br256000}, {"USERBAUDRATE", 0, INT32_MAX}, {"PARITY", paNone, paSpace},
      {"DATABITS", db4, db8},         {"PORTNUM", 0, INT32_MAX},      {"STOPBITS", sb1, sb2},
  };
  for (TStoredValue& v : values) {
    v.value = ini.ReadInteger(place.Section, v.name, 0);
    if (v.value >= v.low && v.value <= v.high) continue;
    Error(EscapePercent(Format("Invalid port setting %s=%d in [%s] of %s", v.name, v.value, place.Section, place.File)),
          0);
    return false;
  }
  const int32_t summary = ini.ReadInteger(place.Section, "FLOWCONTROL", 0);

  SetBaudrate(static_cast<TSerialBaudrate>(values[0].value));
  SetUserBaudrate(values[1].value);
  SetParity(static_cast<TSerialParity>(values[2].value));
  SetDatabits(static_cast<TSerialDatabits>(values[3].value));
  SetPortNum(values[4].value);
  SetStopbits(static_cast<TSerialStopbits>(values[5].value));

  TSerialFlowControl& flow = *FFlowControl;
  if (summary == kFlowNone || summary == kFlowDtrRts || summary == kFlowXonXoff) {
    const bool lines = summary == kFlowDtrRts;
    const bool xon = summary == kFlowXonXoff;
    flow.BeginUpdate();
    flow.SetControlDtr(lines ? dtrEnabled : dtrDisabled);
    flow.SetControlRts(lines ? rtsEnabled : rtsDisabled);
    flow.SetXonXoffOut(xon);
    flow.SetXonXoffIn(xon);
    flow.EndUpdate();
  }
  return true;
}

}  // namespace kestova
