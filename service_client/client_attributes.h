// The service's own state, and the small files of the data folder that the service reads: the
// machine's identity (guid.ini), licence acceptances (accepteula.txt) and the upload pause
// (user.dat).
#ifndef SERVICE_CLIENT_CLIENT_ATTRIBUTES_H
#define SERVICE_CLIENT_CLIENT_ATTRIBUTES_H

#include <stdint.h>

#include "service_client/client_lifecycle.h"

// Zero-filled by the caller before first use; the five strings belong to the record and are
// released by ak_cleanAttributes. The layout is part of the exported interface (72 bytes in the
// 32-bit program).
// What callers put in recordSize.
constexpr uint32_t kClientAttributesRecordSize = 72;

struct ClientAttributes {
  uint32_t recordSize;  // 72; not looked at
  uint32_t unusedWord;
  int32_t isonline;
  int64_t sharerate;
  int64_t downloadrate;
  int32_t version;  // the low 32 bits of the service's number
  int32_t acceptedeula;
  char* executableversion;
  char* configurationversion;
  char* guid;  // the first 32 bytes of guid.ini
  int64_t uploadspauseduntil;
  char* runningexecutable;
  char* runningclientbinid;
};
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ClientAttributes) == 72, "ClientAttributes is part of the exported interface");
#endif

extern "C" {
int ak_getAttributes(ClientHandle* handle, int32_t cid, ClientAttributes* attributes, int32_t reserved);
int ak_cleanAttributes(ClientHandle* handle, ClientAttributes* attributes, int32_t reserved);
// Appends "<cid>_<text>" and a line end to accepteula.txt.
int ak_acceptEULA(int32_t cid, const char* agreement, int32_t reserved);
// Replaces user.dat with "UploadsPausedUntil=<value>" and a line end.
int ak_setUploadState(int64_t pausedUntil, int32_t reserved);
}

#endif
