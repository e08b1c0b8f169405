// Helpers for the report tests: parse SVG (and the SVG inside a page) with libxml2 and look
// up elements by class.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace knnreport::testing {

struct SvgElement {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;

  double Number(const std::string& attribute) const {
    const auto found = attributes.find(attribute);
    return found == attributes.end() ? -1e300 : std::strtod(found->second.c_str(), nullptr);
  }
  bool HasClass(const std::string& token) const {
    const auto found = attributes.find("class");
    std::istringstream words(found == attributes.end() ? "" : found->second);
    for (std::string word; words >> word;) {
      if (word == token) return true;
    }
    return false;
  }
};

// Every element of a well-formed SVG text, in document order; `ok` is false when the text
// does not parse.
struct ParsedSvg {
  bool ok = false;
  std::vector<SvgElement> elements;

  std::vector<SvgElement> WithClass(const std::string& token) const {
    std::vector<SvgElement> found;
    for (const auto& e : elements) {
      if (e.HasClass(token)) found.push_back(e);
    }
    return found;
  }
  std::vector<SvgElement> Named(const std::string& name) const {
    std::vector<SvgElement> found;
    for (const auto& e : elements) {
      if (e.name == name) found.push_back(e);
    }
    return found;
  }
};

inline std::string TakeXmlString(xmlChar* value) {
  std::string text = value ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return text;
}

inline void CollectElements(const xmlNode* node, std::vector<SvgElement>& into) {
  for (; node; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    SvgElement element;
    element.name = reinterpret_cast<const char*>(node->name);
    for (const xmlAttr* a = node->properties; a; a = a->next) {
      element.attributes[reinterpret_cast<const char*>(a->name)] =
          TakeXmlString(xmlNodeListGetString(node->doc, a->children, 1));
    }
    element.text = TakeXmlString(xmlNodeGetContent(node));
    into.push_back(std::move(element));
    CollectElements(node->children, into);
  }
}

inline ParsedSvg ParseSvg(const std::string& svg) {
  ParsedSvg parsed;
  xmlDocPtr doc = xmlReadMemory(svg.data(), static_cast<int>(svg.size()), "chart.svg", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!doc) return parsed;
  parsed.ok = true;
  CollectElements(xmlDocGetRootElement(doc), parsed.elements);
  xmlFreeDoc(doc);
  return parsed;
}

// The <svg>...</svg> fragments of an HTML page, in order (an unclosed one runs to the end).
inline std::vector<std::string> SvgFragments(const std::string& html) {
  std::vector<std::string> fragments;
  for (std::size_t start = html.find("<svg"); start != std::string::npos;
       start = html.find("<svg", start + 1)) {
    const std::size_t end = html.find("</svg>", start);
    fragments.push_back(html.substr(start, end == std::string::npos ? end : end + 6 - start));
    if (end == std::string::npos) break;
  }
  return fragments;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline std::string ReportFixture(const std::string& name) {
  return std::string(KNN_SOURCE_DIR) + "/tests/report/data/" + name;
}

}  // namespace knnreport::testing
