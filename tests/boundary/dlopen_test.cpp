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
#include "support/boundary_settings_doc.h"
#include "support/cli_process.h"

namespace {

using knntest::SettingsDoc;
using VelCommon::VelStatus;

std::unique_ptr<IVelAlgorithm> Create(IVelFactory& factory, const SettingsDoc& doc) {
  std::istringstream in(doc.Xml());
  return std::unique_ptr<IVelAlgorithm>(factory.CreateVelAlgorithm(in));
}

TEST(ComponentLibrary, CreatesAndReportsThroughTheExportedNames) {
  void* handle = dlopen(KNN_COMPONENT_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto getFactory = reinterpret_cast<GetVelFactoryFunction>(dlsym(handle, "GetVelFactory"));
  ASSERT_NE(getFactory, nullptr) << dlerror();
  {
    std::unique_ptr<IVelFactory> factory(getFactory());
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(Create(*factory, SettingsDoc::Minimal().Param("CaseIDVar", "nope")), nullptr);
    EXPECT_EQ(factory->GetStatus(), VelStatus(200052, false));

    const auto algorithm = Create(
        *factory,
        SettingsDoc::Minimal().Flag("IsFeatureSelection", true).Param("NSpecifiedFeatures", 4));
    ASSERT_NE(algorithm, nullptr);
    const std::vector<VelStatus> warned{VelStatus(200068, true)};
    EXPECT_EQ(factory->GetStatus(), warned[0]);
    EXPECT_EQ(*algorithm->GetWarnings(), warned);
    EXPECT_TRUE(std::regex_match(algorithm->GetVersion(), std::regex(R"(\d+\.\d+\.\d+)")));
    // The non-virtual KNNFactory::GetWarnings, reached by its exported name. It returns a
    // class by value, so on this ABI it takes the result slot first and `this` second,
    // exactly like a free function of the object pointer.
    using GetWarningsFunction = std::vector<VelStatus> (*)(const IVelFactory*);
    auto getWarnings =
        reinterpret_cast<GetWarningsFunction>(dlsym(handle, "_ZNK10KNNFactory11GetWarningsEv"));
    ASSERT_NE(getWarnings, nullptr) << dlerror();
    EXPECT_EQ(getWarnings(factory.get()), warned);
    // Each creation starts a fresh list; an algorithm handed out earlier keeps its status.
    EXPECT_NE(Create(*factory, SettingsDoc::Minimal()), nullptr);
    EXPECT_TRUE(factory->GetStatus().IsOK() && getWarnings(factory.get()).empty());
    EXPECT_EQ(algorithm->GetStatus(), warned[0]);
  }
  dlclose(handle);
}

// The names `nm -D --defined-only -C -j` lists for the component, one a line.
TEST(ComponentExports, OnlyTheEntryPointAndTheThreeClasses) {
  FILE* pipe =
      popen(("nm -D --defined-only -C -j '" + std::string(KNN_COMPONENT_PATH) + "'").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  for (int c; (c = fgetc(pipe)) != EOF;) text += static_cast<char>(c);
  pclose(pipe);
  const std::vector<std::string> names = clitest::Lines(text);
  ASSERT_FALSE(names.empty()) << "nm gave no output for " << KNN_COMPONENT_PATH;
  const std::regex allowed(
      R"(GetVelFactory|(KNNFactory|ProgressReport|KNNReporter)::.*|)"
      R"((vtable|typeinfo|typeinfo name) for (KNNFactory|ProgressReport|KNNReporter))");
  for (const auto& name : names)
    EXPECT_TRUE(std::regex_match(name, allowed)) << "exported: " << name;
  for (const char* required :
       {"GetVelFactory", "KNNFactory::KNNFactory()",
        "KNNFactory::CreateVelAlgorithm(std::istream&)", "KNNFactory::GetWarnings() const",
        "KNNReporter::Reset()", "ProgressReport::ProgressReport()", "vtable for KNNFactory",
        "vtable for KNNReporter", "typeinfo for ProgressReport"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), required), names.end())
        << "not exported: " << required;
  }
}

}  // namespace
