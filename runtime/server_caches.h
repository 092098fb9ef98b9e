// The two shared objects the server record holds for the page framework:
// the cached master configuration and the ruleset object. The runtime only
// owns and releases them; the page framework, which can parse the master
// configuration and the rulesets, derives the real objects from these.
#pragma once

class MasterConfigCache {
 public:
  virtual ~MasterConfigCache() = default;
};

class RulesetCache {
 public:
  virtual ~RulesetCache() = default;
};
