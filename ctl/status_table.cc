#include "ctl/status_table.h"

#include <algorithm>
#include <memory>

#include "xml/xml_node.h"

namespace {

std::string Cell(std::string text) {
  if (text.empty()) return "-";
  for (char& c : text)
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') c = '_';
  return text;
}

// The document's root element (the first element child of the document).
XMLNode* Parse(std::string_view xml, std::unique_ptr<XMLNode>* document, std::string* error) {
  const char* text = nullptr;
  if (XMLNode::Parse(xml, document, XMLNode::kDropWhitespaceText, &text, nullptr) != 0) {
    *error = std::string("the answer is not XML: ") + (text ? text : "");
    return nullptr;
  }
  for (XMLNode* child : (*document)->GetChildren())
    if (child->GetType() == XMLNode::kElement) return child;
  *error = "the answer has no root element";
  return nullptr;
}

std::string Attribute(XMLNode* node, std::string_view name) {
  XMLNode* attribute = nullptr;
  return node->FindAttribute(&attribute, name) == 0 && attribute != nullptr ? std::string(attribute->GetValue()) : std::string();
}

bool HasElementChildren(const XMLNode* node) {
  const auto& children = node->GetChildren();
  return std::any_of(children.begin(), children.end(),
                     [](const XMLNode* c) { return c->GetType() == XMLNode::kElement; });
}

void AddStatsRows(XMLNode* node, const std::string& prefix, std::vector<TableRow>* rows, int depth) {
  for (XMLNode* child : node->GetChildren()) {
    if (child->GetType() != XMLNode::kElement) continue;
    std::string name = Attribute(child, "name");
    if (name.empty()) name = child->GetName();
    const std::string path = prefix.empty() ? name : prefix + "." + name;
    if (HasElementChildren(child)) {
      AddStatsRows(child, path, rows, depth);
      continue;
    }
    const std::string value(child->GetValue());
    // A provider's own statistics document, carried as text.
    std::unique_ptr<XMLNode> inner;
    std::string ignored;
    XMLNode* root = nullptr;
    if (depth == 0 && value.find('<') != std::string::npos && (root = Parse(value, &inner, &ignored)) != nullptr) {
      AddStatsRows(root, path, rows, depth + 1);
      continue;
    }
    rows->push_back({path, value});
  }
}

}  // namespace

std::string FormatTable(const std::vector<TableRow>& rows) {
  std::vector<size_t> widths;
  for (const TableRow& row : rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Cell(row[i]).size());
  }
  std::string out;
  for (const TableRow& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      std::string cell = Cell(row[i]);
      out += cell;
      if (i + 1 < row.size()) out.append(widths[i] - cell.size() + 2, ' ');
    }
    out += '\n';
  }
  return out;
}

bool InventoryRows(std::string_view xml, const ProviderRuns& runs, std::vector<TableRow>* rows,
                   std::string* error) {
  std::unique_ptr<XMLNode> document;
  XMLNode* root = Parse(xml, &document, error);
  if (root == nullptr) return false;
  XMLNode* providers = nullptr;
  if (!XMLNamesEqual(root->GetName(), "collector-config") || root->FindChild(&providers, "providers") != 0) {
    *error = "the answer is not a provider status list";
    return false;
  }
  rows->push_back({"NAME", "PORT", "STATE", "PID", "RESPONSE"});
  for (XMLNode* provider : providers->GetChildren()) {
    if (provider->GetType() != XMLNode::kElement || !XMLNamesEqual(provider->GetName(), "provider")) continue;
    XMLNode* options = nullptr;
    std::string port = provider->FindChild(&options, "start_options") == 0 ? Attribute(options, "port") : "";
    std::string state = Attribute(provider, "state");
    std::string pid = Attribute(provider, "lastpid");
    if (state == "ready" && !pid.empty() && !runs(pid, port)) state = "stopped";
    rows->push_back({Attribute(provider, "name"), port, state, pid, Attribute(provider, "response")});
  }
  return true;
}

bool ScheduleRows(std::string_view xml, std::vector<TableRow>* rows, std::string* error) {
  std::unique_ptr<XMLNode> document;
  XMLNode* root = Parse(xml, &document, error);
  if (root == nullptr) return false;
  if (!XMLNamesEqual(root->GetName(), "TIMERS")) {
    *error = "the answer is not a wakeup list";
    return false;
  }
  rows->push_back({"PAGE", "COOKIE", "INTERVAL", "REMAINS", "RENEWS"});
  for (XMLNode* timer : root->GetChildren()) {
    if (timer->GetType() != XMLNode::kElement || !XMLNamesEqual(timer->GetName(), "TIMER")) continue;
    rows->push_back({Attribute(timer, "page"), Attribute(timer, "cookie"), Attribute(timer, "interval"),
                     Attribute(timer, "remains"), Attribute(timer, "renews")});
  }
  return true;
}

bool StatsRows(std::string_view xml, std::vector<TableRow>* rows, std::string* error) {
  std::unique_ptr<XMLNode> document;
  XMLNode* root = Parse(xml, &document, error);
  if (root == nullptr) return false;
  AddStatsRows(root, "", rows, 0);
  return true;
}
