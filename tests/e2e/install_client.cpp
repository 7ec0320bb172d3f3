// Another game's downloader of the same publisher, as far as the service is concerned: a program
// of the account it runs as that makes sure the service runs through the client library's install
// road (and its update of an older service), then prints the version that answers and why an
// update failed, if it did.
//   e2e_install_client.exe
// Exit code: the library's last error (0 when the service answers).
#include <stdio.h>

#include "service_client/client_errors.h"
#include "service_client/client_installer.h"
#include "service_client/service_update.h"

int main() {
  const int result = ak_install("Tessel Download Client", 0, nullptr, nullptr);
  char version[64] = "";
  _ak_runningServiceVersion("Tessel Download Client", version, sizeof version);
  printf("install %d\nversion %s\nproblem %s\n", result == 0 ? 0 : ak_getLastError(), version,
         _ak_serviceUpdateProblem());
  return result == 0 ? 0 : ak_getLastError();
}
