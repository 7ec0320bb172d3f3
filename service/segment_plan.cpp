#include "service/segment_plan.h"

#include <algorithm>
#include <sstream>

#include "service/web_plumbing.h"
#include "web/http_message.h"

namespace svc {

SegmentPlan SegmentPlan::Split(int64_t size, int64_t from, int connections, int64_t minSegment) {
  SegmentPlan plan;
  plan.size_ = size;
  from = std::clamp<int64_t>(from, 0, size);
  if (from > 0) plan.segments_.push_back({0, from, from, false});
  const int64_t rest = size - from;
  int64_t count = minSegment > 0 ? rest / minSegment : 1;
  count = std::clamp<int64_t>(count, 1, std::max(1, connections));
  for (int64_t i = 0; i < count; ++i) {
    const int64_t begin = from + rest * i / count;
    const int64_t end = from + rest * (i + 1) / count;
    plan.segments_.push_back({begin, begin, end, false});
  }
  return plan;
}

std::optional<SegmentPlan> SegmentPlan::Parse(const std::string& text, int64_t size) {
  SegmentPlan plan;
  plan.size_ = size;
  std::stringstream stream(text);
  std::string item;
  int64_t covered = 0;
  while (std::getline(stream, item, ',')) {
    const size_t first = item.find('-');
    const size_t second = first == std::string::npos ? std::string::npos : item.find('-', first + 1);
    uint64_t begin = 0;
    uint64_t next = 0;
    uint64_t end = 0;
    if (second == std::string::npos || !parseDecimal(item.substr(0, first), &begin) ||
        !parseDecimal(item.substr(first + 1, second - first - 1), &next) || !parseDecimal(item.substr(second + 1), &end)) {
      return std::nullopt;
    }
    if (static_cast<int64_t>(begin) != covered || next < begin || next > end || end <= begin) return std::nullopt;
    plan.segments_.push_back({static_cast<int64_t>(begin), static_cast<int64_t>(next), static_cast<int64_t>(end), false});
    covered = static_cast<int64_t>(end);
  }
  if (covered != size || plan.segments_.empty()) return std::nullopt;
  return plan;
}

std::string SegmentPlan::Format() const {
  std::vector<Segment> ordered = segments_;
  std::sort(ordered.begin(), ordered.end(), [](const Segment& a, const Segment& b) { return a.begin < b.begin; });
  std::string text;
  for (const Segment& segment : ordered) {
    if (!text.empty()) text += ',';
    text += std::to_string(segment.begin) + "-" + std::to_string(segment.next) + "-" + std::to_string(segment.end);
  }
  return text;
}

std::optional<size_t> SegmentPlan::Take(int64_t minSegment) {
  for (size_t i = 0; i < segments_.size(); ++i) {
    if (!segments_[i].taken && segments_[i].left() > 0) {
      segments_[i].taken = true;
      return i;
    }
  }
  size_t largest = segments_.size();
  for (size_t i = 0; i < segments_.size(); ++i) {
    if (segments_[i].taken && (largest == segments_.size() || segments_[i].left() > segments_[largest].left())) {
      largest = i;
    }
  }
  if (largest == segments_.size() || segments_[largest].left() < 2 * std::max<int64_t>(minSegment, 1)) {
    return std::nullopt;
  }
  Segment& running = segments_[largest];
  const int64_t middle = running.next + running.left() / 2;
  Segment stolen{middle, middle, running.end, true};
  running.end = middle;
  // Appended, so that the indexes the other connections hold stay theirs.
  segments_.push_back(stolen);
  return segments_.size() - 1;
}

void SegmentPlan::Advance(size_t index, int64_t next) {
  Segment& segment = segments_[index];
  segment.next = std::clamp(next, segment.next, segment.end);
}

int64_t SegmentPlan::bytesOnDisk() const {
  int64_t total = 0;
  for (const Segment& segment : segments_) total += segment.next - segment.begin;
  return total;
}

bool SegmentPlan::complete() const {
  return std::all_of(segments_.begin(), segments_.end(), [](const Segment& s) { return s.left() == 0; });
}

}  // namespace svc
