// Allocation failure: this binary's operator new (support/failing_allocator) fails the N-th
// allocation from now once armed, and the tests arm it only around the call they examine. A
// failing allocation in a build or a write must give status 3 with nothing leaked (the
// sanitizer build checks that), nothing written and no file left.
#include <gtest/gtest.h>
#include <locale.h>

#include <new>
#include <sstream>

#include "boundary/status_codes.h"
#include "host/vel_xml.h"
#include "pmml/knn_pmml_tables.h"
#include "pmml/knn_xml_archive_element.h"
#include "support/failing_allocator/failing_allocator.h"
#include "support/pmml_support.h"
#include "support/reliability_fixtures.h"

namespace {

// How many allocations operation makes.
template <class Operation>
long Allocations(Operation&& operation) {
  const long before = knntest::AllocationCount();
  operation();
  return knntest::AllocationCount() - before;
}

// The store grows while cases are read: an allocation failing deep into a long data pass.
TEST(AllocationFailure, WhileStoringCasesGivesStatus3) {
  const reltest::BuildCase c = reltest::SelectionCase("", 5000);
  for (int failAt : {1, 2, 100, 4000}) {
    SCOPED_TRACE("allocations fail from record " + std::to_string(failAt));
    auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
    ASSERT_NE(algorithm, nullptr);
    reltest::FaultyDataSource source(c.rows);
    source.beforeRecord = [&](int index) {
      if (index == failAt)
        knntest::ArmAllocationFailure(1);  // the next allocation fails, whichever it is
    };
    const VelCommon::VelStatus status = algorithm->Build(source);
    knntest::DisarmAllocationFailure();
    EXPECT_EQ(status.GetErrorCode(), KNNStatus::kOutOfMemory);
    EXPECT_FALSE(algorithm->IsBuilt());
  }
}

// Every allocation of a document write may fail: 3, nothing written, no file left (temporary
// files go to scratch), and the model still writes its full document afterwards.
TEST(AllocationFailure, EveryAllocationOfAWriteGivesStatus3AndNoOutput) {
  reltest::ScratchFolder scratch;
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  const reltest::BuildCase c = reltest::SelectionCase("", 8);
  auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
  ASSERT_NE(algorithm, nullptr);
  reltest::FaultyDataSource source(c.rows);
  ASSERT_TRUE(algorithm->Build(source).IsOK());
  // The host's stream has its room already, so every allocation counted is the writer's.
  struct Target {
    reltest::FailingStreamBuf buffer{1 << 20};
    std::ostream out{&buffer};
    Target() { buffer.Reserve(1 << 20); }
  };
  Target first, counted;  // the first write also makes allocations that happen once
  ASSERT_TRUE(algorithm->WritePMML(first.out, nullptr).IsOK());
  const long total =
      Allocations([&] { EXPECT_TRUE(algorithm->WritePMML(counted.out, nullptr).IsOK()); });
  const std::string clean = counted.buffer.Written();
  ASSERT_TRUE(!clean.empty() && clean == first.buffer.Written());
  for (long n = 1; n <= total + 1; ++n) {  // the last fails nothing: the model is intact
    SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(total));
    Target target;
    knntest::ArmAllocationFailure(n);
    const long code = algorithm->WritePMML(target.out, nullptr).GetErrorCode();
    knntest::DisarmAllocationFailure();
    EXPECT_EQ(code, n <= total ? long{KNNStatus::kOutOfMemory} : 0L);
    EXPECT_EQ(target.buffer.Written(), n <= total ? std::string() : clean);
    EXPECT_TRUE(scratch.Entries().empty());
    if (HasFailure()) break;
  }
}

// Every allocation of making a streamed table, filling it and reading it back, in a named
// folder and in the system one, fails with bad_alloc and leaves no file. The reading back
// swallowed a failing allocation and ended the table there: a document came out, status OK,
// with rows missing.
TEST(AllocationFailure, Regression_StreamedTableReadBackDroppedTheRowsAfterAFailedLine) {
  reltest::ScratchFolder scratch;
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  for (const std::string& dir : {scratch.Path() + "/", std::string()}) {
    const auto text = [&] {
      auto table = KNNPMML::KNNXMLArchiveElement::CreateStreamed("InlineTable", false, dir);
      if (table == nullptr) return std::string("no table");
      for (char c : {'a', 'b', 'c'}) KNNPMML::AddTableRow(table.get(), std::string(300, c));
      std::string out;
      VelXML::ExportFormat format;
      table->AppendTo(out, format);
      return out;
    };
    const std::string clean = text();
    const long total = Allocations(text);
    for (long n = 1; n <= total; ++n) {
      knntest::ArmAllocationFailure(n);
      EXPECT_THROW(text(), std::bad_alloc) << "'" << dir << "', allocation " << n;
      knntest::DisarmAllocationFailure();
      EXPECT_TRUE(scratch.Entries().empty()) << "'" << dir << "', allocation " << n;
    }
    EXPECT_EQ(text(), clean);
  }
}

// A number text whose buffer could not grow left the calling thread in the "C" numeric
// locale: the host's own locale was lost for good.
TEST(AllocationFailure, Regression_FailedNumberTextLeftTheThreadInTheCNumericLocale) {
  const locale_t own = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  ASSERT_NE(own, static_cast<locale_t>(0));
  const locale_t before = uselocale(own);
  const long total = Allocations([] { VelXML::ReplaceSep(0.5, "%.200f"); });
  ASSERT_GE(total, 2);  // the buffer, and its growth to the 202 characters
  for (long n = 1; n <= total; ++n) {
    knntest::ArmAllocationFailure(n);
    EXPECT_THROW(VelXML::ReplaceSep(0.5, "%.200f"), std::bad_alloc) << n;
    knntest::DisarmAllocationFailure();
    EXPECT_EQ(uselocale(static_cast<locale_t>(0)), own) << "allocation " << n;
  }
  uselocale(before);
  freelocale(own);
}

}  // namespace
