// The collector's six pages, in registration order: inventory, scheduler,
// statistics, provider control, heartbeat monitor and metrics. Only
// "/extschedule" is hidden. The table lives here because its pages come from both the
// collector core and the services built on it.
#pragma once
#include <cstddef>

#include "collector/collector_setup.h"

constexpr size_t kCollectorPageCount = 6;
extern const CollectorPageRow kCollectorPages[kCollectorPageCount];
