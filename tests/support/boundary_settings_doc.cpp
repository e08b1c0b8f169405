#include "support/boundary_settings_doc.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace knntest {

std::string XmlEscape(const std::string& text) {
  static const char* const kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
  std::string out;
  for (char c : text) {
    const size_t special = std::string_view("&<>\"'").find(c);
    out += special == std::string_view::npos ? std::string(1, c) : kEntities[special];
  }
  return out;
}

std::string NumberText(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

SettingsDoc SettingsDoc::Minimal() {
  SettingsDoc doc;
  doc.Continuous("id", 1.0, 100.0);
  doc.Field("focal", {{"optype", "categorical"}, {"dataType", "integer"}, {"default", "0"}},
            {"0", "1"});
  doc.Continuous("x1", 0.0, 10.0).Continuous("x2", 0.0, 10.0).Categorical("c1", {"a", "b", "c"});
  doc.Categorical("y", {"yes", "no"}).Target("y").Inputs({"x1", "x2", "c1"});
  return doc.Param("CaseIDVar", "id").Param("FocalVar", "focal");
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
  fields_.push_back({name, attributes, values, {}});
  return *this;
}

SettingsDoc& SettingsDoc::ParamList(const std::string& key, const std::vector<std::string>& items) {
  std::string inner;
  for (const std::string& item : items) inner += "<item>" + XmlEscape(item) + "</item>";
  return ParamRaw(key, inner);
}

SettingsDoc& SettingsDoc::ParamRaw(const std::string& key, const std::string& innerXml) {
  const auto param =
      std::find_if(params_.begin(), params_.end(), [&](const auto& p) { return p.first == key; });
  if (param != params_.end()) {
    param->second = innerXml;
  } else {
    params_.emplace_back(key, innerXml);
  }
  return *this;
}

std::string SettingsDoc::Xml() const {
  const auto list = [](const char* element, const std::vector<std::string>& names) {
    std::string xml = std::string("  <") + element + ">";
    for (const std::string& name : names) xml += "<field name=\"" + XmlEscape(name) + "\"/>";
    return xml + "</" + element + ">\n";
  };
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<settings>\n  <fields>\n";
  for (const FieldDecl& field : fields_) {
    xml += "    <field name=\"" + XmlEscape(field.name) + "\"";
    for (const auto& [key, text] : field.attributes)
      xml += " " + key + "=\"" + XmlEscape(text) + "\"";
    xml += field.values.empty() ? "/>\n" : ">\n";
    for (size_t i = 0; i < field.values.size(); ++i) {
      xml += "      <value value=\"" + XmlEscape(field.values[i]) + "\"";
      if (i < field.labels.size()) xml += " label=\"" + XmlEscape(field.labels[i]) + "\"";
      xml += "/>\n";
    }
    if (!field.values.empty()) xml += "    </field>\n";
  }
  xml += "  </fields>\n" + (hasTargets_ ? list("targets", targets_) : "") + list("inputs", inputs_);
  for (const auto& [key, inner] : params_) {
    xml += "  <param name=\"" + XmlEscape(key) + "\">" + inner + "</param>\n";
  }
  return xml + extra_ + "</settings>\n";
}

}  // namespace knntest
