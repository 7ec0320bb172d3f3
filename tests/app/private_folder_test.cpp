// The game's folders under Wine as Windows would keep them: made with a protected access list of
// the user, SYSTEM and the administrators only (read back from the folder), an open folder of the
// user's own made private, and folders that are not the user's to trust refused. Wine keeps a
// descriptor given to a folder in an extended attribute of the host's file system.
#include "app/private_folder.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

struct Access {
  bool isProtected = false;
  std::vector<std::wstring> entries;  // "SID:mask:flags" of each allowing entry, in order
  std::wstring owner;
};

std::wstring sidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"?";
  std::wstring copy = text;
  LocalFree(text);
  return copy;
}

Access accessOf(const std::wstring& path) {
  Access access;
  PSID owner = nullptr;
  ACL* dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return access;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  access.isProtected = (control & SE_DACL_PROTECTED) != 0;
  access.owner = sidText(owner);
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    GetAce(dacl, i, &entry);
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    wchar_t mask[16];
    swprintf(mask, 16, L"%lx", static_cast<unsigned long>(allowed->Mask));
    access.entries.push_back(sidText(&allowed->SidStart) + L":" + mask + L":" +
                             std::to_wstring(allowed->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE |
                                                                        INHERITED_ACE)));
  }
  LocalFree(descriptor);
  return access;
}

std::wstring userSid() {
  const std::wstring sddl = PrivateFolderSddl();  // "D:P(A;OICI;FA;;;<user>)..."
  const size_t start = sddl.find(L";;;") + 3;
  return sddl.substr(start, sddl.find(L')') - start);
}

// A folder given the access list afterwards (at creation, Wine would narrow it by the umask).
bool makeFolderWith(const std::wstring& path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!CreateDirectoryW(path.c_str(), nullptr) ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  ACL* dacl = nullptr;
  const bool given = GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) &&
                     SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                           DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
  LocalFree(descriptor);
  return given;
}

bool makeFileIn(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// The user, SYSTEM and the administrators, with full control (0x1f01ff), inherited by files (1)
// and folders (2) made inside.
std::vector<std::wstring> privateEntries(const std::wstring& user, int flags) {
  const std::wstring tail = L":1f01ff:" + std::to_wstring(flags);
  // OWNER RIGHTS: reading only (FILE_GENERIC_READ), in place of an owner's implicit rights.
  return {user + tail, L"S-1-5-18" + tail, L"S-1-5-32-544" + tail, L"S-1-3-4:120089:" + std::to_wstring(flags)};
}

// Whether the access list read back from path lets anyone but the user and SYSTEM change what is
// in it.
bool onlyTheUserAndSystemMayWrite(const std::wstring& path, const std::wstring& user) {
  for (const std::wstring& entry : accessOf(path).entries) {
    const std::wstring sid = entry.substr(0, entry.find(L':'));
    const unsigned long mask = std::wcstoul(entry.substr(entry.find(L':') + 1).c_str(), nullptr, 16);
    const bool writes = (mask & (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER)) != 0;
    if (writes && sid != user && sid != L"S-1-5-18" && sid != L"S-1-5-32-544") return false;
  }
  return true;
}

// The descriptor every game folder is made with, and given when it is made private: on Windows it
// is what the folder keeps. (This Wine keeps only what its Unix mode can say of it, which the tests
// below read back.)
TEST(PrivateFolders, TheirDescriptorIsProtectedAndGrantsOnlyTheUserSystemAndTheAdministrators) {
  const std::wstring user = userSid();
  ASSERT_EQ(user.rfind(L"S-1-5-21-", 0), 0u) << user;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(PrivateFolderSddl().c_str(), SDDL_REVISION_1,
                                                                   &descriptor, nullptr));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the parent's entries (Authenticated Users: Modify on C:\\) must not flow in";
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  ACL* dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl != nullptr);
  std::vector<std::wstring> entries;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &entry));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    ASSERT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    wchar_t mask[16];
    swprintf(mask, 16, L"%lx", static_cast<unsigned long>(allowed->Mask));
    entries.push_back(sidText(&allowed->SidStart) + L":" + mask + L":" + std::to_wstring(allowed->Header.AceFlags));
  }
  LocalFree(descriptor);
  // Full control, inherited by the files (1) and folders (2) made inside.
  EXPECT_EQ(entries, privateEntries(user, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
}

TEST(PrivateFolders, ANewFolderIsMadePrivateAndUsedAsItIsTheNextTime) {
  testsupport::TempFolder temp;
  const std::wstring user = userSid();
  const std::wstring folder = temp.path().wstring() + L"\\TesselGames";
  EXPECT_FALSE(ReadFolderFacts(folder).exists);
  ASSERT_TRUE(MakePrivateFolder(folder));
  const FolderFacts facts = ReadFolderFacts(folder);
  EXPECT_TRUE(facts.exists);
  EXPECT_TRUE(facts.plainDirectory);
  EXPECT_EQ(facts.owner, FolderOwner::CurrentUser);
  EXPECT_FALSE(facts.othersMayWrite);
  EXPECT_FALSE(facts.foreignEntries);
  EXPECT_TRUE(onlyTheUserAndSystemMayWrite(folder, user));
  EXPECT_TRUE(MakePrivateFolder(folder));
  ASSERT_TRUE(makeFileIn(folder + L"\\setup.exe"));
  EXPECT_TRUE(onlyTheUserAndSystemMayWrite(folder + L"\\setup.exe", user));
}

// A link inside an existing folder leads elsewhere, whoever made it: the folder counts as holding
// something foreign, and is not used as it is.
TEST(PrivateFolders, ALinkInsideCountsAsForeign) {
  testsupport::TempFolder temp;
  const std::wstring folder = temp.path().wstring() + L"\\TesselGames";
  const std::wstring elsewhere = temp.path().wstring() + L"\\Elsewhere";
  ASSERT_TRUE(MakePrivateFolder(folder));
  ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
  EXPECT_FALSE(ReadFolderFacts(folder).foreignEntries);
  const std::wstring link = folder + L"\\Startup";
  // Wine 8 answers the request with success and makes nothing that a listing shows.
  if (!CreateSymbolicLinkW(link.c_str(), elsewhere.c_str(),
                           SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
      GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "this system makes no symbolic link that a listing shows";
  }
  EXPECT_TRUE(ReadFolderFacts(folder).foreignEntries);
}

// A folder of the user's own that everyone may write to (what a folder made in the drive's root
// inherits) is closed before anything goes into it; one that others may only read stays as it is.
TEST(PrivateFolders, AnOpenFolderOfTheUsersOwnIsClosed) {
  testsupport::TempFolder temp;
  const std::wstring user = userSid();
  const std::wstring folder = temp.path().wstring() + L"\\Downloader";
  ASSERT_TRUE(makeFolderWith(folder, (L"D:(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;WD)").c_str()));
  ASSERT_FALSE(onlyTheUserAndSystemMayWrite(folder, user)) << "the folder was not made open";
  FolderFacts facts = ReadFolderFacts(folder);
  EXPECT_EQ(facts.owner, FolderOwner::CurrentUser);
  EXPECT_TRUE(facts.othersMayWrite);
  ASSERT_TRUE(MakePrivateFolder(folder));
  EXPECT_TRUE(onlyTheUserAndSystemMayWrite(folder, user)) << accessOf(folder).entries.size();
  EXPECT_FALSE(ReadFolderFacts(folder).othersMayWrite);

  const std::wstring readable = temp.path().wstring() + L"\\Readable";
  ASSERT_TRUE(makeFolderWith(readable, (L"D:(A;OICI;FA;;;" + user + L")(A;OICI;0x1200a9;;;WD)").c_str()));
  EXPECT_FALSE(ReadFolderFacts(readable).othersMayWrite);
  EXPECT_TRUE(MakePrivateFolder(readable));
}

}  // namespace
