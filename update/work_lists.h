// The two work lists of an update and their records.
//
// Thread safety: the download list is filled by the check worker and read by
// the update workers; the apply list is the hand-over between the download
// worker (Add) and the apply worker (GetAt). Operations marked "locked" take
// the list's critical section for their whole duration; the counters read by
// the unlocked ones are only used while no other thread changes the list.
#pragma once
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/thread.h"
#include "update/fixed_text.h"

// Base of every apply record; the applier turns it back into its own type
// with a run-time type check.

namespace kivro {

class CBApplyFileInfo {
 public:
  virtual ~CBApplyFileInfo() = default;
};

// Transfer kinds of a download item.
enum TransferKind : int32_t {
  kTransferFetch = 1,      // fetch the archive, then apply its record
  kTransferApplyOnly = 2,  // nothing to fetch: apply the record only
};

// One item of the download list. Owns its apply record.
class CBDownloadFileInfo {
 public:
  virtual ~CBDownloadFileInfo() { delete apply_record; }

  int32_t kind = kTransferFetch;  // a TransferKind
  int32_t size = 0;               // archive size (0 when apply-only)
  char local_path[kTextSize] = {};
  char url[kTextSize] = {};
  CBApplyFileInfo* apply_record = nullptr;  // owned
};

class CBDownloadList {
 public:
  CBDownloadList() = default;
  CBDownloadList(const CBDownloadList&) = delete;
  CBDownloadList& operator=(const CBDownloadList&) = delete;

  virtual void Clear();  // locked; deletes every item and its apply record
  virtual ~CBDownloadList();
  virtual void Reset();  // same as Clear
  virtual int32_t GetCount();
  virtual int32_t GetTotalSize();
  virtual int32_t StepBack();
  virtual void Add(CBDownloadFileInfo* item);  // locked; takes ownership
  virtual CBDownloadFileInfo* GetAt(int32_t index);  // locked
  virtual CBDownloadFileInfo* GetNext();             // locked

  // Set once by the manager right after construction (not owned).
  void SetLock(platform::CriticalSection* lock) { lock_ = lock; }

 private:
  std::vector<CBDownloadFileInfo*> items_;
  int32_t cursor_ = 0;
  int32_t total_size_ = 0;
  platform::CriticalSection* lock_ = nullptr;
};

class CBApplyList {
 public:
  CBApplyList() = default;
  CBApplyList(const CBApplyList&) = delete;
  CBApplyList& operator=(const CBApplyList&) = delete;

  virtual void Clear();  // locked; deletes nothing
  virtual ~CBApplyList();
  virtual void Reset();  // same as Clear
  virtual int32_t GetCount();  // locked
  virtual int32_t StepBack();
  virtual void Add(CBApplyFileInfo* record);         // locked; borrowed
  virtual CBApplyFileInfo* GetAt(int32_t index);     // locked
  virtual CBApplyFileInfo* GetNext();                // locked
  virtual CBApplyFileInfo* PopFront();               // locked

  void SetLock(platform::CriticalSection* lock) { lock_ = lock; }

 private:
  std::deque<CBApplyFileInfo*> entries_;
  int32_t cursor_ = 0;
  platform::CriticalSection* lock_ = nullptr;
};

}  // namespace kivro
