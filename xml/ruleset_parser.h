// RulesetParser: the managed ruleset files of the agent's alert directory,
// and the "alert_config" elements they hold, filed by alert id.
//
//   <ruleset managed="1">
//     <alert_configs>
//       <alert_id name="disk.full">
//         <alert_config monid="m1" name="n1">...</alert_config>
//       </alert_id>
//     </alert_configs>
//   </ruleset>
//
// A document is accepted only when it has a "ruleset" element whose
// attribute "managed" reads as the number 1. The parser owns the accepted
// documents; filing and lookups take the parser's own lock, so one parser
// may be shared between threads.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "xml/alert_config.h"
#include "xml/xml_node.h"

// The agent's root directory, with a trailing "/": VELMORA_AGENT_ROOT when
// set and not empty, else "/opt/velmora/shared/". False when the result would
// not fit kMaxAgentRootLength characters.
constexpr size_t kMaxAgentRootLength = 259;
bool AgentRootDirectory(std::string* root);
// The alert directory: agent root + "qrsroot/alert".
bool AlertDirectory(std::string* directory);

class RulesetParser {
 public:
  // With load set, adds every "*.ruleset.xml" of the alert directory (names
  // matched and sorted without regard to case); otherwise starts empty.
  explicit RulesetParser(bool load);
  RulesetParser(const RulesetParser&) = delete;
  RulesetParser& operator=(const RulesetParser&) = delete;

  // Parses the file (or the text, filed under an empty path) and adds it.
  // Returns the number of alert configurations filed.
  int AddFile(const std::string& path);
  int AddText(std::string_view text);
  // Keeps an accepted document and files its alert configurations; deletes
  // a rejected one. Returns the number filed.
  int AddRuleset(std::unique_ptr<XMLNode> document, const std::string& path);

  // Adds to *result the valid configurations filed under alertId, in order.
  void Lookup(const std::string& alertId, AlertConfigCollection* result) const;

  size_t RulesetCount() const;

 private:
  struct Ruleset {
    std::string path;
    std::unique_ptr<XMLNode> document;
  };

  mutable std::mutex lock_;
  std::vector<Ruleset> rulesets_;
  std::multimap<std::string, XMLNode*> byAlertId_;  // elements inside rulesets_
};
