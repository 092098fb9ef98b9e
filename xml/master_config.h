// The master monitoring configuration: one XML file in the module directory
// that names the configuration in force and holds per-monitoring-class
// settings. Every value is an element under the root element whose text is
// its attribute "value":
//
//   <masterconfig>
//     <identity><name value="base"/><time value="2026-12-01"/></identity>
//     <monitoring-classes>
//       <disk><interval value="300"/><serviceName0 value="svc"/></disk>
//     </monitoring-classes>
//   </masterconfig>
//
// The configuration is handled as a ConfigurationFile that the caller owns.
// Each getter returns true when the value is present and then sets its
// output; numeric getters leave the output alone when it is absent. Numbers
// are read as leading decimal digits.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "xml/configuration.h"
#include "xml/configuration_file.h"

inline constexpr char kMasterConfigFileName[] = "masterconfig.ruleset.monitor.xml";

// Opens the master configuration in `directory`: for update (held until a
// save, waiting up to 20 s) or for reading (waiting up to 5 s). The object is
// returned even when the open failed; its getters then answer false.
std::unique_ptr<ConfigurationFile> OpenMasterConfig(const std::string& directory, bool forUpdate);

// The whole configuration as compact text; false (and an empty text) when the
// file is missing, empty or does not parse.
bool ReadMasterConfigText(const std::string& directory, std::string* text);

// True when the text parses and its identity has both "name" and "time".
bool ValidateMasterConfigText(std::string_view text);

// Identity.
bool MasterConfigName(const Configuration& config, std::string* name);
bool MasterConfigDisplayName(const Configuration& config, std::string* displayName);
bool MasterConfigTime(const Configuration& config, std::string* time);
bool MasterConfigStatic(const Configuration& config, unsigned long* number);
// Answers true whenever "identity" exists; an absent "modified" reads false.
bool MasterConfigModified(const Configuration& config, bool* modified);
// Writes "1" to identity/modified, creating what is missing. False when the
// configuration has no document or borrows it.
bool SetMasterConfigModified(Configuration* config);

// Monitoring classes: the element named after the class under
// "monitoring-classes".
bool MasterConfigClassInterval(const Configuration& config, std::string_view className, unsigned long* interval);
bool MasterConfigClassEnabled(const Configuration& config, std::string_view className, bool* enabled);
bool MasterConfigClassWarningThreshold(const Configuration& config, std::string_view className,
                                       unsigned long* threshold);
bool MasterConfigClassCriticalThreshold(const Configuration& config, std::string_view className,
                                        unsigned long* threshold);
// "serviceName" and "os-log-filter" followed by the decimal index.
bool MasterConfigClassServiceName(const Configuration& config, std::string_view className, unsigned index,
                                  std::string* serviceName);
bool MasterConfigClassOsLogFilter(const Configuration& config, std::string_view className, unsigned index,
                                  std::string* filter);
