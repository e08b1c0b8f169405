#include "support/boundary_settings_doc.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace knntest {

namespace {

std::string NumberText(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

}  // namespace

std::string XmlEscape(const std::string& text) {
  static const char* const kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
  std::string out;
  for (char c : text) {
    const size_t special = std::string_view("&<>\"'").find(c);
    out += special == std::string_view::npos ? std::string(1, c) : kEntities[special];
  }
  return out;
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

SettingsDoc& SettingsDoc::Param(const std::string& key, double value) {
  return ParamRaw(key, NumberText(value));
}

SettingsDoc& SettingsDoc::ParamList(const std::string& key, const std::vector<std::string>& items) {
  std::string inner;
  for (const std::string& item : items) inner += "<item>" + XmlEscape(item) + "</item>";
  return ParamRaw(key, inner);
}

SettingsDoc& SettingsDoc::ParamRaw(const std::string& key, const std::string& innerXml) {
  const auto param =
      std::find_if(params_.begin(), params_.end(), [&](const auto& p) { return p.first == key; });
  (param != params_.end() ? param->second : params_.emplace_back(key, "").second) = innerXml;
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
  xml += "  </fields>\n" + (targets_ ? list("targets", *targets_) : "") + list("inputs", inputs_);
  for (const auto& [key, inner] : params_) {
    xml += "  <param name=\"" + XmlEscape(key) + "\">" + inner + "</param>\n";
  }
  return xml + extra_ + "</settings>\n";
}

}  // namespace knntest
