#include "testbed/file_registry.h"

#include <fstream>
#include <sstream>

#include "testbed/http_message.h"
#include "testbed/query.h"

namespace testbed {
namespace {

constexpr char kFirstLine[] = "testbed-file-registry 1";

// One record per line, fields separated by tabs; text fields are percent-encoded so that no tab
// or line break inside a URL or path can break the layout.
std::string formatRecord(const FileRecord& record) {
  std::string line = percentEncode(record.url);
  line.append("\t").append(percentEncode(record.clientPath));
  line.append("\t").append(percentEncode(record.localPath));
  line.append("\t").append(std::to_string(record.size));
  line.append("\t").append(record.paused ? "paused" : "active");
  line.append("\t").append(record.complete ? "complete" : "partial");
  return line;
}

bool parseRecord(const std::string& line, FileRecord& record) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, '\t')) fields.push_back(field);
  if (fields.size() != 6 || fields[0].empty()) return false;
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
  return true;
}

}  // namespace

FileRegistryStore::FileRegistryStore(const std::filesystem::path& stateDir) : file_(stateDir / "registry.txt") {}

bool FileRegistryStore::save(const std::vector<FileRecord>& records) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::filesystem::path temporary = file_;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << kFirstLine << "\n";
    for (const auto& record : records) out << formatRecord(record) << "\n";
    out.flush();
    if (!out) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, file_, error);
  return !error;
}

std::vector<FileRecord> FileRegistryStore::load() const {
  std::vector<FileRecord> records;
  std::ifstream in(file_, std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || line != kFirstLine) return records;
  while (std::getline(in, line)) {
    FileRecord record;
    if (parseRecord(line, record)) records.push_back(std::move(record));
  }
  return records;
}

}  // namespace testbed
