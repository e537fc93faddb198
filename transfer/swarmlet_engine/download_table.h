// The engines' downloads by handle, as the exported calls name them.
// Handles start at 1 and skip 0, which the adapter reads as failure.
//
// Thread safety: every member may be called from any thread.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace kivro {

template <class Download>
class DownloadTable {
 public:
  // A new download with its `handle` set.
  std::shared_ptr<Download> Add() {
    auto d = std::make_shared<Download>();
    std::lock_guard<std::mutex> lock(mutex_);
    if (++next_handle_ == 0) ++next_handle_;
    d->handle = next_handle_;
    downloads_[d->handle] = d;
    return d;
  }
  std::shared_ptr<Download> Find(uint32_t handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = downloads_.find(handle);
    return it == downloads_.end() ? nullptr : it->second;
  }
  // Removes the download from the table; null when there is none.
  std::shared_ptr<Download> Take(uint32_t handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = downloads_.find(handle);
    if (it == downloads_.end()) return nullptr;
    std::shared_ptr<Download> d = it->second;
    downloads_.erase(it);
    return d;
  }
  std::vector<std::shared_ptr<Download>> TakeAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::shared_ptr<Download>> all;
    for (auto& entry : downloads_) all.push_back(entry.second);
    downloads_.clear();
    return all;
  }

 private:
  std::mutex mutex_;
  std::map<uint32_t, std::shared_ptr<Download>> downloads_;
  uint32_t next_handle_ = 0;
};

}  // namespace kivro
