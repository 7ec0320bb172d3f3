// The account a process runs as: the user SID of its token.
#ifndef WINDOWS_COMMON_TOKEN_USER_H
#define WINDOWS_COMMON_TOKEN_USER_H

#include <windows.h>

#include <vector>

namespace wincommon {

// A copy of the process's token user SID; empty when the token cannot be read (the process is
// gone, or not this caller's to ask).
std::vector<BYTE> TokenUserSid(HANDLE process);

}  // namespace wincommon

#endif
