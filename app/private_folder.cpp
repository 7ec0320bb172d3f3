#include "app/private_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "windows_common/token_user.h"

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

// What a foreign entry in a folder's access list must not grant: adding, changing or deleting
// anything in it, or taking the folder over.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                      FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL | MAXIMUM_ALLOWED;

// The account this process runs as.
std::vector<BYTE> currentUserSid() { return wincommon::TokenUserSid(GetCurrentProcess()); }

FolderOwner ownerKind(PSID owner, const std::vector<BYTE>& user) {
  if (owner == nullptr || !IsValidSid(owner)) return FolderOwner::Other;
  if (!user.empty() && EqualSid(owner, const_cast<BYTE*>(user.data()))) return FolderOwner::CurrentUser;
  if (IsWellKnownSid(owner, WinLocalSystemSid)) return FolderOwner::System;
  if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) return FolderOwner::Administrators;
  return FolderOwner::Other;
}

// The user, SYSTEM, the administrators, and CREATOR OWNER (which grants only to whoever creates
// something inside, and nobody else can).
bool isTrusted(PSID sid, const std::vector<BYTE>& user) {
  FolderOwner kind = ownerKind(sid, user);
  return kind != FolderOwner::Other || IsWellKnownSid(sid, WinCreatorOwnerSid);
}

bool othersMayWrite(const ACL* dacl, const std::vector<BYTE>& user) {
  if (dacl == nullptr) return true;  // no access list: everyone may do everything
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), i, &entry)) return true;
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    // Object and callback entries are not expected on a folder; one is not trusted unread.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;
    const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if ((allowed->Mask & kChangeRights) != 0 && !isTrusted(sid, user)) return true;
  }
  return false;
}

bool hasForeignEntries(const std::wstring& path, const std::vector<BYTE>& user) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool foreign = false;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    // A link or junction leads out of the folder: what it names is no file of the user's here,
    // whoever owns the link itself.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      foreign = true;
      break;
    }
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring entry = path + L"\\" + name;
    if (GetNamedSecurityInfoW(entry.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
      foreign = true;
      break;
    }
    LocalMemory freed(descriptor);
    if (ownerKind(owner, user) == FolderOwner::Other) foreign = true;
  } while (!foreign && FindNextFileW(search, &found));
  FindClose(search);
  return foreign;
}

// The folder itself, never what a link or junction leads to; with the right to change its access
// list when the caller may.
Handle openFolder(const std::wstring& path, bool* missing) {
  *missing = false;
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  constexpr DWORD kFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
  for (DWORD access : {READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES, READ_CONTROL | FILE_READ_ATTRIBUTES}) {
    HANDLE handle = CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, kFlags, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return Handle(handle);
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      *missing = true;
      return nullptr;
    }
  }
  return nullptr;
}

FolderFacts factsOf(HANDLE folder, const std::wstring& path, const std::vector<BYTE>& user) {
  FolderFacts facts;
  facts.exists = true;
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(folder, &information)) return facts;
  facts.plainDirectory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                         (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  PSID owner = nullptr;
  ACL* dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return facts;
  }
  LocalMemory freed(descriptor);
  facts.owner = ownerKind(owner, user);
  facts.othersMayWrite = othersMayWrite(dacl, user);
  if (facts.plainDirectory && facts.owner != FolderOwner::Other) facts.foreignEntries = hasForeignEntries(path, user);
  return facts;
}

// The folder's facts, and the handle they were read through (null when it is missing, or there
// but not even its descriptor may be read: then it is someone else's).
FolderFacts lookAt(const std::wstring& path, const std::vector<BYTE>& user, Handle* folder) {
  bool missing = false;
  *folder = openFolder(path, &missing);
  FolderFacts facts;
  if (missing) return facts;
  facts.exists = true;
  return *folder ? factsOf(folder->get(), path, user) : facts;
}

// The private descriptor, made from its SDDL; null when the user cannot be named.
LocalMemory privateDescriptor() {
  const std::wstring sddl = PrivateFolderSddl();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (sddl.empty() ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return nullptr;
  }
  return LocalMemory(descriptor);
}

// ERROR_SUCCESS, or why the folder could not be made.
DWORD createPrivate(const std::wstring& path) {
  LocalMemory descriptor = privateDescriptor();
  if (!descriptor) return ERROR_INVALID_SECURITY_DESCR;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  return CreateDirectoryW(path.c_str(), &attributes) ? ERROR_SUCCESS : GetLastError();
}

// Gives the folder behind the handle the private access list, then has the system carry its
// inherited entries down to what is already in it.
bool makePrivate(HANDLE folder, const std::wstring& path) {
  LocalMemory descriptor = privateDescriptor();
  if (!descriptor) return false;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  ACL* dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) || !present) return false;
  constexpr SECURITY_INFORMATION kWhat = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
  if (SetSecurityInfo(folder, SE_FILE_OBJECT, kWhat, nullptr, nullptr, dacl, nullptr) != ERROR_SUCCESS) return false;
  SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, kWhat, nullptr, nullptr, dacl, nullptr);
  return true;
}

}  // namespace

std::wstring PrivateFolderSddl() {
  std::vector<BYTE> user = currentUserSid();
  wchar_t* text = nullptr;
  if (user.empty() || !ConvertSidToStringSidW(user.data(), &text)) return std::wstring();
  LocalMemory freed(text);
  // OWNER RIGHTS in place of an owner's implicit rights to read and change an entry's access
  // list: an entry another account made before the folder was taken over keeps only reading.
  return L"D:P(A;OICI;FA;;;" + std::wstring(text) + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;OW)";
}

FolderFacts ReadFolderFacts(const std::wstring& path) {
  Handle folder;
  return lookAt(path, currentUserSid(), &folder);
}

bool MakePrivateFolder(const std::wstring& path) {
  const std::vector<BYTE> user = currentUserSid();
  if (user.empty()) return false;
  // Twice at most: a folder made by someone else between the look and the creation is looked at
  // again, and one made private is looked at again to confirm it.
  for (int look = 0; look < 2; ++look) {
    Handle folder;
    switch (DecideFolderAction(lookAt(path, user, &folder))) {
      case FolderAction::Create: {
        const DWORD error = createPrivate(path);
        if (error == ERROR_SUCCESS) return true;
        if (error != ERROR_ALREADY_EXISTS) return false;
        break;
      }
      case FolderAction::Use:
        return true;
      case FolderAction::MakePrivate:
        if (look > 0 || !makePrivate(folder.get(), path)) return false;
        break;
      case FolderAction::Refuse:
        return false;
    }
  }
  return false;
}
