// One member lookup on the largest answer the transport accepts (10 MiB), next to a plain copy
// of the same number of bytes: a lookup unescapes a copy of the whole answer, so it should cost
// a small multiple of a memcpy.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "service_client/json_reader.h"
#include "service_client/transport.h"

namespace {

const std::string& largeAnswer() {
  static const std::string answer = [] {
    std::string text = R"({"padding":")";
    text.append(kMaxAnswerBody - text.size() - 20, 'p');
    text += R"(","size":1048576})";
    return text;
  }();
  return answer;
}

void BM_LookupOnTenMebibytes(benchmark::State& state) {
  const std::string& answer = largeAnswer();
  for (auto _ : state) benchmark::DoNotOptimize(_ak_jsonNumber(answer.c_str(), "size"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_LookupOnTenMebibytes)->Unit(benchmark::kMillisecond);

void BM_MemcpyOfTenMebibytes(benchmark::State& state) {
  const std::string& answer = largeAnswer();
  char* copy = static_cast<char*>(malloc(answer.size()));
  for (auto _ : state) {
    memcpy(copy, answer.data(), answer.size());
    benchmark::ClobberMemory();
  }
  free(copy);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_MemcpyOfTenMebibytes)->Unit(benchmark::kMillisecond);

}  // namespace
