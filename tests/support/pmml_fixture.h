// A fixture for the model-document element tests: its own system temporary folder (so a
// leftover file shows up), a build, and a document writer over the built model.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "pmml/knn_pmml_writer.h"
#include "support/boundary_settings_doc.h"
#include "support/pmml_build.h"
#include "support/pmml_support.h"

namespace knntest {

class PmmlWriterTest : public ::testing::Test {
 protected:
  ScratchDir scratch;
  ScopedEnv tmpdir{"TMPDIR", scratch.Path().c_str()};
  PmmlBuild build;
  std::unique_ptr<KNNPMMLWriter> writer;

  // Builds doc over rows and makes the writer; use under ASSERT_NO_FATAL_FAILURE.
  void Build(const SettingsDoc& doc, const std::vector<std::vector<double>>& rows) {
    const VelCommon::VelStatus status = build.Build(doc.Xml(), rows);
    ASSERT_FALSE(status.IsError()) << status.GetErrorCode();
    writer = build.MakeWriter();
    ASSERT_NE(writer, nullptr);
  }
};

}  // namespace knntest
