// gzip encoding of the installer server's bodies (zlib's deflate with the gzip wrapper).
#ifndef TESTBED_GZIP_H
#define TESTBED_GZIP_H

#include <optional>
#include <string>
#include <string_view>

namespace testbed {

std::optional<std::string> gzipCompress(std::string_view data);

}  // namespace testbed

#endif
