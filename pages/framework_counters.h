// Process-wide counters the page framework keeps for the statistics page.
#pragma once
#include <atomic>
#include <cstdint>

// Timer items that fell due and were handed to MonitorNow.
std::atomic<uint32_t>& TimersServicedCounter();
// Scheduler wakeups the external-alarm page forwarded to pages.
std::atomic<uint32_t>& ExternalWakeupsCounter();
