// The library's data folder (local application data + "/Tessel") and its small file helpers.
#ifndef SERVICE_CLIENT_DATA_FILES_H
#define SERVICE_CLIENT_DATA_FILES_H

#include <stddef.h>
#include <stdio.h>

// Size of the buffers that hold the data folder and the paths made from it.
constexpr size_t kDataPathCapacity = 260;

// Writes "<local application data>/Tessel" (forward slashes) into buffer and returns its length;
// 0 with InternalFailure when the folder is unknown, InsufficientMemory when it does not fit.
size_t _ak_dataFolder(char* buffer, size_t capacity);

// New "<data folder>/<name>", or null.
char* _ak_dataFilePath(const char* name);

// Opens a UTF-8 named file for shared access; null when it cannot be opened.
FILE* _ak_openFile(const char* path, const char* mode);

// 1 when all of data was written, else 0 with DiskIoFailure; the file is closed either way.
int _ak_writeFile(const char* path, const void* data, size_t length, const char* mode);

// Bytes read into buffer (0 for a count of 0); an open failure sets DiskIoFailure.
size_t _ak_readFile(const char* path, void* buffer, size_t count, const char* mode);

#endif
