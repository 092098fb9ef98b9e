// A command to the wakeup scheduler, carried in the query string:
// cmd=add|addrenew|del|mod (any case) &page=P &cookie=C &delay=SECONDS.
// All four keys must be present for every command. For every command but
// "del" the delay is read as a decimal number (leading digits; the rest is
// ignored) and must not be 0.
#pragma once
#include <cstdint>
#include <string>

#include "pages/query_string_interpretter.h"

class ScheduleCommand : public QueryStringInterpretter {
 public:
  enum Code : uint32_t { kNone = 0, kAdd = 1, kAddRenew = 2, kDel = 3, kMod = 4 };

  ScheduleCommand() : QueryStringInterpretter({"cmd", "page", "cookie", "delay"}) {}

  // True when the keys are present, the command is known and, where it is
  // read, the delay is not 0.
  bool Match(const QueryMap& query) override;

  uint32_t CommandCode() const { return code_; }
  const std::string& Page() const { return Values()[1]; }
  const std::string& Cookie() const { return Values()[2]; }
  uint32_t Delay() const { return delay_; }

 private:
  uint32_t delay_ = 0;
  uint32_t code_ = kNone;
};

// The leading decimal digits of `text` as a number (0 without any);
// values past 32 bits stay at the largest one.
uint32_t LeadingDecimal(const std::string& text);
