// PageStats: how often and how long each page path was requested, kept in a
// file next to the executable (the first command-line word + ".pagestats")
// that every timed request reads and rewrites whole under its exclusive
// open, so that the threads and processes of one executable add up.
//
// File form (a configuration file, written compact): one section per request
// path, each holding a section "get" and a section "post" with the keys
// "count" and "sum" (milliseconds).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>

class Configuration;
class XMLAccumulator;
class XMLNode;

class PageStats {
 public:
  struct Timings {
    uint32_t count = 0;
    uint32_t sum = 0;  // milliseconds
  };
  struct Entry {
    Timings get;
    Timings post;
  };

  PageStats() = default;
  // A table over the given ".pagestats" file.
  explicit PageStats(std::string file) : file_(std::move(file)) {}
  virtual ~PageStats();

  // Names the file after the executable's path (".pagestats" appended).
  void SetFile(const std::string& executablePath);
  const std::string& File() const { return file_; }

  // Adds one request to the file: waits up to 20 s for the exclusive open
  // (records nothing when that fails), loads the whole table, adds the
  // request to its path's GET or POST pair and saves every entry compact.
  // A file that does not parse counts as empty and is replaced.
  void RecordRequest(const char* path, bool isPost, uint32_t milliseconds);

  // Replaces the table by the sections directly under `parent` (missing
  // keys read as 0; the first section of a name counts).
  void Load(const Configuration& file, XMLNode* parent);
  // Sets every entry's keys under `parent`, creating sections as needed.
  void Save(Configuration* file, XMLNode* parent) const;
  // Reads the file (waiting up to 5 s; nothing when it cannot be opened)
  // and adds, per path in order, <page name=PATH><get><count/><sum/><avg/>
  // </get><post>...</post></page>; avg = sum / count rounded down, 0 when
  // the count is 0. Leaves this object's table alone.
  void WriteXML(XMLAccumulator* xml) const;

  const std::map<std::string, Entry>& Entries() const { return entries_; }

 private:
  std::string file_;
  std::map<std::string, Entry> entries_;
};

// The process's page statistics; its file is set at start-up with -g.
PageStats& ThePageStats();

// The request timer the dispatcher calls with -g: records the request in the
// process's file through a fresh PageStats.
void RecordPageRequest(const char* path, bool isPost, uint32_t milliseconds);
