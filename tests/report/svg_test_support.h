// Helpers for the report tests: parse SVG (and the SVG inside a page) with libxml2. Files
// and scratch folders come from support/pmml_support.h.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <map>
#include <string>
#include <vector>

#include "support/pmml_support.h"

namespace knnreport::testing {

// Whether an SVG text parses, and its root element's text and attributes.
struct ParsedSvg {
  bool ok = false;
  std::string text;
  std::map<std::string, std::string> attributes;
};

inline std::string TakeXmlString(xmlChar* value) {
  const std::string text = value ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return text;
}

inline ParsedSvg ParseSvg(const std::string& svg) {
  ParsedSvg parsed;
  xmlDocPtr doc = xmlReadMemory(svg.data(), static_cast<int>(svg.size()), "chart.svg", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  parsed.ok = doc != nullptr;
  if (const xmlNode* root = doc ? xmlDocGetRootElement(doc) : nullptr) {
    parsed.text = TakeXmlString(xmlNodeGetContent(root));
    for (const xmlAttr* a = root->properties; a; a = a->next) {
      parsed.attributes[reinterpret_cast<const char*>(a->name)] =
          TakeXmlString(xmlNodeListGetString(doc, a->children, 1));
    }
  }
  xmlFreeDoc(doc);
  return parsed;
}

// The <svg>...</svg> fragments of an HTML page, in order (an unclosed one runs to the end).
inline std::vector<std::string> SvgFragments(const std::string& html) {
  std::vector<std::string> fragments;
  for (size_t at = html.find("<svg"); at != std::string::npos; at = html.find("<svg", at + 1)) {
    const size_t end = html.find("</svg>", at);
    fragments.push_back(html.substr(at, end == std::string::npos ? end : end + 6 - at));
  }
  return fragments;
}

inline std::string ReportFixture(const std::string& name) {
  return std::string(KNN_SOURCE_DIR) + "/tests/report/data/" + name;
}

}  // namespace knnreport::testing
