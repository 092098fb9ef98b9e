// The collector's shutdown state and the requests it sends to every
// provider: the shutdown request and the master-reconfiguration broadcast.
//
// The state is one process-wide flag, "shutdown initiated", set once and
// never cleared. Setting it also sets "system shutdown pending", which the
// launch, the heartbeat monitor and the scheduler read (from their own
// threads): from then on no provider is launched, heartbeated or woken (a
// request routed during the shutdown would otherwise start a provider that
// outlives the collector). The flag and the test-timer counter are atomic.
//
// Both senders work on private copies of the provider map's records and
// never hold its lock while they talk to a provider.
#pragma once
#include <cstdint>

class ProviderMap;

bool ShutdownInitiated();

// Sets the flag and "system shutdown pending", which is what stops
// launches, heartbeats and wakeups. True only for the call that set them.
bool MarkShutdownInitiated();

// Adds one to the test-timer counter and returns the new value.
uint32_t NextShutdownTestTick();

// Sends "POST /shutdown" to every provider of `map` not yet sent one, in
// name order, and marks every provider as sent; the others are only
// logged. Nothing is launched and no answer is read: a connection is at
// most a few hundred milliseconds and a 3-second send, so a provider that
// is stopped cannot hold the caller (the server loop).
void SendShutdownToProviders(ProviderMap& map);

// Posts " /extalarm?masterreconfig=1" to every provider of `map`, in name
// order, launching one that is not running, and waits for each answer (up
// to 10 s). Runs on a thread of its own.
void SendReconfigToProviders(ProviderMap& map);

// Installs the collector's shutdown (the inventory page's, or a plain
// shutdown signal when there is no inventory page) as the shutdown page's
// initiator and as the action of the first SIGTERM or SIGINT.
void InstallCollectorShutdown();
