#pragma once
// Waiting in a test whose thread is the main thread of the hand-over: the thread keeps running
// the tasks the workers hand over while it waits, and sleeps on the hand-over's wake-up (and an
// optional event of the test's own) instead of in a fixed sleep.
#include <chrono>
#include <functional>

#include "platform/wake_event.h"

namespace kestova::test {

// Runs the main thread's tasks until `done` holds or `timeout` passed; returns done(). A poll
// cap covers conditions that change without a task or an event (a peer closing a socket, say).
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10),
               TWakeEvent* alsoWakeOn = nullptr);

}  // namespace kestova::test
