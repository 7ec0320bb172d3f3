#include "service_client/identity_file.h"

#include <stdlib.h>
#include <string.h>

#include "service_client/client_errors.h"
#include "service_client/data_files.h"
#include "service_client/library_log.h"
#include "service_client/memory_and_format.h"
#include "service_client/platform.h"
#include "service_client/service_interface.h"

namespace {
constexpr size_t kGuidLength = 32;
}  // namespace

const char kGuidFileComment[] =
    "\n"
    "#\n"
    "# This file contains a random number that Tessel uses to uniquely identify\n"
    "# the Tessel Download Service installed on this computer. The number is\n"
    "# known only to this computer and to the servers of Tessel Games that\n"
    "# deliver your games and their updates to you.\n"
    "#\n"
    "# The number holds no information about you, your accounts, your files or\n"
    "# the games you play, and it cannot be used to identify you or to find out\n"
    "# who you are.\n"
    "# It is never shared with or sold to anyone, and it serves no purpose other\n"
    "# than the delivery of content through the Tessel Download Service.\n"
    "#\n"
    "# Please do not change, move or delete this file. Deleting or changing it\n"
    "# may impair the delivery of your downloads and may make the Tessel\n"
    "# Download Service behave unpredictably, so it must not be modified or\n"
    "# removed while the service is still installed.\n"
    "#\n"
    "# To learn more about the Tessel Download Service, visit\n"
    "#     https://www.tesselgames.com/download-service\n"
    "#\n"
    "# To remove the Tessel Download Service, uninstall \"Tessel Download Service\"\n"
    "# from the list of installed programs (Settings, Apps, or the Control Panel's\n"
    "# Programs and Features).\n"
    "#\n"
    "# Questions about this file, or about the data the service keeps on this\n"
    "# computer, can be sent to support@tesselgames.com.\n"
    "#\n"
    "# Thank you for using the Tessel Download Service.\n"
    "#\n"
    "#                                                    Tessel Client Engineering\n";

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
  char* path = _ak_dataFilePath(service_client::kGuidFileName);
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
