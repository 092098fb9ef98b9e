#include "xml/table_writer.h"

#include <cstdio>
#include <string>

#include "platform/file_time.h"
#include "xml/escape.h"

void TableWriter::BeginTable(std::string_view type) {
  out_.assign("<table type=\"");
  out_.append(type);
  out_.append("\" >\n");
  state_ = kInTable;
}

void TableWriter::BeginTable(std::string_view type, const XMLAttributeMap& attributes) {
  out_.assign("<table type=\"");
  out_.append(type);
  out_.append("\" ");
  for (const auto& [name, value] : attributes) {
    out_.append(name);
    out_.append("=\"");
    out_.append(value);
    out_.append("\" ");
  }
  out_.append(">\n");
  state_ = kInTable;
}

void TableWriter::BeginRow() {
  out_.append("\t<tr>");
  state_ = kInRow;
}

void TableWriter::EndRow() {
  out_.append("</tr>\n");
  state_ = kInTable;
}

void TableWriter::EndTable() {
  out_.append("</table>\n");
  state_ = kIdle;
}

void TableWriter::Cell(std::string_view text) {
  out_.append("<td>");
  AppendEscaped(&out_, text, 0);
  out_.append("</td>");
}

void TableWriter::Cell(unsigned long number) { Cell(std::string_view(std::to_string(number))); }

void TableWriter::Cell(long number) { Cell(std::string_view(std::to_string(number))); }

void TableWriter::Cell(unsigned number) { Cell(std::string_view(std::to_string(number))); }

void TableWriter::Cell(int number) { Cell(std::string_view(std::to_string(number))); }

void TableWriter::Cell(double number) {
  char buf[512];  // "%f" of the largest double has over 300 digits
  snprintf(buf, sizeof buf, "%f", number);
  Cell(std::string_view(buf));
}

void TableWriter::Cell(unsigned long long number) { Cell(std::string_view(std::to_string(number))); }

void TableWriter::CellDate(uint64_t fileTime) {
  platform::CalendarTime t = platform::CalendarFromFileTime(fileTime);
  char buf[64];
  snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  Cell(std::string_view(buf));
}

void TableWriter::OpenCell() {
  out_.append("\t<td ");
  state_ = kInCellTag;
}

void TableWriter::CellAttribute(std::string_view name, std::string_view value) {
  out_.append(" ");
  AppendEscaped(&out_, name, 0);
  out_.append("=\"");
  AppendEscaped(&out_, value, 0);
  out_.append("\"");
}

void TableWriter::CellText(std::string_view text) {
  if (state_ == kInCellTag) {
    out_.append(">");
    state_ = kInCellText;
  }
  AppendEscaped(&out_, text, 0);
}

void TableWriter::CloseCell() {
  out_.append(state_ == kInCellTag ? " />\n" : "</td>\n");
  state_ = kInRow;
}
