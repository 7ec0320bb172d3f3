#include "netsession/identity_file.h"

#include <stdlib.h>
#include <string.h>

#include "netsession/client_errors.h"
#include "netsession/data_files.h"
#include "netsession/library_log.h"
#include "netsession/memory_and_format.h"
#include "netsession/platform.h"
#include "netsession/service_interface.h"

namespace {
constexpr size_t kGuidLength = 32;
}  // namespace

const char kGuidFileComment[] =
    "\n"
    "#\n"
    "# This file contains a random number that Akamai uses to uniquely identify\n"
    "# the NetSession Interface installed on this computer. The number is known\n"
    "# only to this computer and to the servers of the NetSession network.\n"
    "#\n"
    "# The number says nothing about you and cannot be used to find out who you\n"
    "# are. It is never shared with or sold to anyone; it serves only to deliver\n"
    "# content through the NetSession Interface.\n"
    "#\n"
    "# Please do not change, move or delete this file. Without it, downloads may\n"
    "# be slower or fail, and the NetSession Interface may behave unpredictably.\n"
    "#\n"
    "# To learn more about the NetSession Interface, visit\n"
    "#     https://www.akamai.com/netsession\n"
    "#\n"
    "# To remove the NetSession Interface, uninstall \"Akamai NetSession Interface\"\n"
    "# from the list of installed programs in the Control Panel.\n"
    "#\n"
    "# Questions about this file can be sent to netsession-support@akamai.com.\n"
    "#\n"
    "# Thank you for using the NetSession Interface.\n"
    "#\n"
    "#                                                  Akamai Client Engineering\n";

char* _ak_generateGuid(void) {
  char* guid = static_cast<char*>(_ak_alloc(kGuidLength + 1));
  if (guid == nullptr) {
    AK_LOG(kLogError, "Could not allocate enough memory for guid. Exiting");
    return nullptr;
  }
  memset(guid, '0', kGuidLength);
  guid[kGuidLength] = '\0';
  akplatform::Guid value;
  if (!akplatform::newGuid(&value)) {
    AK_LOG(kLogError, "CoCreateGuid failure");
    return guid;
  }
  snprintf(guid, kGuidLength + 1, "%08x%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x", static_cast<unsigned>(value.data1),
           value.data2, value.data3, value.data4[0], value.data4[1], value.data4[2], value.data4[3], value.data4[4],
           value.data4[5], value.data4[6], value.data4[7]);
  return guid;
}

char* _ak_readOrGenerateGuid(void) {
  char* path = _ak_dataFilePath(netsession::kGuidFileName);
  FILE* file = path != nullptr ? _ak_openFile(path, "r") : nullptr;
  if (file != nullptr) {
    char* guid = static_cast<char*>(_ak_alloc(kGuidLength + 1));
    if (guid == nullptr) {
      fclose(file);
      free(path);
      AK_LOG(kLogError, "Could not allocate enough memory for guid. Exiting");
      return nullptr;
    }
    size_t read = fread(guid, 1, kGuidLength, file);
    fclose(file);
    if (read == kGuidLength) {
      guid[kGuidLength] = '\0';
      AK_LOG(kLogInfo, "GUID \"%s\" loaded from existing file \"%s\"", guid, path);
      free(path);
      return guid;
    }
    free(guid);
  }

  char* guid = _ak_generateGuid();
  if (guid != nullptr && path != nullptr) {
    // The file is written anew rather than appended to: a short file left behind must not stay
    // in front of the new identity, or it would never be read back.
    char* content = nullptr;
    size_t length = _ak_format(0, &content, "%s%s", guid, kGuidFileComment);
    if (content != nullptr && _ak_writeFile(path, content, length, "w")) {
      AK_LOG(kLogInfo, "Saved GUID \"%s\" to disk", guid);
    }
    free(content);
  }
  free(path);
  return guid;
}
