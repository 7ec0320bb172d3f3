// Fails each allocation of an operation in turn (as curl's torture runs do): every run must end
// in success or InsufficientMemory, without a crash or a leak (the sanitizers check the latter).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>

#include "service_client/client_attributes.h"
#include "service_client/client_errors.h"
#include "service_client/download_request.h"
#include "service_client/file_operations.h"
#include "service_client/json_reader.h"
#include "service_client/service_interface.h"
#include "service_client/test_hooks.h"
#include "service_client/transport.h"
#include "tests/support/data_folder_fixture.h"
#include "tests/support/scripted_peer.h"

using testsupport::ScriptedPeer;

namespace {

// Runs the operation once normally to count its allocations, then once per allocation with that
// one failing. The operation returns whether it succeeded.
void failEachAllocation(const std::function<bool()>& operation) {
  _ak_testFailAllocation(-1);
  ASSERT_TRUE(operation());
  long allocations = _ak_testAllocationCount();
  ASSERT_GT(allocations, 0);
  for (long failing = 0; failing < allocations; ++failing) {
    _ak_setLastError(ClientError::Success);
    _ak_testFailAllocation(failing);
    bool succeeded = operation();
    int32_t error = ak_getLastError();
    _ak_testFailAllocation(-1);
    if (!succeeded) {
      EXPECT_EQ(error, 4) << "allocation " << failing << " of " << allocations;
    }
  }
}

const char kFileState[] =
    R"({"status":3,"path":"C:\\Games\\irf\\data1.bin","size":1048576,"uniquerecv":4096,"totalrecv":4096,)"
    R"("progress":0.39,"downloadrate":50000,"errorstring":"","error":0,"suberror":0,)"
    R"("verifiedcontentmd5":false,"resetdownload":null})";

TEST(AllocationFailure, ApiRequest) {
  ASSERT_TRUE(akplatform::startNetworking());
  ScriptedPeer service(service_client::kServicePort);
  ASSERT_TRUE(service.listening());
  service.onEveryOtherConnection() = testsupport::ConnectionScript().answerEach(ScriptedPeer::httpAnswer(kFileState));
  service.start();
  ClientHandle handle{const_cast<char*>("Test Client"), kNoSocket};
  failEachAllocation([&] {
    char* body = _ak_apiRequest(&handle, "api?function=getFileAttributes");
    bool ok = body != nullptr && std::string(body) == kFileState;
    free(body);
    return ok;
  });
  akplatform::closeSocket(handle.socket);
  akplatform::stopNetworking();
}

TEST(AllocationFailure, Ping) {
  ASSERT_TRUE(akplatform::startNetworking());
  ScriptedPeer service(service_client::kServicePort);
  ASSERT_TRUE(service.listening());
  service.onEveryOtherConnection() = testsupport::ConnectionScript().answer(ScriptedPeer::httpAnswer("{}"));
  service.start();
  failEachAllocation([] { return _ak_ping("Test Client") == 0; });
  akplatform::stopNetworking();
}

TEST(AllocationFailure, FileStateAndDownloadRequest) {
  ASSERT_TRUE(akplatform::startNetworking());
  const std::string url = "http://origin.test/a b.bin";
  // One answer serves both requests: the download's URL member and the file's state.
  std::string answer = "{\"" + url + R"(":null,"status":"DOWNLOADING","path":"C:\\x.bin","size":10,)" +
                       R"("errorstring":"e","verifiedcontentmd5":"m","resetdownload":false})";
  ScriptedPeer service(service_client::kServicePort);
  ASSERT_TRUE(service.listening());
  service.onEveryOtherConnection() = testsupport::ConnectionScript().answerEach(ScriptedPeer::httpAnswer(answer));
  service.start();
  ClientHandle handle{const_cast<char*>("Test Client"), kNoSocket};
  failEachAllocation([&] {
    FileAttributes state;
    memset(&state, 0, sizeof state);
    bool ok = ak_getFileAttributes(&handle, 0, url.c_str(), &state, 0) == 0 && state.size == 10 &&
              std::string(state.path) == "C:\\x.bin";
    ak_cleanFileAttributes(&handle, &state, 0);
    return ok;
  });
  failEachAllocation([&] {
    DownloadOptions options{};
    options.recordSize = 68;
    options.flags = 0x1 | 0x200;
    options.cookieString = "c";
    options.basicAuthUser = "u";
    options.basicAuthPassword = "p";
    options.originUrl = "http://o/x";
    return ak_downloadFile(&handle, 0, url.c_str(), &options) == 0;
  });
  akplatform::closeSocket(handle.socket);
  akplatform::stopNetworking();
}

class AllocationFailureInDataFolder : public testsupport::DataFolderTest {};

TEST_F(AllocationFailureInDataFolder, ClientAttributes) {
  writeDataFile("guid.ini", "0123456789abcdef0123456789abcdef");
  ASSERT_TRUE(akplatform::startNetworking());
  ScriptedPeer service(service_client::kServicePort);
  ASSERT_TRUE(service.listening());
  service.onEveryOtherConnection() = testsupport::ConnectionScript().answerEach(ScriptedPeer::httpAnswer(
      R"({"isonline":true,"version":3,"executableversion":"1.2","configurationversion":"c",)"
      R"("runningexecutable":"r.exe","runningclientbinid":"b"})"));
  service.start();
  ClientHandle handle{const_cast<char*>("Test Client"), kNoSocket};
  ClientAttributes attributes{};
  failEachAllocation([&] {
    bool ok = ak_getAttributes(&handle, 0, &attributes, 0) == 0 && attributes.guid != nullptr &&
              attributes.runningclientbinid != nullptr && std::string(attributes.guid) == "0123456789abcdef0123456789abcdef";
    return ok;
  });
  ak_cleanAttributes(&handle, &attributes, 0);
  akplatform::closeSocket(handle.socket);
  akplatform::stopNetworking();
}

TEST(AllocationFailure, JsonLookups) {
  failEachAllocation([] { return _ak_jsonNumber(kFileState, "size") == 1048576; });
  failEachAllocation([] { return _ak_jsonIsNull(kFileState, "resetdownload") == 1; });
  failEachAllocation([] { return _ak_jsonIsTrue(R"({"acceptedeula":true})", "acceptedeula") == 1; });
  failEachAllocation([] {
    char* path = _ak_jsonString(kFileState, "path");
    bool ok = path != nullptr && std::string(path) == "C:\\Games\\irf\\data1.bin";
    free(path);
    return ok;
  });
}

}  // namespace
