#include "pages/heartbeat_page.h"

#include "runtime/log.h"
#include "runtime/response_writer.h"

int HeartbeatPage::Get(IOBase* io, const char*, const char*, const char* const*, const char* const*, int, int) {
  Log(4, "HeartbeatPage::Get\n");
  SendResponse(io, kStatus200, nullptr, 0, nullptr, nullptr);
  Log(8, "Heartbeat acknowledged\n");
  return 200;
}
