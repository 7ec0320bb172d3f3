// The account a process runs as: the user SID of its token.
#ifndef WINDOWS_COMMON_TOKEN_USER_H
#define WINDOWS_COMMON_TOKEN_USER_H

#include <windows.h>

#include <stdint.h>

#include <optional>
#include <vector>

namespace wincommon {

// A copy of the process's token user SID; empty when the token cannot be read (the process is
// gone, or not this caller's to ask).
std::vector<BYTE> TokenUserSid(HANDLE process);

// The mandatory integrity level of the process's token (its label's last sub-authority: 0x1000 low,
// 0x2000 medium, 0x3000 high); nothing when the token cannot be read.
std::optional<uint32_t> ProcessIntegrityLevel(HANDLE process);
// The same of a token opened for query.
std::optional<uint32_t> IntegrityLevelOfToken(HANDLE token);

}  // namespace wincommon

#endif
