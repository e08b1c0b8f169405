// Model-document element tests: a build and a writer over it, with TMPDIR a scratch folder of
// the test's own so that a leftover file shows up.
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

  // Use under ASSERT_NO_FATAL_FAILURE.
  void Build(const SettingsDoc& doc, const std::vector<std::vector<double>>& rows) {
    const VelCommon::VelStatus status = build.Build(doc.Xml(), rows);
    ASSERT_FALSE(status.IsError()) << status.GetErrorCode();
    ASSERT_NE(writer = build.MakeWriter(), nullptr);
  }
};

}  // namespace knntest
