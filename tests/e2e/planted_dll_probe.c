/* The positive control of the planted-DLL scenario: a program that imports IP Helper at start-up,
 * as the downloader once did. Run beside a planted IPHLPAPI.DLL with Windows's search order, the
 * planted copy runs (exit code 77); with the system's copy it exits 0. */
#include <winsock2.h>
#include <iphlpapi.h>

int main(void) {
  ULONG size = 0;
  GetAdaptersInfo(NULL, &size);
  return 0;
}
