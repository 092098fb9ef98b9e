// TableWriter: writes the flat "table" / "tr" / "td" documents some pages
// answer with, as plain text (no tree). Cell text and cell attributes are
// escaped with the attribute rules; the table's own type and attributes are
// written as given.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "xml/xml_node.h"

class TableWriter {
 public:
  enum State { kIdle = 0, kInTable = 1, kInRow = 2, kInCellText = 3, kInCellTag = 4 };

  // Both replace the output: "<table type="TYPE" >" or, with attributes,
  // "<table type="TYPE" NAME="VALUE" ... >", then a line feed.
  void BeginTable(std::string_view type);
  void BeginTable(std::string_view type, const XMLAttributeMap& attributes);
  void BeginRow();  // "\t<tr>"
  void EndRow();    // "</tr>\n"
  void EndTable();  // "</table>\n"

  // "<td>" + escaped text + "</td>".
  void Cell(std::string_view text);
  void Cell(const char* text) { Cell(std::string_view(text ? text : "")); }
  void Cell(unsigned long number);       // "%lu"
  void Cell(long number);                // "%ld"
  void Cell(unsigned number);            // "%u"
  void Cell(int number);                 // "%d"
  void Cell(double number);              // "%f"
  void Cell(unsigned long long number);  // "%llu"
  // A date given on the Windows file-time scale (100-ns ticks since
  // 1601-01-01 UTC), written in UTC as "yyyy-MM-dd HH:mm:ss".
  void CellDate(uint64_t fileTime);

  // A cell with attributes: OpenCell, any CellAttribute, CellText, CloseCell.
  void OpenCell();                                              // "\t<td "
  void CellAttribute(std::string_view name, std::string_view value);  // ` NAME="VALUE"`
  void CellText(std::string_view text);
  void CloseCell();  // " />\n" when no text was written, else "</td>\n"

  const std::string& Text() const { return out_; }
  size_t Length() const { return out_.size(); }
  State GetState() const { return state_; }

 private:
  std::string out_;
  State state_ = kIdle;
};
