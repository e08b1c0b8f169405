#include "support/pmml_support.h"

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <stdlib.h>

#include <sstream>

namespace knntest {

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  old_ ? ::setenv(name_.c_str(), old_->c_str(), 1) : ::unsetenv(name_.c_str());
}

namespace {

void CollectIssue(void* context, xmlErrorPtr error) {
  if (error->level == XML_ERR_WARNING) return;
  std::string message = error->message != nullptr ? error->message : "";
  while (!message.empty() && message.back() == '\n') message.pop_back();
  static_cast<std::vector<SchemaIssue>*>(context)->push_back({error->line, message});
}

// Parses text collecting every error, namespace errors included (libxml2 still builds a tree
// then, but the document is unusable all the same).
xmlDocPtr Parse(const std::string& text, std::vector<SchemaIssue>& issues, int options = 0) {
  xmlSetStructuredErrorFunc(&issues, CollectIssue);
  xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "doc.xml", nullptr,
                                XML_PARSE_NONET | options);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  return doc;
}

}  // namespace

bool IsWellFormed(const std::string& text) {
  std::vector<SchemaIssue> issues;
  xmlDocPtr doc = Parse(text, issues);
  xmlFreeDoc(doc);
  return doc != nullptr && issues.empty();
}

std::vector<SchemaIssue> UntoleratedIssues(const std::string& document) {
  // The schema is parsed once; libxml2 allows sharing it between validations.
  static const xmlSchemaPtr schema = [] {
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(KNN_TEST_DATA_DIR "/pmml-4-3.xsd");
    xmlSchemaPtr parsed = xmlSchemaParse(parser);
    xmlSchemaFreeParserCtxt(parser);
    return parsed;
  }();
  if (schema == nullptr) return {{0, "the PMML schema could not be parsed"}};
  std::vector<SchemaIssue> issues;
  xmlDocPtr doc = Parse(document, issues);
  if (doc == nullptr) {
    issues.insert(issues.begin(), {0, "not well-formed"});
    return issues;
  }
  xmlSchemaValidCtxtPtr validator = xmlSchemaNewValidCtxt(schema);
  xmlSchemaSetValidStructuredErrors(validator, CollectIssue, &issues);
  xmlSchemaValidateDoc(validator, doc);
  xmlSchemaFreeValidCtxt(validator);
  xmlFreeDoc(doc);
  std::vector<std::string> lines = clitest::Lines(document);
  std::erase_if(issues, [&](const SchemaIssue& issue) {
    const std::string line = issue.line >= 1 && static_cast<size_t>(issue.line) <= lines.size()
                                 ? lines[static_cast<size_t>(issue.line) - 1]
                                 : "";
    return line.find("<Extension ") != std::string::npos &&
           line.find("name=\"flagTypeTrueValue\"") != std::string::npos &&
           issue.message.find("Extension': This element is not expected") != std::string::npos;
  });
  return issues;
}

std::string SelectCanonical(const std::string& document, const std::string& xpath) {
  std::vector<SchemaIssue> ignored;
  xmlDocPtr doc = Parse(document, ignored, XML_PARSE_NOBLANKS);
  if (doc == nullptr) return "<not well-formed>";
  xmlXPathContextPtr context = xmlXPathNewContext(doc);
  xmlXPathRegisterNs(context, BAD_CAST "p", BAD_CAST "http://www.dmg.org/PMML-4_3");
  xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST xpath.c_str(), context);
  std::ostringstream text;
  if (result == nullptr) {
    text << "<bad xpath>";
  } else if (result->type == XPATH_STRING) {
    text << reinterpret_cast<const char*>(result->stringval);
  } else if (result->type == XPATH_NUMBER) {
    text << result->floatval;
  } else if (result->type != XPATH_NODESET) {
    text << "<bad xpath>";
  }
  const xmlNodeSetPtr nodes =
      result != nullptr && result->type == XPATH_NODESET ? result->nodesetval : nullptr;
  for (int i = 0; nodes != nullptr && i < nodes->nodeNr; ++i) {
    xmlNodePtr node = nodes->nodeTab[i];
    xmlBufferPtr buffer = xmlBufferCreate();
    if (node->type == XML_ATTRIBUTE_NODE) {
      xmlChar* value = xmlNodeGetContent(node);
      text << node->name << "=\"" << value << "\"\n";
      xmlFree(value);
    } else {
      xmlNodeDump(buffer, doc, node, 0, 0);
      text << xmlBufferContent(buffer) << '\n';
    }
    xmlBufferFree(buffer);
  }
  xmlXPathFreeObject(result);
  xmlXPathFreeContext(context);
  xmlFreeDoc(doc);
  return text.str();
}

}  // namespace knntest
