#include "host/vel_settings_parser.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>
#include <optional>
#include <set>
#include <string_view>

#include "host/vel_convert.h"

using VelCommon::VelStatus;

namespace {

VelStatus Error(long code) {
  return VelStatus(code, false);
}

VelStatus FieldError(int position) {
  VelStatus status = Error(VelCommon::kHostInvalidField);
  status.SetDiscreteDatum(0, position);
  return status;
}

// The first error libxml2 reports while one document is parsed on this thread. libxml2
// hands its errors to a callback; a thread-local target keeps concurrent parsers apart.
struct ParseErrors {
  bool any = false;
  int line = 0;
  int column = 0;
};
thread_local ParseErrors* tCurrentErrors = nullptr;

void CollectError(void* /*userData*/, xmlErrorPtr error) {
  if (tCurrentErrors == nullptr || error == nullptr) return;
  if (error->level < XML_ERR_ERROR || tCurrentErrors->any) return;
  tCurrentErrors->any = true;
  tCurrentErrors->line = error->line;
  tCurrentErrors->column = error->int2;
}

// Settings documents are self-contained: nothing outside the text is ever read.
xmlParserInputPtr RefuseEntity(void* /*context*/, const xmlChar* /*publicId*/,
                               const xmlChar* /*systemId*/) {
  return nullptr;
}

void IgnoreExternalSubset(void* /*context*/, const xmlChar* /*name*/, const xmlChar* /*externalId*/,
                          const xmlChar* /*systemId*/) {}

// Routes this thread's libxml2 reports to CollectError while it lives, and restores the
// previous handler after, so nothing reaches stderr and no other user of libxml2 is changed.
class ErrorCapture {
 public:
  explicit ErrorCapture(ParseErrors& errors)
      : previousHandler_(xmlStructuredError), previousContext_(xmlStructuredErrorContext) {
    tCurrentErrors = &errors;
    xmlSetStructuredErrorFunc(nullptr, CollectError);
  }
  ~ErrorCapture() {
    xmlSetStructuredErrorFunc(previousContext_, previousHandler_);
    tCurrentErrors = nullptr;
  }
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;

 private:
  xmlStructuredErrorFunc previousHandler_;
  void* previousContext_;
};

struct ContextDeleter {
  void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};
struct XmlCharDeleter {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlText = std::unique_ptr<xmlChar, XmlCharDeleter>;

bool IsElement(const xmlNode* node, const char* name) {
  return node != nullptr && node->type == XML_ELEMENT_NODE &&
         std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

std::optional<std::string> Attribute(const xmlNode* node, const char* name) {
  XmlText value(xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name)));
  if (!value) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(value.get()));
}

std::string Content(const xmlNode* node) {
  XmlText value(xmlNodeGetContent(node));
  if (!value) return std::string();
  return std::string(reinterpret_cast<const char*>(value.get()));
}

bool HasElementChild(const xmlNode* node) {
  for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) return true;
  }
  return false;
}

// Text between list entries that only lays the document out.
bool IsLayoutNode(const xmlNode* node) {
  switch (node->type) {
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return true;
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
      return xmlIsBlankNode(node) != 0;
    default:
      return false;
  }
}

bool OnlyAttributes(const xmlNode* node, std::initializer_list<const char*> allowed) {
  for (const xmlAttr* attribute = node->properties; attribute != nullptr;
       attribute = attribute->next) {
    bool known = false;
    for (const char* name : allowed) {
      if (std::strcmp(reinterpret_cast<const char*>(attribute->name), name) == 0) known = true;
    }
    if (!known) return false;
  }
  return true;
}

bool IsNumericDataType(const std::string& dataType) {
  return dataType == "integer" || dataType == "double" || dataType == "float";
}

int DateKindOf(const std::string& dataType) {
  if (dataType == "date") return VelMTD::kDate;
  if (dataType == "time") return VelMTD::kTime;
  if (dataType == "dateTime") return VelMTD::kDateTime;
  return VelMTD::kNoDate;
}

// Builds one variable from a <field> element; null for an invalid declaration. names holds
// every field name seen so far and receives this one.
std::unique_ptr<VelMTD::IVelVariable> MakeVariable(const xmlNode* field,
                                                   std::set<std::string>& names) {
  if (!OnlyAttributes(field, {"name", "optype", "dataType", "min", "max", "displayName", "default",
                              "generated"})) {
    return nullptr;
  }
  const auto name = Attribute(field, "name");
  const auto optype = Attribute(field, "optype");
  const auto dataType = Attribute(field, "dataType");
  if (!name || name->empty() || !optype || !dataType) return nullptr;
  if (!names.insert(*name).second) return nullptr;
  const std::string displayName = Attribute(field, "displayName").value_or(std::string());
  const auto defaultText = Attribute(field, "default");
  const auto generated = Attribute(field, "generated");
  if (generated && (*generated != "row-number" || defaultText)) return nullptr;

  std::unique_ptr<VelMTD::IVelVariable> variable;
  if (*optype == "continuous") {
    const int dateKind = DateKindOf(*dataType);
    if (dateKind == VelMTD::kNoDate && !IsNumericDataType(*dataType)) return nullptr;
    const auto readBound = [&](const char* attribute, double fallback) -> std::optional<double> {
      const auto text = Attribute(field, attribute);
      if (!text) return fallback;
      double value = 0.0;
      const bool ok = dateKind == VelMTD::kNoDate
                          ? VelCommon::ParseDouble(*text, value)
                          : VelCommon::ParseIsoTemporal(*text, dateKind, value);
      if (!ok) return std::nullopt;
      return value;
    };
    const auto min = readBound("min", -DBL_MAX);
    const auto max = readBound("max", DBL_MAX);
    if (!min || !max || *min > *max) return nullptr;
    // Categories belong to categorical fields only.
    for (const xmlNode* child = field->children; child != nullptr; child = child->next) {
      if (!IsLayoutNode(child)) return nullptr;
    }
    variable = std::make_unique<VelMTD::VelContVar>(*name, *min, *max, dateKind, displayName);
  } else if (*optype == "categorical") {
    const bool numeric = IsNumericDataType(*dataType);
    if (!numeric && *dataType != "string") return nullptr;
    VelMTD::VelCategories categories;
    std::set<std::string> seenTexts;
    std::set<double> seenNumbers;
    int labelled = 0;
    int count = 0;
    for (const xmlNode* child = field->children; child != nullptr; child = child->next) {
      if (IsLayoutNode(child)) continue;
      if (!IsElement(child, "value") || HasElementChild(child) ||
          !OnlyAttributes(child, {"value", "label"})) {
        return nullptr;
      }
      const auto value = Attribute(child, "value");
      if (!value) return nullptr;
      double number = 0.0;
      if (numeric) {
        if (!VelCommon::ParseDouble(*value, number)) return nullptr;
        if (*dataType == "integer" && number != std::trunc(number)) return nullptr;
        if (!seenNumbers.insert(number).second) return nullptr;
      } else if (!seenTexts.insert(*value).second) {
        return nullptr;
      }
      const auto label = Attribute(child, "label");
      if (label) ++labelled;
      ++count;
      categories.Add(*value, number, label ? &*label : nullptr);
    }
    if (labelled != 0 && labelled != count) return nullptr;
    variable = std::make_unique<VelMTD::VelCatVar>(*name, numeric, categories, displayName);
  } else {
    return nullptr;
  }
  if (defaultText) variable->SetDefaultText(*defaultText);
  if (generated) variable->SetGeneratedRowNumber(true);
  return variable;
}

}  // namespace

struct VelSettingsParser::Impl {
  xmlDocPtr document = nullptr;

  ~Impl() { Reset(); }
  void Reset() {
    if (document != nullptr) xmlFreeDoc(document);
    document = nullptr;
  }
  const xmlNode* Root() const { return xmlDocGetRootElement(document); }

  // The single <param name="key">: null when absent; status 100005 when given twice.
  VelStatus FindParam(const char* key, const xmlNode*& found) const {
    found = nullptr;
    if (key == nullptr) return VelStatus();
    for (const xmlNode* node = Root()->children; node != nullptr; node = node->next) {
      if (!IsElement(node, "param")) continue;
      const auto name = Attribute(node, "name");
      if (!name || *name != key) continue;
      // Two values for one key leave no way to tell which one was meant.
      if (found != nullptr) return Error(VelCommon::kHostKeyUnreadable);
      found = node;
    }
    return VelStatus();
  }

  // The text of a scalar key, or nothing when absent; 100005 when it holds elements.
  VelStatus ScalarText(const char* key, std::optional<std::string>& text) const {
    text.reset();
    if (document == nullptr) return Error(VelCommon::kHostNotParsed);
    const xmlNode* param = nullptr;
    VelStatus status = FindParam(key, param);
    if (!status.IsOK() || param == nullptr) return status;
    if (HasElementChild(param)) return Error(VelCommon::kHostKeyUnreadable);
    text = Content(param);
    return VelStatus();
  }

  // The item texts of a list-valued key; absent leaves found false.
  VelStatus ItemTexts(const char* key, std::vector<std::string>& items, bool& found) const {
    found = false;
    if (document == nullptr) return Error(VelCommon::kHostNotParsed);
    const xmlNode* param = nullptr;
    VelStatus status = FindParam(key, param);
    if (!status.IsOK() || param == nullptr) return status;
    for (const xmlNode* child = param->children; child != nullptr; child = child->next) {
      if (IsLayoutNode(child)) continue;
      if (!IsElement(child, "item")) return Error(VelCommon::kHostListNotItems);
      if (HasElementChild(child)) return Error(VelCommon::kHostKeyUnreadable);
      items.push_back(Content(child));
    }
    found = true;
    return VelStatus();
  }

  // name= of every <field> under each <listName> element, in document order.
  VelStatus FieldNames(const char* listName, std::vector<std::string>& names) const {
    if (document == nullptr) return Error(VelCommon::kHostNotParsed);
    std::vector<std::string> result;
    for (const xmlNode* list = Root()->children; list != nullptr; list = list->next) {
      if (!IsElement(list, listName)) continue;
      for (const xmlNode* child = list->children; child != nullptr; child = child->next) {
        if (IsLayoutNode(child)) continue;
        if (!IsElement(child, "field")) return Error(VelCommon::kHostListNotItems);
        const auto name = Attribute(child, "name");
        if (!name) return Error(VelCommon::kHostKeyUnreadable);
        result.push_back(*name);
      }
    }
    names = std::move(result);
    return VelStatus();
  }
};

// Every public operation runs inside this guard: nothing may be thrown into the caller.
#define VEL_PARSER_GUARD_BEGIN try {
#define VEL_PARSER_GUARD_END                     \
  }                                              \
  catch (...) {                                  \
    return Error(VelCommon::kHostInternalError); \
  }

VelSettingsParser::VelSettingsParser() : impl_(std::make_unique<Impl>()) {}

VelSettingsParser::~VelSettingsParser() = default;

VelStatus VelSettingsParser::ParseToDOM(std::istream& document) {
  VEL_PARSER_GUARD_BEGIN
  impl_->Reset();
  const std::string text{std::istreambuf_iterator<char>(document),
                         std::istreambuf_iterator<char>()};
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    VelStatus status = Error(VelCommon::kHostXmlNotWellFormed);
    status.SetDiscreteDatum(0, 0);
    status.SetDiscreteDatum(1, 0);
    return status;
  }

  ParseErrors errors;
  xmlInitParser();  // idempotent; makes the library's global tables ready before first use
  std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
  if (!context) return Error(VelCommon::kHostInternalError);
  context->sax->serror = CollectError;
  context->sax->resolveEntity = RefuseEntity;
  context->sax->externalSubset = IgnoreExternalSubset;
  xmlDocPtr parsed = nullptr;
  {
    ErrorCapture capture(errors);
    // No entity substitution, DTD loading or network: the document's own text is all
    // that is read.
    parsed = xmlCtxtReadMemory(context.get(), text.data(), static_cast<int>(text.size()), nullptr,
                               nullptr, XML_PARSE_NONET | XML_PARSE_NOCDATA);
  }
  if (parsed == nullptr || errors.any || context->wellFormed == 0) {
    if (parsed != nullptr) xmlFreeDoc(parsed);
    VelStatus status = Error(VelCommon::kHostXmlNotWellFormed);
    status.SetDiscreteDatum(0, errors.line);
    status.SetDiscreteDatum(1, errors.column);
    return status;
  }
  const xmlNode* root = xmlDocGetRootElement(parsed);
  if (!IsElement(root, "settings")) {
    xmlFreeDoc(parsed);
    return Error(VelCommon::kHostRootNotSettings);
  }
  impl_->document = parsed;
  return VelStatus();
  VEL_PARSER_GUARD_END
}

VelStatus VelSettingsParser::FillVarList(VelMTD::VelVarList& list, bool append) {
  VEL_PARSER_GUARD_BEGIN
  if (impl_->document == nullptr) return Error(VelCommon::kHostNotParsed);
  std::set<std::string> names;
  if (append) {
    for (int i = 0; i < list.Size(); ++i) names.insert(list.GetVarAt(i)->GetName());
  }
  // Built aside first, so a bad declaration leaves the caller's list as it was.
  std::vector<std::unique_ptr<VelMTD::IVelVariable>> variables;
  int position = 0;
  for (const xmlNode* fields = impl_->Root()->children; fields != nullptr; fields = fields->next) {
    if (!IsElement(fields, "fields")) continue;
    for (const xmlNode* field = fields->children; field != nullptr; field = field->next) {
      if (IsLayoutNode(field)) continue;
      if (!IsElement(field, "field")) return FieldError(position);
      auto variable = MakeVariable(field, names);
      if (!variable) return FieldError(position);
      variables.push_back(std::move(variable));
      ++position;
    }
  }
  if (!append) list.Clear();
  for (auto& variable : variables) list.Add(std::move(variable));
  return VelStatus();
  VEL_PARSER_GUARD_END
}

VelStatus VelSettingsParser::FillTransDict(VelMTD::VelVarList& /*list*/) {
  return VelStatus();
}

VelStatus VelSettingsParser::GetParameter(const char* key, bool& value, void* /*reserved*/) {
  VEL_PARSER_GUARD_BEGIN
  std::optional<std::string> text;
  VelStatus status = impl_->ScalarText(key, text);
  if (!status.IsOK() || !text) return status;
  if (!VelCommon::ParseBool(*text, value)) return Error(VelCommon::kHostKeyUnreadable);
  return VelStatus();
  VEL_PARSER_GUARD_END
}

VelStatus VelSettingsParser::GetParameter(const char* key, int& value, void* /*reserved*/) {
  VEL_PARSER_GUARD_BEGIN
  std::optional<std::string> text;
  VelStatus status = impl_->ScalarText(key, text);
  if (!status.IsOK() || !text) return status;
  if (!VelCommon::ParseInt(*text, value)) return Error(VelCommon::kHostKeyUnreadable);
  return VelStatus();
  VEL_PARSER_GUARD_END
}

VelStatus VelSettingsParser::GetParameter(const char* key, double& value, void* /*reserved*/) {
  VEL_PARSER_GUARD_BEGIN
  std::optional<std::string> text;
  VelStatus status = impl_->ScalarText(key, text);
  if (!status.IsOK() || !text) return status;
  if (!VelCommon::ParseDouble(*text, value)) return Error(VelCommon::kHostKeyUnreadable);
  return VelStatus();
  VEL_PARSER_GUARD_END
}

VelStatus VelSettingsParser::GetParameter(const char* key, std::string& value, void* /*reserved*/) {
  VEL_PARSER_GUARD_BEGIN
  std::optional<std::string> text;
  VelStatus status = impl_->ScalarText(key, text);
  if (!status.IsOK() || !text) return status;
  // Text keys are taken exactly as written (a verbatim format text keeps its spacing).
  value = std::move(*text);
  return VelStatus();
  VEL_PARSER_GUARD_END
}

VelStatus VelSettingsParser::GetArray(const char* key, std::vector<std::string>& values,
                                      void* /*reserved*/) {
  VEL_PARSER_GUARD_BEGIN
  std::vector<std::string> items;
  bool found = false;
  VelStatus status = impl_->ItemTexts(key, items, found);
  if (status.IsOK() && found) values = std::move(items);
  return status;
  VEL_PARSER_GUARD_END
}

VelStatus VelSettingsParser::GetArray(const char* key, std::vector<double>& values,
                                      void* /*reserved*/) {
  VEL_PARSER_GUARD_BEGIN
  std::vector<std::string> items;
  bool found = false;
  VelStatus status = impl_->ItemTexts(key, items, found);
  if (!status.IsOK() || !found) return status;
  std::vector<double> numbers(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    if (!VelCommon::ParseDouble(items[i], numbers[i])) {
      return Error(VelCommon::kHostKeyUnreadable);
    }
  }
  values = std::move(numbers);
  return VelStatus();
  VEL_PARSER_GUARD_END
}

VelStatus VelSettingsParser::GetTargetVars(std::vector<std::string>& names) {
  VEL_PARSER_GUARD_BEGIN
  return impl_->FieldNames("targets", names);
  VEL_PARSER_GUARD_END
}

VelStatus VelSettingsParser::GetPredictors(std::vector<std::string>& names) {
  VEL_PARSER_GUARD_BEGIN
  return impl_->FieldNames("inputs", names);
  VEL_PARSER_GUARD_END
}
