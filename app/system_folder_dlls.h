// Where the DLLs that the program loads on first use come from: the system folder, by full path.
#ifndef APP_SYSTEM_FOLDER_DLLS_H
#define APP_SYSTEM_FOLDER_DLLS_H

#include <windows.h>

// Loads the system's copy of the DLL with that file name (no folder in it), with its own imports
// looked up beside it first. Null when the name is not a plain file name or the load fails.
HMODULE LoadSystemFolderDll(const char* name);

#endif
