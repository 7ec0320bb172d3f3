// Programs started with their user's normal rights, also from a process that runs "as
// administrator": a program it started plainly would be elevated too, and the named objects and
// files it made would not be its user's to open afterwards.
#ifndef WINDOWS_COMMON_UNELEVATED_START_H
#define WINDOWS_COMMON_UNELEVATED_START_H

#include <windows.h>

#include <stdint.h>

#include <optional>
#include <string>

namespace wincommon {

// What a process's token says of its rights against its user's normal ones.
struct TokenStanding {
  // Default (no split token) also when the token cannot be read: a standard user, UAC switched off,
  // the built-in Administrator.
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  std::optional<uint32_t> integrity;        // the token's mandatory integrity level
  std::optional<uint32_t> linkedIntegrity;  // that of its other half, when it has one
};

// True when the token is the elevated half of a split token whose other half is lower: the
// process was started "as administrator" and its user's normal rights are less. When the other
// half's level cannot be read, elevated counts as above: nothing is started elevated by accident.
// Both halves at one level leave nothing lower to go back to (Wine runs every program with such
// a token).
bool AboveNormalRights(const TokenStanding& standing);

// This process's token.
TokenStanding CurrentTokenStanding();

enum class StartProblem {
  None,
  CannotStart,         // the system refused to start the program (error tells why)
  NoDesktopShell,      // this process runs above its user's normal rights and no shell runs
  ShellTokenUnusable,  // the desktop shell's token could not be had or copied (error tells why)
};

// A started program's process and thread (both handles the caller's to close), or why none started.
struct StartOutcome {
  StartProblem problem = StartProblem::None;
  DWORD error = 0;  // the system's error code for the failed step
  PROCESS_INFORMATION process{};
  bool started() const { return problem == StartProblem::None; }
};

// Starts commandLine (the program's path first, quoted) in folder with startup's window settings,
// with the user's normal rights: as this process runs when it runs with them, with the desktop
// shell's (unelevated) token when it runs above them. Never elevated: without a shell to take the
// token from, or when it cannot be used, nothing starts.
StartOutcome StartWithNormalRights(const std::wstring& commandLine, const wchar_t* folder, const STARTUPINFOW& startup);

// The shell's token route on its own, whatever this process's rights.
StartOutcome StartWithShellToken(const std::wstring& commandLine, const wchar_t* folder, const STARTUPINFOW& startup);

}  // namespace wincommon

#endif
