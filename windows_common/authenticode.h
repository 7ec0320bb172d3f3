// The Authenticode check of a file through WinVerifyTrust: a valid signature whose signer's chain
// satisfies the Authenticode and base chain policies, ends in a root the machine trusts, and whose
// certificate's common name (and organisation and issuer, when the expected signer names them) is
// exactly the expected one. Revocation is not checked, so that the
// check never waits on the network.
#ifndef WINDOWS_COMMON_AUTHENTICODE_H
#define WINDOWS_COMMON_AUTHENTICODE_H

#include <windows.h>

#include <string>

#include "windows_common/signature_check.h"

namespace wincommon {

// Opens the file for reading with writing and deleting shut out, waiting out a sharing violation
// (a scanner, or a writer just closing the file) for up to 10 s; INVALID_HANDLE_VALUE on failure.
// While the handle is open the file's bytes cannot change and it cannot be replaced.
HANDLE OpenUnchangeable(const std::wstring& path);

// Checks the signature of the file at path, whose bytes the caller holds unchangeable through file
// (from OpenUnchangeable).
SignatureCheck CheckAuthenticode(const std::wstring& path, HANDLE file, const ExpectedSigner& expectedSigner);

}  // namespace wincommon

#endif
