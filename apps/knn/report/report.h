// `knn report`: turns a model document into a self-contained HTML report.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Runs the command with the arguments that follow "report": MODEL.pmml [-o REPORT.html]
// [--help]. Returns the exit code: 0 written, 1 the report could not be written, 2 usage
// error or unreadable model document. Errors are printed as one line on stderr.
int RunReportCommand(const std::vector<std::string>& args);

// Writes the report of the model document at pmmlPath to html. Returns false with a
// one-line reason in error when the document cannot be read as XML.
bool WriteHtmlReport(const std::string& pmmlPath, std::ostream& html, std::string& error);
