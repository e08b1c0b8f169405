#include "support/pmml_support.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <sstream>

#include "boundary/knn_algorithm.h"
#include "knn/knn.h"
#include "pmml/knn_pmml_writer.h"
#include "support/pmml_build.h"

namespace knntest {

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
  const int type = result != nullptr ? result->type : XPATH_UNDEFINED;
  std::ostringstream text;
  if (type == XPATH_STRING) {
    text << reinterpret_cast<const char*>(result->stringval);
  } else if (type == XPATH_NUMBER) {
    text << result->floatval;
  } else if (type != XPATH_NODESET) {
    text << "<bad xpath>";
  }
  const xmlNodeSetPtr nodes = type == XPATH_NODESET ? result->nodesetval : nullptr;
  for (int i = 0; nodes != nullptr && i < nodes->nodeNr; ++i) {
    xmlNodePtr node = nodes->nodeTab[i];
    if (node->type == XML_ATTRIBUTE_NODE) {
      xmlChar* value = xmlNodeGetContent(node);
      text << node->name << "=\"" << value << "\"\n";
      xmlFree(value);
    } else {
      xmlBufferPtr buffer = xmlBufferCreate();
      xmlNodeDump(buffer, doc, node, 0, 0);
      text << xmlBufferContent(buffer) << '\n';
      xmlBufferFree(buffer);
    }
  }
  xmlXPathFreeObject(result);
  xmlXPathFreeContext(context);
  xmlFreeDoc(doc);
  return text.str();
}

VelCommon::VelStatus PmmlBuild::Build(const std::string& settingsXml,
                                      const std::vector<std::vector<double>>& rows) {
  algorithm_.reset();
  factory_.reset(GetVelFactory());
  std::istringstream settings(settingsXml);
  algorithm_.reset(factory_->CreateVelAlgorithm(settings));
  if (!algorithm_) return factory_->GetStatus();
  source_ = knn_test::MemoryDataSource(rows);
  return algorithm_->Build(source_);
}

KNNAlgorithm* PmmlBuild::Knn() const {
  return dynamic_cast<KNNAlgorithm*>(algorithm_.get());
}

std::unique_ptr<KNNPMMLWriter> PmmlBuild::MakeWriter() {
  KNNAlgorithm* knn = Knn();
  if (knn == nullptr || knn->GetModel() == nullptr) return nullptr;
  auto writer = std::make_unique<KNNPMMLWriter>(
      *knn->GetSettings(), *knn->GetVarList(), *knn->GetModel(), *knn->GetDataPreparation(), stop_);
  writer->root.reset(VelXML::XMLElement::Create("PMML"));
  return writer;
}

VelCommon::VelStatus PmmlBuild::Write(std::string& document, const PMMLExportOptions* options) {
  document.clear();
  if (!algorithm_) return VelCommon::VelStatus(6, false);
  std::ostringstream out;
  const VelCommon::VelStatus status = algorithm_->WritePMML(out, options);
  document = out.str();
  if (!status.IsOK()) {
    EXPECT_EQ(document, "") << "a failed write must leave the stream empty";
    return status;
  }
  std::string issues;
  for (const SchemaIssue& issue : UntoleratedIssues(document)) {
    issues += std::to_string(issue.line) + ": " + issue.message + "\n";
  }
  EXPECT_EQ(issues, "") << "the written document is not valid PMML";
  return status;
}

}  // namespace knntest
