#include "report/report.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>

#include "report/report_document.h"
#include "report/report_html.h"

namespace {

constexpr const char* kUsage =
    "usage: knn report MODEL.pmml [-o REPORT.html]\n"
    "\n"
    "Writes a self-contained HTML report of a model document: the choice of K, the\n"
    "feature-selection steps, feature importance and weights, prediction quality and the\n"
    "distances to the nearest neighbours of every target, then the build settings and the\n"
    "data dictionary.\n"
    "\n"
    "  -o FILE   where to write the report (default: MODEL with the extension .html;\n"
    "            '-' writes to standard output)\n"
    "  --help    show this help\n";

std::string DefaultOutput(const std::string& model) {
  std::filesystem::path path(model);
  path.replace_extension(".html");
  return path.string();
}

// Writes through a temporary file in the same folder and renames it, so an existing report
// is never left half-written.
bool WriteAtomically(const std::string& target, const std::string& content, std::string& error) {
  const std::string temporary = target + ".tmp-report";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = "cannot write '" + target + "'";
      return false;
    }
    out << content;
    out.flush();
    if (!out) {
      out.close();
      std::remove(temporary.c_str());
      error = "cannot write '" + target + "'";
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    std::remove(temporary.c_str());
    error = "cannot write '" + target + "': " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

bool WriteHtmlReport(const std::string& pmmlPath, std::ostream& html, std::string& error) {
  knnreport::ReportDocument document;
  if (!knnreport::ReadReportDocument(pmmlPath, document, error)) return false;
  knnreport::WriteReportHtml(document, std::filesystem::path(pmmlPath).filename().string(), html);
  return true;
}

int RunReportCommand(const std::vector<std::string>& args) {
  std::string model;
  std::string output;
  bool outputGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "-o" || arg == "--output") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        std::cerr << "knn report: " << arg << " needs a file name\n";
        return 2;
      }
      output = args[++i];
      outputGiven = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      std::cerr << "knn report: unknown option '" << arg << "' (see knn report --help)\n";
      return 2;
    }
    if (!model.empty()) {
      std::cerr << "knn report: more than one model document given ('" << model << "', '" << arg
                << "')\n";
      return 2;
    }
    model = arg;
  }
  if (model.empty()) {
    std::cerr << "knn report: no model document given (see knn report --help)\n";
    return 2;
  }
  if (!outputGiven) output = DefaultOutput(model);

  std::ostringstream html;
  std::string error;
  if (!WriteHtmlReport(model, html, error)) {
    std::cerr << "knn report: " << error << "\n";
    return 2;
  }
  if (output == "-") {
    std::cout << html.str() << std::flush;
    return std::cout ? 0 : 1;
  }
  if (!WriteAtomically(output, html.str(), error)) {
    std::cerr << "knn report: " << error << "\n";
    return 1;
  }
  std::cerr << "knn report: wrote " << output << "\n";
  return 0;
}
