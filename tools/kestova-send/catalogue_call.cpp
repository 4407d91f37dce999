#include "tools/kestova-send/catalogue_call.h"

#include <algorithm>
#include <cstdint>
#include <functional>

#include "messaging/mqtt_manager.h"
#include "platform/number_text.h"

namespace kestova {
namespace {

enum class TArgKind : uint8_t { akText, akInteger, akBoolean, akSupportMode };

struct TArgDef {
  const char* Name;
  TArgKind Kind;
};

// The arguments of one call, converted as their kinds say (they were checked before).
class TArgs {
 public:
  explicit TArgs(const std::vector<std::string>& values) : FValues(values) {}
  const std::string& Text(std::size_t i) const { return FValues[i]; }
  int32_t Integer(std::size_t i) const {
    long long value = 0;
    ParseNumber(FValues[i], INT32_MIN, INT32_MAX, value);
    return static_cast<int32_t>(value);
  }
  bool Boolean(std::size_t i) const { return FValues[i] == "true"; }
  TSupportMode Mode(std::size_t i) const { return FValues[i] == "1" ? smRdp : smTeamViewer; }

 private:
  const std::vector<std::string>& FValues;
};

struct TOperation {
  const char* Name;
  std::vector<TArgDef> Args;
  std::function<void(TMqttManager&, const TArgs&)> Call;
};

constexpr TArgKind T = TArgKind::akText;
constexpr TArgKind I = TArgKind::akInteger;
constexpr TArgKind B = TArgKind::akBoolean;
constexpr TArgKind M = TArgKind::akSupportMode;

// In the order the manager declares them.
const std::vector<TOperation>& Operations() {
  using A = const TArgs&;
  using Mgr = TMqttManager&;
  static const std::vector<TOperation> operations = {
      {"SendCustomMsg", {{"Topic", T}, {"Txt", T}}, [](Mgr m, A a) { m.SendCustomMsg(a.Text(0), a.Text(1)); }},
      {"SendRefreshReport", {{"FileName", T}}, [](Mgr m, A a) { m.SendRefreshReport(a.Text(0)); }},
      {"SendRefreshLogo", {{"FileName", T}}, [](Mgr m, A a) { m.SendRefreshLogo(a.Text(0)); }},
      {"SendDeleteFile", {{"FileName", T}}, [](Mgr m, A a) { m.SendDeleteFile(a.Text(0)); }},
      {"SendDownloadFile", {{"FileName", T}}, [](Mgr m, A a) { m.SendDownloadFile(a.Text(0)); }},
      {"SendUploadFile", {{"FileName", T}}, [](Mgr m, A a) { m.SendUploadFile(a.Text(0)); }},
      {"SendResetReport", {}, [](Mgr m, A) { m.SendResetReport(); }},
      {"SendCallSupport",
       {{"SupportMode", M}, {"Topic", T}, {"ClientID", T}, {"Force", B}},
       [](Mgr m, A a) { m.SendCallSupport(a.Mode(0), a.Text(1), a.Text(2), a.Boolean(3)); }},
      {"SendLogout", {}, [](Mgr m, A) { m.SendLogout(); }},
      {"SendShowMessage", {{"MsgTxt", T}}, [](Mgr m, A a) { m.SendShowMessage(a.Text(0)); }},
      {"SendPosEvent", {{"UserName", T}}, [](Mgr m, A a) { m.SendPosEvent(a.Text(0)); }},
      {"SendServerListRequest", {}, [](Mgr m, A) { m.SendServerListRequest(); }},
      {"SendConnected",
       {{"TargetId", T}, {"Environment", T}, {"UserName", T}, {"AppName", T}, {"AppVer", T}},
       [](Mgr m, A a) { m.SendConnected(a.Text(0), a.Text(1), a.Text(2), a.Text(3), a.Text(4)); }},
      {"SendDisconnected", {}, [](Mgr m, A) { m.SendDisconnected(); }},
      {"SendDisconnectedWill", {}, [](Mgr m, A) { m.SendDisconnectedWill(); }},
      {"SendInfoRequest", {}, [](Mgr m, A) { m.SendInfoRequest(); }},
      {"SendMaster", {}, [](Mgr m, A) { m.SendMaster(); }},
      {"SendAppUpdate", {{"AppName", T}, {"AppVer", T}}, [](Mgr m, A a) { m.SendAppUpdate(a.Text(0), a.Text(1)); }},
      {"SendCode",
       {{"AppName", T}, {"TaxId", T}, {"Email", T}},
       [](Mgr m, A a) { m.SendCode(a.Text(0), a.Text(1), a.Text(2)); }},
      {"SendInventoryMode", {{"IsInventory", B}}, [](Mgr m, A a) { m.SendInventoryMode(a.Boolean(0)); }},
      {"SendReloadSettings", {}, [](Mgr m, A) { m.SendReloadSettings(); }},
      {"SendFlushCache", {{"CodeList", T}}, [](Mgr m, A a) { m.SendFlushCache(a.Text(0)); }},
      {"SendSlaveCopyPartner",
       {{"DbName", T}, {"PartnerId", I}},
       [](Mgr m, A a) { m.SendSlaveCopyPartner(a.Text(0), a.Integer(1)); }},
      {"SendSlaveCopyProduct",
       {{"DbName", T}, {"ProductId", I}},
       [](Mgr m, A a) { m.SendSlaveCopyProduct(a.Text(0), a.Integer(1)); }},
      {"SendFursSendDoc", {{"DocUniqId", I}}, [](Mgr m, A a) { m.SendFursSendDoc(a.Integer(0)); }},
      {"SendFursActive", {{"IsActive", B}}, [](Mgr m, A a) { m.SendFursActive(a.Boolean(0)); }},
      {"SendSms", {{"Tel", T}, {"MsgTxt", T}}, [](Mgr m, A a) { m.SendSms(a.Text(0), a.Text(1)); }},
      {"SendPing", {}, [](Mgr m, A) { m.SendPing(); }},
      {"SendRfidRead",
       {{"Key", T}, {"ReaderId", I}, {"MsgTxt", T}},
       [](Mgr m, A a) { m.SendRfidRead(a.Text(0), a.Integer(1), a.Text(2)); }},
      {"RfidOpenDoor",
       {{"ReaderId", I}, {"HostelId", I}},
       [](Mgr m, A a) { m.RfidOpenDoor(a.Integer(0), a.Integer(1)); }},
      {"RfidReaderBeep",
       {{"ReaderId", I}, {"HostelId", I}},
       [](Mgr m, A a) { m.RfidReaderBeep(a.Integer(0), a.Integer(1)); }},
      {"RfidReadersListReq", {{"HostelId", I}}, [](Mgr m, A a) { m.RfidReadersListReq(a.Integer(0)); }},
      {"RfidKeyListReq",
       {{"ReaderId", I}, {"HostelId", I}},
       [](Mgr m, A a) { m.RfidKeyListReq(a.Integer(0), a.Integer(1)); }},
      {"RfidHelloAns",
       {{"Target", T},
        {"HostelId", I},
        {"ReaderId", I},
        {"ReaderName", T},
        {"ReaderType", T},
        {"ReaderDescription", T}},
       [](Mgr m, A a) { m.RfidHelloAns(a.Text(0), a.Integer(1), a.Integer(2), a.Text(3), a.Text(4), a.Text(5)); }},
  };
  return operations;
}

const TOperation* Find(const std::string& name) {
  const auto& operations = Operations();
  const auto found =
      std::find_if(operations.begin(), operations.end(), [&](const TOperation& o) { return name == o.Name; });
  return found == operations.end() ? nullptr : &*found;
}

bool IsInteger(const std::string& text) {
  long long value = 0;
  return ParseNumber(text, INT32_MIN, INT32_MAX, value);
}

const char* Form(TArgKind kind) {
  switch (kind) {
    case TArgKind::akInteger: return "an integer";
    case TArgKind::akBoolean: return "true or false";
    case TArgKind::akSupportMode: return "0 or 1";
    case TArgKind::akText: break;
  }
  return "text";
}

bool Fits(TArgKind kind, const std::string& value) {
  switch (kind) {
    case TArgKind::akInteger: return IsInteger(value);
    case TArgKind::akBoolean: return value == "true" || value == "false";
    case TArgKind::akSupportMode: return value == "0" || value == "1";
    case TArgKind::akText: break;
  }
  return true;
}

}  // namespace

std::string TakeCatalogueArguments(const std::string& operation, const std::vector<std::string>& args, std::size_t& at,
                                   std::vector<std::string>& arguments) {
  const TOperation* found = Find(operation);
  if (found == nullptr) return "no operation " + operation + " can be called with --op (see --help)";
  const std::size_t count = found->Args.size();
  if (args.size() - (at + 1) < count) return operation + " takes " + std::to_string(count) + " arguments";
  arguments.assign(args.begin() + static_cast<std::ptrdiff_t>(at + 1),
                   args.begin() + static_cast<std::ptrdiff_t>(at + 1 + count));
  at += count;
  for (std::size_t i = 0; i < count; ++i) {
    const TArgDef& def = found->Args[i];
    if (!Fits(def.Kind, arguments[i])) return operation + ": " + def.Name + " must be " + Form(def.Kind);
  }
  return {};
}

void CallCatalogueOperation(TMqttManager& manager, const std::string& operation,
                            const std::vector<std::string>& arguments) {
  Find(operation)->Call(manager, TArgs(arguments));
}

std::string CatalogueSynopsis(const std::string& indent) {
  std::string text;
  for (const TOperation& operation : Operations()) {
    text += indent;
    text += operation.Name;
    for (const TArgDef& def : operation.Args) {
      text += ' ';
      text += def.Name;
      if (def.Kind == TArgKind::akBoolean) text += "(true|false)";
      if (def.Kind == TArgKind::akSupportMode) text += "(0|1)";
      if (def.Kind == TArgKind::akInteger) text += "(integer)";
    }
    text += '\n';
  }
  return text;
}

}  // namespace kestova
