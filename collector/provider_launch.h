// Launching a provider when the document client cannot reach it.
//
// The launch builds the provider's command line, consults the first-start
// function, starts the executable detached (platform/process.h) and waits up
// to 30 s for the provider's ready signal: the launcher holds the ready name
// "velmora.provider.accept.event.<port>" before the child starts, and the
// provider signals it once it listens. When the name is already held (a
// second launch of the same provider at the same moment), the launcher
// polls the provider's port instead. The wait also ends when the child has
// ended and no other launch of that port is under way. Its outcome is not
// reported: the caller's next connect attempts decide.
#pragma once

class CProviderCon;

// Returns -1 when refused because the system is shutting down, else 0.
int LaunchProvider(CProviderCon* con);

// Whether this start is the provider's first (the runtime's first-start
// function, skipped for a crash-recovery start).
bool DecideFirstStart(const CProviderCon& con);

// Installs LaunchProvider as the document client's start hook.
void InstallProviderLaunch();
