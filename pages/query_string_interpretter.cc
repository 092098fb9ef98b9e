#include "pages/query_string_interpretter.h"

#include "pages/query_map.h"

bool QueryStringInterpretter::Match(const QueryMap& query) {
  values_.clear();
  for (const std::string& key : keys_) {
    if (!query.Has(key)) {
      values_.clear();
      return false;
    }
    values_.push_back(query.Get(key));
  }
  return true;
}
