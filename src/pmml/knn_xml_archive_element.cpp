#include "pmml/knn_xml_archive_element.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <utility>
#include <vector>

#include "boundary/status_codes.h"

namespace KNNPMML {

namespace {

// A name found taken is retried with a fresh draw; the draw only changes when the clock
// moves to the next second, so wait a little instead of spinning.
constexpr int kMaxTakenProbes = 20000;

std::string SystemTempName(const std::string& prefix) {
  const char* env = std::getenv("TMPDIR");
  std::string path = (env != nullptr && *env != '\0') ? env : "/tmp";
  if (path.back() != '/') path += '/';
  path += prefix;
  path += "XXXXXX";
  // The name is filled in in place: once the file exists, nothing is allocated that could
  // fail and lose it.
  const int fd = ::mkstemp(path.data());
  if (fd < 0) return std::string();
  ::close(fd);
  return path;
}

// While reading a temporary file back: an exception inside getline (a line that could not
// grow) propagates, where the stream would otherwise swallow it and end the reading as if the
// file ended there, silently dropping the remaining rows. Leaving the scope clears the end-of-file
// state, so that later rows can still be appended.
class ReadingGuard {
 public:
  explicit ReadingGuard(std::fstream& file) : file_(file) { file_.exceptions(std::ios::badbit); }
  ReadingGuard(const ReadingGuard&) = delete;
  ReadingGuard& operator=(const ReadingGuard&) = delete;
  ~ReadingGuard() {
    file_.clear();
    file_.exceptions(std::ios::goodbit);
  }

 private:
  std::fstream& file_;
};

}  // namespace

int ProbeByOpening(const std::string& path) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file != nullptr) {
    std::fclose(file);
    return 0;
  }
  return errno != 0 ? errno : ENOENT;
}

std::string MakeTempFileName(const std::string& directory, const std::string& suffix,
                             const TempNameProbe& probe) {
  if (directory.empty()) return SystemTempName(suffix);
  int refused = 0;
  int taken = 0;
  for (;;) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    char number[16];
    std::snprintf(number, sizeof number, "%d", std::rand());
    std::string path = directory + suffix + number + ".tmp";
    const int error = probe(path);
    if (error == 0) {
      if (++taken >= kMaxTakenProbes) return std::string();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (error == EACCES) {
      if (++refused >= kMaxRefusedProbes) return std::string();
      continue;
    }
    return path;
  }
}

KNNXMLArchiveElement::KNNXMLArchiveElement(const std::string& name,
                                           std::unique_ptr<std::fstream> stream, std::string path,
                                           bool useUTF8)
    : XMLElement(name),
      tempStream_(std::move(stream)),
      tempPath_(std::move(path)),
      useUTF8_(useUTF8) {}

std::unique_ptr<KNNXMLArchiveElement> KNNXMLArchiveElement::CreateStreamed(
    const std::string& name, bool useUTF8, const std::string& directory) {
  TempFile file(directory, "_knn");
  if (file.Path().empty()) return nullptr;
  auto stream = std::make_unique<std::fstream>(
      file.Path(), std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary);
  if (!stream->is_open() || !stream->good()) return nullptr;
  std::unique_ptr<KNNXMLArchiveElement> element(
      new KNNXMLArchiveElement(name, std::move(stream), file.Path(), useUTF8));
  file.Release();
  return element;
}

TempFile::TempFile(const std::string& directory, const std::string& suffix)
    : path_(MakeTempFileName(directory, suffix)) {
  if (path_.empty()) return;
  // The system directory's name search has made the file already. A name free in a named
  // directory is only claimed here; opening it as a stream would not do, since the stream
  // can fail after it has made the file.
  if (!directory.empty()) {
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
      path_.clear();
      return;
    }
    ::close(fd);
  }
  owned_ = true;
}

TempFile::~TempFile() {
  if (owned_) std::remove(path_.c_str());
}

KNNXMLArchiveElement::~KNNXMLArchiveElement() {
  if (tempStream_) {
    tempStream_->close();
    tempStream_.reset();
    std::remove(tempPath_.c_str());
  }
}

bool KNNXMLArchiveElement::IsStreamGood() const {
  if (!tempStream_) return false;
  // Buffered rows only reach the file on a flush; a full disk shows up there.
  tempStream_->flush();
  return !tempStream_->fail();
}

void KNNXMLArchiveElement::ToEnd() {
  // Only after a read: a seek on a file stream writes out its buffer, a system call per row.
  if (readSinceWrite_) tempStream_->seekp(0, std::ios::end);
  readSinceWrite_ = false;
}

int KNNXMLArchiveElement::WriteNode(const VelXML::XMLInterface& node) {
  if (tempStream_) {
    ToEnd();
    VelXML::ExportFormat fresh;
    node.WriteTo(*tempStream_, fresh, useUTF8_);
  }
  return ++childCount_;
}

int KNNXMLArchiveElement::AddText(VelXML::XMLString* node) {
  std::unique_ptr<VelXML::XMLString> owned(node);
  if (!owned) return childCount_;
  return WriteNode(*owned);
}

int KNNXMLArchiveElement::AddChild(VelXML::XMLInterface* node) {
  std::unique_ptr<VelXML::XMLInterface> owned(node);
  if (!owned) return childCount_;
  return WriteNode(*owned);
}

int KNNXMLArchiveElement::WriteRaw(const std::string& text) {
  return Put(text, false);
}

int KNNXMLArchiveElement::WriteTextElement(const std::string& name, const std::string& text) {
  return WriteMarkup(VelXML::TextElementMarkup(name, text));
}

int KNNXMLArchiveElement::WriteMarkup(const std::string& markup) {
  return Put(markup, useUTF8_);
}

int KNNXMLArchiveElement::Put(const std::string& text, bool asUTF8) {
  if (tempStream_) {
    ToEnd();
    if (asUTF8) {
      VelXML::WriteUTF(*tempStream_, text);
    } else {
      VelXML::Write(*tempStream_, text);
    }
  }
  return ++childCount_;
}

void KNNXMLArchiveElement::Serialise(
    VelXML::ExportFormat& format,
    const std::function<void(const std::string&, bool markup)>& emit) const {
  const int depth = format.GetDepth();
  const bool compact = format.IsCompact();
  const bool newParagraph = !compact && format.IsNewParagraph();
  const bool indentation = !compact && format.HasIndentation();

  std::string piece;
  if (newParagraph) piece += '\n';
  if (indentation) piece.append(static_cast<size_t>(depth), '\t');
  piece += '<';
  piece += GetName();
  // Attributes stay on the tag's line, as the host writes them for plain elements.
  for (const VelXML::XMLAttribute& attribute : GetAttributes()) {
    piece += ' ';
    attribute.AppendTo(piece);
  }
  if (childCount_ == 0 || !tempStream_) {
    piece += "/>";
    emit(piece, true);
  } else {
    piece += '>';
    emit(piece, true);
    std::string prefix;
    if (newParagraph) prefix += '\n';
    if (indentation) prefix.append(static_cast<size_t>(depth) + 1, '\t');

    std::fstream& file = *tempStream_;
    file.flush();
    file.clear();
    file.seekg(0, std::ios::beg);
    readSinceWrite_ = true;
    {
      const ReadingGuard reading(file);
      std::string line;
      while (std::getline(file, line)) {
        if (line.empty()) continue;
        if (compact) {
          const size_t start = line.find_first_not_of('\t');
          if (start == std::string::npos) continue;
          line.erase(0, start);
        }
        emit(prefix, true);
        emit(line, false);
      }
    }

    std::string closing;
    if (newParagraph) closing += '\n';
    if (indentation) closing.append(static_cast<size_t>(depth), '\t');
    closing += "</";
    closing += GetName();
    closing += '>';
    emit(closing, true);
  }
  format.SetDepth(depth);
  format.SetIsNewParagraph(true);
  format.SetIndentation(true);
}

void KNNXMLArchiveElement::AppendTo(std::string& text, VelXML::ExportFormat& format) const {
  std::string buffer;
  Serialise(format, [&buffer](const std::string& piece, bool) { buffer += piece; });
  text += buffer;
}

void KNNXMLArchiveElement::WriteTo(std::ostream& out, VelXML::ExportFormat& format,
                                   bool useUTF8) const {
  Serialise(format, [&out, useUTF8](const std::string& piece, bool markup) {
    if (!markup) {
      out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    } else if (useUTF8) {
      VelXML::WriteUTF(out, piece);
    } else {
      VelXML::Write(out, piece);
    }
  });
}

ElementPtr NewElement(const std::string& name) {
  return ElementPtr(VelXML::XMLElement::Create(name));
}

std::unique_ptr<VelXML::XMLString> NewText(const std::string& text) {
  return std::unique_ptr<VelXML::XMLString>(VelXML::XMLString::Create(text));
}

void AddChildTo(VelXML::XMLElement* parent, std::unique_ptr<VelXML::XMLInterface> child) {
  if (child == nullptr || parent == nullptr) return;
  // Both forms of the host's attach adopt the node before they can fail. A streamed parent's
  // AddText and AddChild both write to its file; a plain parent keeps text nodes apart from
  // elements.
  if (dynamic_cast<KNNXMLArchiveElement*>(parent) == nullptr) {
    if (auto* text = dynamic_cast<VelXML::XMLString*>(child.get())) {
      child.release();
      parent->AddText(text);
      return;
    }
  }
  parent->AddChild(child.release());
}

void CheckStreamedElement(VelCommon::VelStatus& status, const VelXML::XMLElement* element) {
  const auto* streamed = dynamic_cast<const KNNXMLArchiveElement*>(element);
  if (streamed != nullptr && !streamed->IsStreamGood()) {
    status = KNNStatus::Error(KNNStatus::kStreamFailed);
  }
}

}  // namespace KNNPMML
