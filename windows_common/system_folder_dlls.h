// Where the system DLLs outside KnownDLLs come from: the system folder, by full path.
#ifndef WINDOWS_COMMON_SYSTEM_FOLDER_DLLS_H
#define WINDOWS_COMMON_SYSTEM_FOLDER_DLLS_H

#include <windows.h>

// Loads the system's copy of the DLL with that file name (no folder in it), with its own imports
// looked up beside it first. Null when the name is not a plain file name or the load fails.
HMODULE LoadSystemFolderDll(const char* name);

// Makes the system folder the only place searched for DLLs loaded at run time; called first
// thing by every shipped program, which may be started from a folder where a planted DLL lies.
void RestrictDllSearchToSystemFolder();

#endif
