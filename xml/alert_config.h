// Alert configurations: the settings of one monitored alert, read from the
// "alert_config" elements of managed ruleset files (see ruleset_parser.h)
// and passed between processes as XML text.
//
//   <alert_config monid="m" name="n">
//     <alert-id>a</alert-id><interval>60</interval>
//     <instances><instance>C:</instance></instances>
//     <thresholds><threshold><severity>2</severity><set>90</set><reset>80</reset></threshold></thresholds>
//     <provider>...</provider>
//   </alert_config>
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class XMLNode;

struct ThresholdSpecification {
  int32_t severity = 0;
  std::string set;
  std::string reset;  // equal to set when the element gives none

  // Ordered by severity, then set, then reset.
  auto operator<=>(const ThresholdSpecification&) const = default;
};

class AlertConfig {
 public:
  // Builds a configuration from an "alert_config" element filed under `id`.
  // One without the element name or the attributes "monid" and "name" is
  // returned empty and invalid.
  static AlertConfig AlertConfig_Factory(XMLNode* element, const std::string& id);

  bool IsValid() const { return valid_; }

  // The compact XML form (the id is not written).
  void Serialize(std::string* out) const;
  // The same, as a new element appended to parent.
  void AppendTo(XMLNode* parent) const;

  std::string id;       // the alert id it was filed under
  std::string monid;
  std::string name;
  std::string alertId;  // child "alert-id"
  uint32_t interval = 0;
  std::vector<std::string> instances;
  std::set<ThresholdSpecification> thresholds;
  std::string provider;  // the "provider" element as compact XML, or empty

 private:
  bool valid_ = false;
};

class AlertConfigCollection {
 public:
  void Add(AlertConfig config) { configs_.push_back(std::move(config)); }
  size_t Size() const { return configs_.size(); }
  bool Empty() const { return configs_.empty(); }
  const AlertConfig& operator[](size_t i) const { return configs_[i]; }
  void Clear() { configs_.clear(); }

  // "alert_config_collection" holding one "alert_config_collection_item" per
  // config, whose text is that config's serialized XML; compact.
  void SerializeToText(std::string* out) const;
  // The same root appended to parent, each item holding the config's XML as
  // a child element.
  void SerializeInto(XMLNode* parent) const;

  // Replaces the collection by the configs found in a text written by
  // SerializeToText; empty when the text is empty, does not parse or lacks
  // the collection root.
  void UnserializeFromXML(std::string_view text);
  // Adds the config serialized in text (its id becomes "id.will.be.replaced")
  // when it is valid.
  void UnserializeAnAlertConfig(std::string_view text);

 private:
  std::vector<AlertConfig> configs_;
};
