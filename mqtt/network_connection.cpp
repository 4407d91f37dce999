#include "mqtt/network_connection.h"

#include <utility>

#include "mqtt/type_name.h"
#include "platform/format.h"
#include "platform/tcp_socket.h"

namespace kestova {

// One connection: its socket (single use), its number, and whether it is still up. The Up
// flag is the token of the disconnected handling: whoever clears it reports the end.
struct TMqttNetworkConnection::TLink {
  std::unique_ptr<TTcpSocket> Socket;
  std::string Name;  // type name of the socket object, for the trace
  uint64_t Id = 0;
  std::atomic<bool> Up{false};
};

TMqttNetworkConnection::TMqttNetworkConnection(TMqttLogger* ALogger) : FLog(ALogger) {}

TMqttNetworkConnection::~TMqttNetworkConnection() {
  OnConnected = nullptr;
  OnDisconnected = nullptr;
  Close();
}

std::shared_ptr<TMqttNetworkConnection::TLink> TMqttNetworkConnection::CurrentLink() const {
  std::lock_guard lock(FLinkLock);
  return FLink;
}

bool TMqttNetworkConnection::IsReady() const {
  const auto link = CurrentLink();
  return link && link->Up.load();
}

uint64_t TMqttNetworkConnection::ConnectionId() const {
  std::lock_guard lock(FLinkLock);
  return FLink ? FLink->Id : 0;
}

void TMqttNetworkConnection::TraceStatus(const std::string& AName, TSocketStatus AStatus) {
  TMqttLogger* log = FLog.load();
  switch (AStatus) {
    case TSocketStatus::ssResolving: TMqttLogHelper::Debug(log, this, AName + " - resolving..."); break;
    case TSocketStatus::ssAllocated:
      TMqttLogHelper::Info(log, this, "Socket allocated ... ");
      FReadTimeout.store(kFirstReadTimeout);
      break;
    case TSocketStatus::ssConnecting: TMqttLogHelper::Debug(log, this, AName + " - connecting..."); break;
    default: break;  // the handshake and the end of connect are reported by Open itself
  }
}

void TMqttNetworkConnection::Open() {
  if (IsReady()) return;
  // A connection the peer closed is released here; each connection gets a socket of its own.
  std::shared_ptr<TLink> down;
  {
    std::lock_guard lock(FLinkLock);
    down = std::move(FLink);
  }
  if (down) down->Socket->Close();

  TMqttLogger* log = FLog.load();
  auto link = std::make_shared<TLink>();
  try {
    TMqttLogHelper::Info(log, this, "Initializing TCP Client");
    if (FPort < 1 || FPort > 65535) throw ESocketError(Format("Port %d is outside 1 to 65535", FPort));
    if (FUseSSL) {
      link->Socket = std::make_unique<TTlsStream>(FTlsOptions);
    } else {
      link->Socket = std::make_unique<TTcpSocket>();
    }
    link->Name = MqttTypeName(typeid(*link->Socket));
    link->Socket->OnStatus = [this, name = link->Name](TSocketStatus AStatus, const std::string&) {
      TraceStatus(name, AStatus);
    };
    TMqttLogHelper::Info(log, this, "Connecting TCP Client");
    const TAddressFamily family = FIPVersion == TMqttIPVersion::ipV6 ? TAddressFamily::afIPv6 : TAddressFamily::afIPv4;
    link->Socket->Connect(FHostName, static_cast<uint16_t>(FPort), family, TDeadline::After(kConnectTimeout));
    // Packets are written whole; waiting for more bytes of our own would only add latency.
    link->Socket->SetNoDelay(true);
    // The second line behind the MQTT keep-alive (which the broker's settings or a keep-alive
    // of 0 can switch off): the kernel ends a connection whose peer is gone.
    link->Socket->SetDeadPeerDetection(kTcpKeepAliveIdle, kTcpKeepAliveInterval, kTcpKeepAliveProbes, kTcpUserTimeout);
  } catch (const std::exception& e) {
    TMqttLogHelper::Error(log, this, "Exception while connecting ...", &e);
    throw;
  }

  link->Up.store(true);
  uint64_t id = 0;
  {
    std::lock_guard lock(FLinkLock);
    id = link->Id = ++FLastConnectionId;
    FLink = link;
  }
  TMqttLogHelper::Info(log, this, "Connection opened");
  if (OnConnected) OnConnected(*this, id);
  TMqttLogHelper::Debug(log, this, link->Name + " - connected...");
}

void TMqttNetworkConnection::ReportDisconnected(const TLink& ALink) {
  TMqttLogger* log = FLog.load();
  TMqttLogHelper::Debug(log, this, ALink.Name + " - disconnected .. .");
  TMqttLogHelper::Info(log, this, "Connection closed by remote host");
  if (OnDisconnected) OnDisconnected(*this, ALink.Id);
}

void TMqttNetworkConnection::CloseLink(const std::shared_ptr<TLink>& ALink) {
  {
    std::lock_guard lock(FLinkLock);
    if (FLink == ALink) FLink.reset();
  }
  TMqttLogger* log = FLog.load();
  TMqttLogHelper::Info(log, this, "Disconnecting TCP Client");
  const bool wasUp = ALink->Up.exchange(false);
  if (wasUp) TMqttLogHelper::Debug(log, this, ALink->Name + " - disconnecting...");
  // Releases a reader or writer waiting in the socket and waits until they have left it.
  ALink->Socket->Close();
  if (wasUp) ReportDisconnected(*ALink);
}

void TMqttNetworkConnection::Close() {
  std::shared_ptr<TLink> link = CurrentLink();
  if (link) CloseLink(link);
}

void TMqttNetworkConnection::Close(uint64_t AConnectionId) {
  std::shared_ptr<TLink> link = CurrentLink();
  if (link && link->Id == AConnectionId) CloseLink(link);
}

bool TMqttNetworkConnection::HasData() { return WaitForData(TDeadline::Immediate()) == TMqttTransportWait::twData; }

TMqttTransportWait TMqttNetworkConnection::WaitForData(TDeadline ADeadline) {
  const auto link = CurrentLink();
  if (!link || !link->Up.load()) return TMqttTransportWait::twDown;
  if (FWakePending.exchange(false)) return TMqttTransportWait::twWoken;
  std::lock_guard readLock(FReadLock);
  TSocketWait wait = TSocketWait::swTimeout;
  try {
    wait = link->Socket->WaitForData(ADeadline);
  } catch (const std::exception&) {
    // A failed connection, or one shut down after a failed write (a Close in progress has
    // already taken the handling, so this reports nothing then).
    CloseLink(link);
    return TMqttTransportWait::twDown;
  }
  switch (wait) {
    case TSocketWait::swData: return TMqttTransportWait::twData;
    case TSocketWait::swTimeout: return TMqttTransportWait::twTimeout;
    case TSocketWait::swWoken: return TMqttTransportWait::twWoken;
    case TSocketWait::swClosed: break;
  }
  // The peer closed: the socket is shut and kept (Down) until Close or the next Open.
  if (link->Up.exchange(false)) {
    link->Socket->Shutdown();
    ReportDisconnected(*link);
  }
  return TMqttTransportWait::twDown;
}

void TMqttNetworkConnection::WakeReader() noexcept {
  try {
    // The socket keeps a wake until the next wait on it; without a socket the flag keeps it
    // for the next WaitForData.
    std::lock_guard lock(FLinkLock);
    if (FLink) {
      FLink->Socket->Wake();
    } else {
      FWakePending.store(true);
    }
  } catch (...) {
    FWakePending.store(true);  // only the lock can throw
  }
}

void TMqttNetworkConnection::Read(uint8_t& AByte) {
  const auto link = CurrentLink();
  if (!link || !link->Up.load()) return;
  std::lock_guard readLock(FReadLock);
  AByte = link->Socket->ReadByte(TDeadline::After(FReadTimeout.load()));
}

void TMqttNetworkConnection::Read(TMqttBytes& AData, std::size_t ALength, bool AAppend) {
  const auto link = CurrentLink();
  if (!link || !link->Up.load()) return;
  std::lock_guard readLock(FReadLock);
  FReadTimeout.store(kReadTimeout);
  TMqttBytes bytes(ALength);
  if (ALength > 0) link->Socket->ReadExact(bytes.data(), ALength, TDeadline::After(kReadTimeout));
  if (AAppend) {
    AData.insert(AData.end(), bytes.begin(), bytes.end());
  } else {
    AData = std::move(bytes);
  }
}

std::size_t TMqttNetworkConnection::ReadAvailable(uint8_t* AData, std::size_t ASize, uint64_t* AConnectionId) {
  const auto link = CurrentLink();
  if (!link || !link->Up.load() || ASize == 0) return 0;
  if (AConnectionId) *AConnectionId = link->Id;
  std::lock_guard readLock(FReadLock);
  if (ASize > 1) FReadTimeout.store(kReadTimeout);
  return link->Socket->ReadSome(AData, ASize, TDeadline::After(FReadTimeout.load()));
}

void TMqttNetworkConnection::Write(TMqttByteView AData) {
  const auto link = CurrentLink();
  if (!link || !link->Up.load()) return;
  std::lock_guard writeLock(FWriteLock);
  try {
    link->Socket->WriteAll(AData.data(), AData.size(), TDeadline::After(kWriteTimeout));
  } catch (const std::exception&) {
    // The stream may end inside a packet now; nothing more may follow on it.
    link->Socket->Shutdown();
    throw;
  }
}

void TMqttNetworkConnection::Shutdown() noexcept {
  try {
    if (const auto link = CurrentLink()) link->Socket->Shutdown();
  } catch (...) {
    // Only the lock can throw; there is nothing to shut down then.
  }
}

}  // namespace kestova
