// The streamed element: children go to a temporary file at once and come back, re-indented,
// when the element is serialised; the file lives exactly as long as the element.
#include "pmml/knn_xml_archive_element.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <sstream>
#include <string>

#include "boundary/status_codes.h"
#include "support/pmml_support.h"

namespace {

using KNNPMML::AddChildTo;
using KNNPMML::KNNXMLArchiveElement;
using VelXML::ExportFormat;
using VelXML::XMLElement;
using VelXML::XMLString;

// A row with two cells, as the training table writes them.
XMLElement* MakeRow(const std::string& a, const std::string& b) {
  XMLElement* row = XMLElement::Create("row");
  XMLElement* cellA = XMLElement::Create("a");
  AddChildTo(cellA, XMLString::Create(a));
  XMLElement* cellB = XMLElement::Create("b");
  AddChildTo(cellB, XMLString::Create(b));
  AddChildTo(row, cellA);
  AddChildTo(row, cellB);
  return row;
}

std::string Serialise(const VelXML::XMLInterface& node, int depth) {
  ExportFormat format;
  format.SetDepth(depth);
  std::string text;
  node.AppendTo(text, format);
  return text;
}

std::string SerialiseToStream(const VelXML::XMLInterface& node, int depth, bool utf8) {
  ExportFormat format;
  format.SetDepth(depth);
  std::ostringstream out;
  node.WriteTo(out, format, utf8);
  return out.str();
}

class StreamedElementTest : public ::testing::Test {
 protected:
  knntest::ScratchDir scratch;
  std::string Dir() const { return scratch.Path() + "/"; }
  std::unique_ptr<KNNXMLArchiveElement> Make(const std::string& name) {
    return std::unique_ptr<KNNXMLArchiveElement>(
        KNNXMLArchiveElement::CreateStreamed(name, false, Dir()));
  }
};

TEST_F(StreamedElementTest, EmptyElementIsSelfClosingWithItsAttributes) {
  auto table = Make("SimpleTable");
  ASSERT_NE(table, nullptr);
  table->AddAttribute("name", "a&b");
  EXPECT_EQ(Serialise(*table, 0), "\n<SimpleTable name=\"a&amp;b\"/>");
  EXPECT_EQ(Serialise(*table, 2), "\n\t\t<SimpleTable name=\"a&amp;b\"/>");
  EXPECT_EQ(table->GetChildCount(), 0);
}

TEST_F(StreamedElementTest, ChildrenAreReindentedOneLevelBelowTheElement) {
  auto table = Make("InlineTable");
  ASSERT_NE(table, nullptr);
  AddChildTo(table.get(), MakeRow("1", "x<y"));
  EXPECT_EQ(table->GetChildCount(), 1);
  EXPECT_EQ(Serialise(*table, 2),
            "\n\t\t<InlineTable>"
            "\n\t\t\t<row>"
            "\n\t\t\t\t<a>1</a>"
            "\n\t\t\t\t<b>x&lt;y</b>"
            "\n\t\t\t</row>"
            "\n\t\t</InlineTable>");
}

// Whatever the depth, a streamed element must read exactly like the plain element with the
// same children, so the two kinds can be mixed in one tree.
TEST_F(StreamedElementTest, SerialisesLikeThePlainElementWithTheSameChildren) {
  for (int depth : {0, 1, 3}) {
    auto streamed = Make("SimpleTable");
    ASSERT_NE(streamed, nullptr);
    std::unique_ptr<XMLElement> plain(XMLElement::Create("SimpleTable"));
    for (XMLElement* parent : {static_cast<XMLElement*>(streamed.get()), plain.get()}) {
      parent->AddAttribute("name", "neighborsDistances");
      AddChildTo(parent, XMLElement::Create("RowNames"));
      AddChildTo(parent, MakeRow("1", "2"));
      AddChildTo(parent, MakeRow("3", "4"));
    }
    EXPECT_EQ(Serialise(*streamed, depth), Serialise(*plain, depth)) << "depth " << depth;
    EXPECT_EQ(SerialiseToStream(*streamed, depth, false), Serialise(*plain, depth));
    EXPECT_EQ(SerialiseToStream(*streamed, depth, true), Serialise(*plain, depth));
  }
}

TEST_F(StreamedElementTest, NestedInsideAPlainTreeKeepsTheTreeConsistent) {
  std::unique_ptr<XMLElement> plainRoot(XMLElement::Create("root"));
  XMLElement* plainTable = XMLElement::Create("t");
  AddChildTo(plainTable, MakeRow("1", "2"));
  AddChildTo(plainRoot.get(), plainTable);
  AddChildTo(plainRoot.get(), XMLElement::Create("after"));

  std::unique_ptr<XMLElement> root(XMLElement::Create("root"));
  KNNXMLArchiveElement* table = KNNXMLArchiveElement::CreateStreamed("t", false, Dir());
  ASSERT_NE(table, nullptr);
  AddChildTo(root.get(), table);
  AddChildTo(table, MakeRow("1", "2"));
  AddChildTo(root.get(), XMLElement::Create("after"));

  EXPECT_EQ(Serialise(*root, 0), Serialise(*plainRoot, 0));
  EXPECT_EQ(SerialiseToStream(*root, 0, true), Serialise(*plainRoot, 0));
}

TEST_F(StreamedElementTest, RawContentDropsEmptyLinesAndKeepsTheRestVerbatim) {
  auto extension = Make("Extension");
  ASSERT_NE(extension, nullptr);
  EXPECT_EQ(extension->WriteRaw("<A>\n\n  <B x=\"1\"/>\n\n</A>\n"), 1);
  EXPECT_EQ(Serialise(*extension, 1),
            "\n\t<Extension>"
            "\n\t\t<A>"
            "\n\t\t  <B x=\"1\"/>"
            "\n\t\t</A>"
            "\n\t</Extension>");
}

TEST_F(StreamedElementTest, SerialisingTwiceGivesTheSameTextAndLaterRowsAreAppended) {
  auto table = Make("t");
  ASSERT_NE(table, nullptr);
  AddChildTo(table.get(), MakeRow("1", "2"));
  const std::string first = Serialise(*table, 0);
  EXPECT_EQ(Serialise(*table, 0), first);
  AddChildTo(table.get(), MakeRow("3", "4"));
  EXPECT_TRUE(table->IsStreamGood());
  const std::string second = Serialise(*table, 0);
  EXPECT_NE(second.find("<a>1</a>"), std::string::npos);
  EXPECT_NE(second.find("<a>3</a>"), std::string::npos);
  EXPECT_LT(second.find("<a>1</a>"), second.find("<a>3</a>"));
  EXPECT_EQ(table->GetChildCount(), 2);
}

TEST_F(StreamedElementTest, TextNodesAreWrittenToTheFileEscaped) {
  auto element = Make("Note");
  ASSERT_NE(element, nullptr);
  AddChildTo(element.get(), XMLString::Create("a & b"));
  EXPECT_EQ(element->GetChildCount(), 1);
  EXPECT_EQ(Serialise(*element, 0), "\n<Note>\n\ta &amp; b\n</Note>");
}

TEST_F(StreamedElementTest, RowsGoToTheFileAtOnceAndTheFileGoesWithTheElement) {
  auto table = Make("InlineTable");
  ASSERT_NE(table, nullptr);
  const std::string path = table->GetTempPath();
  EXPECT_TRUE(knntest::FileExists(path));
  AddChildTo(table.get(), MakeRow("1", "2"));
  table->GetTempStream()->flush();
  EXPECT_NE(knntest::ReadFile(path).find("<a>1</a>"), std::string::npos);
  table.reset();
  EXPECT_FALSE(knntest::FileExists(path));
  EXPECT_TRUE(scratch.Entries().empty());
}

TEST_F(StreamedElementTest, DirectoryEndingInASeparatorHoldsTheFile) {
  auto table = Make("t");
  ASSERT_NE(table, nullptr);
  const std::string path = table->GetTempPath();
  ASSERT_EQ(path.rfind(Dir(), 0), 0u) << path;
  const std::string name = path.substr(Dir().size());
  EXPECT_EQ(name.rfind("_knn", 0), 0u) << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
  EXPECT_EQ(name.find_first_not_of("0123456789", 4), name.size() - 4) << name;
  EXPECT_EQ(scratch.Entries(), std::vector<std::string>{name});
}

TEST_F(StreamedElementTest, DefaultDirectoryTextIsAPrefixInTheWorkingFolder) {
  knntest::ScopedCwd cwd(scratch.Path());
  std::unique_ptr<KNNXMLArchiveElement> table(
      KNNXMLArchiveElement::CreateStreamed("t", false, ".\\temp"));
  ASSERT_NE(table, nullptr);
  const std::string path = table->GetTempPath();
  EXPECT_EQ(path.rfind(".\\temp_knn", 0), 0u) << path;
  const auto entries = scratch.Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0], path);  // a file in the working folder, not inside a folder "temp"
  table.reset();
  EXPECT_TRUE(scratch.Entries().empty());
}

TEST_F(StreamedElementTest, EmptyDirectoryUsesTheSystemTemporaryFolder) {
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  std::unique_ptr<KNNXMLArchiveElement> table(KNNXMLArchiveElement::CreateStreamed("t", false, ""));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->GetTempPath().rfind(scratch.Path() + "/_knn", 0), 0u) << table->GetTempPath();
  EXPECT_EQ(scratch.Entries().size(), 1u);
  table.reset();
  EXPECT_TRUE(scratch.Entries().empty());
}

TEST_F(StreamedElementTest, TwoElementsInOneFolderGetDistinctFiles) {
  auto first = Make("a");
  auto second = Make("b");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first->GetTempPath(), second->GetTempPath());
  AddChildTo(first.get(), MakeRow("first", "x"));
  AddChildTo(second.get(), MakeRow("second", "y"));
  EXPECT_EQ(Serialise(*first, 0).find("second"), std::string::npos);
  EXPECT_EQ(scratch.Entries().size(), 2u);
}

TEST(StreamedElementCreation, AFolderThatCannotHoldFilesGivesNoElement) {
  knntest::ScratchDir scratch;
  const std::string missing = scratch.Path() + "/no/such/folder/";
  EXPECT_EQ(KNNXMLArchiveElement::CreateStreamed("t", false, missing), nullptr);
  knntest::ScopedEnv tmpdir("TMPDIR", (scratch.Path() + "/absent").c_str());
  EXPECT_EQ(KNNXMLArchiveElement::CreateStreamed("t", false, ""), nullptr);
  EXPECT_TRUE(scratch.Entries().empty());
}

TEST(TempFileName, TakenNamesAreRetriedAndRefusedProbesAreBounded) {
  int calls = 0;
  const std::string taken = KNNPMML::MakeTempFileName(
      "dir/", "_knn", [&](const std::string&) { return ++calls <= 2 ? 0 : ENOENT; });
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(taken.rfind("dir/_knn", 0), 0u);

  calls = 0;
  const std::string refused = KNNPMML::MakeTempFileName("dir/", "_knn", [&](const std::string&) {
    ++calls;
    return EACCES;
  });
  EXPECT_EQ(refused, "");
  EXPECT_EQ(calls, KNNPMML::kMaxRefusedProbes);

  // Any other failure means the name is free.
  calls = 0;
  EXPECT_NE(KNNPMML::MakeTempFileName("d", "_s",
                                      [&](const std::string&) {
                                        ++calls;
                                        return ENOTDIR;
                                      }),
            "");
  EXPECT_EQ(calls, 1);
}

TEST(CheckStreamedElement, OnlyAFailedTemporaryFileSetsStreamFailed) {
  knntest::ScratchDir scratch;
  std::unique_ptr<KNNXMLArchiveElement> table(
      KNNXMLArchiveElement::CreateStreamed("t", false, scratch.Path() + "/"));
  ASSERT_NE(table, nullptr);
  std::unique_ptr<XMLElement> plain(XMLElement::Create("t"));

  VelCommon::VelStatus status;
  KNNPMML::CheckStreamedElement(status, plain.get());
  KNNPMML::CheckStreamedElement(status, table.get());
  EXPECT_TRUE(status.IsOK());

  table->GetTempStream()->setstate(std::ios::badbit);
  KNNPMML::CheckStreamedElement(status, table.get());
  EXPECT_TRUE(status.IsError());
  EXPECT_EQ(status.GetErrorCode(), KNNStatus::kStreamFailed);
}

TEST(AddChildTo, APlainParentKeepsElementsAndText) {
  std::unique_ptr<XMLElement> parent(XMLElement::Create("p"));
  AddChildTo(parent.get(), XMLElement::Create("c"));
  AddChildTo(parent.get(), XMLString::Create("t"));
  ASSERT_EQ(parent->GetChildren().size(), 2u);
  EXPECT_NE(dynamic_cast<XMLString*>(parent->GetChildren()[1].get()), nullptr);
  AddChildTo(nullptr, XMLElement::Create("orphan"));  // destroyed, not leaked
}

}  // namespace
