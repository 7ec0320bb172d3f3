// The checks between the last file's arrival and the hand-off: sizes, digests and the installer's
// signature; one more fetch of files whose bytes were wrong; and the refusal that opens nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "download/failure_texts.h"
#include "download/file_verifier.h"
#include "tests/download/fake_services.h"

namespace downloadtest {
namespace {

const std::wstring kSigner = L"Tessel Test Publisher";
const std::wstring kFolder = L"C:\\TesselGames\\Downloader\\";

Sha256Digest digestOf(uint8_t fill) {
  Sha256Digest digest;
  digest.fill(fill);
  return digest;
}

std::wstring extensionOf(int index) { return index == 0 ? L".exe" : L".bin"; }
std::wstring pathOf(int index) { return kFolder + L"file" + std::to_wstring(index) + extensionOf(index); }
std::wstring uriOf(int index) { return L"http://cdn.test/irf/file" + std::to_wstring(index) + extensionOf(index); }

// Every file given a digest; the disk holds the right bytes unless a test says otherwise.
void withDigests(JobFixture& f, int count) {
  f.StartDownloading(count, [&](GameConfig& config) {
    for (int i = 0; i < count; ++i) config.files[i].sha256Text = Sha256Text(digestOf(static_cast<uint8_t>(i + 1)));
  });
  for (int i = 0; i < count; ++i) f.files.digests[pathOf(i)] = digestOf(static_cast<uint8_t>(i + 1));
}

void completeFiles(JobFixture& f, int count) {
  for (int i = 0; i < count; ++i) f.Poll(0, Reading(kFileComplete, 1000, 0));
}

bool contains(const std::vector<std::wstring>& calls, const std::wstring& call) {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

TEST(Verification, EveryFileIsCheckedAndTheInstallersSignatureBeforeItIsOpened) {
  JobFixture f;
  f.game.installerSigner = kSigner;
  f.StartDownloading(2, [](GameConfig& config) { config.files[1].sha256Text = Sha256Text(digestOf(7)); });
  f.files.digests[pathOf(1)] = digestOf(7);
  f.Poll(0, Reading(kFileComplete, 1000, 0));
  EXPECT_EQ(f.ExitCodeOf([&] { f.Poll(0, Reading(kFileComplete, 1000, 0)); }), 0);
  EXPECT_EQ(f.files.calls,
            (std::vector<std::wstring>{L"hold " + pathOf(0), L"size " + pathOf(0),
                                       L"signature " + pathOf(0) + L" by " + kSigner, L"size " + pathOf(1),
                                       L"sha256 " + pathOf(1), L"release " + pathOf(0)}));
  EXPECT_EQ(f.platform.opened, std::vector<std::wstring>{pathOf(0)});
  EXPECT_TRUE(f.events.named(L"error").empty());
  EXPECT_EQ(f.platform.sleeps, (std::vector<uint32_t>{1000, 500}));
}

TEST(Verification, WithoutDigestsOrSignerOnlySizesAreCompared) {
  JobFixture f;
  f.StartDownloading(2);
  completeFiles(f, 1);
  EXPECT_EQ(f.ExitCodeOf([&] { completeFiles(f, 1); }), 0);
  EXPECT_EQ(f.files.calls, (std::vector<std::wstring>{L"hold " + pathOf(0), L"size " + pathOf(0), L"size " + pathOf(1),
                                                      L"release " + pathOf(0)}));
  EXPECT_EQ(f.platform.opened.size(), 1u);
}

TEST(Verification, WrongBytesAreFetchedOnceMoreAndThenTheHandOffGoesOn) {
  JobFixture f;
  withDigests(f, 3);
  f.files.digests[pathOf(1)] = digestOf(0xEE);  // the origin served other bytes
  f.files.sizes[pathOf(2)] = 999;               // and cut the last file short
  completeFiles(f, 2);
  f.client.calls.clear();
  f.window.calls.clear();
  EXPECT_EQ(f.ExitCodeOf([&] { completeFiles(f, 1); }), std::nullopt) << "the run goes on with the two files";
  EXPECT_EQ(f.job->state(), JobState::Downloading);
  EXPECT_EQ(f.job->currentIndex(), 1);
  EXPECT_EQ(f.client.calls, (std::vector<std::wstring>{L"AKGetFileAttr " + uriOf(2), L"AKDelete " + uriOf(1),
                                                       L"AKDelete " + uriOf(2),
                                                       L"AKDownload " + uriOf(1) + L" " + pathOf(1)}));
  EXPECT_TRUE(contains(f.window.calls, L"HideResume")) << "the pause button is back";
  EXPECT_TRUE(contains(f.window.calls, L"Part 2/3"));
  EXPECT_TRUE(f.platform.opened.empty());
  EXPECT_TRUE(f.window.prompts.empty());

  // The second fetches bring the right bytes.
  f.files.digests[pathOf(1)] = digestOf(2);
  f.files.sizes.erase(pathOf(2));
  f.client.calls.clear();
  completeFiles(f, 1);
  EXPECT_EQ(f.job->currentIndex(), 2);
  EXPECT_TRUE(contains(f.client.calls, L"AKDownload " + uriOf(2) + L" " + pathOf(2)));
  EXPECT_EQ(f.ExitCodeOf([&] { completeFiles(f, 1); }), 0);
  EXPECT_EQ(f.platform.opened, std::vector<std::wstring>{pathOf(0)});
  EXPECT_EQ(f.events.named(L"download_partial_complete").size(), 3u) << "a second fetch is no new part";
  EXPECT_EQ(f.events.named(L"download_complete").size(), 1u);
  EXPECT_TRUE(f.events.named(L"error").empty());
}

TEST(Verification, BytesStillWrongAfterTheSecondFetchOpenNothing) {
  JobFixture f;
  withDigests(f, 2);
  f.files.digests[pathOf(1)] = digestOf(0xEE);
  completeFiles(f, 2);
  ASSERT_EQ(f.job->currentIndex(), 1) << "fetched once more";
  f.client.calls.clear();
  EXPECT_EQ(f.ExitCodeOf([&] { completeFiles(f, 1); }), 0);
  EXPECT_TRUE(f.platform.opened.empty());
  ASSERT_EQ(f.window.prompts.size(), 1u);
  EXPECT_EQ(f.window.prompts[0].message, L"The downloaded files could not be verified, please retry later.");
  EXPECT_EQ(f.window.prompts[0].icon, PromptIcon::Error);
  const auto errors = f.events.named(L"error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].description, L"Verification failed: file1.bin: SHA-256 " + Sha256Text(digestOf(0xEE)) +
                                       L" does not match");
  EXPECT_TRUE(errors[0].flag) << "critical";
  const auto cancels = f.events.named(L"download_cancel");
  ASSERT_EQ(cancels.size(), 1u);
  EXPECT_TRUE(cancels[0].flag) << "an error exit";
  EXPECT_TRUE(f.events.named(L"download_complete").empty());
  for (const std::wstring& call : f.client.calls) EXPECT_EQ(call.find(L"AKDelete"), std::wstring::npos) << call;
}

TEST(Verification, SignatureProblemsAreRefusedAtOnceWithWhatFailed) {
  const struct {
    SignatureCheck result;
    std::wstring description;
  } kCases[] = {
      {{SignatureVerdict::Unsigned, L"", 0}, L"file0.exe: not signed"},
      {{SignatureVerdict::Invalid, L"", 0x80096010u}, L"file0.exe: signature not valid (0x80096010)"},
      {{SignatureVerdict::Untrusted, kSigner, 0x800B0109u}, L"file0.exe: signer not trusted (0x800B0109)"},
      {{SignatureVerdict::OtherSigner, L"Someone Else", 0},
       L"file0.exe: signed by \"Someone Else\", not by \"Tessel Test Publisher\""},
  };
  for (const auto& c : kCases) {
    JobFixture f;
    f.game.installerSigner = kSigner;
    f.files.signatures[pathOf(0)] = c.result;
    f.StartDownloading(2);
    completeFiles(f, 1);
    EXPECT_EQ(f.ExitCodeOf([&] { completeFiles(f, 1); }), 0) << c.description;
    EXPECT_TRUE(f.platform.opened.empty()) << c.description;
    const auto errors = f.events.named(L"error");
    ASSERT_EQ(errors.size(), 1u) << c.description;
    EXPECT_EQ(errors[0].description, L"Verification failed: " + c.description);
    for (const std::wstring& call : f.client.calls) EXPECT_EQ(call.find(L"AKDelete"), std::wstring::npos) << call;
  }
}

// The shell opens whatever it is given by the file's kind: a first file that is a script, a shortcut
// or a document is refused like a failed check, also without a signer to require, and the rest
// of the release is not fetched again for it.
TEST(Verification, OnlyAProgramOrInstallerPackageIsOpened) {
  for (const wchar_t* name : {L"setup.cmd", L"setup.lnk", L"setup.exe.txt", L"setup", L"setup.js", L"readme.pdf"}) {
    JobFixture f;
    f.StartDownloading(2, [&](GameConfig& config) { config.files[0].uri = std::wstring(L"http://cdn.test/irf/") + name; });
    completeFiles(f, 1);
    EXPECT_EQ(f.ExitCodeOf([&] { completeFiles(f, 1); }), 0) << name;
    EXPECT_TRUE(f.platform.opened.empty()) << name;
    const auto errors = f.events.named(L"error");
    ASSERT_EQ(errors.size(), 1u) << name;
    EXPECT_EQ(errors[0].description, std::wstring(L"Verification failed: ") + name + L": not a program or installer package");
    for (const std::wstring& call : f.client.calls) EXPECT_EQ(call.find(L"AKDelete"), std::wstring::npos) << call;
  }
  for (const wchar_t* name : {L"Setup.EXE", L"game.msi", L"GAME.MSI"}) {
    EXPECT_TRUE(IsOpenableInstaller(std::wstring(L"C:\\TesselGames\\Downloader\\") + name)) << name;
  }
  EXPECT_FALSE(IsOpenableInstaller(L"C:\\TesselGames\\setup.exe\\readme"));
  EXPECT_FALSE(IsOpenableInstaller(L".exe"));
}

// A build that names the signer's organisation or issuer as well accepts only a certificate with
// those exactly; one that names only the common name compares nothing else.
TEST(Verification, TheSignersOrganisationAndIssuerMustMatchWhenTheBuildNamesThem) {
  SignatureCheck found;
  found.verdict = SignatureVerdict::Trusted;
  found.signer = kSigner;
  found.organization = L"Tessel Games Ltd";
  found.issuer = L"Example Code Signing CA";
  const struct {
    ExpectedSigner expected;
    SignatureVerdict verdict;
    std::wstring description;
  } kCases[] = {
      {kSigner, SignatureVerdict::Trusted, L""},
      {ExpectedSigner(kSigner, L"Tessel Games Ltd", L"Example Code Signing CA"), SignatureVerdict::Trusted, L""},
      {ExpectedSigner(kSigner, L"Tessel Games"), SignatureVerdict::OtherSigner,
       L"signed by \"Tessel Test Publisher\" of \"Tessel Games Ltd\", not of \"Tessel Games\""},
      {ExpectedSigner(kSigner, L"", L"Other CA"), SignatureVerdict::OtherSigner,
       L"signed by \"Tessel Test Publisher\" with a certificate from \"Example Code Signing CA\", not from \"Other CA\""},
      {ExpectedSigner(L"Someone Else", L"Tessel Games Ltd"), SignatureVerdict::OtherSigner,
       L"signed by \"Tessel Test Publisher\", not by \"Someone Else\""},
  };
  for (const auto& c : kCases) {
    SignatureCheck judged = found;
    judged.verdict = JudgeSigner(found, c.expected);
    EXPECT_EQ(static_cast<int>(judged.verdict), static_cast<int>(c.verdict)) << c.description;
    EXPECT_EQ(DescribeSignatureProblem(judged, c.expected), c.description);
  }
}

TEST(Verification, TheWindowWaitsForTheLastCheckOnItsTimerNotInASleep) {
  JobFixture f;
  withDigests(f, 1);
  f.platform.deferWorkers = true;
  EXPECT_EQ(f.ExitCodeOf([&] { completeFiles(f, 1); }), std::nullopt);
  EXPECT_EQ(f.job->state(), JobState::Completed);
  EXPECT_EQ(f.window.statusTexts.back(), L"Completed - 1.0 KB");
  EXPECT_TRUE(f.window.timerRunning[kVerifyTimerId]);
  EXPECT_TRUE(f.platform.sleeps.empty());
  EXPECT_EQ(f.ExitCodeOf([&] { f.job->OnTimer(kVerifyTimerId); }), std::nullopt) << "the check is still running";
  EXPECT_TRUE(f.files.calls.empty());

  f.platform.RunPendingWorkers();
  EXPECT_EQ(f.ExitCodeOf([&] { f.job->OnTimer(kVerifyTimerId); }), 0);
  EXPECT_FALSE(f.window.timerRunning[kVerifyTimerId]);
  EXPECT_EQ(f.platform.opened, std::vector<std::wstring>{pathOf(0)});
  EXPECT_EQ(f.platform.sleeps, (std::vector<uint32_t>{1000, 500}));
}

// The installer that is opened is the file that was checked: held unchanged from before its first
// check until the shell's open has returned, and opened from its own folder. One that cannot be
// held is not opened.
TEST(Verification, TheInstallerIsHeldUnchangedFromItsChecksUntilItIsOpened) {
  JobFixture f;
  f.game.installerSigner = kSigner;
  f.StartDownloading(2);
  size_t opensWhenReleased = 99;
  f.files.onRelease = [&](const std::wstring&) { opensWhenReleased = f.platform.opened.size(); };
  completeFiles(f, 1);
  EXPECT_EQ(f.files.calls.front(), L"hold " + pathOf(0));
  EXPECT_EQ(opensWhenReleased, 99u) << "released before the hand-off";
  EXPECT_EQ(f.ExitCodeOf([&] { completeFiles(f, 1); }), 0);
  EXPECT_EQ(opensWhenReleased, 1u) << "released only after the open returned";
  EXPECT_EQ(f.platform.openedIn, std::vector<std::wstring>{L"C:\\TesselGames\\Downloader"});

  JobFixture unheld;
  unheld.files.unholdable.insert(pathOf(0));
  unheld.StartDownloading(1);
  EXPECT_EQ(unheld.ExitCodeOf([&] { completeFiles(unheld, 1); }), std::nullopt) << "fetched once more, not opened";
  EXPECT_TRUE(unheld.platform.opened.empty());
  EXPECT_EQ(unheld.client.calls.back(), L"AKDownload " + uriOf(0) + L" " + pathOf(0));
}

// An inspector whose every question fails the same way.
class BrokenFiles : public FileInspector {
 public:
  std::optional<uint64_t> FileSize(const std::wstring&) override {
    if (throwOnSize) throw std::runtime_error("no memory");
    return size;
  }
  std::optional<Sha256Digest> FileSha256(const std::wstring&) override { return std::nullopt; }
  SignatureCheck CheckSignature(const std::wstring&, const ExpectedSigner&) override { return {}; }
  FileHold HoldUnchanged(const std::wstring&) override { return nullptr; }
  bool throwOnSize = false;
  std::optional<uint64_t> size;
};

TEST(FileChecks, AFileThatCannotBeQueriedNeverPasses) {
  BrokenFiles files;
  FileCheck check{3, L"C:\\g\\part.bin", 10, digestOf(1), L""};
  auto problem = CheckFile(files, check);
  ASSERT_TRUE(problem.has_value());
  EXPECT_EQ(problem->description, L"part.bin: missing");
  EXPECT_TRUE(problem->refetchable);
  EXPECT_EQ(problem->index, 3);

  files.size = 10;
  problem = CheckFile(files, check);
  ASSERT_TRUE(problem.has_value());
  EXPECT_EQ(problem->description, L"part.bin: cannot be read") << "no digest could be computed";

  check.sha256.reset();
  check.signer = kSigner;
  problem = CheckFile(files, check);
  ASSERT_TRUE(problem.has_value()) << "an unreadable signature";
  EXPECT_TRUE(problem->refetchable);

  files.size = 11;
  problem = CheckFile(files, check);
  ASSERT_TRUE(problem.has_value());
  EXPECT_EQ(problem->description, L"part.bin: 11 bytes on disk, 10 expected");

  // A check that throws on the worker is recorded as failed, and the verifier goes on.
  files.throwOnSize = true;
  FileVerifier verifier(files, [](std::function<void()> body) { body(); });
  verifier.Submit(check);
  EXPECT_TRUE(verifier.Idle());
  auto problems = verifier.TakeProblems();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].description, L"part.bin: cannot be checked");
  EXPECT_TRUE(verifier.TakeProblems().empty());
}

TEST(FileChecks, OneWorkerWorksThroughTheQueueInOrder) {
  FakeFiles files;
  std::vector<std::function<void()>> started;
  FileVerifier verifier(files, [&](std::function<void()> body) { started.push_back(std::move(body)); });
  verifier.Submit(FileCheck{0, L"a", 1000, std::nullopt, L""});
  verifier.Submit(FileCheck{1, L"b", 1000, std::nullopt, L""});
  EXPECT_EQ(started.size(), 1u) << "a second worker while the first has work";
  EXPECT_FALSE(verifier.Idle());
  started[0]();
  EXPECT_TRUE(verifier.Idle());
  EXPECT_EQ(files.calls, (std::vector<std::wstring>{L"size a", L"size b"}));
  verifier.Submit(FileCheck{2, L"c", 1000, std::nullopt, L""});
  EXPECT_EQ(started.size(), 2u) << "a new worker once the first has ended";
}

}  // namespace
}  // namespace downloadtest
