// Short detached helper threads (status reports, wakeup deliveries).
// They are counted, so that teardown can wait for them (bounded) instead
// of ending the process under them.
#pragma once
#include <cstdint>

// Starts `function` on a detached thread. When the thread cannot be made,
// logs "Unable to create <typeName> thread" and reports nothing.
void StartThread(void (*function)(), const char* typeName);

// Waits up to `timeoutMs` for every thread StartThread started to end.
// True when none is left.
bool WaitForDetachedThreads(uint32_t timeoutMs);
