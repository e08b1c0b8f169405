// Drives the built component the way a third-party host does: dlopen, dlsym, and nothing
// but the virtual interface and the exported names.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/vel_interfaces.h"
#include "support/boundary_data_source.h"
#include "support/boundary_settings_doc.h"

namespace {

using knntest::SettingsDoc;
using VelCommon::VelStatus;

class ComponentLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(KNN_COMPONENT_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    getFactory_ = reinterpret_cast<GetVelFactoryFunction>(dlsym(handle_, "GetVelFactory"));
    ASSERT_NE(getFactory_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
  }

  std::unique_ptr<IVelFactory> NewFactory() { return std::unique_ptr<IVelFactory>(getFactory_()); }

  void* handle_ = nullptr;
  GetVelFactoryFunction getFactory_ = nullptr;
};

std::unique_ptr<IVelAlgorithm> Create(IVelFactory& factory, const SettingsDoc& doc) {
  std::istringstream in(doc.Xml());
  return std::unique_ptr<IVelAlgorithm>(factory.CreateVelAlgorithm(in));
}

TEST_F(ComponentLibrary, FactoryCreatesFromGoodAndRejectsBadSettings) {
  std::unique_ptr<IVelFactory> factory = NewFactory();
  ASSERT_NE(factory, nullptr);

  std::unique_ptr<IVelAlgorithm> algorithm = Create(*factory, SettingsDoc::Minimal());
  ASSERT_NE(algorithm, nullptr);
  EXPECT_TRUE(factory->GetStatus().IsOK() && algorithm->GetStatus().IsOK());
  EXPECT_TRUE(std::regex_match(algorithm->GetVersion(), std::regex(R"(\d+\.\d+\.\d+)")));

  SettingsDoc bad = SettingsDoc::Minimal();
  bad.Param("CaseIDVar", "nope");
  EXPECT_EQ(Create(*factory, bad), nullptr);
  EXPECT_EQ(factory->GetStatus(), VelStatus(200052, false));
}

TEST_F(ComponentLibrary, WarningsReachTheHost) {
  std::unique_ptr<IVelFactory> factory = NewFactory();
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.Flag("IsFeatureSelection", true).Param("NSpecifiedFeatures", 4);
  std::unique_ptr<IVelAlgorithm> algorithm = Create(*factory, doc);
  ASSERT_NE(algorithm, nullptr);
  EXPECT_EQ(factory->GetStatus(), VelStatus(200068, true));
  EXPECT_EQ(*algorithm->GetWarnings(), std::vector<VelStatus>{VelStatus(200068, true)});

  // The non-virtual KNNFactory::GetWarnings, reached by its exported name. It returns a
  // class by value, so on this ABI it takes the result slot first and `this` second,
  // exactly like a free function of the object pointer.
  using GetWarningsFunction = std::vector<VelStatus> (*)(const IVelFactory*);
  auto getWarnings =
      reinterpret_cast<GetWarningsFunction>(dlsym(handle_, "_ZNK10KNNFactory11GetWarningsEv"));
  ASSERT_NE(getWarnings, nullptr) << dlerror();
  EXPECT_EQ(getWarnings(factory.get()), std::vector<VelStatus>{VelStatus(200068, true)});
}

TEST_F(ComponentLibrary, BuildsAndScoresThroughTheInterface) {
  std::unique_ptr<IVelFactory> factory = NewFactory();
  std::unique_ptr<IVelAlgorithm> algorithm = Create(*factory, SettingsDoc::Minimal());
  ASSERT_NE(algorithm, nullptr);
  std::vector<VelCommon::Record> records;
  for (int i = 0; i < 15; ++i) {
    records.emplace_back(std::vector<double>{double(i + 1), 0.0, double(i % 10),
                                             double((i * 3) % 10), double(i % 3), double(i % 2)});
  }
  knntest::VectorDataSource source(records);
  const VelStatus status = algorithm->Build(source);
  ASSERT_FALSE(status.IsError()) << status.GetErrorCode();
  EXPECT_TRUE(algorithm->IsBuilt());
  std::vector<std::vector<double>> results;
  EXPECT_TRUE(algorithm->ScoreRecord(&records[4], nullptr, &results).IsOK());
  EXPECT_EQ(results.size(), 1u);
}

// Reads the names `nm -D --defined-only -C` lists for the component.
std::vector<std::string> DefinedDynamicSymbols() {
  std::vector<std::string> names;
  const std::string command = std::string("nm -D --defined-only -C '") + KNN_COMPONENT_PATH + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[4096];
  const std::regex entry(R"(\S+ \S (.*?)\r?\n?)");  // "<address> <type> <name>"
  std::cmatch match;
  while (fgets(line, sizeof line, pipe) != nullptr) {
    if (std::regex_match(line, match, entry)) names.push_back(match[1]);
  }
  pclose(pipe);
  return names;
}

TEST(ComponentExports, OnlyTheEntryPointAndTheThreeClasses) {
  const std::vector<std::string> names = DefinedDynamicSymbols();
  ASSERT_FALSE(names.empty()) << "nm gave no output for " << KNN_COMPONENT_PATH;
  const std::regex allowed(
      R"(GetVelFactory|(KNNFactory|ProgressReport|KNNReporter)::.*|)"
      R"((vtable|typeinfo|typeinfo name) for (KNNFactory|ProgressReport|KNNReporter))");
  for (const std::string& name : names) {
    EXPECT_TRUE(std::regex_match(name, allowed)) << "unexpected export: " << name;
  }
  for (const char* required :
       {"GetVelFactory", "KNNFactory::KNNFactory()",
        "KNNFactory::CreateVelAlgorithm(std::istream&)", "KNNFactory::GetWarnings() const",
        "KNNReporter::SetValues(std::__cxx11::basic_string<char, "
        "std::char_traits<char>, std::allocator<char> > const&, "
        "int, double)",
        "KNNReporter::Reset()", "ProgressReport::ProgressReport()", "vtable for KNNFactory",
        "vtable for KNNReporter", "typeinfo for ProgressReport"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), required), names.end())
        << "not exported: " << required;
  }
}

}  // namespace
