// Clients of a port: attaching, detaching and their forwarded calls.
#include <algorithm>

#include "serial/serial_custom_comm.h"
#include "serial/serial_dispatcher.h"

namespace kestova {

TSerialDispatcher::~TSerialDispatcher() {
  if (TSerialCustomComm* comm = FComm.load()) comm->RemoveClient(this);
}

int32_t TSerialDispatcher::WriteBuf(const void* Buf, int32_t Count) {
  TSerialCustomComm* comm = FComm.load();
  return comm ? comm->WriteBuf(Buf, Count) : 0;
}

bool TSerialDispatcher::WriteText(const ByteString& s) {
  TSerialCustomComm* comm = FComm.load();
  return comm ? comm->WriteText(s) : false;
}

bool TSerialDispatcher::WriteChar(char Ch) {
  TSerialCustomComm* comm = FComm.load();
  return comm ? comm->WriteChar(Ch) : false;
}

void TSerialDispatcher::PurgeRead() {
  if (TSerialCustomComm* comm = FComm.load()) comm->PurgeRead();
}

void TSerialDispatcher::PurgeWrite() {
  if (TSerialCustomComm* comm = FComm.load()) comm->PurgeWrite();
}

void TSerialDispatcher::PurgeReadWrite() {
  if (TSerialCustomComm* comm = FComm.load()) comm->PurgeReadWrite();
}

void TSerialDispatcher::SetDTRState(bool Value) {
  if (TSerialCustomComm* comm = FComm.load()) comm->SetDTR(Value);
}

void TSerialCustomComm::InsertClient(TSerialDispatcher* Value) {
  if (Value == nullptr) return;
  TSerialCustomComm* const current = Value->FComm.load();
  if (current == this) return;
  // A client is on one port at a time: were it in two lists, its destructor would leave a
  // dangling entry in one of them.
  if (current) current->RemoveClient(Value);
  FClients.push_back(Value);
  Value->FComm = this;
}

void TSerialCustomComm::RemoveClient(TSerialDispatcher* Value) {
  const auto it = std::find(FClients.begin(), FClients.end(), Value);
  if (it == FClients.end()) return;
  FClients.erase(it);
  Value->FComm = nullptr;
}

bool TSerialCustomComm::IsClient(const TSerialDispatcher* client) const {
  return std::find(FClients.begin(), FClients.end(), client) != FClients.end();
}

void TSerialCustomComm::NotifyClients(const std::function<void(ISerialCommUser&)>& notify) {
  const std::vector<TSerialDispatcher*> clients = FClients;  // a notification may attach or detach clients
  for (TSerialDispatcher* client : clients)
    if (FControlsEnabled && IsClient(client) && client->Active()) notify(client->Owner());
}

}  // namespace kestova
