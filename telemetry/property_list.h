// An ordered list of (key, value) text pairs: the properties of an analytics event and the
// parameters of a statistics record. Pairs keep the order they were appended in, keys may repeat,
// and lists are plain values (copied when passed on).
#ifndef TELEMETRY_PROPERTY_LIST_H
#define TELEMETRY_PROPERTY_LIST_H

#include <stddef.h>

#include <string>
#include <utility>
#include <vector>

class PropertyList {
 public:
  using Pair = std::pair<std::wstring, std::wstring>;

  PropertyList() = default;
  PropertyList(std::initializer_list<Pair> pairs) : pairs_(pairs) {}

  void Append(std::wstring key, std::wstring value) { pairs_.emplace_back(std::move(key), std::move(value)); }
  // Appends every pair of other, in its order.
  void AppendAll(const PropertyList& other) { pairs_.insert(pairs_.end(), other.pairs_.begin(), other.pairs_.end()); }

  size_t size() const { return pairs_.size(); }
  bool empty() const { return pairs_.empty(); }
  const Pair& operator[](size_t index) const { return pairs_[index]; }
  std::vector<Pair>::const_iterator begin() const { return pairs_.begin(); }
  std::vector<Pair>::const_iterator end() const { return pairs_.end(); }

  bool operator==(const PropertyList& other) const { return pairs_ == other.pairs_; }
  bool operator!=(const PropertyList& other) const { return pairs_ != other.pairs_; }

 private:
  std::vector<Pair> pairs_;
};

#endif
