// Start-up code that stops at its first failing step says why through an optional error text.
#ifndef WEB_ERROR_TEXT_H
#define WEB_ERROR_TEXT_H

#include <string>
#include <utility>

namespace web {

// Stores why in *error when error is not null; returns false, so a failing step reads
// "return failWith(error, ...);".
inline bool failWith(std::string* error, std::string why) {
  if (error != nullptr) *error = std::move(why);
  return false;
}

}  // namespace web

#endif
