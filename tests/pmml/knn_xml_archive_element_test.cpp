// The streamed element: children go to a temporary file at once and come back, re-indented,
// when the element is serialised; the file lives exactly as long as the element.
#include "pmml/knn_xml_archive_element.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/status_codes.h"
#include "support/pmml_support.h"

namespace {

using KNNPMML::AddChildTo;
using KNNPMML::KNNXMLArchiveElement;
using VelXML::XMLElement;
using VelXML::XMLString;

// A row with one cell, as the training table writes them.
XMLElement* MakeRow(const std::string& a) {
  XMLElement* row = XMLElement::Create("row");
  XMLElement* cell = XMLElement::Create("a");
  AddChildTo(cell, XMLString::Create(a));
  AddChildTo(row, cell);
  return row;
}

// The node's text through the in-memory writer (0), or the stream writer (1, 2: UTF-8).
std::string Serialise(const VelXML::XMLInterface& node, int depth, int writer = 0) {
  VelXML::ExportFormat format;
  format.SetDepth(depth);
  std::string text;
  if (writer == 0) {
    node.AppendTo(text, format);
    return text;
  }
  std::ostringstream out;
  node.WriteTo(out, format, writer == 2);
  return out.str();
}

using Streamed = std::unique_ptr<KNNXMLArchiveElement>;

class StreamedElementTest : public ::testing::Test {
 protected:
  knntest::ScratchDir scratch;
  Streamed Make(const std::string& name, const std::string& dir) {
    return Streamed(KNNXMLArchiveElement::CreateStreamed(name, false, dir));
  }
  Streamed Make(const std::string& name) { return Make(name, scratch.Path() + "/"); }
};

// Whatever the content, depth or writer, a streamed element must read exactly like the plain
// element with the same children, alone or nested in a plain tree, so the two can be mixed.
TEST_F(StreamedElementTest, SerialisesLikeThePlainElementWithTheSameChildren) {
  const std::function<void(XMLElement*)> contents[] = {
      [](XMLElement* e) { e->AddAttribute("name", "a&b"); },
      [](XMLElement* e) {
        AddChildTo(e, XMLElement::Create("RowNames"));
        AddChildTo(e, MakeRow("x<y"));
        AddChildTo(e, MakeRow("3"));
      }};
  for (const auto& content : contents) {
    std::unique_ptr<XMLElement> streamedRoot(XMLElement::Create("root"));
    std::unique_ptr<XMLElement> plainRoot(XMLElement::Create("root"));
    KNNXMLArchiveElement* streamed = Make("SimpleTable").release();
    ASSERT_NE(streamed, nullptr);
    XMLElement* plain = XMLElement::Create("SimpleTable");
    AddChildTo(streamedRoot.get(), streamed);
    AddChildTo(plainRoot.get(), plain);
    content(streamed);
    content(plain);
    AddChildTo(streamedRoot.get(), XMLElement::Create("after"));
    AddChildTo(plainRoot.get(), XMLElement::Create("after"));
    for (int depth : {0, 1, 3}) {
      for (int writer : {0, 1, 2}) {
        SCOPED_TRACE(::testing::Message() << Serialise(*plain, 0) << " " << depth << writer);
        EXPECT_EQ(Serialise(*streamed, depth, writer), Serialise(*plain, depth));
        EXPECT_EQ(Serialise(*streamedRoot, depth, writer), Serialise(*plainRoot, depth));
      }
    }
  }
}

// Where the file goes: inside a folder given with a trailing separator; a working-folder file
// named by prefix for ".\temp" (not a file in a folder "temp"); the system temporary folder
// for an empty text, which gives no element when that folder is absent.
TEST_F(StreamedElementTest, TheDirectoryTextNamesTheFile) {
  knntest::ScopedCwd cwd(scratch.Path());
  knntest::ScopedEnv tmpdir("TMPDIR", scratch.Path().c_str());
  const std::string dir = scratch.Path() + "/";
  for (const auto& [given, prefix] : {std::pair{dir, dir + "_knn"},
                                      {std::string(".\\temp"), std::string(".\\temp_knn")},
                                      {std::string(), dir + "_knn"}}) {
    Streamed table = Make("t", given);
    ASSERT_NE(table, nullptr) << given;
    const std::string path = table->GetTempPath();
    ASSERT_EQ(path.rfind(prefix, 0), 0u) << path;
    // After a given folder comes a number and ".tmp".
    const std::string rest = path.substr(prefix.size());
    EXPECT_TRUE(given.empty() || rest.find_first_not_of("0123456789") == rest.size() - 4) << path;
    EXPECT_TRUE(given.empty() || rest.substr(rest.size() - 4) == ".tmp") << path;
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{path.substr(path.rfind('/') + 1)});
    table.reset();
    EXPECT_TRUE(scratch.Entries().empty()) << given;
  }
  knntest::ScopedEnv absent("TMPDIR", (dir + "absent").c_str());
  EXPECT_EQ(Make("t", ""), nullptr);
  EXPECT_TRUE(scratch.Entries().empty());
}

TEST(TempFileName, TakenNamesAreRetriedAndRefusedProbesAreBounded) {
  // Probe answers: taken twice then free; always refused; another failure (the name is free).
  const struct {
    int takenFirst, then, calls;
    const char* start;
  } cases[] = {{2, ENOENT, 3, "dir/_knn"},
               {0, EACCES, KNNPMML::kMaxRefusedProbes, ""},
               {0, ENOTDIR, 1, "dir/_knn"}};
  for (const auto& c : cases) {
    int calls = 0;
    const std::string name = KNNPMML::MakeTempFileName(
        "dir/", "_knn", [&](const std::string&) { return ++calls <= c.takenFirst ? 0 : c.then; });
    EXPECT_EQ(calls, c.calls) << c.then;
    EXPECT_EQ(name.substr(0, 8), c.start) << name;
  }
}

}  // namespace
