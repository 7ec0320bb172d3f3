// Fetching a large file over several connections at once, each writing its own byte range
// (segment_plan.h) of one version of the file: every request names that version (If-Range), and
// any answer of another version, of another size or of another range than asked stops every
// connection and ends with RangeRefused, so that the caller starts the file over on one
// connection; two versions are never spliced. An origin that answers 429 or 503, or refuses a
// connection, gets fewer connections rather than a failed file; a connection that breaks goes on
// from its last byte after a growing wait. Where each segment stands is recorded only after the
// bytes before it were flushed to the disk, so a resume after a crash or a power loss fetches no
// byte twice that the disk kept.
#ifndef SERVICE_SEGMENTED_FETCH_H
#define SERVICE_SEGMENTED_FETCH_H

#include <stdint.h>

#include <chrono>
#include <functional>
#include <string>

#include "service/downloader.h"
#include "service/fetch_abort.h"
#include "service/segment_plan.h"
#include "service/target_file.h"

namespace svc {

// The build setting of how many connections one file may take.
#ifndef AK_SERVICE_CONNECTIONS
#define AK_SERVICE_CONNECTIONS 4
#endif

struct SegmentSettings {
  // The most connections one file is fetched over; 1 fetches every file over one connection.
  int connections = AK_SERVICE_CONNECTIONS;
  // Files smaller than this are fetched over one connection.
  int64_t threshold = 32 * 1024 * 1024;
  // No segment is cut smaller than this (and never smaller than one read of the fetch).
  int64_t minSegment = 8 * 1024 * 1024;
  // How often the segments' progress is flushed and recorded; flushing as the bytes come also
  // spreads the disk's work over the download instead of leaving it all to the end.
  std::chrono::milliseconds recordEvery{500};
  // ... or sooner, once this many bytes have come since the last flush: on a fast line the final
  // flush then has little left to write.
  int64_t recordAfterBytes = 64 * 1024 * 1024;
  // The wait after a broken connection, doubled after each one without progress, up to the longest.
  std::chrono::milliseconds firstWait{1000};
  std::chrono::milliseconds longestWait{60000};
  // Broken connections in a row, with no byte between them, after which the file's fetch ends with
  // the last failure (the caller reports it and tries again later).
  int failuresToGiveUp = 8;
  // The longest Retry-After honoured; a longer one is cut to this.
  std::chrono::seconds longestBusyWait{60};
};

struct SegmentHooks {
  // After each write: how many bytes were just added.
  std::function<void(uint64_t added)> bytesWritten;
  // The plan's text after a flush made its bytes durable, for the file list.
  std::function<void(const std::string& planText)> record;
  // Asked between reads; false stops every connection. It may block (a stalled file waits here).
  std::function<bool()> keepGoing;
  // A connection beyond the file's first asks for a place under the cap of connections to one
  // host; each granted place is given back.
  std::function<bool()> takeExtraConnection;
  std::function<void()> giveBackExtraConnection;
  // Lets the caller stop every connection, including reads blocked in the platform's HTTP stack.
  FetchAbort* abort = nullptr;
};

// Fetches what plan still lacks of url's version known into file, over up to settings.connections
// connections. Complete when every segment is on disk; plan holds where each one stands in any case.
FetchOutcome fetchSegments(const std::string& url, TargetFile& file, SegmentPlan& plan, const KnownVersion& known,
                           const SegmentHooks& hooks, const SegmentSettings& settings, const FetchSettings& fetch);

}  // namespace svc

#endif
