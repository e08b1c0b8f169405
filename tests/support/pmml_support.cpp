#include "support/pmml_support.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace knntest {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "knn_pmml_test_XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    had_ = true;
    old_ = old;
  }
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    ::setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

ScopedCwd::ScopedCwd(const std::string& path) : old_(fs::current_path().string()) {
  fs::current_path(path);
}

ScopedCwd::~ScopedCwd() {
  std::error_code ignored;
  fs::current_path(old_, ignored);
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

namespace {

void CollectIssue(void* context, xmlErrorPtr error) {
  if (error->level == XML_ERR_WARNING) return;
  auto* issues = static_cast<std::vector<SchemaIssue>*>(context);
  std::string message = error->message != nullptr ? error->message : "";
  while (!message.empty() && message.back() == '\n') message.pop_back();
  issues->push_back(SchemaIssue{error->line, message});
}

// The schema is parsed once; libxml2 allows sharing a parsed schema between validations.
xmlSchemaPtr PmmlSchema() {
  static xmlSchemaPtr schema = [] {
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(KNN_TEST_DATA_DIR "/pmml-4-3.xsd");
    xmlSchemaPtr parsed = xmlSchemaParse(parser);
    xmlSchemaFreeParserCtxt(parser);
    return parsed;
  }();
  return schema;
}

}  // namespace

bool IsWellFormed(const std::string& text) {
  // Namespace errors (an undeclared prefix) do not stop libxml2 from building the tree, but
  // they make the document unusable all the same: any reported error counts.
  std::vector<SchemaIssue> errors;
  xmlSetStructuredErrorFunc(&errors, CollectIssue);
  xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "doc.xml", nullptr,
                                XML_PARSE_NONET);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  if (doc == nullptr) return false;
  xmlFreeDoc(doc);
  return errors.empty();
}

std::vector<SchemaIssue> UntoleratedIssues(const std::string& document) {
  std::vector<SchemaIssue> issues;
  xmlSchemaPtr schema = PmmlSchema();
  if (schema == nullptr) return {SchemaIssue{0, "the PMML schema could not be parsed"}};
  xmlSetStructuredErrorFunc(&issues, CollectIssue);
  xmlDocPtr doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "doc.xml",
                                nullptr, XML_PARSE_NONET);
  const bool parsed = doc != nullptr;
  if (parsed) {
    xmlSchemaValidCtxtPtr validator = xmlSchemaNewValidCtxt(schema);
    xmlSchemaSetValidStructuredErrors(validator, CollectIssue, &issues);
    xmlSchemaValidateDoc(validator, doc);
    xmlSchemaFreeValidCtxt(validator);
    xmlFreeDoc(doc);
  }
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  if (!parsed) {
    issues.insert(issues.begin(), SchemaIssue{0, "not well-formed"});
    return issues;
  }
  std::vector<std::string> lines;
  std::istringstream in(document);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::vector<SchemaIssue> kept;
  for (const SchemaIssue& issue : issues) {
    const bool focalFlag =
        issue.line >= 1 && static_cast<size_t>(issue.line) <= lines.size() &&
        lines[static_cast<size_t>(issue.line) - 1].find("<Extension ") != std::string::npos &&
        lines[static_cast<size_t>(issue.line) - 1].find("name=\"flagTypeTrueValue\"") !=
            std::string::npos &&
        issue.message.find("Extension': This element is not expected") != std::string::npos;
    if (!focalFlag) kept.push_back(issue);
  }
  return kept;
}

std::string SelectCanonical(const std::string& document, const std::string& xpath) {
  xmlDocPtr doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "doc.xml",
                                nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS);
  if (doc == nullptr) return "<not well-formed>";
  std::string text;
  xmlXPathContextPtr context = xmlXPathNewContext(doc);
  xmlXPathRegisterNs(context, BAD_CAST "p", BAD_CAST "http://www.dmg.org/PMML-4_3");
  xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST xpath.c_str(), context);
  if (result != nullptr && result->type == XPATH_STRING) {
    text = reinterpret_cast<const char*>(result->stringval);
  } else if (result != nullptr && result->type == XPATH_NUMBER) {
    std::ostringstream number;
    number << result->floatval;
    text = number.str();
  } else if (result != nullptr && result->type == XPATH_NODESET) {
    if (result->nodesetval == nullptr) text.clear();
    for (int i = 0; result->nodesetval != nullptr && i < result->nodesetval->nodeNr; ++i) {
      xmlNodePtr node = result->nodesetval->nodeTab[i];
      if (node->type == XML_ATTRIBUTE_NODE) {
        xmlChar* value = xmlNodeGetContent(node);
        text += std::string(reinterpret_cast<const char*>(node->name)) + "=\"" +
                reinterpret_cast<const char*>(value) + "\"\n";
        xmlFree(value);
        continue;
      }
      xmlBufferPtr buffer = xmlBufferCreate();
      xmlNodeDump(buffer, doc, node, 0, 0);
      text += reinterpret_cast<const char*>(xmlBufferContent(buffer));
      text += '\n';
      xmlBufferFree(buffer);
    }
  } else {
    text = "<bad xpath>";
  }
  if (result != nullptr) xmlXPathFreeObject(result);
  xmlXPathFreeContext(context);
  xmlFreeDoc(doc);
  return text;
}

}  // namespace knntest
