// Guards for text that becomes markup rather than escaped content: element names made from
// field names, and the verbatim field-format fragment.
#pragma once

#include <string>

namespace KNNPMML {

// name with every ASCII character that an XML element name may not hold (anything but
// letters, digits, "_", "-" and ".") written as "_x" + two upper-case hex digits + "_",
// and "_" put in front when the result would start with a digit, "-" or ".". Bytes of 128
// and above are kept. An empty name stays empty.
std::string EncodeElementName(const std::string& name);

// True when text is well-formed XML content (what may stand between a start tag and its end
// tag): balanced elements, quoted attributes without duplicates, declared namespace prefixes,
// known entity and character references, comments, CDATA sections, processing
// instructions, and valid UTF-8 without characters XML 1.0 forbids.
bool IsWellFormedFragment(const std::string& text);

}  // namespace KNNPMML
