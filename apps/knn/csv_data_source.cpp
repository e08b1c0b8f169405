#include "csv_data_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

#include "cell_conversion.h"
#include "csv_reader.h"
#include "host/vel_missing.h"
#include "interrupt_flag.h"

namespace knncli {
namespace {

double MissingFor(const VelMTD::IVelVariable& variable) {
  return variable.GetMeasureKind() == VelMTD::kContinuous ? VelMV::gMissingValue : -1.0;
}

const char* ExpectedText(int dateKind) {
  switch (dateKind) {
    case VelMTD::kDate:
      return "a date (YYYY-MM-DD)";
    case VelMTD::kTime:
      return "a time (hh:mm:ss)";
    case VelMTD::kDateTime:
      return "a date-time (YYYY-MM-DDThh:mm:ss)";
    default:
      return "a number";
  }
}

constexpr int kInterruptStride = 1024;

// A cell quoted in a message stays on one line and short: a cell may hold line breaks or a
// megabyte of text.
std::string CellForMessage(std::string_view cell) {
  constexpr size_t kShown = 40;
  std::string text;
  for (char c : cell.substr(0, kShown)) {
    if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else {
      text += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
  }
  if (cell.size() > kShown) text += "...";
  return text;
}

}  // namespace

bool ConvertCell(const VelMTD::IVelVariable& variable, std::string_view cell, double& value,
                 std::string& reason) {
  const std::string_view text = TrimBlanks(cell);
  if (variable.GetMeasureKind() != VelMTD::kContinuous) {
    const VelMTD::VelCategories* categories = variable.GetCategories();
    const bool numeric = variable.GetMeasureKind() == VelMTD::kNumericCategorical;
    value = text.empty() || categories == nullptr
                ? -1.0
                : static_cast<double>(categories->FindCode(std::string(text), numeric));
    return true;
  }
  if (IsMissingToken(text)) {
    value = VelMV::gMissingValue;
    return true;
  }
  bool converted = false;
  switch (variable.GetDateKind()) {
    case VelMTD::kDate:
      converted = ParseIsoDate(text, value);
      break;
    case VelMTD::kTime:
      converted = ParseIsoTime(text, value);
      break;
    case VelMTD::kDateTime:
      converted = ParseIsoDateTime(text, value);
      break;
    default:
      break;
  }
  // Date kinds also take the plain number they are held as.
  if (!converted) converted = ParseFiniteNumber(text, value);
  if (!converted) {
    // Appended piece by piece: GCC 12 misreads "'" + std::string as an overlapping copy.
    reason.assign(1, '\'');
    reason += CellForMessage(cell);
    reason += "' is not ";
    reason += ExpectedText(variable.GetDateKind());
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Records of a CSV text, read a block at a time from a file (or all at once from memory).
// CsvReader parses the text in pieces that end at a line end outside quotes (every quote
// toggles; a well-formed record has an even count before any line end of its own), so each
// piece parses exactly as it would within the whole text; a malformed record fails inside
// one piece, at the same line, because no piece ends between its start and its fault.

class CsvRecordStream {
 public:
  // Over a text in memory, which must outlive the stream.
  explicit CsvRecordStream(std::string_view text) : text_(text), inMemory_(true) {}
  explicit CsvRecordStream(size_t block) : block_(std::max<size_t>(block, 1)) {}
  CsvRecordStream(const CsvRecordStream&) = delete;
  CsvRecordStream& operator=(const CsvRecordStream&) = delete;
  ~CsvRecordStream() {
    if (file_ != nullptr) std::fclose(file_);
  }

  bool Open(const std::string& path, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      error = "cannot read '" + path + "': it is a folder";
      return false;
    }
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
      error = "cannot open '" + path + "': " + std::strerror(errno);
      return false;
    }
    path_ = path;
    return true;
  }

  // As CsvReader::Next, over the whole text.
  bool Next(std::vector<std::string>& cells) {
    for (;;) {
      if (reader_) {
        if (reader_->Next(cells)) {
          line_ = lineOffset_ + reader_->Line();
          return true;
        }
        if (!reader_->Error().empty()) {
          error_ = reader_->Error();
          line_ = lineOffset_ + reader_->Line();
          return false;
        }
      }
      if (!NextPiece()) {
        cells.clear();
        return false;
      }
    }
  }
  long Line() const { return line_; }
  const std::string& Error() const { return error_; }

 private:
  static constexpr std::string_view kBom = "\xEF\xBB\xBF";

  // Line ends as CsvReader counts them: LF, CRLF and a CR alone each count once.
  static long LineEnds(std::string_view text) {
    long count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
        ++count;
      }
    }
    return count;
  }

  // Appends up to one block of the file to the buffer.
  bool Fill() {
    const size_t old = buffer_.size();
    buffer_.resize(old + block_);
    const size_t got = std::fread(buffer_.data() + old, 1, block_, file_);
    buffer_.resize(old + got);
    if (got < block_) {
      if (std::ferror(file_) != 0) {
        error_ = "cannot read '" + path_ + "'";
        return false;
      }
      atEnd_ = true;
    }
    return true;
  }

  // Drops the piece just parsed and hands the reader the next one; false at the end of
  // the text or on a read error.
  bool NextPiece() {
    if (inMemory_) {
      if (reader_) return false;
      reader_.emplace(text_);
      return true;
    }
    if (file_ == nullptr) return false;
    if (reader_) {
      lineOffset_ += LineEnds(std::string_view(buffer_.data(), pieceEnd_));
      buffer_.erase(0, pieceEnd_);
      reader_.reset();
      pieceEnd_ = 0;
    }
    size_t scanned = 0;
    size_t cut = 0;
    bool quoted = false;
    // Reads until the text holds a cut: at least one block at first, then one more block
    // for every scan that found none.
    for (bool first = true;; first = false) {
      if (!atEnd_ && (!first || buffer_.size() < block_ + kBom.size()) && !Fill()) return false;
      if (atEnd_) {
        cut = buffer_.size();
        break;
      }
      // Three bytes stay unscanned so that a cut can look at what follows it.
      const size_t limit = buffer_.size() >= 3 ? buffer_.size() - 3 : 0;
      for (; scanned < limit; ++scanned) {
        const char c = buffer_[scanned];
        if (c == '"') {
          quoted = !quoted;
        } else if (!quoted && (c == '\n' || (c == '\r' && buffer_[scanned + 1] != '\n'))) {
          // A piece must not begin with a byte-order mark: CsvReader skips one only at the
          // very start of the text.
          if (std::string_view(buffer_).substr(scanned + 1, kBom.size()) != kBom) {
            cut = scanned + 1;
          }
        }
      }
      if (cut > 0) break;
    }
    if (cut == 0) return false;
    pieceEnd_ = cut;
    reader_.emplace(std::string_view(buffer_.data(), pieceEnd_));
    return true;
  }

  std::string_view text_;
  bool inMemory_ = false;
  size_t block_ = 0;
  std::FILE* file_ = nullptr;
  std::string path_;
  std::string buffer_;  // unparsed text of the file, starting at a record boundary
  size_t pieceEnd_ = 0;
  bool atEnd_ = false;
  std::optional<CsvReader> reader_;
  long lineOffset_ = 0;  // lines before the current piece
  long line_ = 0;
  std::string error_;
};

// ---------------------------------------------------------------------------------------

CsvDataSource::CsvDataSource() = default;
CsvDataSource::~CsvDataSource() = default;

void CsvDataSource::SetStreaming(size_t keptValues, size_t readBlock) {
  keptValues_ = keptValues;
  readBlock_ = std::max<size_t>(readBlock, 1);
}

LoadOutcome CsvDataSource::Load(const std::string& path, const VelMTD::VelVarList& variables,
                                bool absentAreMissing, std::string& error) {
  auto stream = std::make_unique<CsvRecordStream>(readBlock_);
  stream_.reset();
  if (!stream->Open(path, error)) return LoadOutcome::kError;
  name_ = path;
  variables_ = &variables;
  return ReadAll(*stream, true, absentAreMissing, error);
}

LoadOutcome CsvDataSource::LoadText(std::string_view text, const std::string& name,
                                    const VelMTD::VelVarList& variables, bool absentAreMissing,
                                    std::string& error) {
  CsvRecordStream stream(text);
  stream_.reset();
  name_ = name;
  variables_ = &variables;
  // There is no file to read again: the rows are kept whatever their number.
  return ReadAll(stream, false, absentAreMissing, error);
}

LoadOutcome CsvDataSource::MatchHeader(CsvRecordStream& stream, bool absentAreMissing,
                                       std::string& error) {
  header_.clear();
  if (!stream.Next(header_)) {
    error = stream.Error().empty()
                ? name_ + ": the file is empty (a header row is expected)"
                : name_ + " line " + std::to_string(stream.Line()) + ": " + stream.Error();
    return LoadOutcome::kError;
  }
  for (auto& cell : header_) cell = std::string(TrimBlanks(cell));

  sources_.assign(static_cast<size_t>(width_), CsvFieldSource{});
  for (int v = 0; v < width_; ++v) {
    const VelMTD::IVelVariable& variable = *variables_->GetVarAt(v);
    CsvFieldSource& source = sources_[static_cast<size_t>(v)];
    const auto found = std::find(header_.begin(), header_.end(), variable.GetName());
    if (found != header_.end()) {
      if (std::find(found + 1, header_.end(), variable.GetName()) != header_.end()) {
        error = name_ + ": the header names column '" + variable.GetName() + "' twice";
        return LoadOutcome::kError;
      }
      source.column = static_cast<int>(found - header_.begin());
    } else if (variable.HasDefault()) {
      std::string reason;
      if (!ConvertCell(variable, variable.GetDefaultText(), source.constant, reason)) {
        error = "the default of field '" + variable.GetName() + "': " + reason;
        return LoadOutcome::kError;
      }
    } else if (variable.IsGeneratedRowNumber()) {
      source.rowNumber = true;
    } else if (absentAreMissing) {
      source.constant = MissingFor(variable);
      absentFields_.push_back(variable.GetName());
    } else {
      error = name_ + ": no column for the field '" + variable.GetName() +
              "' (declare it with default=\"...\" or generated=\"row-number\" when the data "
              "has none)";
      return LoadOutcome::kError;
    }
  }
  return LoadOutcome::kOk;
}

bool CsvDataSource::ConvertRecord(const std::vector<std::string>& cells, long line, int number,
                                  double* values, std::string& error) const {
  if (cells.size() != header_.size()) {
    error = name_ + " line " + std::to_string(line) + ": " + std::to_string(cells.size()) +
            " cells, but the header has " + std::to_string(header_.size());
    return false;
  }
  std::string reason;
  for (int v = 0; v < width_; ++v) {
    const CsvFieldSource& source = sources_[static_cast<size_t>(v)];
    double value = source.constant;
    if (source.rowNumber) {
      value = static_cast<double>(number);
    } else if (source.column >= 0) {
      const VelMTD::IVelVariable& variable = *variables_->GetVarAt(v);
      if (!ConvertCell(variable, cells[static_cast<size_t>(source.column)], value, reason)) {
        error = name_ + " line " + std::to_string(line) + ", column '" + variable.GetName() +
                "': " + reason;
        return false;
      }
    }
    values[v] = value;
  }
  return true;
}

LoadOutcome CsvDataSource::ReadAll(CsvRecordStream& stream, bool canStream, bool absentAreMissing,
                                   std::string& error) {
  values_.clear();
  absentFields_.clear();
  passError_.clear();
  count_ = 0;
  next_ = 0;
  streaming_ = false;
  width_ = variables_->Size();
  const LoadOutcome header = MatchHeader(stream, absentAreMissing, error);
  if (header != LoadOutcome::kOk) return header;

  // Rows are kept while they fit; past the limit they are dropped and later passes read
  // the file again.
  bool keeping = true;
  std::vector<double> scratch(static_cast<size_t>(width_));
  std::vector<std::string> cells;
  const auto width = static_cast<size_t>(width_);
  while (stream.Next(cells)) {
    if (count_ % kInterruptStride == 0 && InterruptRequested()) return LoadOutcome::kInterrupted;
    if (count_ == std::numeric_limits<int>::max()) {
      error = name_ + ": too many records";
      return LoadOutcome::kError;
    }
    if (keeping && canStream && values_.size() + width > keptValues_) {
      keeping = false;
      std::vector<double>().swap(values_);
    }
    double* row = scratch.data();
    if (keeping) {
      values_.resize(values_.size() + width);
      row = values_.data() + values_.size() - width;
    }
    if (!ConvertRecord(cells, stream.Line(), count_ + 1, row, error)) return LoadOutcome::kError;
    ++count_;
  }
  if (!stream.Error().empty()) {
    error = name_ + " line " + std::to_string(stream.Line()) + ": " + stream.Error();
    return LoadOutcome::kError;
  }
  streaming_ = !keeping;
  values_.shrink_to_fit();
  return LoadOutcome::kOk;
}

bool CsvDataSource::Rewind() {
  next_ = 0;
  if (!streaming_) return true;
  stream_ = std::make_unique<CsvRecordStream>(readBlock_);
  std::string error;
  std::vector<std::string> header;
  if (!stream_->Open(name_, error)) {
    passError_ = error;
  } else if (!stream_->Next(header) ||
             !std::equal(header.begin(), header.end(), header_.begin(), header_.end(),
                         [](const std::string& cell, const std::string& trimmed) {
                           return TrimBlanks(cell) == trimmed;
                         })) {
    passError_ = name_ + ": the file changed while it was being read (its header differs)";
  } else {
    return true;
  }
  stream_.reset();
  return false;
}

const VelCommon::Record* CsvDataSource::NextRecord() {
  if (!streaming_) {
    if (next_ >= count_) return nullptr;
    const double* row = Row(next_++);
    record_.Values().assign(row, row + width_);
    return &record_;
  }
  if (!stream_) return nullptr;
  std::string error;
  if (!stream_->Next(cells_)) {
    if (!stream_->Error().empty()) {
      error = name_ + " line " + std::to_string(stream_->Line()) + ": " + stream_->Error();
    } else if (next_ != count_) {
      error = name_ + ": the file changed while it was being read (it has fewer records)";
    }
  } else if (next_ == count_) {
    error = name_ + ": the file changed while it was being read (it has more records)";
  } else {
    record_.Values().resize(static_cast<size_t>(width_));
    if (ConvertRecord(cells_, stream_->Line(), next_ + 1, record_.Values().data(), error)) {
      ++next_;
      return &record_;
    }
    error = "the file changed while it was being read: " + error;
  }
  if (!error.empty() && passError_.empty()) passError_ = error;
  stream_.reset();
  return nullptr;
}

}  // namespace knncli
