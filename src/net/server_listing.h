// The FTP patch directory: each name the server reported, with its size.
#ifndef CORVANTH_NET_SERVER_LISTING_H_
#define CORVANTH_NET_SERVER_LISTING_H_

#include <cstdint>
#include <map>
#include <string>

namespace corvanth {

// Names compare byte by byte as unsigned values, a prefix first: case
// matters, so A.vpt and a.vpt are two entries.
class ServerListing {
 public:
  void clear() { sizes_.clear(); }
  // Inserts or replaces: a name reported twice keeps the later size.
  void setSize(const std::string& name, int32_t size) { sizes_[name] = size; }
  bool contains(const std::string& name) const { return sizes_.count(name) != 0; }
  // 0 when the name is not listed.
  int32_t sizeOf(const std::string& name) const {
    auto found = sizes_.find(name);
    return found == sizes_.end() ? 0 : found->second;
  }
  size_t size() const { return sizes_.size(); }
  const std::map<std::string, int32_t>& entries() const { return sizes_; }

 private:
  std::map<std::string, int32_t> sizes_;
};

}  // namespace corvanth

#endif  // CORVANTH_NET_SERVER_LISTING_H_
