#include "service/file_registry.h"

#include <fstream>
#include <sstream>

#include "service/durable_file.h"
#include "service/web_plumbing.h"
#include "web/http_message.h"
#include "web/query.h"

namespace svc {
namespace {

constexpr char kFirstLine[] = "testbed-file-registry 1";
// How long a scanner holding the list may keep a save waiting.
constexpr std::chrono::milliseconds kSharingPatience{5000};

// One record per line, fields separated by tabs; text fields are percent-encoded so that no tab
// or line break inside a URL or path can break the layout.
std::string formatRecord(const FileRecord& record) {
  std::string line = percentEncode(record.url);
  line.append("\t").append(percentEncode(record.clientPath));
  line.append("\t").append(percentEncode(record.localPath));
  line.append("\t").append(std::to_string(record.size));
  line.append("\t").append(record.paused ? "paused" : "active");
  line.append("\t").append(record.complete ? "complete" : "partial");
  line.append("\t").append(percentEncode(record.validator));
  if (!record.segments.empty()) line.append("\t").append(percentEncode(record.segments));
  return line;
}

bool parseRecord(const std::string& line, FileRecord& record) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, '\t')) fields.push_back(field);
  // Lines written before validators were kept have six fields; only files fetched over several
  // connections have an eighth.
  if (line.empty() || line.back() == '\t') fields.push_back("");
  if (fields.size() < 6 || fields.size() > 8 || fields[0].empty()) return false;
  record.url = percentDecode(fields[0]);
  record.clientPath = percentDecode(fields[1]);
  record.localPath = percentDecode(fields[2]);
  uint64_t size = 0;
  if (fields[3] == "-1") {
    record.size = -1;
  } else if (parseDecimal(fields[3], &size)) {
    record.size = static_cast<int64_t>(size);
  } else {
    return false;
  }
  if ((fields[4] != "paused" && fields[4] != "active") || (fields[5] != "complete" && fields[5] != "partial")) {
    return false;
  }
  record.paused = fields[4] == "paused";
  record.complete = fields[5] == "complete";
  record.validator = fields.size() >= 7 ? percentDecode(fields[6]) : std::string();
  record.segments = fields.size() == 8 ? percentDecode(fields[7]) : std::string();
  return true;
}

}  // namespace

FileRegistryStore::FileRegistryStore(const std::filesystem::path& stateDir) : file_(stateDir / "registry.txt") {}

bool FileRegistryStore::save(const std::vector<FileRecord>& records, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text = std::string(kFirstLine) + "\n";
  for (const auto& record : records) text.append(formatRecord(record)).append("\n");
  return ReplaceFileDurably(file_, text, kSharingPatience, error);
}

std::vector<FileRecord> readRegistryText(const std::string& text, bool* damaged) {
  std::vector<FileRecord> records;
  std::istringstream in(text);
  std::string line;
  bool unreadable = !std::getline(in, line) || line != kFirstLine;
  if (!unreadable) {
    while (std::getline(in, line)) {
      FileRecord record;
      if (parseRecord(line, record)) {
        records.push_back(std::move(record));
      } else {
        unreadable = true;
      }
    }
  }
  if (damaged != nullptr) *damaged = unreadable;
  return records;
}

std::vector<FileRecord> FileRegistryStore::load() const {
  std::ifstream in(file_, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  in.close();
  bool damaged = false;
  std::vector<FileRecord> records = readRegistryText(text.str(), &damaged);
  if (damaged) setAside();
  return records;
}

void FileRegistryStore::setAside() const {
  std::error_code error;
  for (int n = 1; n < 1000; ++n) {
    std::filesystem::path aside = file_;
    aside += ".damaged-" + std::to_string(n);
    if (std::filesystem::exists(aside, error)) continue;
    std::filesystem::copy_file(file_, aside, error);
    return;
  }
}

}  // namespace svc
