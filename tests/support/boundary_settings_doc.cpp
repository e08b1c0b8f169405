#include "support/boundary_settings_doc.h"

#include <algorithm>
#include <cstdio>

namespace knntest {

namespace {

std::string NumberText(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

}  // namespace

std::string XmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const char* entity = c == '&'    ? "&amp;"
                         : c == '<'  ? "&lt;"
                         : c == '>'  ? "&gt;"
                         : c == '"'  ? "&quot;"
                         : c == '\'' ? "&apos;"
                                     : nullptr;
    if (entity != nullptr) {
      out += entity;
    } else {
      out += c;
    }
  }
  return out;
}

SettingsDoc SettingsDoc::Minimal() {
  SettingsDoc doc;
  doc.Continuous("id", 1.0, 100.0)
      .Field("focal", {{"optype", "categorical"}, {"dataType", "integer"}, {"default", "0"}},
             {"0", "1"})
      .Continuous("x1", 0.0, 10.0)
      .Continuous("x2", 0.0, 10.0)
      .Categorical("c1", {"a", "b", "c"})
      .Categorical("y", {"yes", "no"})
      .Target("y")
      .Inputs({"x1", "x2", "c1"})
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal");
  return doc;
}

SettingsDoc& SettingsDoc::Continuous(const std::string& name, std::optional<double> min,
                                     std::optional<double> max) {
  Attributes attributes{{"optype", "continuous"}, {"dataType", "double"}};
  if (min) attributes.emplace_back("min", NumberText(*min));
  if (max) attributes.emplace_back("max", NumberText(*max));
  return Field(name, attributes);
}

SettingsDoc& SettingsDoc::Categorical(const std::string& name,
                                      const std::vector<std::string>& values, bool numeric) {
  return Field(name, {{"optype", "categorical"}, {"dataType", numeric ? "integer" : "string"}},
               values);
}

SettingsDoc& SettingsDoc::Categorical(const std::string& name,
                                      const std::vector<std::string>& values,
                                      const std::vector<std::string>& labels, bool numeric) {
  Categorical(name, values, numeric);
  fields_.back().labels = labels;
  return *this;
}

SettingsDoc& SettingsDoc::Field(const std::string& name, const Attributes& attributes,
                                const std::vector<std::string>& values) {
  fields_.push_back(FieldDecl{name, attributes, values, {}});
  return *this;
}

SettingsDoc& SettingsDoc::Target(const std::string& name) {
  targets_.push_back(name);
  targetsElement_ = true;
  return *this;
}

SettingsDoc& SettingsDoc::Targets(const std::vector<std::string>& names) {
  targets_ = names;
  targetsElement_ = true;
  return *this;
}

SettingsDoc& SettingsDoc::Input(const std::string& name) {
  inputs_.push_back(name);
  return *this;
}

SettingsDoc& SettingsDoc::Inputs(const std::vector<std::string>& names) {
  inputs_ = names;
  return *this;
}

SettingsDoc& SettingsDoc::SetParamInner(const std::string& key, const std::string& innerXml) {
  for (ParamDecl& param : params_) {
    if (param.key == key) {
      param.innerXml = innerXml;
      return *this;
    }
  }
  params_.push_back(ParamDecl{key, innerXml});
  return *this;
}

SettingsDoc& SettingsDoc::Param(const std::string& key, const std::string& text) {
  return SetParamInner(key, XmlEscape(text));
}

SettingsDoc& SettingsDoc::Param(const std::string& key, const char* text) {
  return Param(key, std::string(text));
}

SettingsDoc& SettingsDoc::Param(const std::string& key, int value) {
  return SetParamInner(key, std::to_string(value));
}

SettingsDoc& SettingsDoc::Param(const std::string& key, double value) {
  return SetParamInner(key, NumberText(value));
}

SettingsDoc& SettingsDoc::Flag(const std::string& key, bool value) {
  return SetParamInner(key, value ? "true" : "false");
}

SettingsDoc& SettingsDoc::ParamList(const std::string& key, const std::vector<std::string>& items) {
  std::string inner;
  for (const std::string& item : items) inner += "<item>" + XmlEscape(item) + "</item>";
  return SetParamInner(key, inner);
}

SettingsDoc& SettingsDoc::ParamRaw(const std::string& key, const std::string& innerXml) {
  return SetParamInner(key, innerXml);
}

SettingsDoc& SettingsDoc::RemoveParam(const std::string& key) {
  std::erase_if(params_, [&](const ParamDecl& param) { return param.key == key; });
  return *this;
}

SettingsDoc& SettingsDoc::Extra(const std::string& xml) {
  extra_ += xml;
  return *this;
}

std::string SettingsDoc::Xml() const {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<settings>\n  <fields>\n";
  for (const FieldDecl& field : fields_) {
    xml += "    <field name=\"" + XmlEscape(field.name) + "\"";
    for (const auto& [key, text] : field.attributes) {
      xml += " " + key + "=\"" + XmlEscape(text) + "\"";
    }
    if (field.values.empty()) {
      xml += "/>\n";
      continue;
    }
    xml += ">\n";
    for (size_t i = 0; i < field.values.size(); ++i) {
      xml += "      <value value=\"" + XmlEscape(field.values[i]) + "\"";
      if (i < field.labels.size()) xml += " label=\"" + XmlEscape(field.labels[i]) + "\"";
      xml += "/>\n";
    }
    xml += "    </field>\n";
  }
  xml += "  </fields>\n";
  if (targetsElement_) {
    xml += "  <targets>";
    for (const std::string& name : targets_) xml += "<field name=\"" + XmlEscape(name) + "\"/>";
    xml += "</targets>\n";
  }
  xml += "  <inputs>";
  for (const std::string& name : inputs_) xml += "<field name=\"" + XmlEscape(name) + "\"/>";
  xml += "</inputs>\n";
  for (const ParamDecl& param : params_) {
    xml += "  <param name=\"" + XmlEscape(param.key) + "\">" + param.innerXml + "</param>\n";
  }
  xml += extra_;
  xml += "</settings>\n";
  return xml;
}

}  // namespace knntest
