// Renders a read model document as one self-contained HTML page: inline CSS and SVG, no
// scripts, nothing fetched.
#pragma once

#include <ostream>
#include <string>

#include "report/report_document.h"

namespace knnreport {

// sourceName is shown as the document's name (pass a file name, not a full path, to keep
// reports reproducible across machines).
void WriteReportHtml(const ReportDocument& document, const std::string& sourceName,
                     std::ostream& html);

}  // namespace knnreport
