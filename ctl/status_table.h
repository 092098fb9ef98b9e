// The collector's documents as tables: rows of cells read from "/inventory",
// "/extschedule" and "/collector/stats", and the aligned text they print as.
// Pure functions of their input, apart from the process probe the caller
// hands to the inventory reader.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

using TableRow = std::vector<std::string>;

// Columns padded to the widest cell, two blanks apart, the last one not
// padded; one line per row. Blanks inside a cell become "_" and an empty
// cell is "-", so that every line splits into the same fields.
std::string FormatTable(const std::vector<TableRow>& rows);

// Tells whether a provider (its last reported pid, its port) still runs.
using ProviderRuns = std::function<bool(const std::string& pid, const std::string& port)>;

// The status list: a header row, then per provider element, in document
// order, its name, port (from start_options), state, lastpid and response.
// A "ready" provider with a reported pid that `runs` says no longer runs
// shows state "stopped". False (with *error) when the text is no status list.
bool InventoryRows(std::string_view xml, const ProviderRuns& runs, std::vector<TableRow>* rows,
                   std::string* error);

// The wakeup list: a header row, then per TIMER element its page, cookie,
// interval, remains and renews.
bool ScheduleRows(std::string_view xml, std::vector<TableRow>* rows, std::string* error);

// Any statistics document as name/value rows (no header): every element
// without child elements is one row named by its path below the root,
// parts joined by "."; an element with a "name" attribute is named by that
// value. A text that is itself an XML document (a provider's statistics)
// is read the same way below its element's name.
bool StatsRows(std::string_view xml, std::vector<TableRow>* rows, std::string* error);
