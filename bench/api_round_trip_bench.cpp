// One poll of the service as the program makes it once a second: an API request on the kept
// connection, a typical file-state answer of about 1 KB, and the twelve member lookups.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>

#include "service_client/json_reader.h"
#include "service_client/service_interface.h"
#include "service_client/transport.h"
#include "tests/support/scripted_peer.h"

namespace {

std::string fileStateAnswer() {
  std::string answer =
      R"({"status":3,"path":"C:\\TesselGames\\Downloader\\irf\\IronFable_Setup_Part01.bin","size":734003200,)"
      R"("uniquerecv":367001600,"totalrecv":367001600,"progress":50.0,"downloadrate":2097152,)"
      R"("errorstring":"","error":0,"suberror":0,"verifiedcontentmd5":false,"resetdownload":null,"detail":")";
  answer.append(1024 - answer.size() - 2, 'd');
  return answer + "\"}";
}

void BM_PollRoundTrip(benchmark::State& state) {
  akplatform::startNetworking();
  testsupport::ScriptedPeer service(service_client::kServicePort);
  if (!service.listening()) {
    state.SkipWithError("port 9421 is taken");
    return;
  }
  service.onConnection().answerEach(testsupport::ScriptedPeer::httpAnswer(fileStateAnswer()));
  service.start();
  ClientHandle handle{const_cast<char*>("Tessel Download Client"), kNoSocket};
  const char* members[] = {"status",     "path",  "size",     "uniquerecv",         "totalrecv",    "progress",
                           "downloadrate", "errorstring", "error", "suberror", "verifiedcontentmd5", "resetdownload"};
  for (auto _ : state) {
    char* body = _ak_apiRequest(&handle, "api?function=getFileAttributes&cid=0&apiversion=capi_1.8.0.5&url=x&complete");
    if (body == nullptr) {
      state.SkipWithError("request failed");
      break;
    }
    int64_t sum = 0;
    for (const char* member : members) {
      char* text = _ak_jsonString(body, member);
      sum += text != nullptr ? 1 : _ak_jsonNumber(body, member);
      free(text);
    }
    benchmark::DoNotOptimize(sum);
    free(body);
  }
  akplatform::closeSocket(handle.socket);
  akplatform::stopNetworking();
}
BENCHMARK(BM_PollRoundTrip)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
