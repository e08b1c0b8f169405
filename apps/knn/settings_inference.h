// Drafts a settings document from a CSV file: one field per column (continuous with the
// observed range when every cell is a number, string categorical otherwise), the named
// targets, every other column as input, a case ID, a focal flag and a fixed K of 3.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace knncli {

struct InferOptions {
  std::vector<std::string> targets;
  std::string id;     // empty: a column "id" or "ID", else a generated row number
  std::string label;  // case label column, optional
  std::string focal;  // focal flag column; empty: a generated flag field
};

// False, with a reason, for a malformed file or an option naming no column. notes gets
// advice the user should act on before building (a constant column, for instance).
bool InferSettings(std::string_view csvText, const std::string& name, const InferOptions& options,
                   std::string& document, std::vector<std::string>& notes, std::string& error);

// Escapes a text for an XML attribute or element.
std::string XmlEscape(const std::string& text);

}  // namespace knncli
