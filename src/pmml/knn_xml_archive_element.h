// Elements too large to keep in memory (the training table, the per-case scoring tables):
// their children go to a private temporary file the moment they are attached, and the file
// is copied into the output when the document is written.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "host/vel_status.h"
#include "host/vel_xml.h"

namespace KNNPMML {

class KNNXMLArchiveElement : public VelXML::XMLElement {
 public:
  // A new element with an open, empty temporary file in directory; null when no file could
  // be made there.
  static std::unique_ptr<KNNXMLArchiveElement> CreateStreamed(const std::string& name, bool useUTF8,
                                                              const std::string& directory);
  KNNXMLArchiveElement(const KNNXMLArchiveElement&) = delete;
  KNNXMLArchiveElement& operator=(const KNNXMLArchiveElement&) = delete;
  // Closes and deletes the temporary file.
  ~KNNXMLArchiveElement() override;

  void AppendTo(std::string& text, VelXML::ExportFormat& format) const override;
  void WriteTo(std::ostream& out, VelXML::ExportFormat& format, bool useUTF8) const override;
  // Both write node into the temporary file, destroy it and return the new item count.
  int AddText(VelXML::XMLString* node) override;
  int AddChild(VelXML::XMLInterface* node) override;
  // Puts text into the temporary file as it stands (one item).
  int WriteRaw(const std::string& text);
  // Writes an element of that name holding only text, as AddChild would write it, without
  // making the element (one item).
  int WriteTextElement(const std::string& name, const std::string& text);
  // Writes markup made for an item (as its serialisation would write it), one item.
  int WriteMarkup(const std::string& markup);

  int32_t GetChildCount() const { return childCount_; }
  const std::string& GetTempPath() const { return tempPath_; }
  bool UsesUTF8() const { return useUTF8_; }
  // False when the temporary file is missing or a write to it has failed.
  bool IsStreamGood() const;
  // The file stream itself, for callers that must inspect or fail it.
  std::fstream* GetTempStream() const { return tempStream_.get(); }

 private:
  KNNXMLArchiveElement(const std::string& name, std::unique_ptr<std::fstream> stream,
                       std::string path, bool useUTF8);
  int WriteNode(const VelXML::XMLInterface& node);
  // Moves the file's position back to its end if it was read since the last write.
  void ToEnd();
  // Appends text to the file (converted to UTF-8 when asUTF8) as one item.
  int Put(const std::string& text, bool asUTF8);
  // The serialisation, one piece at a time, shared by AppendTo and WriteTo.
  void Serialise(VelXML::ExportFormat& format,
                 const std::function<void(const std::string&, bool markup)>& emit) const;

  int32_t childCount_ = 0;
  mutable bool readSinceWrite_ = false;
  std::unique_ptr<std::fstream> tempStream_;
  std::string tempPath_;
  bool useUTF8_;
};

// How a candidate name is probed: 0 when a file of that name exists (and could be opened),
// otherwise the errno of the failed open.
using TempNameProbe = std::function<int(const std::string& path)>;
int ProbeByOpening(const std::string& path);

// Refused probes (EACCES) accepted before the name search gives up.
inline constexpr int kMaxRefusedProbes = 1000;

// A temporary file path. Empty directory: a fresh unique name in the system temporary
// directory (TMPDIR, else /tmp). Otherwise directory + suffix + a random number + ".tmp",
// the directory text used as a plain prefix. Empty result when no name could be found.
std::string MakeTempFileName(const std::string& directory, const std::string& suffix,
                             const TempNameProbe& probe = ProbeByOpening);

// A new, empty temporary file named by MakeTempFileName (directory, suffix), removed when
// this goes out of scope, whichever way the scope is left, unless released. Path() is empty
// when no file could be made. In a named directory the file is created exclusively, so that
// what is removed is always a file this made.
class TempFile {
 public:
  TempFile(const std::string& directory, const std::string& suffix);
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();
  const std::string& Path() const { return path_; }
  // The file now has another owner.
  void Release() { owned_ = false; }

 private:
  std::string path_;
  bool owned_ = false;
};

// Subtrees under construction are owned from their first moment, so that an allocation failing
// before they are attached frees them.
using ElementPtr = std::unique_ptr<VelXML::XMLElement>;
ElementPtr NewElement(const std::string& name);
std::unique_ptr<VelXML::XMLString> NewText(const std::string& text);

// The one way every writer attaches an element or text node: a streamed parent writes the
// child into its file at once and destroys it; a plain parent keeps it. No parent: the child
// is destroyed. The raw form adopts child before anything can fail.
void AddChildTo(VelXML::XMLElement* parent, std::unique_ptr<VelXML::XMLInterface> child);
inline void AddChildTo(VelXML::XMLElement* parent, VelXML::XMLInterface* child) {
  AddChildTo(parent, std::unique_ptr<VelXML::XMLInterface>(child));
}

// status becomes 200056 when element is a streamed element whose file has failed.
void CheckStreamedElement(VelCommon::VelStatus& status, const VelXML::XMLElement* element);

}  // namespace KNNPMML
