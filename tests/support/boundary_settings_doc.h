// Builds the text of a <settings> document for tests, so that a test states only the
// fields, targets, inputs and keys it cares about.
//
// SettingsDoc::Minimal() is a small valid document to start from and vary:
//   fields  id (continuous 1..100), focal (numeric categorical 0/1, default "0"),
//           x1, x2 (continuous 0..10), c1 (string categorical a/b/c),
//           y (string categorical yes/no)
//   target  y;  inputs x1, x2, c1;  params CaseIDVar=id, FocalVar=focal.
//
// Fields are written in the order they are declared (that order is the variable index);
// params in the order first set; setting a param again replaces its value in place.
// <targets> is written only when a target was added or Targets({}) was called.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace knntest {

class SettingsDoc {
 public:
  using Attributes = std::vector<std::pair<std::string, std::string>>;

  // The small valid document described above.
  static SettingsDoc Minimal();

  // Fields. An absent bound (std::nullopt) is left out of the declaration.
  SettingsDoc& Continuous(const std::string& name, std::optional<double> min,
                          std::optional<double> max);
  // numeric: dataType "integer" (numeric categorical) instead of "string".
  SettingsDoc& Categorical(const std::string& name, const std::vector<std::string>& values,
                           bool numeric = false);
  // Categories with display labels (labels.size() must equal values.size()).
  SettingsDoc& Categorical(const std::string& name, const std::vector<std::string>& values,
                           const std::vector<std::string>& labels, bool numeric);
  // Any declaration: the attributes after name="..." as given, then one <value> per entry.
  SettingsDoc& Field(const std::string& name, const Attributes& attributes,
                     const std::vector<std::string>& values = {});

  // Targets and inputs, appended in call order.
  SettingsDoc& Target(const std::string& name);
  SettingsDoc& Targets(const std::vector<std::string>& names);  // replaces the list
  SettingsDoc& Input(const std::string& name);
  SettingsDoc& Inputs(const std::vector<std::string>& names);  // replaces the list

  // Keys. Numbers are written with full precision; Flag writes true/false.
  SettingsDoc& Param(const std::string& key, const std::string& text);
  SettingsDoc& Param(const std::string& key, const char* text);
  SettingsDoc& Param(const std::string& key, int value);
  SettingsDoc& Param(const std::string& key, double value);
  SettingsDoc& Flag(const std::string& key, bool value);
  // A list-valued key: one <item> per entry.
  SettingsDoc& ParamList(const std::string& key, const std::vector<std::string>& items);
  // Inner XML written verbatim (for malformed values such as a list with a stray child).
  SettingsDoc& ParamRaw(const std::string& key, const std::string& innerXml);
  SettingsDoc& RemoveParam(const std::string& key);
  // Further children of <settings>, written verbatim after the params (e.g. a second
  // <targets> element holding something other than fields).
  SettingsDoc& Extra(const std::string& xml);

  // The document text (UTF-8, with an XML declaration).
  std::string Xml() const;

 private:
  struct FieldDecl {
    std::string name;
    Attributes attributes;
    std::vector<std::string> values;
    std::vector<std::string> labels;
  };
  struct ParamDecl {
    std::string key;
    std::string innerXml;  // already escaped
  };

  SettingsDoc& SetParamInner(const std::string& key, const std::string& innerXml);

  std::vector<FieldDecl> fields_;
  std::vector<std::string> targets_;
  bool targetsElement_ = false;
  std::vector<std::string> inputs_;
  std::vector<ParamDecl> params_;
  std::string extra_;
};

// Escapes &, <, >, " and ' for XML text and attribute values.
std::string XmlEscape(const std::string& text);

}  // namespace knntest
