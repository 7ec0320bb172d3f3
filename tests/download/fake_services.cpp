#include "tests/download/fake_services.h"

#include <stdexcept>

namespace downloadtest {

namespace {

template <typename T>
T takeOr(std::deque<T>& queue, T fallback) {
  if (queue.empty()) return fallback;
  T value = queue.front();
  queue.pop_front();
  return value;
}

}  // namespace

bool FakeWindow::Create() {
  calls.push_back(L"Create");
  return createSucceeds;
}
void FakeWindow::Show() { calls.push_back(L"Show"); }
void FakeWindow::BringToForeground() { calls.push_back(L"BringToForeground"); }
void FakeWindow::ResetProgressView() { calls.push_back(L"ResetProgressView"); }
void FakeWindow::ShowProgressRows() {
  calls.push_back(L"ShowProgressRows");
  timerRunning[kProgressTimerId] = true;
}
void FakeWindow::SetPartCaption(int32_t index, int32_t count) {
  calls.push_back(L"Part " + std::to_wstring(index + 1) + L"/" + std::to_wstring(count));
}
void FakeWindow::SetStatusText(const std::wstring& text) { statusTexts.push_back(text); }
void FakeWindow::SetPartProgress(int32_t percent) { partProgress.push_back(percent); }
void FakeWindow::SetTotalProgress(int32_t percent) { totalProgress.push_back(percent); }
void FakeWindow::ShowResumeButton(bool visible) { calls.push_back(visible ? L"ShowResume" : L"HideResume"); }
void FakeWindow::HideTransportButtons() { calls.push_back(L"HideTransportButtons"); }
void FakeWindow::MinimiseToTray() { calls.push_back(L"MinimiseToTray"); }
void FakeWindow::RestoreFromTray() { calls.push_back(L"RestoreFromTray"); }
void FakeWindow::SetTrayTooltip(const std::wstring& text) { tooltips.push_back(text); }
void FakeWindow::StartTimer(int32_t id, uint32_t periodMs) {
  if (id == kRetryTimerId && periodMs == kTimerPeriodMs) ++retryTimerStarts;
  timerRunning[id] = true;
}
void FakeWindow::StopTimer(int32_t id) { timerRunning[id] = false; }
int32_t FakeWindow::ShowPrompt(const Prompt& prompt) {
  // A job that asks the same question forever would otherwise hang the test.
  if (prompts.size() >= kMaxPrompts) throw PromptLoop{};
  prompts.push_back(prompt);
  if (whilePromptOpen) whilePromptOpen(prompt);
  return takeOr(promptAnswers, kPromptClosed);
}
bool FakeWindow::ShowEulaDialog() {
  ++eulaShown;
  return eulaAccepted;
}

int32_t FakeClient::TSInstall(const InstallProgress& progress) {
  calls.push_back(L"TSInstall");
  installWithProgress.push_back(static_cast<bool>(progress));
  if (installThrows > 0) {
    --installThrows;
    throw std::runtime_error("install attempt failed unexpectedly");
  }
  if (progress) {
    for (int32_t percent : installProgressSteps) progress(percent);
  }
  inGuidFetch = true;
  return takeOr(installResults, 0);
}

int32_t FakeClient::TSInitialize() {
  calls.push_back(L"TSInitialize");
  if (inGuidFetch) {
    if (guidInitializeResult != 0) inGuidFetch = false;
    return guidInitializeResult;
  }
  if (initializeThrows > 0) {
    --initializeThrows;
    throw std::runtime_error("initialise attempt failed unexpectedly");
  }
  return takeOr(startupInitializeResults, 0);
}

int32_t FakeClient::TSUninitialize() {
  calls.push_back(L"TSUninitialize");
  inGuidFetch = false;
  return 0;
}

int32_t FakeClient::AKGetAttr(std::wstring& value) {
  calls.push_back(L"AKGetAttr");
  if (attrResult == 0) value = guid;
  return attrResult;
}

int32_t FakeClient::AKDownload(const std::wstring& url, const std::wstring& path) {
  calls.push_back(L"AKDownload " + url + L" " + path);
  return 0;
}

int32_t FakeClient::AKPause(const std::wstring& url) {
  calls.push_back(L"AKPause " + url);
  return 0;
}

int32_t FakeClient::AKRetry(const std::wstring& url, const std::wstring& path) {
  calls.push_back(L"AKRetry " + url + L" " + path);
  return 0;
}

int32_t FakeClient::AKDelete(const std::wstring& url) {
  calls.push_back(L"AKDelete " + url);
  return 0;
}

int32_t FakeClient::AKGetFileAttr(const std::wstring& url, FileReading& reading) {
  calls.push_back(L"AKGetFileAttr " + url);
  auto answer = takeOr(readings, std::make_pair(0, FileReading()));
  if (answer.first == 0) reading = answer.second;
  return answer.first;
}

uint64_t FakeClient::AKGetFileSize(const std::wstring& url, const std::wstring& path) {
  calls.push_back(L"AKGetFileSize " + url + L" " + path);
  auto found = sizes.find(url);
  return found == sizes.end() ? 1000 : found->second;
}

uint64_t FakeClient::AKGetReceivedSize(const std::wstring& url) {
  calls.push_back(L"AKGetReceivedSize " + url);
  auto found = held.find(url);
  return found == held.end() ? 0 : found->second;
}

std::wstring FakeClient::ErrorText(int32_t code) {
  auto found = errorTexts.find(code);
  return found != errorTexts.end() ? found->second : L"client text " + std::to_wstring(code);
}

void FakeServer::RequestSid(const std::wstring& gameCode) { requests.push_back(L"sid " + gameCode); }
void FakeServer::RequestConfig(const std::wstring& gameCode, const std::wstring& sid) {
  requests.push_back(L"config " + gameCode + L" " + sid);
}

void FakeEvents::record(const std::wstring& name, const JobSnapshot& job, const std::wstring& description,
                        int32_t code, bool flag) {
  RecordedEvent event;
  event.name = name;
  event.job = job;
  event.description = description;
  event.code = code;
  event.flag = flag;
  events.push_back(event);
}

void FakeEvents::Start() { record(L"start"); }
void FakeEvents::AutoStart() { record(L"auto_start"); }
void FakeEvents::DownloadInit() { record(L"download_init"); }
void FakeEvents::Stats() { record(L"stats"); }
void FakeEvents::DownloadPartialComplete(const JobSnapshot& job) {
  record(L"download_partial_complete", job);
}
void FakeEvents::DownloadComplete(const JobSnapshot& job) { record(L"download_complete", job); }
void FakeEvents::DownloadPause(const JobSnapshot& job) { record(L"download_pause", job); }
void FakeEvents::DownloadUnpause(const JobSnapshot& job) { record(L"download_unpause", job); }
void FakeEvents::DownloadCancel(bool isError, const JobSnapshot& job) {
  record(L"download_cancel", job, L"", 0, isError);
}
void FakeEvents::SystemShutdown(const JobSnapshot& job) { record(L"system_shutdown", job); }
void FakeEvents::MinimizeWindow() { record(L"minimize_window"); }
void FakeEvents::RestoreWindow() { record(L"restore_window"); }
void FakeEvents::Error(const std::wstring& description, int32_t code, bool critical, const JobSnapshot& job) {
  record(L"error", job, description, code, critical);
}

std::vector<std::wstring> FakeEvents::names() const {
  std::vector<std::wstring> result;
  for (const RecordedEvent& event : events) result.push_back(event.name);
  return result;
}

std::vector<RecordedEvent> FakeEvents::named(const std::wstring& name) const {
  std::vector<RecordedEvent> result;
  for (const RecordedEvent& event : events) {
    if (event.name == name) result.push_back(event);
  }
  return result;
}

int64_t FakePlatform::NowSeconds() { return nowMs / 1000; }

void FakePlatform::Sleep(uint32_t milliseconds) {
  sleeps.push_back(milliseconds);
  nowMs += milliseconds;
}

void FakePlatform::EndProcess(int32_t exitCode) {
  exitCodes.push_back(exitCode);
  throw ProcessEnded{exitCode};
}

std::optional<uint32_t> FakePlatform::ReadDword(const std::wstring& keyPath, const std::wstring& name) {
  auto found = dwords.find({keyPath, name});
  if (found == dwords.end()) return std::nullopt;
  return found->second;
}

bool FakePlatform::WriteDword(const std::wstring& keyPath, const std::wstring& name, uint32_t value) {
  if (!settingsWritable) return false;
  dwords[{keyPath, name}] = value;
  return true;
}

bool FakePlatform::WriteRunOnceEntry(const std::wstring& name, const std::wstring& command) {
  if (!runOnceKeyExists) return false;
  runOnce[name] = command;
  return true;
}

uint64_t FakePlatform::FreeDiskSpace() {
  if (freeSpace.empty()) return 0;
  uint64_t value = freeSpace.front();
  if (freeSpace.size() > 1) freeSpace.pop_front();
  return value;
}

std::optional<std::wstring> FakePlatform::Environment(const std::wstring& name) {
  auto found = environment.find(name);
  if (found == environment.end()) return std::nullopt;
  return found->second;
}

void FakePlatform::RunWorker(std::function<void()> body) {
  ++workersRun;
  if (deferWorkers) {
    pendingWorkers.push_back(std::move(body));
    return;
  }
  body();
}

void FakePlatform::RunPendingWorkers() {
  std::vector<std::function<void()>> workers;
  workers.swap(pendingWorkers);
  for (auto& worker : workers) worker();
}

std::optional<uint64_t> FakeFiles::FileSize(const std::wstring& path) {
  calls.push_back(L"size " + path);
  auto found = sizes.find(path);
  if (found != sizes.end()) return found->second;
  return defaultSize;
}

std::optional<Sha256Digest> FakeFiles::FileSha256(const std::wstring& path) {
  calls.push_back(L"sha256 " + path);
  auto found = digests.find(path);
  if (found == digests.end()) return std::nullopt;
  return found->second;
}

SignatureCheck FakeFiles::CheckSignature(const std::wstring& path, const ExpectedSigner& expectedSigner) {
  calls.push_back(L"signature " + path + L" by " + expectedSigner.name);
  auto found = signatures.find(path);
  if (found != signatures.end()) return found->second;
  SignatureCheck trusted;
  trusted.verdict = SignatureVerdict::Trusted;
  trusted.signer = expectedSigner.name;
  return trusted;
}

FileHold FakeFiles::HoldUnchanged(const std::wstring& path) {
  calls.push_back(L"hold " + path);
  if (unholdable.count(path) != 0) return nullptr;
  return FileHold(new int(0), [this, path](void* token) {
    delete static_cast<int*>(token);
    calls.push_back(L"release " + path);
    if (onRelease) onRelease(path);
  });
}

GameInfo TestGame() {
  GameInfo game;
  game.title = L"Iron Fable";
  game.code = L"irf";
  game.buildVersion = L"671";
  game.language = L"en";
  game.serverHost = L"127.0.0.1";
  game.serverPort = 8080;
  game.basePath = L"/downloads/v1";
  game.folderSuffix = L"\\TesselGames\\Downloader";
  game.analyticsToken = L"5d0c2a9e7b41f6038e2d9c1a4b7f3e60";
  return game;
}

std::unique_ptr<GameConfig> ConfigWithFiles(int count) {
  auto config = std::make_unique<GameConfig>();
  config->fileId = L"fid";
  for (int i = 0; i < count; ++i) {
    ResourceFile file;
    file.rid = L"r" + std::to_wstring(i);
    file.rnum = std::to_wstring(i + 1);
    // The first file is the game's installer, which must be a program.
    file.uri = L"http://cdn.test/irf/file" + std::to_wstring(i) + (i == 0 ? L".exe" : L".bin");
    config->files.push_back(file);
  }
  return config;
}

FileReading Reading(int32_t status, int64_t uniquerecv, int64_t downloadrate) {
  FileReading reading;
  reading.status = status;
  reading.uniquerecv = uniquerecv;
  reading.downloadrate = downloadrate;
  return reading;
}

JobFixture::JobFixture() : game(TestGame()) {
  job = std::make_unique<DownloadJob>(JobServices{window, client, server, events, inventory, platform, game, files});
}

std::optional<int32_t> JobFixture::ExitCodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ProcessEnded& ended) {
    return ended.exitCode;
  }
  return std::nullopt;
}

void JobFixture::StartAndReceiveSid() {
  platform.dwords[{L"Software\\Tessel Games\\Downloader\\irf", L"accepted_eula"}] = 1;
  if (!job->CreateMainWindow()) throw std::logic_error("the fake window was not created");
  job->Start(false);
  job->OnSidReply(std::wstring(L"sid1"));
}

void JobFixture::StartDownloading(int count, const std::function<void(GameConfig&)>& adjust) {
  StartAndReceiveSid();
  std::unique_ptr<GameConfig> config = ConfigWithFiles(count);
  if (adjust) adjust(*config);
  job->OnConfigReply(std::move(config));
  if (job->state() != JobState::Downloading) throw std::logic_error("the start-up did not reach Downloading");
  ClearRecords();
}

void JobFixture::ClearRecords() {
  window.calls.clear();
  window.prompts.clear();
  window.partProgress.clear();
  window.totalProgress.clear();
  window.statusTexts.clear();
  window.tooltips.clear();
  window.retryTimerStarts = 0;
  client.calls.clear();
  server.requests.clear();
  events.events.clear();
  platform.sleeps.clear();
}

void JobFixture::Poll(int32_t result, const FileReading& reading) {
  client.readings.push_back({result, reading});
  job->OnTimer(kProgressTimerId);
}

}  // namespace downloadtest
