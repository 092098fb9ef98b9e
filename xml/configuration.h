// Configuration: named keys grouped in named sections, over an XML document.
//
//   <section name="state">
//     <key name="last" value="12"/>
//   </section>
//
// "section" and "key" elements may sit at the top level and inside sections,
// in any order and to any depth. Section and key names are compared exactly
// (letter case counts); the element names and the attribute "name" are
// matched as XMLNode matches names. A parent argument is a section element or
// the document; a null parent makes every operation fail or find nothing.
//
// A borrowed document belongs to another object: it is read only and not
// freed.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xml/xml_node.h"

class Configuration {
 public:
  Configuration() = default;
  virtual ~Configuration();
  Configuration(const Configuration&) = delete;
  Configuration& operator=(const Configuration&) = delete;

  // The document (null when there is none); it stays this object's, or its
  // lender's when borrowed.
  XMLNode* GetRoot() const { return document_; }
  bool IsBorrowed() const { return borrowed_; }

  XMLNode* FindSection(XMLNode* parent, std::string_view name) const;
  // Appends a new section; null when borrowed or parent is null.
  XMLNode* CreateSection(XMLNode* parent, std::string_view name);
  // FindSection, else (when create) CreateSection with *created = true.
  XMLNode* GetSection(XMLNode* parent, std::string_view name, bool create, bool* created = nullptr);

  XMLNode* FindKey(XMLNode* parent, std::string_view name) const;
  // Replaces the key's value, or appends a new key. False when refused.
  bool SetKey(XMLNode* parent, std::string_view name, std::string_view text);
  bool SetKeyNumber(XMLNode* parent, std::string_view name, unsigned long number);  // "%lu"
  // False when the key or its value attribute is missing.
  bool GetKey(XMLNode* parent, std::string_view name, std::string* text) const;
  // Decimal readings of the value: leading white space and digits; a value
  // with no digits reads as 0, one out of range as the type's limit. The
  // number is left alone when the key is missing.
  bool GetKeyUnsigned(XMLNode* parent, std::string_view name, unsigned long* number) const;
  bool GetKeySigned(XMLNode* parent, std::string_view name, long* number) const;

  bool RemoveKey(XMLNode* parent, std::string_view name);
  // Removes and deletes a section; the document itself cannot be removed.
  bool RemoveSection(XMLNode* section);

  void ListSectionNames(XMLNode* parent, std::vector<std::string>* names) const;
  void ListKeyNames(XMLNode* parent, std::vector<std::string>* names) const;
  // The named "section" children with their names, in document order: one
  // pass for callers that visit every section of a large table.
  void ListSections(XMLNode* parent, std::vector<std::pair<std::string, XMLNode*>>* sections) const;

  // Replaces an owned document by the parse of text; when it does not parse
  // there is no document and the result is false.
  bool ParseText(std::string_view text);
  // Replaces the document by an empty one named "invisibleroot".
  void NewDocument();
  // Uses another object's document read only; the lender keeps it and must
  // keep it alive and unchanged meanwhile.
  void Borrow(XMLNode* document);

  // Compact (level -1) or indented (level 1); empty when there is no document.
  void Serialize(std::string* out, bool indented) const;

 protected:
  void FreeDocument();

 private:
  std::unique_ptr<XMLNode> owned_;  // the document, when it is ours
  XMLNode* document_ = nullptr;     // owned_, or the borrowed document
  bool borrowed_ = false;

  XMLNode* FindNamed(XMLNode* parent, std::string_view element, std::string_view name) const;
  void ListNames(XMLNode* parent, std::string_view element, std::vector<std::string>* names) const;
};
