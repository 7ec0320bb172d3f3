// Fakes for the telemetry tests: a job whose every reading is a plain field, a settable clock,
// a machine description of fixed texts, and sinks that record what they are given.
#ifndef TESTS_TELEMETRY_TELEMETRY_FAKES_H
#define TESTS_TELEMETRY_TELEMETRY_FAKES_H

#include <string>
#include <utility>
#include <vector>

#include "telemetry/event_catalogue.h"
#include "telemetry/event_tracker.h"

namespace telemetrytest {

class FakeJob : public TrackedJob {
 public:
  bool HasConfig() const override { return hasConfig; }
  TrackedState State() const override { return state; }
  int32_t CurrentIndex() const override { return currentIndex; }
  int32_t FileCount() const override { return static_cast<int32_t>(files.size()); }
  TrackedFile FileAt(int32_t index) const override { return files.at(static_cast<size_t>(index)); }
  std::wstring FileId() const override { return fileId; }
  uint64_t TotalReceived() const override {
    uint64_t total = 0;
    for (const auto& file : files) total += file.received;
    return total;
  }
  int64_t StartTime() const override { return startTime; }
  RateSamples TotalSamples() const override { return totalSamples; }
  RateSamples FileSamples() const override { return fileSamples; }

  bool hasConfig = true;
  TrackedState state = TrackedState::Downloading;
  int32_t currentIndex = 0;
  std::vector<TrackedFile> files;
  std::wstring fileId = L"game-7";
  int64_t startTime = 0;
  RateSamples totalSamples;
  RateSamples fileSamples;
};

class FakeClock : public EventClock {
 public:
  int64_t NowSeconds() const override { return now; }
  int64_t now = 1000000000;
};

class FixedSystem : public SystemDescription {
 public:
  std::wstring UserId() override {
    ++userIdReads;
    return L"abc";
  }
  std::wstring OperatingSystem() override { return L"Microsoft Windows 7 Professional (build 7601), 64-bit"; }
  std::wstring InternetExplorerVersion() override { return L"9.0"; }
  std::wstring ScreenSize() override { return L"1920x1080"; }
  std::wstring Language() override { return L"en"; }
  std::wstring FlashVersion() override { return L"flash"; }
  std::wstring DotNetVersion() override { return L"v4"; }
  std::wstring Memory() override { return L"2.0GB"; }
  std::wstring ProcessorCount() override { return L"2"; }
  std::wstring CoresPerProcessor() override { return L"4"; }
  std::wstring ProcessorClock() override { return L"2400"; }
  std::wstring GraphicsCard() override { return L"card"; }
  std::wstring GraphicsMemory() override { return L"256"; }
  std::wstring ClientGuid() override { return L"guid-1"; }
  int userIdReads = 0;
};

struct SentEvent {
  std::wstring name;
  PropertyList properties;
};

// Records both kinds of output in one list, so their order can be checked too.
class Recorder : public EventSink, public StatisticsPoster {
 public:
  void Track(const std::wstring& eventName, const PropertyList& ownProperties) override {
    events.push_back({eventName, ownProperties});
    order.push_back(L"event " + eventName);
  }
  void PostStats(const PropertyList& record) override {
    records.push_back(record);
    order.push_back(L"record");
  }
  std::vector<SentEvent> events;
  std::vector<PropertyList> records;
  std::vector<std::wstring> order;
};

class RecordingTransport : public TrackTransport {
 public:
  void SendTrackRequest(const std::wstring& path) override { paths.push_back(path); }
  std::vector<std::wstring> paths;
};

}  // namespace telemetrytest

#endif
