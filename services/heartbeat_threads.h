// The heartbeat monitor's threads: one heartbeat to one provider, and one
// recovery launch. Each owns its copy of the provider's record and deletes
// it when it ends; neither touches the page that started it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class CProviderCon;

// How long a heartbeat (and a recovery's first answer) may wait for the
// answer's status line before it counts as failed. A hung provider (stopped
// or deadlocked) keeps accepting connections, so without this bound the
// heartbeat would wait the document client's 120 s per header byte and a
// hung provider would never be recovered.
constexpr int kHeartbeatAnswerSeconds = 30;
constexpr int kHeartbeatReadSeconds = 10;

// "/heartbeat/monitor?recover=1&target=<port>".
std::string RecoveryCommand(uint32_t port);

// Asks the provider for "/heartbeat" (never launching it). Any answer but
// 200 posts the recovery command for its port to the collector itself.
// When the answer timed out and `pid` is the provider's recorded process,
// that process is ended first (EndHungProvider), so that the relaunch finds
// its port free.
void SendHeartbeat(std::unique_ptr<CProviderCon> con, uint32_t pid);

// Asks the provider for "/heartbeat" with start-on-failure, so that a
// provider that is gone is launched again (flagged as a crash recovery).
void RecoveryLaunch(std::unique_ptr<CProviderCon> con);

// SIGKILLs `pid` only when it is a child of this process (its parent id is
// ours, checked right before the kill; ids <= 1 are refused) and waits a
// bounded time until it has been reaped. True when it was ended.
bool EndHungProvider(const char* name, uint32_t pid);
