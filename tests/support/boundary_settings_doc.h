// Builds <settings> documents, so that a test states only the fields and params it cares about.
// Minimal(): id (continuous 1..100), focal (integer categorical 0/1, default "0"), x1, x2
// (continuous 0..10), c1 (a/b/c), y (yes/no); target y, inputs x1 x2 c1, CaseIDVar=id,
// FocalVar=focal. Fields are written in declared order (the variable index); a param set again
// keeps its place; <targets> is written once a target list was given.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace knntest {

// Escapes &, <, >, " and ' for XML text and attribute values.
std::string XmlEscape(const std::string& text);

class SettingsDoc {
 public:
  using Attributes = std::vector<std::pair<std::string, std::string>>;

  static SettingsDoc Minimal();

  // An absent bound is left out.
  SettingsDoc& Continuous(const std::string& name, std::optional<double> min,
                          std::optional<double> max);
  SettingsDoc& Categorical(const std::string& name, const std::vector<std::string>& values,
                           bool numeric = false) {
    return Field(name, {{"optype", "categorical"}, {"dataType", numeric ? "integer" : "string"}},
                 values);
  }
  SettingsDoc& Categorical(const std::string& name, const std::vector<std::string>& values,
                           const std::vector<std::string>& labels, bool numeric) {
    Categorical(name, values, numeric).fields_.back().labels = labels;
    return *this;
  }
  // Any declaration: attributes after name="...", then one <value> per entry.
  SettingsDoc& Field(const std::string& name, const Attributes& attributes,
                     const std::vector<std::string>& values = {}) {
    fields_.push_back({name, attributes, values, {}});
    return *this;
  }

  SettingsDoc& Target(const std::string& name) {
    return Targets(With(targets_.value_or(std::vector<std::string>{}), name));
  }
  SettingsDoc& Targets(const std::vector<std::string>& names) {
    targets_ = names;
    return *this;
  }
  SettingsDoc& Input(const std::string& name) { return Inputs(With(inputs_, name)); }
  SettingsDoc& Inputs(const std::vector<std::string>& names) {
    inputs_ = names;
    return *this;
  }

  SettingsDoc& Param(const std::string& key, const std::string& text) {
    return ParamRaw(key, XmlEscape(text));
  }
  SettingsDoc& Param(const std::string& key, double value);  // full precision
  SettingsDoc& Flag(const std::string& key, bool value) {
    return ParamRaw(key, value ? "true" : "false");
  }
  SettingsDoc& ParamList(const std::string& key, const std::vector<std::string>& items);
  // Inner XML written verbatim, for malformed values.
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
  std::optional<std::vector<std::string>> targets_;
  std::vector<std::string> inputs_;
  Attributes params_;  // key, inner XML
  std::string extra_;
};

}  // namespace knntest
