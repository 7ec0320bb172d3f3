// CNG's primitives (bcrypt.dll), taken on first use from the system folder (system_functions.h).
#ifndef WINDOWS_COMMON_BCRYPT_FUNCTIONS_H
#define WINDOWS_COMMON_BCRYPT_FUNCTIONS_H

#include <windows.h>
#include <bcrypt.h>

#include "windows_common/system_functions.h"

#define AK_BCRYPT_FUNCTIONS(X)                                                                           \
  X(BCryptCloseAlgorithmProvider) X(BCryptCreateHash) X(BCryptDestroyHash) X(BCryptFinishHash)           \
  X(BCryptGetProperty) X(BCryptHashData) X(BCryptOpenAlgorithmProvider)

namespace wincommon {
AK_SYSTEM_FUNCTIONS(BCryptFunctions, BCrypt, "bcrypt.dll", AK_BCRYPT_FUNCTIONS)
}  // namespace wincommon

#endif
