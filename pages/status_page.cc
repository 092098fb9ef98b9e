#include "pages/status_page.h"

#include <cstdio>
#include <string>

#include "platform/process_info.h"
#include "runtime/local_request.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/process_globals.h"
#include "runtime/response_writer.h"
#include "runtime/start_thread.h"
#include "xml/xml_accumulator.h"

int StatusPage::Get(IOBase* io, const char*, const char*, const char* const*, const char* const*, int, int) {
  XMLAccumulator xml;
  xml.OpenElement("status");
  xml.AddAttribute("provdown", "1");
  xml.CloseElement();
  std::string body;
  xml.GetXML(&body, 1);
  SendResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  return 200;
}

int StatusPage::Post(IOBase* io, const char*, const char*, const char* const*, const char* const*, int mode, int) {
  if (mode == 3) {
    TheServer().signals.shutdownRequested = 1;
    SendResponse(io, kStatus200, nullptr, 0, nullptr, nullptr);
    return 200;
  }
  SendResponse(io, kStatus405, nullptr, 0, nullptr, nullptr);
  return 405;
}

void StatusPage::MonitorNow(uint32_t count, const std::string* itemIds) {
  for (uint32_t i = 0; i < count; ++i)
    if (itemIds[i] == "pid_timer") StartThread(SendPIDMessage, "SendPIDMessage");
}

void StatusPage::SendPIDMessage() {
  char pid[24];
  snprintf(pid, sizeof pid, "%lu", static_cast<unsigned long>(platform::ProcessId()));
  Log(128, "StatusPage::SendPIDMessage\n");
  std::string target = std::string("/inventory") + "?" + "file" + "=" + Globals().applicationName + "&" + "pid" +
                       "=" + pid;
  int status = RequestCollectorDocument("post", target, "", 10, nullptr);
  if (status == 200)
    Log(128, "SendPIDMessage gets collector response HTTP_OK\n");
  else
    Log(128, "SendPIDMessage gets collector response %d (not ok)\n", status);
}
