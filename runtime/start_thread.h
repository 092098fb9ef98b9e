// Short detached helper threads (status reports, wakeup deliveries).
// They are counted, so that teardown can wait for them (bounded) instead
// of ending the process under them.
#pragma once
#include <cstdint>
#include <functional>

// Starts `function` on a detached thread. When the thread cannot be made,
// logs "Unable to create <typeName> thread" and reports nothing.
void StartThread(void (*function)(), const char* typeName);

// The same for a function with its own state; false (nothing logged) when
// the thread cannot be made, so that the caller reports it in its words.
bool TryStartThread(std::function<void()> function);

// Waits up to `timeoutMs` for every thread StartThread started to end.
// True when none is left.
bool WaitForDetachedThreads(uint32_t timeoutMs);
