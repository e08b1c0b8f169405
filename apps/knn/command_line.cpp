#include "command_line.h"

#include <functional>
#include <map>

namespace knncli {
namespace {

// One option: a flag (no value) or an option taking a value; store receives the value.
struct Option {
  bool takesValue;
  std::function<void(const std::string&)> store;
};

// Splits args into options and positionals; "--name=value" and "--name value" both work,
// and "--" ends the options.
ParseResult ParseGeneric(const std::vector<std::string>& args,
                         const std::map<std::string, Option>& options,
                         std::vector<std::string>& positionals, std::string& error) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") return ParseResult::kHelp;
    std::string name = arg;
    std::string value;
    bool hasInlineValue = false;
    const size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasInlineValue = true;
    }
    const auto found = options.find(name);
    if (found == options.end()) {
      error = "unknown option '" + name + "'";
      return ParseResult::kError;
    }
    if (!found->second.takesValue) {
      if (hasInlineValue) {
        error = "option '" + name + "' takes no value";
        return ParseResult::kError;
      }
      found->second.store(std::string());
      continue;
    }
    if (!hasInlineValue) {
      if (i + 1 >= args.size()) {
        error = "option '" + name + "' needs a value";
        return ParseResult::kError;
      }
      value = args[++i];
    }
    if (value.empty()) {
      error = "option '" + name + "' needs a non-empty value";
      return ParseResult::kError;
    }
    found->second.store(value);
  }
  return ParseResult::kOk;
}

ParseResult ExpectPositionals(const std::vector<std::string>& positionals, size_t count,
                              const char* names, std::string& error) {
  if (positionals.size() == count) return ParseResult::kOk;
  error = std::string(positionals.size() < count ? "missing arguments" : "too many arguments") +
          "; expected " + names;
  return ParseResult::kError;
}

Option Value(std::string& target) {
  return {true, [&target](const std::string& value) { target = value; }};
}

Option Flag(bool& target) {
  return {false, [&target](const std::string&) { target = true; }};
}

}  // namespace

ParseResult ParseBuildArgs(const std::vector<std::string>& args, BuildArgs& out,
                           std::string& error) {
  std::vector<std::string> positionals;
  const std::map<std::string, Option> options = {{"-o", Value(out.output)},
                                                 {"--output", Value(out.output)},
                                                 {"--display", Value(out.display)},
                                                 {"--utf8", Flag(out.utf8)},
                                                 {"--report", Value(out.report)},
                                                 {"--quiet", Flag(out.quiet)},
                                                 {"-q", Flag(out.quiet)}};
  ParseResult result = ParseGeneric(args, options, positionals, error);
  if (result != ParseResult::kOk) return result;
  result = ExpectPositionals(positionals, 2, "SETTINGS.xml TRAIN.csv", error);
  if (result == ParseResult::kOk) {
    out.settings = positionals[0];
    out.train = positionals[1];
  }
  return result;
}

ParseResult ParseScoreArgs(const std::vector<std::string>& args, ScoreArgs& out,
                           std::string& error) {
  std::vector<std::string> positionals;
  const std::map<std::string, Option> options = {{"-o", Value(out.output)},
                                                 {"--output", Value(out.output)},
                                                 {"--quiet", Flag(out.quiet)},
                                                 {"-q", Flag(out.quiet)}};
  ParseResult result = ParseGeneric(args, options, positionals, error);
  if (result != ParseResult::kOk) return result;
  result = ExpectPositionals(positionals, 3, "SETTINGS.xml TRAIN.csv NEW.csv", error);
  if (result == ParseResult::kOk) {
    out.settings = positionals[0];
    out.train = positionals[1];
    out.newData = positionals[2];
  }
  return result;
}

ParseResult ParseInferArgs(const std::vector<std::string>& args, InferArgs& out,
                           std::string& error) {
  std::vector<std::string> positionals;
  const std::map<std::string, Option> options = {
      {"--target",
       {true, [&out](const std::string& value) { out.options.targets.push_back(value); }}},
      {"--id", Value(out.options.id)},
      {"--label", Value(out.options.label)},
      {"--focal", Value(out.options.focal)}};
  ParseResult result = ParseGeneric(args, options, positionals, error);
  if (result != ParseResult::kOk) return result;
  result = ExpectPositionals(positionals, 1, "TRAIN.csv", error);
  if (result == ParseResult::kOk) out.train = positionals[0];
  return result;
}

ParseResult ParseDemoArgs(const std::vector<std::string>& args, DemoArgs& out, std::string& error) {
  std::vector<std::string> positionals;
  const std::map<std::string, Option> options = {
      {"--out", Value(out.outDir)}, {"--quiet", Flag(out.quiet)}, {"-q", Flag(out.quiet)}};
  ParseResult result = ParseGeneric(args, options, positionals, error);
  if (result != ParseResult::kOk) return result;
  return ExpectPositionals(positionals, 0, "no argument besides options", error);
}

std::string HelpText(const std::string& command) {
  if (command == "build") {
    return "usage: knn build SETTINGS.xml TRAIN.csv [-o MODEL.pmml] [--utf8] [--display FILE] "
           "[--report FILE] [--quiet]\n\n"
           "Builds the nearest-neighbour model described by SETTINGS.xml from the records of\n"
           "TRAIN.csv and writes it as a PMML document (default model.pmml). An existing file\n"
           "is replaced only once the new document is complete. A summary per target (K, the\n"
           "selected features, the training error) and every warning go to standard error.\n\n"
           "  -o, --output FILE  where to write the model document\n"
           "  --utf8             write the document's texts as UTF-8\n"
           "  --display FILE     also write the component's diagnostic dump to FILE\n"
           "  --report FILE      also write the model's HTML report to FILE (as knn report)\n"
           "  -q, --quiet        no progress lines\n";
  }
  if (command == "score") {
    return "usage: knn score SETTINGS.xml TRAIN.csv NEW.csv [-o PREDICTIONS.csv] [--quiet]\n\n"
           "Builds the model from TRAIN.csv, then scores every record of NEW.csv and writes one\n"
           "CSV row per record (default standard output): row, status, and per target the\n"
           "neighbours' case IDs, their distances, the predictions for k = 1..N, class\n"
           "probabilities of a categorical target, and the neighbours' case labels when a case\n"
           "label field is set. NEW.csv may leave out columns the model does not use.\n\n"
           "  -o, --output FILE  where to write the scored CSV\n"
           "  -q, --quiet        no progress lines\n";
  }
  if (command == "infer") {
    return "usage: knn infer TRAIN.csv [--target NAME]... [--id NAME] [--label NAME] "
           "[--focal NAME] > SETTINGS.xml\n\n"
           "Drafts a settings document from a CSV file: a column of numbers becomes a\n"
           "continuous field with the observed minimum and maximum, any other column a string\n"
           "categorical field. Every column that is not a target, the case ID, the label or the\n"
           "focal flag becomes an input; K is fixed at 3. Without --id a column named id or ID\n"
           "is the case ID, else a generated row number. Without --focal a flag field 'focal'\n"
           "(always 0) is declared.\n\n"
           "  --target NAME  a target column (repeat for several)\n"
           "  --id NAME      the case ID column (numbers)\n"
           "  --label NAME   the case label column\n"
           "  --focal NAME   the focal-record flag column\n";
  }
  if (command == "demo") {
    return "usage: knn demo [--out DIR] [--quiet]\n\n"
           "Runs the bundled iris example end to end: builds the model (K and features chosen\n"
           "automatically), writes DIR/model.pmml, DIR/scored.csv and the HTML report\n"
           "DIR/report.html (default DIR: ./knn-demo) and prints the summary.\n";
  }
  if (command == "report") {
    return "usage: knn report MODEL.pmml [-o REPORT.html]\n\n"
           "Writes a self-contained HTML report of a model document: the choice of K and of\n"
           "the features, feature importances and weights, prediction quality (confusion\n"
           "matrix or residuals) and nearest-neighbour distances per target, then the build\n"
           "settings and the data dictionary. Default output: MODEL.html beside the model;\n"
           "-o - writes to standard output.\n\n"
           "  -o, --output FILE  where to write the report\n";
  }
  return "usage: knn COMMAND [ARGS]\n\n"
         "Commands:\n"
         "  build  SETTINGS.xml TRAIN.csv [-o MODEL.pmml]   build a model, write PMML\n"
         "  score  SETTINGS.xml TRAIN.csv NEW.csv [-o OUT]  build, then score new records\n"
         "  infer  TRAIN.csv [--target NAME]...             draft a settings document\n"
         "  report MODEL.pmml [-o REPORT.html]              HTML report of a model\n"
         "  demo   [--out DIR]                              run the bundled example\n\n"
         "knn COMMAND --help shows a command's options; knn --version the version.\n"
         "Exit codes: 0 success, 1 a component or settings error, 2 a usage error or an\n"
         "unreadable file, 130 interrupted.\n";
}

}  // namespace knncli
