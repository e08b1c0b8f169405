// Builds the text of a <settings> document for tests, so that a test states only the fields,
// targets, inputs and keys it cares about.
//
// SettingsDoc::Minimal() is a small valid document to start from and vary:
//   fields  id (continuous 1..100), focal (numeric categorical 0/1, default "0"),
//           x1, x2 (continuous 0..10), c1 (string categorical a/b/c),
//           y (string categorical yes/no)
//   target  y;  inputs x1, x2, c1;  params CaseIDVar=id, FocalVar=focal.
//
// Fields are written in the order declared (that order is the variable index); params in the
// order first set, a param set again keeps its place; <targets> only once a target was given
// (Targets({}) writes an empty one).
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace knntest {

// Escapes &, <, >, " and ' for XML text and attribute values.
std::string XmlEscape(const std::string& text);
// Full precision.
std::string NumberText(double value);

class SettingsDoc {
 public:
  using Attributes = std::vector<std::pair<std::string, std::string>>;

  static SettingsDoc Minimal();

  // An absent bound (std::nullopt) is left out of the declaration.
  SettingsDoc& Continuous(const std::string& name, std::optional<double> min,
                          std::optional<double> max);
  // numeric: dataType "integer" instead of "string"; labels, when given, one per value.
  SettingsDoc& Categorical(const std::string& name, const std::vector<std::string>& values,
                           bool numeric = false);
  SettingsDoc& Categorical(const std::string& name, const std::vector<std::string>& values,
                           const std::vector<std::string>& labels, bool numeric);
  // Any declaration: the attributes after name="..." as given, then one <value> per entry.
  SettingsDoc& Field(const std::string& name, const Attributes& attributes,
                     const std::vector<std::string>& values = {});

  SettingsDoc& Target(const std::string& name) { return Targets(With(targets_, name)); }
  SettingsDoc& Targets(const std::vector<std::string>& names) {  // replaces the list
    targets_ = names;
    hasTargets_ = true;
    return *this;
  }
  SettingsDoc& Input(const std::string& name) { return Inputs(With(inputs_, name)); }
  SettingsDoc& Inputs(const std::vector<std::string>& names) {  // replaces the list
    inputs_ = names;
    return *this;
  }

  // Texts are escaped, numbers written with full precision.
  template <class T>
  SettingsDoc& Param(const std::string& key, const T& value) {
    if constexpr (std::is_arithmetic_v<T>) {
      return ParamRaw(key, NumberText(static_cast<double>(value)));
    } else {
      return ParamRaw(key, XmlEscape(value));
    }
  }
  SettingsDoc& Flag(const std::string& key, bool value) {
    return ParamRaw(key, value ? "true" : "false");
  }
  // A list-valued key: one <item> per entry.
  SettingsDoc& ParamList(const std::string& key, const std::vector<std::string>& items);
  // Inner XML written verbatim (for malformed values such as a list with a stray child).
  SettingsDoc& ParamRaw(const std::string& key, const std::string& innerXml);
  SettingsDoc& RemoveParam(const std::string& key) {
    std::erase_if(params_, [&](const auto& param) { return param.first == key; });
    return *this;
  }
  // Further children of <settings>, written verbatim after the params.
  SettingsDoc& Extra(const std::string& xml) {
    extra_ += xml;
    return *this;
  }

  // The document text (UTF-8, with an XML declaration).
  std::string Xml() const;

 private:
  static std::vector<std::string> With(std::vector<std::string> list, const std::string& name) {
    list.push_back(name);
    return list;
  }

  struct FieldDecl {
    std::string name;
    Attributes attributes;
    std::vector<std::string> values, labels;
  };
  std::vector<FieldDecl> fields_;
  std::vector<std::string> targets_, inputs_;
  bool hasTargets_ = false;
  Attributes params_;  // key, inner XML
  std::string extra_;
};

}  // namespace knntest
