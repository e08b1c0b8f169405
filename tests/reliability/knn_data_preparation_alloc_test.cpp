// Allocation failure. This test binary replaces the global operator new with one that can be
// told to fail the N-th allocation from now; it behaves like the ordinary one until armed, and
// the tests arm it only around the one call they examine. Every failing allocation inside a
// build or a document write must come back as status 3 with nothing leaked (the sanitizer
// build checks that), nothing written and no file left.
#include <gtest/gtest.h>
#include <locale.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <ostream>
#include <sstream>

#include "boundary/status_codes.h"
#include "host/vel_xml.h"
#include "pmml/knn_pmml_tables.h"
#include "pmml/knn_xml_archive_element.h"
#include "support/pmml_support.h"
#include "support/reliability_fixtures.h"

namespace {

// -1: never fail. N > 0: the N-th allocation from now fails, the ones after it succeed.
std::atomic<long> gFailIn{-1};
std::atomic<long> gCounted{0};

void* Allocate(std::size_t size, bool mayThrow) {
  gCounted.fetch_add(1, std::memory_order_relaxed);
  long left = gFailIn.load(std::memory_order_relaxed);
  while (left > 0 && !gFailIn.compare_exchange_weak(left, left - 1)) {
  }
  void* memory = left == 1 ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr && mayThrow) throw std::bad_alloc();
  return memory;
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size, true);
}
void* operator new[](std::size_t size) {
  return Allocate(size, true);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size, false);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size, false);
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace {

using reltest::BuildCase;
using reltest::FaultyDataSource;

// How many allocations operation makes.
template <class Operation>
long Allocations(Operation&& operation) {
  const long before = gCounted;
  operation();
  return gCounted - before;
}

template <class Operation>
void WithAllocationFailing(long n, Operation&& operation) {
  gFailIn = n;
  operation();
  gFailIn = -1;
}

std::string Document(IVelAlgorithm& algorithm) {
  std::ostringstream out;
  EXPECT_TRUE(algorithm.WritePMML(out, nullptr).IsOK());
  return out.str();
}

// Every allocation of a complete build (data pass, selection stages, trees) may fail: the
// build answers 3, unless the failure was absorbed where the standard library may absorb it
// (a non-binding shrink_to_fit), in which case the model must be exactly the unfailed one.
TEST(AllocationFailure, EveryAllocationOfABuildGivesStatus3OrTheSameModel) {
  reltest::ScratchFolder scratch;
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  const BuildCase c = reltest::SelectionCase("");
  long total = 0;
  std::string clean;
  {
    auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
    ASSERT_NE(algorithm, nullptr);
    FaultyDataSource source(c.rows);
    total = Allocations([&] { EXPECT_TRUE(algorithm->Build(source).IsOK()); });
    clean = Document(*algorithm);
  }
  ASSERT_GT(total, static_cast<long>(c.rows.size()));
  RecordProperty("allocations", std::to_string(total));
  int failures = 0;
  for (long n = 1; n <= total; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(total));
    auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
    ASSERT_NE(algorithm, nullptr);
    FaultyDataSource source(c.rows);
    VelCommon::VelStatus status;
    WithAllocationFailing(n, [&] { status = algorithm->Build(source); });
    EXPECT_EQ(algorithm->IsBuilt(), status.IsOK());
    if (status.IsOK()) {
      EXPECT_EQ(Document(*algorithm), clean);
    } else {
      EXPECT_EQ(status.GetErrorCode(), KNNStatus::kOutOfMemory);
      ++failures;
    }
    if (HasFailure()) break;
  }
  EXPECT_GT(failures, total / 2);
}

// The store grows while cases are read: an allocation failing deep into a long data pass.
TEST(AllocationFailure, WhileStoringCasesGivesStatus3) {
  const BuildCase c = reltest::SelectionCase("", 5000);
  for (int failAt : {1, 2, 100, 4000}) {
    SCOPED_TRACE("allocations fail from record " + std::to_string(failAt));
    auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
    ASSERT_NE(algorithm, nullptr);
    FaultyDataSource source(c.rows);
    source.beforeRecord = [&](int index) {
      if (index == failAt) gFailIn = 1;  // the next allocation fails, whichever it is
    };
    const VelCommon::VelStatus status = algorithm->Build(source);
    gFailIn = -1;
    EXPECT_EQ(status.GetErrorCode(), KNNStatus::kOutOfMemory);
    EXPECT_FALSE(algorithm->IsBuilt());
  }
}

// Every allocation of a document write may fail: 3, nothing written, no file left, and the
// model still writes its full document afterwards. The temporary files go to the system
// folder (scratch here), whose names never wait for the clock.
TEST(AllocationFailure, EveryAllocationOfAWriteGivesStatus3AndNoOutput) {
  reltest::ScratchFolder scratch;
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  const BuildCase c = reltest::SelectionCase("", 8);
  auto algorithm = reltest::CreateAlgorithm(c.settingsXml);
  ASSERT_NE(algorithm, nullptr);
  FaultyDataSource source(c.rows);
  ASSERT_TRUE(algorithm->Build(source).IsOK());
  const std::string clean = Document(*algorithm);
  ASSERT_FALSE(clean.empty());
  // The host's stream has its room already, so every allocation counted is the writer's.
  struct Target {
    explicit Target(size_t room) : buffer(room) { buffer.Reserve(room); }
    reltest::FailingStreamBuf buffer;
    std::ostream out{&buffer};
  };
  Target counted(clean.size() + 1);
  const long total =
      Allocations([&] { EXPECT_TRUE(algorithm->WritePMML(counted.out, nullptr).IsOK()); });
  EXPECT_EQ(counted.buffer.Written(), clean);
  RecordProperty("allocations", std::to_string(total));
  for (long n = 1; n <= total; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(total));
    Target target(clean.size() + 1);
    VelCommon::VelStatus status;
    WithAllocationFailing(n, [&] { status = algorithm->WritePMML(target.out, nullptr); });
    EXPECT_EQ(status.GetErrorCode(), KNNStatus::kOutOfMemory);
    EXPECT_TRUE(target.buffer.Written().empty());
    EXPECT_TRUE(scratch.Entries().empty());
    if (HasFailure()) break;
  }
  EXPECT_EQ(Document(*algorithm), clean);
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
      gFailIn = n;
      EXPECT_THROW(text(), std::bad_alloc) << "'" << dir << "', allocation " << n;
      gFailIn = -1;
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
    gFailIn = n;
    EXPECT_THROW(VelXML::ReplaceSep(0.5, "%.200f"), std::bad_alloc) << n;
    gFailIn = -1;
    EXPECT_EQ(uselocale(static_cast<locale_t>(0)), own) << "allocation " << n;
  }
  uselocale(before);
  freelocale(own);
}

}  // namespace
