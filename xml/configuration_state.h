// State functions: small persistent records kept in a configuration file,
// each call opening, changing and saving the file by itself (reads wait up to
// 5 seconds for the file, writes up to 20).
//
//   <section name="state">
//     <section name="configuration"><key name="last" value="N"/></section>
//     <section name="rules">
//       <section name="RULES"><key name="NUMBER" value="TEXT"/>...</section>
//     </section>
//   </section>
//
// Sections are created by writes, never by reads. A write to a file whose
// text did not parse starts a new document (the old text is kept as
// NAME + ".bad").
#pragma once
#include <string>
#include <string_view>
#include <vector>

// The number under state/configuration/last.
bool ReadLast(const std::string& path, unsigned long* last);
bool WriteLast(const std::string& path, unsigned long last);

// The text under state/rules/RULES/NUMBER (the number formatted "%d").
bool ReadRule(const std::string& path, std::string_view rulesName, int number, std::string* value);
bool WriteRule(const std::string& path, std::string_view rulesName, int number, std::string_view value);
bool RemoveRule(const std::string& path, std::string_view rulesName, int number);
// Removes the section state/rules/RULES.
bool RemoveRules(const std::string& path, std::string_view rulesName);
// The key names of state/rules/RULES, in file order.
bool ListRules(const std::string& path, std::string_view rulesName, std::vector<std::string>* names);
