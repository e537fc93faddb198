#include "update/work_lists.h"

#include "update/lock_guard.h"

// ---- CBDownloadList ----

namespace kivro {

void CBDownloadList::Clear() {
  // The counters go first, outside the lock: readers of the unlocked
  // counters only run while nobody changes the list.
  cursor_ = 0;
  total_size_ = 0;
  CLock lock(lock_);
  for (CBDownloadFileInfo* item : items_) delete item;  // each deletes its apply record
  items_.clear();
}

CBDownloadList::~CBDownloadList() {
  // A list that never got its lock (not one of the manager's) still frees
  // its items instead of throwing out of a destructor.
  if (lock_ != nullptr) Clear();
  for (CBDownloadFileInfo* item : items_) delete item;
  items_.clear();
  lock_ = nullptr;
  items_.shrink_to_fit();
}

void CBDownloadList::Reset() { Clear(); }

int32_t CBDownloadList::GetCount() { return static_cast<int32_t>(items_.size()); }

int32_t CBDownloadList::GetTotalSize() { return total_size_; }

int32_t CBDownloadList::StepBack() {
  if (cursor_ > 0) --cursor_;
  return cursor_;
}

void CBDownloadList::Add(CBDownloadFileInfo* item) {
  CLock lock(lock_);
  if (item == nullptr) return;  // nothing to own; a null item would only trip the readers
  items_.push_back(item);
  // 32-bit total as stored by the list format; wraps like the sizes it sums
  // (a total above 2 GiB is not supported).
  total_size_ = static_cast<int32_t>(static_cast<uint32_t>(total_size_) +
                                     static_cast<uint32_t>(item->size));
}

CBDownloadFileInfo* CBDownloadList::GetAt(int32_t index) {
  CLock lock(lock_);
  if (index < 0 || index >= static_cast<int32_t>(items_.size())) return nullptr;
  return items_[index];
}

CBDownloadFileInfo* CBDownloadList::GetNext() {
  CLock lock(lock_);
  if (cursor_ < 0 || cursor_ >= static_cast<int32_t>(items_.size())) return nullptr;
  return items_[cursor_++];
}

// ---- CBApplyList ----

void CBApplyList::Clear() {
  cursor_ = 0;
  CLock lock(lock_);
  entries_.clear();  // the records belong to the download items
}

CBApplyList::~CBApplyList() {
  if (lock_ != nullptr) Clear();
  lock_ = nullptr;
  entries_.clear();
}

void CBApplyList::Reset() { Clear(); }

int32_t CBApplyList::GetCount() {
  CLock lock(lock_);
  return static_cast<int32_t>(entries_.size());
}

int32_t CBApplyList::StepBack() {
  if (cursor_ > 0) --cursor_;
  return cursor_;
}

void CBApplyList::Add(CBApplyFileInfo* record) {
  CLock lock(lock_);
  // A null entry would read as "nothing queued yet" and stall the reader.
  if (record == nullptr) return;
  entries_.push_back(record);
}

CBApplyFileInfo* CBApplyList::GetAt(int32_t index) {
  CLock lock(lock_);
  if (index < 0 || index >= static_cast<int32_t>(entries_.size())) return nullptr;
  return entries_[index];
}

CBApplyFileInfo* CBApplyList::GetNext() {
  CLock lock(lock_);
  if (cursor_ < 0 || cursor_ >= static_cast<int32_t>(entries_.size())) return nullptr;
  return entries_[cursor_++];
}

CBApplyFileInfo* CBApplyList::PopFront() {
  CLock lock(lock_);
  if (entries_.empty()) return nullptr;
  CBApplyFileInfo* front = entries_.front();
  entries_.pop_front();
  return front;
}

}  // namespace kivro
