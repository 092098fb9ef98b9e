#include "runtime/unicorn.h"

#include "platform/named_event.h"
#include "runtime/log.h"

namespace {
platform::NamedEvent& UniqueEvent() {
  static platform::NamedEvent* event = new platform::NamedEvent;
  return *event;
}
}  // namespace

bool Unicorn::TheOne(const std::string& name) {
  // The platform counts as NT 5 or later, so the prefix is always used. The
  // "access denied" outcome of an open has no counterpart here.
  const std::string eventName = "Global\\" + name;
  platform::NamedEvent probe;
  if (probe.OpenExisting(eventName) == 0) {
    probe.Close();
    Log(1, "Unicorn::TheOne opened unique event; another [%s] is already running!\n", name.c_str());
    return false;
  }
  if (UniqueEvent().Create(eventName) != 0) {
    Log(1, "Unicorn::TheOne Failed to create unique event.\n");
    return false;
  }
  Log(8, "Unicorn::TheOne acquired unique event\n");
  return true;
}

void Unicorn::Release() { UniqueEvent().Close(); }
