#include "mqtt/client_session.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "mqtt/packets.h"
#include "tests/support/hex.h"

namespace kestova {
namespace {

using namespace std::chrono_literals;
using test::ByteVector;
using test::HexBytes;

std::unique_ptr<TQueuedOutPacket> Entry(uint16_t AId, TMqttQoS AQos = TMqttQoS::qosAtLeastOnce) {
  return std::make_unique<TQueuedOutPacket>(AId, AQos, TMqttPacketType::mtPUBLISH, HexBytes("32 00"));
}

// A writer stand-in: runs one pass, asks AKeep for each entry whether it goes back in flight,
// and returns the identifiers in the order the pass handed them out. A pass that does not end
// within 100 entries is a fault (the pass must never circle).
std::vector<uint16_t> Pass(TMqttClientSession& ASession, const std::function<bool(uint16_t)>& AKeep) {
  std::vector<uint16_t> order;
  ASession.StartOutgoingPacketsCycle();
  while (auto entry = ASession.GetNextInFlightPacket()) {
    order.push_back(entry->PacketId());
    if (order.size() > 100) break;
    if (AKeep(entry->PacketId())) ASession.WaitForAcknowledge(std::move(entry));
  }
  return order;
}

const auto kKeepAll = [](uint16_t) { return true; };

TEST(ClientSession, IdentifiersRunFromOneAndWrapToOne) {
  TMqttClientSession session;
  EXPECT_EQ(session.GetNextPacketId(), 1);
  EXPECT_EQ(session.GetNextPacketId(), 2);
  for (int i = 3; i < 65535; ++i) session.GetNextPacketId();
  EXPECT_EQ(session.GetNextPacketId(), 65535);
  // After the wrap, identifiers still waiting for their acknowledgement (in flight or queued)
  // are skipped; 0 never comes, and our acknowledgements of the broker's identifiers (QoS 0
  // entries) do not count.
  session.WaitForAcknowledge(Entry(1));
  session.QueueOutgoingPacket(Entry(2, TMqttQoS::qosExactlyOnce));
  session.QueueOutgoingPacket(Entry(3, TMqttQoS::qosAtMostOnce));
  EXPECT_EQ(session.GetNextPacketId(), 3);
  EXPECT_EQ(session.GetNextPacketId(), 4);
  EXPECT_TRUE(session.IsPacketIdInUse(1));
  EXPECT_FALSE(session.IsPacketIdInUse(3));
}

TEST(ClientSession, ACleanSessionDropsWhatTheLastOneLeftAndANewConnectionItsRequests) {
  TMqttClientSession session;
  session.WaitForAcknowledge(Entry(2));
  session.MarkAsAcknowledged(2, TMqttPacketType::mtPUBLISH);
  session.MarkAsAcknowledged(3, TMqttPacketType::mtPUBREC);
  session.MarkAsAcknowledged(4, TMqttPacketType::mtPUBREL);
  session.AddSubscriptionRequest(std::make_unique<TMqttRequestedSubscription>(TMqttRequestedSubscription{5, {"a"}}));
  EXPECT_TRUE(session.AwaitPubRel(9));
  EXPECT_FALSE(session.AwaitPubRel(9)) << "a repetition of a message that waits for its PUBREL";
  session.DropSessionState();
  EXPECT_FALSE(session.HasInflightPackets());
  EXPECT_FALSE(session.IsAcknowlegded(2, TMqttPacketType::mtPUBLISH, false));
  EXPECT_FALSE(session.IsAcknowlegded(3, TMqttPacketType::mtPUBREC, false));
  EXPECT_FALSE(session.IsAcknowlegded(4, TMqttPacketType::mtPUBREL, false));
  EXPECT_TRUE(session.RequestedSubscriptions().empty());
  EXPECT_TRUE(session.AwaitPubRel(9));
  session.ReleasePubRel(9);
  EXPECT_TRUE(session.AwaitPubRel(9));

  // Packets carry the number of the connection they were queued for; a new connection forgets
  // the SUBSCRIBE requests of the old one.
  session.BeginConnection();
  session.QueueOutgoingPacket(Entry(6));
  session.AddSubscriptionRequest(std::make_unique<TMqttRequestedSubscription>(TMqttRequestedSubscription{7, {"b"}}));
  session.BeginConnection();
  EXPECT_EQ(session.ConnectionNumber(), 2u);
  EXPECT_TRUE(session.RequestedSubscriptions().empty());
  EXPECT_EQ(session.GetNextOutGoingPacket()->QueuedForConnection(), 1u);
}

TEST(ClientSession, AcknowledgementListsByTypeAndOneRemovalPerCheck) {
  struct TCase {
    TMqttPacketType Marked;
    TMqttPacketType Checked;
    bool Found;
  };
  // PUBREC and PUBREL have their own lists; every other type shares one.
  const TCase cases[] = {
      {TMqttPacketType::mtPUBLISH, TMqttPacketType::mtPUBLISH, true},
      {TMqttPacketType::mtSUBSCRIBE, TMqttPacketType::mtPUBLISH, true},
      {TMqttPacketType::mtUNSUBSCRIBE, TMqttPacketType::mtCONNECT, true},
      {TMqttPacketType::mtPUBREC, TMqttPacketType::mtPUBREC, true},
      {TMqttPacketType::mtPUBREL, TMqttPacketType::mtPUBREL, true},
      {TMqttPacketType::mtPUBREC, TMqttPacketType::mtPUBLISH, false},
      {TMqttPacketType::mtPUBREL, TMqttPacketType::mtPUBREC, false},
      {TMqttPacketType::mtPUBLISH, TMqttPacketType::mtPUBREL, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(MqttPacketTypeName(c.Marked)) + " checked as " +
                 std::string(MqttPacketTypeName(c.Checked)));
    TMqttClientSession session;
    session.MarkAsAcknowledged(5, c.Marked);
    EXPECT_EQ(session.IsAcknowlegded(5, c.Checked, true), c.Found);
    EXPECT_FALSE(session.IsAcknowlegded(6, c.Marked, false));
  }

  TMqttClientSession session;
  session.MarkAsAcknowledged(5, TMqttPacketType::mtPUBLISH);
  session.MarkAsAcknowledged(5, TMqttPacketType::mtPUBLISH);
  EXPECT_TRUE(session.IsAcknowlegded(5, TMqttPacketType::mtPUBLISH, false));
  EXPECT_TRUE(session.IsAcknowlegded(5, TMqttPacketType::mtPUBLISH, true));
  EXPECT_TRUE(session.IsAcknowlegded(5, TMqttPacketType::mtPUBLISH, true));
  EXPECT_FALSE(session.IsAcknowlegded(5, TMqttPacketType::mtPUBLISH, true));
}

TEST(ClientSession, UncheckedAcknowledgementsAreBounded) {
  TMqttClientSession session;
  session.MarkAsAcknowledged(0, TMqttPacketType::mtCONNECT);  // nobody ever checks this one
  for (int i = 0; i < TMqttClientSession::kMaxAcknowledgements; ++i)
    session.MarkAsAcknowledged(7, TMqttPacketType::mtPUBLISH);
  EXPECT_FALSE(session.IsAcknowlegded(0, TMqttPacketType::mtCONNECT, false));
  int sevens = 0;
  while (session.IsAcknowlegded(7, TMqttPacketType::mtPUBLISH, true)) ++sevens;
  EXPECT_EQ(sevens, TMqttClientSession::kMaxAcknowledgements);
}

TEST(ClientSession, PassVisitsInFlightEntriesOnceThenTakesNewOnes) {
  TMqttClientSession session;
  session.WaitForAcknowledge(Entry(1));
  session.WaitForAcknowledge(Entry(2));
  session.QueueOutgoingPacket(Entry(3));
  session.QueueOutgoingPacket(Entry(4, TMqttQoS::qosAtMostOnce));
  // 3 is sent and put in flight during the pass; it is not visited again until the next pass.
  EXPECT_EQ(Pass(session, [](uint16_t AId) { return AId != 4; }), (std::vector<uint16_t>{1, 2, 3, 4}));
  EXPECT_EQ(Pass(session, kKeepAll), (std::vector<uint16_t>{1, 2, 3}));
  EXPECT_FALSE(session.HasOutgoingPackets());
}

TEST(ClientSession, PassGoesOnWhenItsFirstEntryIsAcknowledged) {
  TMqttClientSession session;
  session.WaitForAcknowledge(Entry(1));
  session.WaitForAcknowledge(Entry(2));
  session.QueueOutgoingPacket(Entry(3));
  // 1 opens the pass and leaves the list (acknowledged): 2 is still visited once, then 3 is taken.
  EXPECT_EQ(Pass(session, [](uint16_t AId) { return AId != 1; }), (std::vector<uint16_t>{1, 2, 3}));
  EXPECT_EQ(Pass(session, kKeepAll), (std::vector<uint16_t>{2, 3}));

  // An acknowledgement that arrives while the pass runs ends the entry at its next visit.
  session.StartOutgoingPacketsCycle();
  auto first = session.GetNextInFlightPacket();
  ASSERT_EQ(first->PacketId(), 2);
  session.WaitForAcknowledge(std::move(first));
  session.MarkAsAcknowledged(2, TMqttPacketType::mtPUBLISH);
  EXPECT_EQ(session.GetNextInFlightPacket()->PacketId(), 3);
  EXPECT_EQ(session.GetNextInFlightPacket(), nullptr);
}

TEST(ClientSession, PassWithDuplicateIdentifiersInFlightVisitsEach) {
  // A QoS 2 PUBLISH and its PUBREL share an identifier while both wait in flight.
  TMqttClientSession session;
  session.WaitForAcknowledge(Entry(9));
  session.WaitForAcknowledge(Entry(9));
  session.WaitForAcknowledge(Entry(10));
  EXPECT_EQ(Pass(session, kKeepAll), (std::vector<uint16_t>{9, 9, 10}));
}

TEST(ClientSession, FullInFlightWindowHoldsBackNewPackets) {
  TMqttClientSession session;
  for (uint16_t id = 1; id <= 10; ++id) session.WaitForAcknowledge(Entry(id));
  session.QueueOutgoingPacket(Entry(11));
  EXPECT_EQ(Pass(session, kKeepAll).size(), 10u);
  EXPECT_TRUE(session.HasOutgoingPackets());
  // One leaves the window: the waiting packet goes out in the same pass.
  const auto order = Pass(session, [](uint16_t AId) { return AId != 4; });
  EXPECT_EQ(order.size(), 11u);
  EXPECT_EQ(order.back(), 11);
  EXPECT_FALSE(session.HasOutgoingPackets());

  session.SetInFlightWindow(20);
  for (uint16_t id = 12; id <= 25; ++id) session.QueueOutgoingPacket(Entry(id));
  EXPECT_EQ(Pass(session, kKeepAll).size(), 10u + 10u);  // 10 visited, then new ones up to 20 in flight
}

TEST(ClientSession, SubscriptionRequestsFoundAndRemovedByIdentifier) {
  TMqttClientSession session;
  session.AddSubscriptionRequest(std::make_unique<TMqttRequestedSubscription>(TMqttRequestedSubscription{3, {"a"}}));
  session.AddSubscriptionRequest(
      std::make_unique<TMqttRequestedSubscription>(TMqttRequestedSubscription{4, {"b", "c"}}));
  session.AddSubscriptionRequest(std::make_unique<TMqttRequestedSubscription>(TMqttRequestedSubscription{3, {"d"}}));

  EXPECT_EQ(session.GetSubscriptionRequest(9), nullptr);
  EXPECT_EQ(session.RequestedSubscriptions().size(), 3u);

  const auto request = session.GetSubscriptionRequest(3);
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(request->Topics, (TMqttStringArray{"a"}));
  ASSERT_EQ(session.RequestedSubscriptions().size(), 2u);
  EXPECT_EQ(session.RequestedSubscriptions()[0]->PacketId, 4);
  EXPECT_EQ(session.RequestedSubscriptions()[1]->Topics, (TMqttStringArray{"d"}));
}

TEST(ClientSession, ClearDropsOnlyTheQueues) {
  TMqttClientSession session;
  session.GetNextPacketId();
  session.QueueOutgoingPacket(Entry(1));
  session.AddIncomingPacket(0xD0, {});
  session.WaitForAcknowledge(Entry(2));
  session.MarkAsAcknowledged(2, TMqttPacketType::mtPUBLISH);
  session.AddSubscriptionRequest(std::make_unique<TMqttRequestedSubscription>(TMqttRequestedSubscription{2, {"a"}}));
  session.Clear();
  EXPECT_FALSE(session.HasOutgoingPackets());
  EXPECT_FALSE(session.HasIncomingPackets());
  EXPECT_TRUE(session.HasInflightPackets());
  EXPECT_TRUE(session.IsAcknowlegded(2, TMqttPacketType::mtPUBLISH, false));
  EXPECT_EQ(session.RequestedSubscriptions().size(), 1u);
  EXPECT_EQ(session.GetNextPacketId(), 2);
}

TEST(ClientSession, IncomingPacketsInArrivalOrder) {
  TMqttClientSession session;
  EXPECT_EQ(session.GetNextIncomingPacket(), nullptr);
  session.AddIncomingPacket(0x30, HexBytes("00 01 74"));
  session.AddIncomingPacket(0xD0, {});
  auto first = session.GetNextIncomingPacket();
  EXPECT_EQ(first->FirstByte(), 0x30);
  EXPECT_EQ(first->Buffer(), HexBytes("00 01 74"));
  EXPECT_EQ(session.GetNextIncomingPacket()->FirstByte(), 0xD0);
  EXPECT_FALSE(session.HasIncomingPackets());
}

TEST(QueuedOutPacket, TakesItsFieldsFromThePacketAndMarksRepeatedPublishes) {
  const TQueuedOutPacket subscribe(TMqttSubscribePacket(7, {"a"}, {TMqttQoS::qosAtMostOnce}));
  EXPECT_EQ(subscribe.PacketId(), 7);
  EXPECT_EQ(subscribe.Qos(), TMqttQoS::qosAtLeastOnce);  // from the fixed header's 0010
  EXPECT_EQ(subscribe.PacketType(), TMqttPacketType::mtSUBSCRIBE);
  EXPECT_EQ(subscribe.Attempt(), 0);
  EXPECT_EQ(subscribe.LastAttempt(), TMqttDateTime{});

  TQueuedOutPacket publish(TMqttPublishPacket(5, "t", ByteVector("x"), TMqttQoS::qosAtLeastOnce, true));
  const TMqttDateTime at = TMqttClock::now();
  publish.RegisterAttempt(at);
  EXPECT_EQ(publish.Attempt(), 1);
  EXPECT_EQ(publish.LastAttempt(), at);
  EXPECT_EQ(publish.Packet()[0], 0x3B);  // DUP set for every repetition
  EXPECT_EQ(publish.Packet().size(), 8u);

  TQueuedOutPacket pubRel(TMqttPubRelPacket(5));
  pubRel.RegisterAttempt();
  EXPECT_EQ(pubRel.Packet()[0], 0x62);
}

TEST(ClientSession, NextInFlightDueIsTheEarliestRetry) {
  TMqttClientSession session;
  EXPECT_EQ(session.NextInFlightDue(10s), TMqttDateTime::max());
  const TMqttDateTime now = TMqttClock::now();
  auto late = Entry(1);
  late->RegisterAttempt(now);
  auto early = Entry(2);
  early->RegisterAttempt(now - 4s);
  session.WaitForAcknowledge(std::move(late));
  session.WaitForAcknowledge(std::move(early));
  EXPECT_EQ(session.NextInFlightDue(10s), now + 6s);
}

TEST(ClientSession, WriterWaitIsSignalledNotPolled) {
  TMqttClientSession session;
  // Nothing to do: the wait runs to its deadline.
  EXPECT_FALSE(session.WaitForWriterWork(TMqttClock::now() + 20ms));
  // Work queued before the wait is not lost.
  session.QueueOutgoingPacket(Entry(1));
  EXPECT_TRUE(session.WaitForWriterWork(TMqttClock::now() + 5s));
  EXPECT_FALSE(session.WaitForWriterWork(TMqttClock::now() + 1ms));

  // Woken from another thread, also with no deadline at all.
  std::thread marker([&] {
    std::this_thread::sleep_for(20ms);
    session.MarkAsAcknowledged(1, TMqttPacketType::mtPUBLISH);
  });
  const auto started = TMqttClock::now();
  EXPECT_TRUE(session.WaitForWriterWork(TMqttDateTime::max()));
  EXPECT_LT(TMqttClock::now() - started, 5s);
  marker.join();
}

TEST(ClientSession, MainReaderAndWriterThreadsShareIt) {
  // The client's threads at once: the main thread queues packets and takes received ones, a
  // reader adds received packets, a writer blocks for work and sends what it is given in order.
  constexpr int kPackets = 2000;
  TMqttClientSession session;
  std::vector<uint16_t> sent;
  std::thread writer([&] {
    while (sent.size() < static_cast<std::size_t>(kPackets)) {
      // A wait that times out with nothing queued means the signal was lost: give up.
      if (!session.WaitForWriterWork(TMqttClock::now() + 5s) && !session.HasOutgoingPackets()) break;
      session.StartOutgoingPacketsCycle();
      while (auto entry = session.GetNextInFlightPacket()) {
        sent.push_back(entry->PacketId());
        session.SetLastWriteCommunicationTime(TMqttClock::now());
      }
    }
  });
  std::thread reader([&] {
    for (int i = 0; i < kPackets; ++i) session.AddIncomingPacket(0x40, HexBytes("00 01"));
  });
  int received = 0;
  for (int i = 1; i <= kPackets; ++i) {
    session.QueueOutgoingPacket(Entry(static_cast<uint16_t>(i), TMqttQoS::qosAtMostOnce));
    while (auto packet = session.GetNextIncomingPacket()) ++received;
  }
  reader.join();
  while (session.GetNextIncomingPacket()) ++received;
  writer.join();

  EXPECT_EQ(received, kPackets);
  ASSERT_EQ(sent.size(), static_cast<std::size_t>(kPackets));
  for (int i = 0; i < kPackets; ++i) ASSERT_EQ(sent[static_cast<std::size_t>(i)], i + 1);
  EXPECT_NE(session.LastWriteCommunicationTime(), TMqttDateTime{});
}

}  // namespace
}  // namespace kestova
