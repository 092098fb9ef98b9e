// What a provider page monitors, for a console to label and configure it:
// classes of monitored objects, their sensors and each sensor's thresholds,
// every label given as a string id with optional substitutions. A page
// returns it from GetMetadata; ReplyWithMetadata sends it as XML:
//
//   <monitormetadata>
//     <monitoredclass>
//       <monitoredclasslabel><stringid>..</stringid>[<substitutions>..]</monitoredclasslabel>
//       <enable/> <disable/> [<interval/>] <monitoredsensor>...</monitoredsensor>...
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class XMLAccumulator;

using Substitutions = std::map<std::string, std::string>;

struct MonitoredThreshold {
  int32_t distancefromnominal = 0;
  std::string updateid;
  std::string stringid;
  Substitutions substitutions;
  void WriteXML(XMLAccumulator* xml) const;
};

struct MonitoredSensor {
  std::string stringid;
  std::string unitsid;
  std::string updatequalifier;
  int32_t minvalue = 0;
  int32_t maxvalue = 0;
  Substitutions substitutions;
  std::string interval;  // written only when not empty
  std::vector<MonitoredThreshold> thresholds;
  void WriteXML(XMLAccumulator* xml) const;
};

struct MonitoredClass {
  std::string stringid;
  std::string enable;
  std::string disable;
  std::string interval;  // written only when not empty
  Substitutions substitutions;
  std::vector<MonitoredSensor> sensors;
  void WriteXML(XMLAccumulator* xml) const;
};

class MonitorMetadata {
 public:
  virtual ~MonitorMetadata() = default;
  std::vector<MonitoredClass> classes;
  // Writes the "monitormetadata" element at the builder's current position.
  void WriteXML(XMLAccumulator* xml) const;
};
