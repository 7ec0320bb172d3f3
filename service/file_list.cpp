#include "service/file_list.h"

#include "service/segment_plan.h"

namespace svc {
namespace {

int64_t sizeOnDisk(const std::filesystem::path& file) {
  std::error_code error;
  auto size = std::filesystem::file_size(file, error);
  return error ? 0 : static_cast<int64_t>(size);
}

}  // namespace

void FileList::load(bool unclean) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  for (auto& record : store_.load()) {
    auto file = std::make_shared<TrackedFile>();
    file->local = std::filesystem::u8path(record.localPath);
    file->onDisk = sizeOnDisk(file->local);
    if (auto plan = SegmentPlan::Parse(record.segments, record.size); plan && !record.complete) {
      file->onDisk = plan->bytesOnDisk();
    }
    file->totalReceived = file->onDisk;
    if (record.complete) file->phase = "COMPLETE";
    file->dropTail = unclean && !record.complete;
    file->record = std::move(record);
    files_[file->record.url] = file;
  }
}

std::shared_ptr<TrackedFile> FileList::find(const std::string& url) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  auto found = files_.find(url);
  return found == files_.end() ? nullptr : found->second;
}

void FileList::add(const std::shared_ptr<TrackedFile>& file) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  files_[file->record.url] = file;
}

void FileList::forget(const std::string& url) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  files_.erase(url);
}

TrackedFiles FileList::snapshot() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return files_;
}

void FileList::save() {
  std::lock_guard<std::mutex> saving(saveMutex_);
  std::vector<FileRecord> records;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    for (auto& [url, file] : files_) records.push_back(file->record);
  }
  std::string problem;
  if (!store_.save(records, &problem)) events_.note("cannot save the list of downloads: " + problem);
}

}  // namespace svc
