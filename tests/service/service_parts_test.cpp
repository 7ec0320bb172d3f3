// The service's own pieces: where client paths land, the file list on disk, the rate arithmetic, the
// misbehaviour settings, the TLS versions a WinHTTP session asks for and how it finds the user's
// proxy, and who is on the other end of a loopback connection.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <thread>

#include "local_peer/local_peer.h"
#include "service/downloader.h"
#include "service/drive_map.h"
#include "service/file_registry.h"
#include "service/download_service.h"
#include "service/host_connections.h"
#include "service/port_choice.h"
#include "testbed/misbehaviour.h"
#include "service/rate_meter.h"
#include "service/segment_plan.h"
#include "service/windows_paths.h"
#include "windows_common/discovery_cache.h"
#include "windows_common/proxy_road.h"
#include "windows_common/secure_protocols.h"
#include "windows_common/wait_deadline.h"
#include "tests/support/temp_folder.h"
#ifndef _WIN32
#include "tests/support/other_account.h"
#endif
#include "tests/service/api_client.h"

namespace testbed {
namespace {

namespace fs = std::filesystem;

TEST(DriveMap, WindowsPathsLandInTheMappedFolder) {
  DriveMap drives;
  ASSERT_TRUE(drives.addMapping("C=/srv/wine/c"));
  ASSERT_TRUE(drives.addMapping("z=/"));
  EXPECT_FALSE(drives.addMapping("C:/x"));
  EXPECT_FALSE(drives.addMapping("=/x"));

  struct Case {
    const char* client;
    const char* local;  // null: refused
  } cases[] = {
      {"C:\\users\\me\\Downloads\\a.bin", "/srv/wine/c/users/me/Downloads/a.bin"},
      {"c:/users/me/a.bin", "/srv/wine/c/users/me/a.bin"},
      {"C:\\users\\\\me\\.\\a.bin", "/srv/wine/c/users/me/a.bin"},
      {"Z:\\tmp\\x.bin", "/tmp/x.bin"},
      {"/var/tmp/plain.bin", "/var/tmp/plain.bin"},
#ifndef _WIN32
      {"D:\\games\\a.bin", nullptr},
#endif
      {"C:\\users\\..\\..\\etc\\passwd", nullptr},
      {"/tmp/../etc/passwd", nullptr},
      {"relative\\a.bin", nullptr},
      {"C:", nullptr},
      {"C:\\", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    MappedPath mapped = drives.toLocal(c.client);
    if (c.local == nullptr) {
      EXPECT_FALSE(mapped.ok) << c.client;
      EXPECT_FALSE(mapped.error.empty()) << c.client;
    } else {
      ASSERT_TRUE(mapped.ok) << c.client << ": " << mapped.error;
      EXPECT_EQ(mapped.local.generic_u8string(), c.local) << c.client;
    }
  }
}

TEST(DriveMap, LocalPathsAreShownToTheClientThroughTheMostSpecificDrive) {
  DriveMap drives;
  drives.add('Z', "/");
  drives.add('c', "/srv/wine/c/");
  EXPECT_EQ(drives.toClient("/srv/wine/c/users/a.bin"), "C:\\users\\a.bin");
  EXPECT_EQ(drives.toClient("/srv/wine/cc/a.bin"), "Z:\\srv\\wine\\cc\\a.bin");
  DriveMap none;
  EXPECT_EQ(none.toClient("/var/state/files/a.bin"), "/var/state/files/a.bin");
}

TEST(FileRegistry, RecordsSurviveASaveAndLoadWhateverTheirText) {
  testsupport::TempFolder temp;
  FileRegistryStore store(temp.path());
  std::vector<FileRecord> records = {
      {"http://h:1/a b\tc%41.bin", "C:\\users\\me\\a\nb.bin", "/x/a.bin", 123456789012, true, false, "\"5-1a\"",
       "0-100-60000000000,60000000000-60000000000-123456789012"},
      {"http://h/b.bin", "/x/b.bin", "/x/b.bin", -1, false, false, "", ""},
      {"http://h/c.bin", "Z:\\c.bin", "/c.bin", 0, false, true, "Tue, 08 Dec 2026 10:00:00 GMT", ""},
  };
  ASSERT_TRUE(store.save(records));
  EXPECT_FALSE(fs::exists(temp.path() / "registry.txt.tmp"));
  std::vector<FileRecord> loaded = FileRegistryStore(temp.path()).load();
  ASSERT_EQ(loaded.size(), records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(loaded[i].url, records[i].url);
    EXPECT_EQ(loaded[i].clientPath, records[i].clientPath);
    EXPECT_EQ(loaded[i].localPath, records[i].localPath);
    EXPECT_EQ(loaded[i].size, records[i].size);
    EXPECT_EQ(loaded[i].paused, records[i].paused);
    EXPECT_EQ(loaded[i].complete, records[i].complete);
    EXPECT_EQ(loaded[i].validator, records[i].validator);
    EXPECT_EQ(loaded[i].segments, records[i].segments);
  }
  EXPECT_FALSE(fs::exists(temp.path() / "registry.txt.damaged-1")) << "a sound file is not set aside";
  ASSERT_TRUE(store.save({records[1]}));
  EXPECT_EQ(store.load().size(), 1u);
}

TEST(FileRegistry, DamagedOrForeignFilesGiveNoGhostRecords) {
  testsupport::TempFolder temp;
  EXPECT_TRUE(FileRegistryStore(temp.path()).load().empty());
  testbedtest::writeFile(temp.path() / "registry.txt", "something else\nhttp%3a\t\t\t1\tactive\tpartial\n");
  EXPECT_TRUE(FileRegistryStore(temp.path()).load().empty());
  testbedtest::writeFile(temp.path() / "registry.txt",
                         "testbed-file-registry 1\n"
                         "http%3a%2f%2fh%2fa\tp\tl\t12\tactive\tpartial\n"
                         "http%3a%2f%2fh%2fb\tp\tl\ttwelve\tactive\tpartial\n"
                         "http%3a%2f%2fh%2fc\tp\tl\t12\tmaybe\tpartial\n"
                         "http%3a%2f%2fh%2fd\tp\tl\t12\tactive\n");
  std::vector<FileRecord> loaded = FileRegistryStore(temp.path()).load();
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].url, "http://h/a");
  EXPECT_EQ(loaded[0].validator, "") << "a line from before validators were kept";
  // Each damaged file was copied aside, the earlier copies kept.
  EXPECT_EQ(testsupport::readWholeFile(temp.path() / "registry.txt.damaged-1"),
            "something else\nhttp%3a\t\t\t1\tactive\tpartial\n");
  EXPECT_TRUE(fs::exists(temp.path() / "registry.txt.damaged-2"));
  EXPECT_TRUE(fs::exists(temp.path() / "registry.txt")) << "the damaged file stays until the next save";
}

TEST(Redirects, LeadToHttpUrlsOrPathsOfTheSameOriginOnly) {
  EXPECT_EQ(svc::redirectTarget("http://a.example:8080/x/y.bin", "/z.bin"), "http://a.example:8080/z.bin");
  EXPECT_EQ(svc::redirectTarget("https://a.example/y.bin", "/z.bin"), "https://a.example/z.bin");
  EXPECT_EQ(svc::redirectTarget("http://a.example/y.bin", "https://cdn.example/z.bin"), "https://cdn.example/z.bin");
  // A scheme-relative location would name another host with a path's look; relative paths and
  // other schemes are not followed.
  EXPECT_EQ(svc::redirectTarget("http://a.example/y.bin", "//evil.example/z.bin"), std::nullopt);
  EXPECT_EQ(svc::redirectTarget("http://a.example/y.bin", "z.bin"), std::nullopt);
  EXPECT_EQ(svc::redirectTarget("http://a.example/y.bin", "ftp://a.example/z.bin"), std::nullopt);
  EXPECT_EQ(svc::redirectTarget("http://a.example/y.bin", ""), std::nullopt);
  EXPECT_EQ(svc::redirectTarget("http://a.example/y.bin", "/a b"), std::nullopt);
}

// Every WinHTTP session asks for TLS 1.2 and 1.3; a system that does not know 1.3 refuses the flag
// and is asked for 1.2 alone; one that refuses both keeps its own defaults.
TEST(SecureProtocols, FallBackToWhatTheSystemKnows) {
  struct Case {
    const char* system;
    uint32_t accepts;  // the sets the system takes whole
    uint32_t expected;
  };
  const uint32_t both = wincommon::kTls12 | wincommon::kTls13;
  for (const Case& c : {Case{"Windows 11", both, both}, Case{"Windows 7 to 10", wincommon::kTls12, wincommon::kTls12},
                        Case{"a system without either", 0, 0}}) {
    std::vector<uint32_t> offered;
    const uint32_t applied = wincommon::ApplySecureProtocols([&](uint32_t protocols) {
      offered.push_back(protocols);
      return (protocols & ~c.accepts) == 0 && c.accepts != 0;
    });
    EXPECT_EQ(applied, c.expected) << c.system;
    EXPECT_EQ(offered.front(), both) << c.system << ": the best set first";
    EXPECT_EQ(offered.size(), c.expected == both ? 1u : 2u) << c.system;
  }
  EXPECT_EQ(wincommon::kTls12, 0x800u);   // WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2
  EXPECT_EQ(wincommon::kTls13, 0x2000u);  // WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
}

// WinHTTP finds the user's proxy itself from Windows 8.1 on; Windows 7 and 8 lack the automatic
// type, so there the user's settings are read and a script or detection is run by us.
TEST(ProxyRoad, AutomaticFromWindows81OnAndTheUsersSettingsBefore) {
  using wincommon::ProxyRoad;
  struct Case {
    const char* system;
    unsigned long major, minor;
    ProxyRoad expected;
  };
  for (const Case& c : {Case{"Windows XP", 5, 1, ProxyRoad::UserSettings},
                        Case{"Windows 7", 6, 1, ProxyRoad::UserSettings},
                        Case{"Windows 8", 6, 2, ProxyRoad::UserSettings},
                        Case{"Windows 8.1", 6, 3, ProxyRoad::Automatic},
                        Case{"Windows 10 and 11", 10, 0, ProxyRoad::Automatic},
                        Case{"a later major version", 11, 0, ProxyRoad::Automatic}}) {
    EXPECT_EQ(wincommon::ProxyRoadFor(c.major, c.minor), c.expected) << c.system;
  }
}

// Who is on the other end of a loopback connection, from the system's table of connection ends,
// listening sockets and their owners: this end is port 50000 (the library), the other 9421 (the
// service), or the other way round.
TEST(LocalPeer, OnlyThisUsersProgramsOnEstablishedConnectionsPass) {
  using localpeer::Account;
  using localpeer::ConnectionEnd;
  using localpeer::EndState;
  using localpeer::PeerVerdict;
  auto accounts = [](uint32_t owner) {
    return owner == 100 || owner == 101 ? Account::Same : owner == 200 ? Account::Other : Account::Unknown;
  };
  auto end = [](uint16_t local, uint16_t remote, std::optional<uint32_t> owner,
                EndState state = EndState::Established) { return ConnectionEnd{local, remote, state, owner}; };
  auto listener = [](uint16_t port, std::optional<uint32_t> owner) {
    return ConnectionEnd{port, 0, EndState::Listening, owner};
  };
  const ConnectionEnd mine = end(50000, 9421, 100);
  const struct {
    const char* what;
    std::vector<ConnectionEnd> table;
    PeerVerdict expected;
  } kCases[] = {
      {"a service of this user", {mine, end(9421, 50000, 101)}, PeerVerdict::SameUser},
      {"this very process (the library's tests)", {mine, end(9421, 50000, 100)}, PeerVerdict::SameUser},
      {"another account's program", {mine, end(9421, 50000, 200)}, PeerVerdict::OtherUser},
      {"a program that cannot be asked (gone, or not ours to open)", {mine, end(9421, 50000, 300)},
       PeerVerdict::Unidentified},
      {"an end missing from the table", {mine, end(9421, 50001, 101)}, PeerVerdict::Unidentified},
      {"a listener without the connection", {mine, listener(9421, 101)}, PeerVerdict::Unidentified},
      {"another connection's end on the port", {mine, end(9421, 8080, 101), end(9421, 50000, 200)},
       PeerVerdict::OtherUser},
      {"not yet taken from another account's backlog", {mine, end(9421, 50000, std::nullopt), listener(9421, 200)},
       PeerVerdict::OtherUser},
      {"not yet taken from this user's backlog", {mine, end(9421, 50000, std::nullopt), listener(9421, 101)},
       PeerVerdict::SameUser},
      {"a system that names no owner of it (Wine)", {mine, end(9421, 50000, std::nullopt), listener(9421, std::nullopt)},
       PeerVerdict::OwnersNotKnown},
      // An end that sent its request and closed at once: Windows names no owner of it, and this
      // user's listener on the port must not vouch for it.
      {"a closing end with no owner named", {mine, end(9421, 50000, std::nullopt, EndState::OpeningOrClosing),
                                             listener(9421, 101)},
       PeerVerdict::Unidentified},
      {"a closing end of this user", {mine, end(9421, 50000, 101, EndState::OpeningOrClosing)},
       PeerVerdict::Unidentified},
      {"a closing end beside another account's established one",
       {mine, end(9421, 50000, 101, EndState::OpeningOrClosing), end(9421, 50000, 200)}, PeerVerdict::OtherUser},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(localpeer::JudgePeer(c.table, 50000, 9421, accounts), c.expected) << c.what;
  }
}

// Which verdicts may talk, on a system that names every established end's owner (Windows, Linux)
// and on one that names few (Wine); which rows count as established; and which tokens are this user's.
TEST(LocalPeer, TheRulesForStatesTokensAndUnnamedOwners) {
  using localpeer::PeerVerdict;
  for (bool namesEveryOwner : {true, false}) {
    EXPECT_TRUE(localpeer::PeerAllowedWhere(PeerVerdict::SameUser, namesEveryOwner));
    EXPECT_FALSE(localpeer::PeerAllowedWhere(PeerVerdict::OtherUser, namesEveryOwner));
    EXPECT_FALSE(localpeer::PeerAllowedWhere(PeerVerdict::Unidentified, namesEveryOwner));
  }
  EXPECT_FALSE(localpeer::PeerAllowedWhere(PeerVerdict::OwnersNotKnown, true));
  EXPECT_TRUE(localpeer::PeerAllowedWhere(PeerVerdict::OwnersNotKnown, false));

  using localpeer::EndState;
  // /proc/net/tcp: ESTABLISHED 01, SYN_SENT 02, SYN_RECV 03, FIN_WAIT1 04, FIN_WAIT2 05, TIME_WAIT 06,
  // CLOSE 07, CLOSE_WAIT 08, LAST_ACK 09, LISTEN 0A, CLOSING 0B, NEW_SYN_RECV 0C.
  for (unsigned state = 0; state <= 0x0c; ++state) {
    const EndState expected = state == 0x01   ? EndState::Established
                              : state == 0x0a ? EndState::Listening
                                              : EndState::OpeningOrClosing;
    EXPECT_EQ(localpeer::StateOfProcNetTcp(state), expected) << state;
  }
  // MIB_TCP_STATE: CLOSED 1, LISTEN 2, SYN_SENT 3, SYN_RCVD 4, ESTAB 5, FIN_WAIT1 6, FIN_WAIT2 7,
  // CLOSE_WAIT 8, CLOSING 9, LAST_ACK 10, TIME_WAIT 11, DELETE_TCB 12.
  for (unsigned long state = 1; state <= 12; ++state) {
    const EndState expected = state == 5   ? EndState::Established
                              : state == 2 ? EndState::Listening
                                           : EndState::OpeningOrClosing;
    EXPECT_EQ(localpeer::StateOfMibTcp(state), expected) << state;
  }

  using localpeer::Account;
  EXPECT_EQ(localpeer::AccountOfToken(true, 0x2000), Account::Same);   // medium
  EXPECT_EQ(localpeer::AccountOfToken(true, 0x3000), Account::Same);   // high (elevated)
  EXPECT_EQ(localpeer::AccountOfToken(true, 0x1000), Account::Other);  // low: a sandboxed renderer
  EXPECT_EQ(localpeer::AccountOfToken(true, 0x0000), Account::Other);  // untrusted, an AppContainer's kin
  EXPECT_EQ(localpeer::AccountOfToken(true, std::nullopt), Account::Unknown);
  EXPECT_EQ(localpeer::AccountOfToken(false, 0x3000), Account::Other);
}

#ifndef _WIN32
// The same decision on the kernel's own table: a program of this user that connected and then
// closed its end (FIN_WAIT2 while this side has not closed) no longer counts as a peer.
TEST(LocalPeer, AClientThatClosedItsEndIsNoLongerAPeer) {
  const int server = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(server, 1), 0);
  ASSERT_EQ(getsockname(server, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int client = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const int accepted = accept(server, nullptr, nullptr);
  ASSERT_GE(accepted, 0);
  EXPECT_EQ(localpeer::JudgeConnectedPeer(accepted), localpeer::PeerVerdict::SameUser);

  close(client);
  localpeer::PeerVerdict verdict = localpeer::PeerVerdict::SameUser;
  for (int wait = 0; wait < 200 && verdict == localpeer::PeerVerdict::SameUser; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    verdict = localpeer::JudgeConnectedPeer(accepted);
  }
  EXPECT_EQ(verdict, localpeer::PeerVerdict::Unidentified);
  EXPECT_FALSE(localpeer::PeerAllowed(verdict));
  close(accepted);
  close(server);
}
#endif

// The proxy of an origin is searched once per network (automatic detection costs seconds), by one
// search however many fetches wait for it; a fetch that is stopped stops waiting at once, and the
// search's answer is kept all the same.
TEST(DiscoveryCache, OneSearchPerKeyAndNetworkAndAWaitThatCanBeStopped) {
  wincommon::DiscoveryCache<std::string> cache;
  std::atomic<int> searches{0};
  auto slowSearch = [&](const std::string& answer) {
    return [&searches, answer] {
      ++searches;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      return answer;
    };
  };
  std::thread other([&] { EXPECT_EQ(cache.Get("https://cdn", 1, slowSearch("proxy:8080"), nullptr), "proxy:8080"); });
  EXPECT_EQ(cache.Get("https://cdn", 1, slowSearch("proxy:8080"), nullptr), "proxy:8080");
  other.join();
  EXPECT_EQ(searches.load(), 1) << "two waiters, one search";
  EXPECT_EQ(cache.Get("https://cdn", 1, slowSearch("changed"), nullptr), "proxy:8080") << "kept";
  EXPECT_EQ(cache.Get("https://other", 1, slowSearch("direct"), nullptr), "direct");
  EXPECT_EQ(cache.Get("https://cdn", 2, slowSearch("new-proxy:3128"), nullptr), "new-proxy:3128")
      << "searched again once the network changed";
  EXPECT_EQ(searches.load(), 3);

  FetchAbort abort;
  std::thread pause([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    abort.abort();
  });
  const auto began = std::chrono::steady_clock::now();
  EXPECT_FALSE(cache.Get("https://slow", 1, slowSearch("late"), &abort).has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(250)) << "the stop waited for the search";
  pause.join();
  FetchAbort again;
  again.abort();
  EXPECT_FALSE(cache.Get("https://slow", 1, slowSearch("late"), &again).has_value()) << "stopped before it waited";
  EXPECT_EQ(cache.Get("https://slow", 1, slowSearch("other"), nullptr), "late") << "the stopped search's answer is kept";
}

// The downloader's window thread waits for a search of the user's proxy only so long: past the
// deadline it goes on without the answer, which is kept for the next request; an answer found in
// time is taken, and the deadline then never fires.
TEST(DiscoveryCache, ADeadlineEndsTheWaitButNotTheSearch) {
  using std::chrono::milliseconds;
  wincommon::DiscoveryCache<std::string> cache;
  auto search = [](milliseconds takes, std::string answer) {
    return [takes, answer] {
      std::this_thread::sleep_for(takes);
      return answer;
    };
  };
  const auto began = std::chrono::steady_clock::now();
  {
    wincommon::WaitDeadline deadline(milliseconds(50));
    EXPECT_FALSE(cache.Get("http://publisher", 1, search(milliseconds(400), "proxy:3128"), &deadline).has_value());
  }
  EXPECT_LT(std::chrono::steady_clock::now() - began, milliseconds(300)) << "the deadline did not end the wait";
  std::this_thread::sleep_for(milliseconds(500));
  wincommon::WaitDeadline unused(milliseconds(50));
  EXPECT_EQ(cache.Get("http://publisher", 1, search(milliseconds(0), "other"), &unused), "proxy:3128")
      << "the late answer was not kept";
  const auto quick = std::chrono::steady_clock::now();
  {
    wincommon::WaitDeadline roomy(milliseconds(2000));
    EXPECT_EQ(cache.Get("http://analytics", 1, search(milliseconds(20), "direct"), &roomy), "direct");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - quick, milliseconds(1000)) << "the deadline outlived the answer";
}

// Every folder a write passes through is looked at for a junction, and the final path of the
// opened file is compared in the client's form: a missed folder or a mangled final path would let a
// swapped folder through, or refuse every file.
TEST(WindowsPaths, EveryFolderOnTheWayIsNamedAndFinalPathsComeBackPlain) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ(svc::NamesAlongPath(L"C:\\Games\\Tessel\\setup.exe"),
            (V{L"C:\\Games", L"C:\\Games\\Tessel", L"C:\\Games\\Tessel\\setup.exe"}));
  EXPECT_EQ(svc::NamesAlongPath(L"C:\\setup.exe"), V{L"C:\\setup.exe"});
  EXPECT_EQ(svc::NamesAlongPath(L"C:\\"), V{});
  EXPECT_EQ(svc::NamesAlongPath(L"\\\\nas\\games\\Tessel\\setup.exe"),
            (V{L"\\\\nas\\games\\Tessel", L"\\\\nas\\games\\Tessel\\setup.exe"}));
  EXPECT_EQ(svc::NamesAlongPath(L"\\\\nas\\games"), V{});

  EXPECT_EQ(svc::PlainFinalPath(L"\\\\?\\C:\\Games\\setup.exe"), L"C:\\Games\\setup.exe");
  EXPECT_EQ(svc::PlainFinalPath(L"\\\\?\\UNC\\nas\\games\\setup.exe"), L"\\\\nas\\games\\setup.exe");
  EXPECT_EQ(svc::PlainFinalPath(L"C:\\Games\\setup.exe"), L"C:\\Games\\setup.exe");
}

TEST(WindowsPaths, APathIsTooLongOnlyWhereWindowsWouldRefuseIt) {
  const std::wstring folder = L"C:\\Games\\" + std::wstring(230, L'f');  // 239 characters
  EXPECT_FALSE(svc::PathTooLong(folder + L"\\" + std::wstring(19, L'n'), false, false)) << "259 in all";
  EXPECT_TRUE(svc::PathTooLong(folder + L"\\" + std::wstring(20, L'n'), false, true)) << "260 in all";
  EXPECT_FALSE(svc::PathTooLong(folder + L"\\" + std::wstring(20, L'n'), true, true)) << "with long paths";
  // A folder of 248 characters is made by nobody, but one already there may hold a short name.
  const std::wstring deeper = folder + L"\\12345678";
  EXPECT_TRUE(svc::PathTooLong(deeper + L"\\a.bin", false, false));
  EXPECT_FALSE(svc::PathTooLong(deeper + L"\\a.bin", false, true));
  // No file system takes a name of more than 255 characters, long paths or not, wherever it stands.
  EXPECT_FALSE(svc::PathTooLong(L"C:\\" + std::wstring(255, L'n'), true, true));
  EXPECT_TRUE(svc::PathTooLong(L"C:\\" + std::wstring(256, L'n'), true, true));
  EXPECT_TRUE(svc::PathTooLong(L"C:\\" + std::wstring(256, L'n') + L"\\a.bin", true, true));
  EXPECT_TRUE(svc::PathTooLong(L"\\\\nas\\games\\" + std::wstring(256, L'n') + L"/a.bin", true, true));
  std::wstring veryLong = L"C:";
  while (veryLong.size() < 32760) veryLong += L"\\" + std::wstring(200, L'n');
  EXPECT_TRUE(svc::PathTooLong(veryLong, true, true)) << "past what even long paths take";
}

// The cut of a file into segments, and the halves free connections take: every byte belongs to
// exactly one segment, no segment is cut below the least size, and the indexes connections hold
// stay theirs.
TEST(SegmentPlan, SplitsTakesHalvesAndKeepsEveryByteInExactlyOneSegment) {
  constexpr int64_t kMiB = 1 << 20;
  auto covers = [](const svc::SegmentPlan& plan) {
    auto parsed = svc::SegmentPlan::Parse(plan.Format(), plan.size());
    return parsed && parsed->Format() == plan.Format();
  };
  svc::SegmentPlan plan = svc::SegmentPlan::Split(100 * kMiB + 3, 0, 4, 8 * kMiB);
  ASSERT_EQ(plan.segments().size(), 4u);
  EXPECT_TRUE(covers(plan));
  EXPECT_EQ(svc::SegmentPlan::Split(20 * kMiB, 0, 4, 8 * kMiB).segments().size(), 2u) << "segments of 8 MiB at least";
  EXPECT_EQ(svc::SegmentPlan::Split(5 * kMiB, 0, 4, 8 * kMiB).segments().size(), 1u);
  // A file resumed from one connection: the bytes already there are one finished segment.
  svc::SegmentPlan resumed = svc::SegmentPlan::Split(64 * kMiB, 10 * kMiB, 4, 8 * kMiB);
  EXPECT_EQ(resumed.bytesOnDisk(), 10 * kMiB);
  EXPECT_EQ(resumed.segments().size(), 5u);

  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(plan.Take(8 * kMiB), i);
  plan.Advance(0, plan.at(0).end);  // the first connection is done: it takes half of the largest
  plan.Release(0);
  plan.Advance(2, plan.at(2).begin + 5 * kMiB);
  const int64_t endOfLargest = plan.at(1).end;
  const auto stolen = plan.Take(8 * kMiB);
  ASSERT_EQ(stolen, 4u) << "appended, so that the others' indexes hold";
  EXPECT_EQ(plan.at(1).end, plan.at(4).begin);
  EXPECT_EQ(plan.at(4).end, endOfLargest);
  EXPECT_GE(plan.at(4).left(), 8 * kMiB);
  EXPECT_TRUE(covers(plan));
  plan.Advance(4, plan.at(4).end + 99);
  EXPECT_EQ(plan.at(4).next, plan.at(4).end) << "no segment runs into the next";

  // Nothing left worth a connection: halves would be under the least size.
  svc::SegmentPlan tail = svc::SegmentPlan::Split(15 * kMiB, 0, 4, 8 * kMiB);
  ASSERT_EQ(tail.Take(8 * kMiB), 0u);
  EXPECT_FALSE(tail.Take(8 * kMiB));
  tail.Release(0);
  EXPECT_EQ(tail.Take(8 * kMiB), 0u) << "a segment given back is taken again";
  tail.Advance(0, 15 * kMiB);
  EXPECT_TRUE(tail.complete());

  // Texts that do not cover the file exactly, in order, are not trusted.
  EXPECT_FALSE(svc::SegmentPlan::Parse("0-5-10,12-12-20", 20));
  EXPECT_FALSE(svc::SegmentPlan::Parse("0-5-10,10-9-20", 20));
  EXPECT_FALSE(svc::SegmentPlan::Parse("0-5-10", 20));
  EXPECT_FALSE(svc::SegmentPlan::Parse("", 20));
  EXPECT_FALSE(svc::SegmentPlan::Parse("0-5-10,10-x-20", 20));
  EXPECT_TRUE(svc::SegmentPlan::Parse("0-5-10,10-20-20", 20));
}

// Several large files from one host: extra connections stop at the cap, a file's first one never
// waits for it, and a place given back is free again for that host only.
TEST(HostConnections, ExtrasStopAtTheCapPerHostWhileFirstConnectionsAlwaysGo) {
  svc::HostConnections hosts(6);
  for (int file = 0; file < 2; ++file) hosts.takeFirst("cdn");
  int extras = 0;
  while (extras < 10 && hosts.takeExtra("cdn")) ++extras;
  EXPECT_EQ(extras, 4);
  hosts.takeFirst("cdn");
  EXPECT_EQ(hosts.open("cdn"), 7) << "a third file still gets its one connection";
  EXPECT_FALSE(hosts.takeExtra("cdn"));
  EXPECT_TRUE(hosts.takeExtra("other")) << "the cap is per host";
  hosts.giveBack("cdn");
  hosts.giveBack("cdn");
  EXPECT_TRUE(hosts.takeExtra("cdn"));
  EXPECT_EQ(hosts.open("cdn"), 6);
}

TEST(RateMeter, AveragesOverTheLastSecondsAndFallsToZeroWhenIdle) {
  using namespace std::chrono;
  RateMeter meter(seconds(3));
  auto start = RateMeter::Clock::time_point() + hours(1);
  EXPECT_EQ(meter.bytesPerSecond(start), 0u);
  // 100 KB every 100 ms for 5 s: 1 MB/s.
  for (int i = 0; i <= 50; ++i) meter.add(100000, start + milliseconds(100 * i));
  uint64_t steady = meter.bytesPerSecond(start + milliseconds(5000));
  EXPECT_GE(steady, 950000u);
  EXPECT_LE(steady, 1050000u);
  // A young transfer is averaged over its own age, not the whole window.
  RateMeter young(seconds(3));
  young.add(500000, start);
  young.add(500000, start + milliseconds(500));
  uint64_t early = young.bytesPerSecond(start + milliseconds(1000));
  EXPECT_GE(early, 900000u);
  EXPECT_LE(early, 1100000u);
  // Nothing for longer than the window: zero.
  EXPECT_EQ(meter.bytesPerSecond(start + milliseconds(5000) + seconds(4)), 0u);
  meter.add(1, start + seconds(20));
  meter.reset();
  EXPECT_EQ(meter.bytesPerSecond(start + seconds(20)), 0u);
}

TEST(TestbedMisbehaviour, ControlsApplyTogetherOrNotAtAll) {
  Misbehaviour controls;
  EXPECT_EQ(controls.apply(parseQuery("stall=http%3a%2f%2fh%2fa&inuse=2&challenge=both&delay=40")), "");
  EXPECT_TRUE(controls.stalled("http://h/a"));
  EXPECT_FALSE(controls.stalled("http://h/b"));
  EXPECT_TRUE(controls.challengesDownloads());
  EXPECT_TRUE(controls.challengesDeletes());
  EXPECT_EQ(controls.answerDelayMs(), 40);
  EXPECT_TRUE(controls.takeInUse());
  EXPECT_TRUE(controls.takeInUse());
  EXPECT_FALSE(controls.takeInUse());

  // Refused requests change nothing, even in their valid parts.
  EXPECT_NE(controls.apply(parseQuery("stall=*&forcestatus=LOST&url=http%3a%2f%2fh%2fa")), "");
  EXPECT_NE(controls.apply(parseQuery("stall=*&inuse=many")), "");
  EXPECT_NE(controls.apply(parseQuery("stall=*&bogus=1")), "");
  EXPECT_NE(controls.apply(parseQuery("stall=*&fail=pauseFile")), "");
  EXPECT_FALSE(controls.stalled("http://h/b"));

  EXPECT_EQ(controls.apply(parseQuery("forcestatus=DISCONNECTED&url=http%3a%2f%2fh%2fa")), "");
  EXPECT_EQ(controls.forcedStatus("http://h/a").value_or(""), "DISCONNECTED");
  EXPECT_EQ(controls.apply(parseQuery("fail=pauseFile&url=http%3a%2f%2fh%2fa&text=nope")), "");
  EXPECT_EQ(controls.forcedError("pauseFile", "http://h/a").value_or(""), "nope");
  EXPECT_FALSE(controls.forcedError("deleteFile", "http://h/a").has_value());
  EXPECT_EQ(controls.apply(parseQuery("challenge=delete&unstall=*")), "");
  EXPECT_FALSE(controls.challengesDownloads());
  EXPECT_FALSE(controls.stalled("http://h/a"));

  controls.clear();
  EXPECT_FALSE(controls.forcedStatus("http://h/a").has_value());
  EXPECT_FALSE(controls.forcedError("pauseFile", "http://h/a").has_value());
  EXPECT_FALSE(controls.challengesDeletes());
  EXPECT_EQ(controls.answerDelayMs(), 0);
}

// Two accounts' services on one machine: the port each takes, and the record its library reads.
// The tests use ports just past the service's range, so that they never meet a real service, and
// each test ports of its own, since they may run at once.
TEST(PortChoice, ARecordNamesOnePortOfTheRange) {
  EXPECT_EQ(ParsePortRecord("9421\n").value_or(0), 9421);
  EXPECT_EQ(ParsePortRecord("9436\r\n").value_or(0), 9436);
  EXPECT_EQ(ParsePortRecord("9430").value_or(0), 9430);
  for (const char* torn : {"", "\n", "9420\n", "9437\n", "94", "9421 \n", "+9421", "09421x", "99999999999"}) {
    EXPECT_FALSE(ParsePortRecord(torn).has_value()) << torn;
  }
}

// Any program listening on a port of the range keeps it: the service takes the next one and records
// that, and removes the record at a clean stop.
TEST(PortChoice, AListenedPortSendsTheServiceToTheNextOne) {
  testsupport::TempFolder temp;
  uint16_t bound = 0;
  Socket holder = listenOnLoopback(9440, &bound);
  ASSERT_TRUE(holder.valid());
  ServiceOptions options;
  options.stateDir = temp.path() / "state";
  options.portRecord = temp.path() / "data" / "serviceport.txt";
  DownloadService service(std::move(options));
  std::string error;
  ASSERT_TRUE(service.start(PortRange{9440, 9441}, &error)) << error;
  EXPECT_EQ(service.port(), 9441);
  EXPECT_EQ(testsupport::readWholeFile(temp.path() / "data" / "serviceport.txt"), "9441\n");
  service.stop();
  EXPECT_FALSE(fs::exists(temp.path() / "data" / "serviceport.txt")) << "a clean stop leaves the record behind";
}

// A service about to end lets go of its port before its process lets go of the single-instance
// mutex: the instance started next finds the port free and keeps it, as on a PC with one account.
TEST(PortChoice, AStoppingServiceFreesItsPortForTheNextInstance) {
  testsupport::TempFolder temp;
  ServiceOptions options;
  options.stateDir = temp.path() / "state";
  DownloadService first(options);
  std::string error;
  ASSERT_TRUE(first.start(PortRange{9442, 9443}, &error)) << error;
  ASSERT_EQ(first.port(), 9442);
  // A client still connected does not hold the port.
  testbedtest::KeptConnection open(9442);
  ASSERT_EQ(open.get("/api?function=ping").status, 200);
  first.stopDownloads();
  EXPECT_FALSE(SomebodyListensOn(9442));
  options.bindPatience = std::chrono::seconds(10);
  DownloadService next(options);
  ASSERT_TRUE(next.start(PortRange{9442, 9443}, &error)) << error;
  EXPECT_EQ(next.port(), 9442);
}

#ifndef _WIN32
TEST(PortChoice, AnotherAccountsServiceSendsThisOneToTheNextPort) {
  if (!testsupport::canRunAsOtherAccount()) GTEST_SKIP() << "only root can run a program as another account";
  testsupport::OtherAccountListener foreign(9437);
  ASSERT_TRUE(foreign.listening());
  testsupport::TempFolder temp;
  ServiceOptions options;
  options.stateDir = temp.path() / "state";
  options.portRecord = temp.path() / "serviceport.txt";
  DownloadService service(std::move(options));
  std::string error;
  ASSERT_TRUE(service.start(PortRange{9437, 9439}, &error)) << error;
  EXPECT_EQ(service.port(), 9438);
  EXPECT_EQ(testsupport::readWholeFile(temp.path() / "serviceport.txt"), "9438\n");
  EXPECT_TRUE(SomebodyListensOn(9437));
  EXPECT_FALSE(SomebodyListensOn(9439));
}
#endif

}  // namespace
}  // namespace testbed
