#include "pages/schedule_page.h"

#include <algorithm>

#include "runtime/monitor_server.h"
#include "runtime/response_writer.h"
#include "xml/table_writer.h"

int SchedulePage::Get(IOBase* io, const char*, const char*, const char* const*, const char* const*, int, int) {
  uint32_t state = 0;
  uint32_t wake = 0;
  for (auto& [path, page] : TheServer().pages) {
    auto* monitorPage = dynamic_cast<MonitorPage*>(page.get());
    if (monitorPage == nullptr) continue;
    uint32_t value = 0;
    state = std::max(state, monitorPage->GetScheduleState(&value));
    if (state == 1) wake = std::max(wake, value);
  }
  TableWriter table;
  table.BeginTable("schedule");
  table.BeginRow();
  table.Cell(state == 1 ? "wakeme" : state == 2 ? "resident" : "inactive");
  table.Cell(wake);
  table.EndRow();
  table.EndTable();
  const std::string& body = table.Text();
  SendResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  return 200;
}
