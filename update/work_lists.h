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
class CBApplyFileInfo {
 public:
  virtual ~CBApplyFileInfo() = default;
};

// Apply kinds of CVrelApplyInfo.
enum ApplyKind : int32_t {
  kApplyUnpackFile = 1,
  kApplyUnpackEntity = 2,
  kApplyUnpackPackage = 3,
  kApplySetEntityFlags = 4,
  kApplySetPackageKey = 5,
  kApplyUnpackArchive = 6,
  kApplyNothing = 7,
};

// The entity's entry as the list describes it (the package table's record).
struct EntityInfoImage {
  uint32_t data_offset = 0;
  uint32_t stored_size = 0;
  uint32_t unpacked_size = 0;
  uint32_t flags = 0;
  uint32_t time_low = 0;   // FILETIME
  uint32_t time_high = 0;
  uint16_t name_length = 0;
};

// The apply record of the ".vrl" patch info and of the one-record apply.
class CVrelApplyInfo : public CBApplyFileInfo {
 public:
  char source_path[kTextSize] = {};
  int32_t apply_kind = 0;
  int32_t reserved = 1;  // nothing reads it
  uint32_t checksum = 0;
  uint32_t size = 0;
  int64_t time = 0;  // list time: local calendar seconds
  char destination_folder[kTextSize] = {};
  char package_path[kTextSize] = {};
  char entity_name[kTextSize] = {};  // '\' as separator
  int64_t package_time = 0;
  EntityInfoImage entity_info;
  uint32_t package_key[4] = {};
};

// One item of the download list. Owns its apply record.
class CBDownloadFileInfo {
 public:
  virtual ~CBDownloadFileInfo() { delete apply_record; }

  int32_t kind = 1;  // 1 fetch, then apply; 2 apply only
  int32_t size = 0;  // archive size (0 for kind 2)
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
