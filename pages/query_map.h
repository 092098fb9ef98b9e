// Reading a query string: "a=1&b=x%20y" as a map of decoded keys to values.
// Pieces are split at "&" (runs of "&" give no empty pieces), URL-decoded
// ("+" is a blank, "%" and two hexadecimal digits that byte), then split at
// their first "="; a piece without "=" is ignored and a later piece with the
// same key replaces an earlier one. Keys are compared exactly.
#pragma once
#include <map>
#include <string>

class QueryMap {
 public:
  explicit QueryMap(const char* query);
  bool Has(const std::string& key) const { return values_.count(key) != 0; }
  // The value, or an empty text when the key is missing.
  std::string Get(const std::string& key) const;
  size_t Size() const { return values_.size(); }

 private:
  std::map<std::string, std::string> values_;
};
