#pragma once
// Every control packet class of the client.
#include "mqtt/connect_packets.h"
#include "mqtt/packet.h"
#include "mqtt/ping_packets.h"
#include "mqtt/publish_packets.h"
#include "mqtt/subscribe_packets.h"
