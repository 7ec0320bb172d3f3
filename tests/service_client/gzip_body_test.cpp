// Inflating gzip installer bodies: whole, grown past the output step, damaged, hostile.
#include "service_client/gzip_body.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <random>
#include <string>

#include "service_client/client_errors.h"

namespace {

// A gzip stream of `size` bytes produced by calling next(chunk) repeatedly, made with zlib itself.
template <typename Next>
std::string gzipOf(size_t size, Next next) {
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  EXPECT_EQ(deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out;
  char buffer[65536];
  std::string chunk;
  for (size_t done = 0;;) {
    chunk = next(std::min<size_t>(sizeof buffer, size - done));
    done += chunk.size();
    stream.next_in = reinterpret_cast<Bytef*>(&chunk[0]);
    stream.avail_in = static_cast<uInt>(chunk.size());
    int flush = done >= size ? Z_FINISH : Z_NO_FLUSH;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      deflate(&stream, flush);
      out.append(buffer, sizeof buffer - stream.avail_out);
    } while (stream.avail_out == 0);
    if (flush == Z_FINISH) break;
  }
  deflateEnd(&stream);
  return out;
}

std::string gzipOf(const std::string& data) {
  size_t at = 0;
  return gzipOf(data.size(), [&](size_t n) {
    std::string piece = data.substr(at, n);
    at += piece.size();
    return piece;
  });
}

// Runs _ak_gunzip on a copy of bytes in memory the function may free.
struct Inflated {
  bool ok;
  std::string content;
  int32_t error;
};
Inflated gunzip(const std::string& bytes) {
  char* body = static_cast<char*>(malloc(bytes.size() + 1));
  memcpy(body, bytes.data(), bytes.size());
  size_t length = bytes.size();
  _ak_setLastError(ClientError::Success);
  _ak_gunzip(&body, &length);
  Inflated result{body != nullptr, body != nullptr ? std::string(body, length) : std::string(), ak_getLastError()};
  if (body != nullptr) {
    EXPECT_EQ(body[length], '\0');
  } else {
    EXPECT_EQ(length, 0u);
  }
  free(body);
  return result;
}

std::string randomBytes(size_t size) {
  std::mt19937 random(3);
  std::string bytes(size, '\0');
  for (auto& b : bytes) b = static_cast<char>(random());
  return bytes;
}

TEST(Gunzip, InflatesSmallAndLargeBodies) {
  std::string text = "MZ installer body";
  Inflated small = gunzip(gzipOf(text));
  ASSERT_TRUE(small.ok);
  EXPECT_EQ(small.content, text);
  // Larger than several output steps, and incompressible, so every growth path runs.
  std::string large = randomBytes(1000 * 1000 + 7);
  Inflated big = gunzip(gzipOf(large));
  ASSERT_TRUE(big.ok);
  EXPECT_TRUE(big.content == large);
}

TEST(Gunzip, DamagedOrForeignStreamsFail) {
  std::string good = gzipOf(randomBytes(300000));
  EXPECT_FALSE(gunzip(good.substr(0, good.size() / 2)).ok);  // truncated
  std::string corrupt = good;
  corrupt[good.size() / 2] ^= 0x55;
  EXPECT_FALSE(gunzip(corrupt).ok);
  EXPECT_FALSE(gunzip("this is not gzip at all, just text").ok);
}

TEST(Gunzip, TinyOrMissingBodiesAreInvalid) {
  Inflated tiny = gunzip("0123456789");
  EXPECT_FALSE(tiny.ok);
  EXPECT_EQ(tiny.error, 1);
  char* none = nullptr;
  size_t length = 50;
  _ak_gunzip(&none, &length);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(ak_getLastError(), 1);
}

TEST(Gunzip, BodyInflatingBeyondTheLimitIsRefused) {
  // About a megabyte of gzip that would inflate to more than the limit.
  std::string bomb = gzipOf(kMaxInflatedBody + 1, [](size_t n) { return std::string(n, '\0'); });
  ASSERT_LT(bomb.size(), kMaxInflatedBody / 100);
  Inflated result = gunzip(bomb);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, 4);
}

}  // namespace
