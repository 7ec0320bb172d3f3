// How a large file is cut into byte ranges that several connections fetch at once. Each segment
// is [begin, end) of the file with the bytes before `next` on disk. A connection that is free
// takes a segment no one fetches, else half of what is left of the largest running one, so that
// the connections finish together. Pure bookkeeping; the caller locks around it.
#ifndef SERVICE_SEGMENT_PLAN_H
#define SERVICE_SEGMENT_PLAN_H

#include <stddef.h>
#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

namespace svc {

struct Segment {
  int64_t begin = 0;
  int64_t next = 0;  // the first byte not yet on disk
  int64_t end = 0;   // one past the last byte
  bool taken = false;  // a connection is fetching it

  int64_t left() const { return end - next; }
};

class SegmentPlan {
 public:
  SegmentPlan() = default;

  // [from, size) in at most `connections` equal segments of at least minSegment bytes (one
  // segment when the range is shorter); the bytes before from count as one finished segment.
  static SegmentPlan Split(int64_t size, int64_t from, int connections, int64_t minSegment);
  // The text the file list keeps ("begin-next-end,..." in the file's order); nothing when it
  // does not describe segments that cover exactly [0, size) in order.
  static std::optional<SegmentPlan> Parse(const std::string& text, int64_t size);
  std::string Format() const;

  // For a free connection: a segment with bytes left that no connection fetches, else a new one
  // cut from the second half of the largest running segment when both halves keep at least
  // minSegment bytes. Marks it taken; nothing when there is no work for another connection.
  std::optional<size_t> Take(int64_t minSegment);
  // The connection fetching segment index stops (done, failed or refused): others may take it.
  void Release(size_t index) { segments_[index].taken = false; }
  // Bytes up to next of segment index are on disk.
  void Advance(size_t index, int64_t next);

  const std::vector<Segment>& segments() const { return segments_; }
  const Segment& at(size_t index) const { return segments_[index]; }
  int64_t size() const { return size_; }
  int64_t bytesOnDisk() const;
  bool complete() const;

 private:
  int64_t size_ = 0;
  std::vector<Segment> segments_;
};

}  // namespace svc

#endif
