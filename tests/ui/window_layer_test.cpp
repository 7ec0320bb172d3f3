// The window layer: the message loop's filters, idle calls and end, the module's per-thread loops,
// the thread object, and the start-up pieces (title, running instance, "auto").
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "build_settings.h"
#include "ui/app_module.h"
#include "ui/main_dialog.h"
#include "ui/message_loop.h"
#include "ui/single_instance.h"
#include "ui/thread.h"

namespace {

constexpr UINT kFirst = WM_APP + 1;
constexpr UINT kSecond = WM_APP + 2;

struct RecordingFilter : CMessageFilter {
  RecordingFilter(const char* filterName, std::vector<std::string>* sharedLog, UINT handled)
      : name(filterName), log(sharedLog), handles(handled) {}
  bool PreTranslateMessage(MSG* message) override {
    if (message->message < WM_APP) return false;
    log->push_back(name + std::string(":") + std::to_string(message->message - WM_APP));
    return message->message == handles;
  }
  std::string name;
  std::vector<std::string>* log;
  UINT handles;
};

// Posts the next message of a script each time the loop goes idle, then the quit message.
struct ScriptedIdle : CIdleHandler {
  bool OnIdle() override {
    ++calls;
    if (calls == 1) {
      PostThreadMessageW(GetCurrentThreadId(), kFirst, 0, 0);
      PostThreadMessageW(GetCurrentThreadId(), kSecond, 0, 0);
    } else {
      PostQuitMessage(7);
    }
    return false;
  }
  int calls = 0;
};

TEST(MessageLoop, FiltersLastRegisteredFirstIdleOnceAndTheQuitCode) {
  std::vector<std::string> log;
  RecordingFilter early("early", &log, 0);
  RecordingFilter late("late", &log, kSecond);
  ScriptedIdle idle;
  CMessageLoop loop;
  EXPECT_TRUE(loop.AddMessageFilter(&early));
  EXPECT_TRUE(loop.AddMessageFilter(&late));
  EXPECT_FALSE(loop.AddMessageFilter(&late));
  EXPECT_TRUE(loop.AddIdleHandler(&idle));

  EXPECT_EQ(loop.Run(), 7);
  // kFirst passes both filters (late first); kSecond is handled by the late one and goes no further.
  EXPECT_EQ(log, (std::vector<std::string>{"late:1", "early:1", "late:2"}));
  EXPECT_EQ(idle.calls, 2);  // once before the script, once after its messages

  EXPECT_TRUE(loop.RemoveMessageFilter(&late));
  EXPECT_FALSE(loop.RemoveMessageFilter(&late));
  loop.RemoveAll();
  EXPECT_FALSE(loop.RemoveIdleHandler(&idle));
}

TEST(MessageLoop, RepeatedMouseMovesPaintsAndTheSystemTimerDoNotReArmTheIdleCall) {
  POINT last{-1, -1};
  MSG message{};
  message.message = WM_MOUSEMOVE;
  message.pt = POINT{10, 20};
  EXPECT_TRUE(CMessageLoop::IsIdleMessage(message, &last));
  EXPECT_FALSE(CMessageLoop::IsIdleMessage(message, &last));
  message.pt = POINT{11, 20};
  EXPECT_TRUE(CMessageLoop::IsIdleMessage(message, &last));
  const struct {
    UINT message;
    bool rearms;
  } kCases[] = {{WM_PAINT, false}, {0x0118, false}, {WM_TIMER, true}, {WM_KEYDOWN, true}, {WM_APP, true}};
  for (const auto& c : kCases) {
    message.message = c.message;
    EXPECT_EQ(CMessageLoop::IsIdleMessage(message, &last), c.rearms) << c.message;
  }
}

TEST(AppModule, KeepsOneLoopPerThread) {
  CAppModule module;
  EXPECT_EQ(module.ResourceInstance(), GetModuleHandleW(nullptr));
  CMessageLoop mine;
  CMessageLoop other;
  EXPECT_TRUE(module.AddMessageLoop(&mine));
  EXPECT_FALSE(module.AddMessageLoop(&other));
  EXPECT_EQ(module.GetMessageLoop(), &mine);
  CMessageLoop* seenElsewhere = &mine;
  std::thread([&] { seenElsewhere = module.GetMessageLoop(); }).join();
  EXPECT_EQ(seenElsewhere, nullptr);
  EXPECT_TRUE(module.RemoveMessageLoop());
  EXPECT_EQ(module.GetMessageLoop(), nullptr);
  EXPECT_FALSE(module.RemoveMessageLoop());
}

class AnsweringThread : public CThreadImpl<AnsweringThread> {
 public:
  DWORD Run() {
    ranOn = GetCurrentThreadId();
    idSeenByBody = Id();  // set before the body could run: the thread starts suspended
    return 42;
  }
  std::atomic<DWORD> ranOn{0};
  DWORD idSeenByBody = 0;
};

TEST(ThreadObject, RunsItsBodyOnANewThreadAndKeepsItsResult) {
  AnsweringThread thread;
  ASSERT_TRUE(thread.Create());
  EXPECT_FALSE(thread.Create());
  ASSERT_TRUE(thread.Join(5000));
  DWORD code = 0;
  ASSERT_TRUE(thread.ExitCode(&code));
  EXPECT_EQ(code, 42u);
  EXPECT_NE(thread.ranOn.load(), GetCurrentThreadId());
  EXPECT_EQ(thread.ranOn.load(), thread.Id());
  EXPECT_EQ(thread.idSeenByBody, thread.Id());
}

TEST(StartUp, AutoStartNeedsTheFirstFourLettersExactly) {
  const struct {
    const wchar_t* commandLine;
    bool autoStart;
  } kCases[] = {
      {L"auto", true}, {L"automatic", true}, {L"auto --x", true}, {L"", false},      {nullptr, false},
      {L" auto", false}, {L"Auto", false}, {L"AUTO", false},      {L"aut", false}, {L"\"auto\"", false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(IsAutoStartCommandLine(c.commandLine), c.autoStart) << (c.commandLine ? c.commandLine : L"(null)");
  }
}

TEST(StartUp, WindowTitleIsTheGameTitleAndDownloader) {
  const std::string title = AK_GAME_TITLE;
  EXPECT_EQ(DownloaderWindowTitle(), std::wstring(title.begin(), title.end()) + L" Downloader");
}

// A top-level window of the main window's class, as a running instance has it.
HWND makeInstanceWindow(const std::wstring& title) {
  if (!RegisterMainWindowClass()) return nullptr;
  return CreateWindowExW(0, kMainWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, 50, 50, 300, 200, nullptr, nullptr,
                         AppModule().ResourceInstance(), nullptr);
}

// The second of two starts is told by the mutex, even when both look at the same moment.
TEST(StartUp, OnlyTheFirstClaimOfTheInstanceMutexSucceeds) {
  const std::wstring name = InstanceMutexName(L"probe" + std::to_wstring(GetCurrentProcessId()));
  EXPECT_EQ(name.rfind(L"Local\\", 0), 0u) << "one per session";
  EXPECT_TRUE(ClaimSingleInstance(name));
  EXPECT_FALSE(ClaimSingleInstance(name));
  EXPECT_TRUE(ClaimSingleInstance(InstanceMutexName(L"other" + std::to_wstring(GetCurrentProcessId()))))
      << "another game's downloader is no second instance";
}

// Only a window of our own class with exactly our title is the running instance: a folder window
// of that name, say, is not. It is restored and raised without being moved or resized.
TEST(StartUp, TheRunningInstancesWindowIsFoundByClassAndTitleRestoredAndRaised) {
  const std::wstring title = L"Single Instance Probe Downloader";
  EXPECT_FALSE(ActivateRunningInstance(title, 0));
  HWND stranger = CreateWindowExW(0, L"Static", title.c_str(), WS_OVERLAPPEDWINDOW, 50, 50, 300, 200, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(stranger, nullptr);
  EXPECT_EQ(FindRunningInstanceWindow(title), nullptr) << "another program's window with our title";
  EXPECT_FALSE(ActivateRunningInstance(title, 0));
  DestroyWindow(stranger);

  HWND ours = makeInstanceWindow(title);
  ASSERT_NE(ours, nullptr);
  ShowWindow(ours, SW_MINIMIZE);
  ShowWindow(ours, SW_HIDE);
  EXPECT_TRUE(ActivateRunningInstance(title, 0));
  // The restore is asked of the window's thread (this one), which carries it out from its queue.
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  EXPECT_TRUE(IsWindowVisible(ours));
  EXPECT_FALSE(IsIconic(ours));
  RECT place;
  GetWindowRect(ours, &place);
  EXPECT_EQ(place.right - place.left, 300);
  // Only the exact title counts: other letter case, a longer or a shorter title do not.
  for (const std::wstring& lookalike :
       {std::wstring(L"SINGLE INSTANCE PROBE DOWNLOADER"), std::wstring(L"single instance probe downloader"),
        title + L" 2", title.substr(0, title.size() - 1)}) {
    EXPECT_FALSE(ActivateRunningInstance(lookalike, 0)) << lookalike;
  }
  DestroyWindow(ours);
}

// A first instance whose window thread hangs (a long operation, a debugger) does not hang the
// second start: the restore is asked of it, and carried out once it answers again.
TEST(StartUp, AHungFirstInstanceDoesNotHoldUpTheSecondStart) {
  const std::wstring title = L"Hung Window Probe Downloader";
  HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool restored = false;
  std::thread first([&] {
    HWND window = makeInstanceWindow(title);
    ShowWindow(window, SW_MINIMIZE);
    SetEvent(made);
    WaitForSingleObject(release, INFINITE);  // hung: no message is taken meanwhile
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    restored = IsWindowVisible(window) && !IsIconic(window);
    DestroyWindow(window);
  });
  ASSERT_EQ(WaitForSingleObject(made, 5000), WAIT_OBJECT_0);
  HANDLE activated = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread second([&] {
    ActivateRunningInstance(title, 0);
    SetEvent(activated);
  });
  EXPECT_EQ(WaitForSingleObject(activated, 5000), WAIT_OBJECT_0) << "the second start waited for the hung window";
  SetEvent(release);
  first.join();
  second.join();
  EXPECT_TRUE(restored) << "the restore was lost";
  for (HANDLE handle : {made, release, activated}) CloseHandle(handle);
}

// An instance started "as administrator" holds a mutex this start may not open: it is running.
TEST(StartUp, AMutexThatCannotBeOpenedIsARunningInstance) {
  const std::wstring name = InstanceMutexName(L"elevated" + std::to_wstring(GetCurrentProcessId()));
  SECURITY_DESCRIPTOR nobody;
  InitializeSecurityDescriptor(&nobody, SECURITY_DESCRIPTOR_REVISION);
  ACL empty;
  InitializeAcl(&empty, sizeof empty, ACL_REVISION);
  SetSecurityDescriptorDacl(&nobody, TRUE, &empty, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &nobody, FALSE};
  HANDLE held = CreateMutexW(&attributes, FALSE, name.c_str());
  ASSERT_NE(held, nullptr) << GetLastError();
  ASSERT_EQ(CreateMutexW(nullptr, FALSE, name.c_str()), nullptr) << "the system let the mutex be opened";
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(ClaimSingleInstance(name));
  CloseHandle(held);
}

// A second start that comes while the first is still making its window waits for it.
TEST(StartUp, ASecondStartWaitsForTheFirstInstancesWindow) {
  const std::wstring title = L"Late Window Probe Downloader";
  DWORD creatorId = 0;
  HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread creator([&] {
    creatorId = GetCurrentThreadId();
    Sleep(400);
    HWND window = makeInstanceWindow(title);
    SetEvent(created);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    DestroyWindow(window);
  });
  EXPECT_TRUE(ActivateRunningInstance(title, 5000));
  EXPECT_EQ(WaitForSingleObject(created, 0), WAIT_OBJECT_0);
  PostThreadMessageW(creatorId, WM_QUIT, 0, 0);
  creator.join();
  CloseHandle(created);
}

}  // namespace
