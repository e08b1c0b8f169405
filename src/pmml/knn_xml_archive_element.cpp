#include "pmml/knn_xml_archive_element.h"

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
  std::string base = (env != nullptr && *env != '\0') ? env : "/tmp";
  if (base.back() != '/') base += '/';
  std::string pattern = base + prefix + "XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) return std::string();
  ::close(fd);
  return std::string(buffer.data());
}

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

KNNXMLArchiveElement* KNNXMLArchiveElement::CreateStreamed(const std::string& name, bool useUTF8,
                                                           const std::string& directory) {
  const std::string path = MakeTempFileName(directory, "_knn");
  if (path.empty()) return nullptr;
  auto stream = std::make_unique<std::fstream>(
      path, std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary);
  if (!stream->is_open() || !stream->good()) {
    stream.reset();
    // The system-directory name was created to reserve it; a named directory got nothing.
    if (directory.empty()) std::remove(path.c_str());
    return nullptr;
  }
  return new KNNXMLArchiveElement(name, std::move(stream), path, useUTF8);
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

int KNNXMLArchiveElement::WriteNode(const VelXML::XMLInterface& node) {
  if (tempStream_) {
    tempStream_->seekp(0, std::ios::end);
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
  if (tempStream_) {
    tempStream_->seekp(0, std::ios::end);
    VelXML::Write(*tempStream_, text);
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
    // Reading to the end leaves eof and fail set; later rows must still be written.
    file.clear();

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

void AddChildTo(VelXML::XMLElement* parent, VelXML::XMLInterface* child) {
  if (child == nullptr) return;
  if (parent == nullptr) {
    delete child;
    return;
  }
  // A streamed parent's AddText and AddChild both write to its file; a plain parent keeps
  // text nodes apart from elements.
  if (dynamic_cast<KNNXMLArchiveElement*>(parent) == nullptr) {
    if (auto* text = dynamic_cast<VelXML::XMLString*>(child)) {
      parent->AddText(text);
      return;
    }
  }
  parent->AddChild(child);
}

void CheckStreamedElement(VelCommon::VelStatus& status, const VelXML::XMLElement* element) {
  const auto* streamed = dynamic_cast<const KNNXMLArchiveElement*>(element);
  if (streamed != nullptr && !streamed->IsStreamGood()) {
    status = KNNStatus::Error(KNNStatus::kStreamFailed);
  }
}

}  // namespace KNNPMML
