// Helpers for the report tests: parse SVG (and the SVG inside a page) with libxml2 and look
// up elements by class.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
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
    if (found == attributes.end()) return false;
    std::istringstream words(found->second);
    std::string word;
    while (words >> word) {
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

inline void CollectElements(const xmlNode* node, std::vector<SvgElement>& into) {
  for (; node; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    SvgElement element;
    element.name = reinterpret_cast<const char*>(node->name);
    for (const xmlAttr* a = node->properties; a; a = a->next) {
      xmlChar* value = xmlNodeListGetString(node->doc, a->children, 1);
      element.attributes[reinterpret_cast<const char*>(a->name)] =
          value ? reinterpret_cast<const char*>(value) : "";
      xmlFree(value);
    }
    xmlChar* text = xmlNodeGetContent(node);
    element.text = text ? reinterpret_cast<const char*>(text) : "";
    xmlFree(text);
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

// The <svg>...</svg> fragments of an HTML page, in order.
inline std::vector<std::string> SvgFragments(const std::string& html) {
  std::vector<std::string> fragments;
  std::size_t from = 0;
  while (true) {
    const std::size_t start = html.find("<svg", from);
    if (start == std::string::npos) break;
    const std::size_t end = html.find("</svg>", start);
    if (end == std::string::npos) {
      fragments.push_back(html.substr(start));
      break;
    }
    fragments.push_back(html.substr(start, end + 6 - start));
    from = end + 6;
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
