// Heartbeat registration with the collector. A provider asks the collector
// to heartbeat it while at least one of its visible pages has timers that
// call for it, and cancels when none has.
#pragma once
#include <cstdint>

// POSTs "/heartbeat/monitor?port=<port>[&interval=N][&cancel=1]" to the
// collector. True when it answered 200.
bool SendHeartbeatCommand(uint32_t intervalMinutes, bool cancel);

// Brings the registration in line with the pages' timers.
void UpdateHeartbeat();

// Run once at start-up for a provider: start tracking, then update.
void StartHeartbeatTracking();

// Run whenever a page's timers change: updates while tracking (never in
// the collector).
void RecheckHeartbeat();
