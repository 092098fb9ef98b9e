// "/schedule": the schedule state of the whole server, the highest of its
// pages' states: inactive, wakeme (with the largest wake value among the
// pages that made it wakeme) or resident.
#pragma once
#include "pages/monitor_page.h"

class SchedulePage : public MonitorPage {
 public:
  SchedulePage() : MonitorPage("/schedule", true) {}
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
};
