#include "services/schedule_command.h"

#include <cstdint>

#include "runtime/no_case.h"

uint32_t LeadingDecimal(const std::string& text) {
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > UINT32_MAX) return UINT32_MAX;
  }
  return static_cast<uint32_t>(value);
}

bool ScheduleCommand::Match(const QueryMap& query) {
  code_ = kNone;
  delay_ = 0;
  if (!QueryStringInterpretter::Match(query)) return false;
  static const struct {
    const char* word;
    Code code;
  } kCommands[] = {{"add", kAdd}, {"addrenew", kAddRenew}, {"del", kDel}, {"mod", kMod}};
  for (const auto& command : kCommands) {
    if (EqualsNoCase(Values()[0], command.word)) code_ = command.code;
  }
  if (code_ == kNone) return false;
  if (code_ == kDel) return true;
  delay_ = LeadingDecimal(Values()[3]);
  if (delay_ == 0) {
    code_ = kNone;
    return false;
  }
  return true;
}
