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
using VelXML::XMLElement;
using VelXML::XMLString;

// A row with two cells, as the training table writes them.
XMLElement* MakeRow(const std::string& a, const std::string& b) {
  XMLElement* row = XMLElement::Create("row");
  for (const auto& [name, value] : {std::pair{"a", a}, std::pair{"b", b}}) {
    XMLElement* cell = XMLElement::Create(name);
    AddChildTo(cell, XMLString::Create(value));
    AddChildTo(row, cell);
  }
  return row;
}

// The node's text through the in-memory writer, or through the stream writer when stream.
std::string Serialise(const VelXML::XMLInterface& node, int depth, bool stream = false,
                      bool utf8 = false) {
  VelXML::ExportFormat format;
  format.SetDepth(depth);
  std::string text;
  if (!stream) {
    node.AppendTo(text, format);
    return text;
  }
  std::ostringstream out;
  node.WriteTo(out, format, utf8);
  return out.str();
}

using Streamed = std::unique_ptr<KNNXMLArchiveElement>;

class StreamedElementTest : public ::testing::Test {
 protected:
  knntest::ScratchDir scratch;
  std::string Dir() const { return scratch.Path() + "/"; }
  Streamed Make(const std::string& name, const std::string& dir) {
    return Streamed(KNNXMLArchiveElement::CreateStreamed(name, false, dir));
  }
  Streamed Make(const std::string& name) { return Make(name, Dir()); }
};

TEST_F(StreamedElementTest, ExactTextOfEmptyRowAndTextAndRawContent) {
  auto empty = Make("SimpleTable");
  auto table = Make("InlineTable");
  auto note = Make("Note");
  auto extension = Make("Extension");
  ASSERT_TRUE(empty && table && note && extension);
  empty->AddAttribute("name", "a&b");
  AddChildTo(table.get(), MakeRow("1", "x<y"));
  AddChildTo(note.get(), XMLString::Create("a & b"));
  // Raw content drops empty lines and keeps the rest verbatim.
  EXPECT_EQ(extension->WriteRaw("<A>\n\n  <B x=\"1\"/>\n\n</A>\n"), 1);
  EXPECT_EQ(empty->GetChildCount(), 0);
  EXPECT_EQ(table->GetChildCount(), 1);
  const struct {
    const KNNXMLArchiveElement* element;
    int depth;
    const char* text;
  } cases[] = {
      {empty.get(), 0, "\n<SimpleTable name=\"a&amp;b\"/>"},
      {empty.get(), 2, "\n\t\t<SimpleTable name=\"a&amp;b\"/>"},
      {table.get(), 2,
       "\n\t\t<InlineTable>\n\t\t\t<row>\n\t\t\t\t<a>1</a>\n\t\t\t\t<b>x&lt;y</b>"
       "\n\t\t\t</row>\n\t\t</InlineTable>"},
      {note.get(), 0, "\n<Note>\n\ta &amp; b\n</Note>"},
      {extension.get(), 1,
       "\n\t<Extension>\n\t\t<A>\n\t\t  <B x=\"1\"/>\n\t\t</A>\n\t</Extension>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Serialise(*c.element, c.depth), c.text);
}

// Whatever the depth or writer, a streamed element must read exactly like the plain element
// with the same children, alone or nested in a plain tree, so the two kinds can be mixed.
TEST_F(StreamedElementTest, SerialisesLikeThePlainElementWithTheSameChildren) {
  for (int depth : {0, 1, 3}) {
    std::unique_ptr<XMLElement> streamedRoot(XMLElement::Create("root"));
    std::unique_ptr<XMLElement> plainRoot(XMLElement::Create("root"));
    KNNXMLArchiveElement* streamed = Make("SimpleTable").release();
    ASSERT_NE(streamed, nullptr);
    XMLElement* plain = XMLElement::Create("SimpleTable");
    AddChildTo(streamedRoot.get(), streamed);
    AddChildTo(plainRoot.get(), plain);
    for (XMLElement* parent : {static_cast<XMLElement*>(streamed), plain}) {
      parent->AddAttribute("name", "neighborsDistances");
      AddChildTo(parent, XMLElement::Create("RowNames"));
      AddChildTo(parent, MakeRow("1", "2"));
      AddChildTo(parent, MakeRow("3", "4"));
    }
    AddChildTo(streamedRoot.get(), XMLElement::Create("after"));
    AddChildTo(plainRoot.get(), XMLElement::Create("after"));
    for (const auto& [node, expected] :
         {std::pair<const XMLElement*, std::string>{streamed, Serialise(*plain, depth)},
          {streamedRoot.get(), Serialise(*plainRoot, depth)}}) {
      EXPECT_EQ(Serialise(*node, depth), expected) << "depth " << depth;
      EXPECT_EQ(Serialise(*node, depth, true, false), expected) << "depth " << depth;
      EXPECT_EQ(Serialise(*node, depth, true, true), expected) << "depth " << depth;
    }
  }
}

TEST_F(StreamedElementTest, RowsGoToTheFileAtOnceAndTheFileGoesWithTheElement) {
  auto table = Make("InlineTable");
  ASSERT_NE(table, nullptr);
  const std::string path = table->GetTempPath();
  EXPECT_TRUE(knntest::FileExists(path));
  AddChildTo(table.get(), MakeRow("1", "2"));
  table->GetTempStream()->flush();
  EXPECT_NE(knntest::ReadFile(path).find("<a>1</a>"), std::string::npos);
  // Serialising does not consume the file: later rows are appended after the earlier ones.
  const std::string first = Serialise(*table, 0);
  EXPECT_EQ(Serialise(*table, 0), first);
  AddChildTo(table.get(), MakeRow("3", "4"));
  EXPECT_TRUE(table->IsStreamGood());
  const std::string second = Serialise(*table, 0);
  EXPECT_NE(second.find("<a>1</a>"), std::string::npos);
  EXPECT_LT(second.find("<a>1</a>"), second.find("<a>3</a>"));
  EXPECT_EQ(table->GetChildCount(), 2);
  // A second element in the same folder gets its own file.
  auto other = Make("b");
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other->GetTempPath(), path);
  EXPECT_EQ(Serialise(*other, 0).find("<a>1</a>"), std::string::npos);
  EXPECT_EQ(scratch.Entries().size(), 2u);
  table.reset();
  other.reset();
  EXPECT_FALSE(knntest::FileExists(path));
  EXPECT_TRUE(scratch.Entries().empty());
}

// Where the file goes: inside a folder given with a trailing separator; a working-folder file
// named by prefix for ".\temp" (not a file in a folder "temp"); the system temporary folder
// for an empty text.
TEST_F(StreamedElementTest, TheDirectoryTextNamesTheFile) {
  knntest::ScopedCwd cwd(scratch.Path());
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  const struct {
    std::string dir;
    std::string prefix;  // of the path
    std::string entry;   // the file's name in the scratch folder, before the rest
    bool numbered;       // the rest is a number and ".tmp"
  } cases[] = {{Dir(), Dir() + "_knn", "_knn", true},
               {".\\temp", ".\\temp_knn", ".\\temp_knn", true},
               {"", scratch.Path() + "/_knn", "_knn", false}};
  for (const auto& c : cases) {
    Streamed table = Make("t", c.dir);
    ASSERT_NE(table, nullptr) << c.dir;
    const std::string path = table->GetTempPath();
    ASSERT_EQ(path.rfind(c.prefix, 0), 0u) << path;
    const std::string number = path.substr(c.prefix.size());
    if (c.numbered) {
      EXPECT_EQ(number.find_first_not_of("0123456789"), number.size() - 4) << path;
      EXPECT_EQ(number.substr(number.size() - 4), ".tmp") << path;
    }
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{c.entry + number}) << c.dir;
    table.reset();
    EXPECT_TRUE(scratch.Entries().empty()) << c.dir;
  }
}

TEST_F(StreamedElementTest, AFolderThatCannotHoldFilesGivesNoElement) {
  EXPECT_EQ(Make("t", scratch.Path() + "/no/such/folder/"), nullptr);
  knntest::ScopedEnv tmpdir("TMPDIR", (scratch.Path() + "/absent").c_str());
  EXPECT_EQ(Make("t", ""), nullptr);
  EXPECT_TRUE(scratch.Entries().empty());
}

TEST(TempFileName, TakenNamesAreRetriedAndRefusedProbesAreBounded) {
  // Probe answers: taken twice then free; always refused; another failure (the name is free).
  const struct {
    int takenFirst;
    int then;
    bool named;
    int calls;
  } cases[] = {
      {2, ENOENT, true, 3}, {0, EACCES, false, KNNPMML::kMaxRefusedProbes}, {0, ENOTDIR, true, 1}};
  for (const auto& c : cases) {
    int calls = 0;
    const std::string name = KNNPMML::MakeTempFileName(
        "dir/", "_knn", [&](const std::string&) { return ++calls <= c.takenFirst ? 0 : c.then; });
    EXPECT_EQ(calls, c.calls) << c.then;
    EXPECT_EQ(name.rfind("dir/_knn", 0) == 0, c.named) << name;
    if (!c.named) {
      EXPECT_EQ(name, "");
    }
  }
}

TEST_F(StreamedElementTest, OnlyAFailedTemporaryFileSetsStreamFailed) {
  auto table = Make("t");
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
