// Commands carried in a query string: a set of required keys, all of which
// must be present for the query to match. Subclasses give the values their
// meaning (the external alarm command; the collector's schedule command).
#pragma once
#include <string>
#include <vector>

class QueryMap;

class QueryStringInterpretter {
 public:
  explicit QueryStringInterpretter(std::vector<std::string> requiredKeys) : keys_(std::move(requiredKeys)) {}
  virtual ~QueryStringInterpretter() = default;

  // True when every required key is present (keys compared exactly); the
  // values are then available in key order.
  virtual bool Match(const QueryMap& query);
  const std::vector<std::string>& Values() const { return values_; }

 private:
  std::vector<std::string> keys_;
  std::vector<std::string> values_;
};

// A wakeup delivered to "/extalarm": ?page=PATH&cookie=COOKIE.
class ExternalAlarmCommand : public QueryStringInterpretter {
 public:
  ExternalAlarmCommand() : QueryStringInterpretter({"page", "cookie"}) {}
  const std::string& Page() const { return Values()[0]; }
  const std::string& Cookie() const { return Values()[1]; }
};
