#include "patch/vrel_apply_info.h"
#include "update/work_lists.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kivro {

namespace {

// An apply record that counts its deletions.
struct CountedRecord : CBApplyFileInfo {
  explicit CountedRecord(int* deleted) : deleted_(deleted) {}
  ~CountedRecord() override { ++*deleted_; }
  int* deleted_;
};

CBDownloadFileInfo* Item(int32_t size, CBApplyFileInfo* record = nullptr) {
  auto* item = new CBDownloadFileInfo();
  item->size = size;
  item->apply_record = record;
  return item;
}

class DownloadListTest : public ::testing::Test {
 protected:
  void SetUp() override { list.SetLock(&lock); }
  platform::CriticalSection lock;
  CBDownloadList list;
};

class ApplyListTest : public ::testing::Test {
 protected:
  void SetUp() override { list.SetLock(&lock); }
  platform::CriticalSection lock;
  CBApplyList list;
  CVrelApplyInfo a, b, c;
};

TEST(WorkRecordsTest, StartAsTheDataModelSays) {
  CBDownloadFileInfo item;
  EXPECT_EQ(1, item.kind);
  EXPECT_EQ(0, item.size);
  EXPECT_STREQ("", item.local_path);
  EXPECT_STREQ("", item.url);
  EXPECT_EQ(nullptr, item.apply_record);

  CVrelApplyInfo info;
  EXPECT_EQ(1, info.reserved);
  EXPECT_EQ(0, info.apply_kind);
  EXPECT_EQ(0u, info.checksum);
  EXPECT_EQ(0, info.time);
  EXPECT_STREQ("", info.source_path);
  EXPECT_STREQ("", info.entity_name);
  EXPECT_EQ(0u, info.package_key[3]);
  EXPECT_EQ(0u, info.entity_info.flags);
}

TEST(WorkRecordsTest, ItemDeletesItsApplyRecord) {
  int deleted = 0;
  delete Item(0, new CountedRecord(&deleted));
  EXPECT_EQ(1, deleted);
}

TEST_F(DownloadListTest, GetAtAnswersNullOutsideTheItems) {
  list.Add(Item(1));
  list.Add(Item(2));
  EXPECT_EQ(nullptr, list.GetAt(-1));
  EXPECT_EQ(nullptr, list.GetAt(2));
  ASSERT_NE(nullptr, list.GetAt(1));
  EXPECT_EQ(2, list.GetAt(1)->size);
  EXPECT_EQ(2, list.GetCount());
}

TEST_F(DownloadListTest, GetNextWalksAndStopsAtTheEnd) {
  list.Add(Item(1));
  list.Add(Item(2));
  EXPECT_EQ(0, list.StepBack());  // at 0 it stays
  EXPECT_EQ(1, list.GetNext()->size);
  EXPECT_EQ(2, list.GetNext()->size);
  EXPECT_EQ(nullptr, list.GetNext());
  EXPECT_EQ(nullptr, list.GetNext());
  // The cursor did not move past the end: one step back is the last item.
  EXPECT_EQ(1, list.StepBack());
  EXPECT_EQ(2, list.GetNext()->size);
  // GetAt leaves the cursor alone.
  list.GetAt(0);
  EXPECT_EQ(nullptr, list.GetNext());
}

TEST_F(DownloadListTest, TotalSizeSumsTheItemsUntilCleared) {
  list.Add(Item(1000));
  list.Add(Item(1000));
  EXPECT_EQ(2000, list.GetTotalSize());
  list.Clear();
  EXPECT_EQ(0, list.GetTotalSize());
  EXPECT_EQ(0, list.GetCount());
  list.Add(Item(5));
  EXPECT_EQ(5, list.GetTotalSize());
}

TEST_F(DownloadListTest, ClearAndResetDeleteItemsWithTheirRecords) {
  int deleted = 0;
  list.Add(Item(1, new CountedRecord(&deleted)));
  list.Add(Item(1, new CountedRecord(&deleted)));
  list.GetNext();
  list.Clear();
  EXPECT_EQ(2, deleted);
  EXPECT_EQ(nullptr, list.GetAt(0));
  list.Add(Item(1, new CountedRecord(&deleted)));
  EXPECT_EQ(1, list.GetNext()->size);  // the cursor went back to 0
  list.Reset();
  EXPECT_EQ(3, deleted);
  EXPECT_EQ(0, list.GetCount());
}

TEST(DownloadListLifetimeTest, DestructorDeletesRemainingItems) {
  int deleted = 0;
  platform::CriticalSection lock;
  {
    CBDownloadList list;
    list.SetLock(&lock);
    list.Add(Item(1, new CountedRecord(&deleted)));
  }
  EXPECT_EQ(1, deleted);
}

TEST(DownloadListLifetimeTest, LockedOperationsWithoutLockThrowTheGuardText) {
  CBDownloadList list;
  CBDownloadFileInfo* item = Item(1);
  try {
    list.Add(item);
    FAIL() << "no throw";
  } catch (const char* text) {
    EXPECT_STREQ("CLock Constructer NULL Pointer", text);
  }
  EXPECT_EQ(0, list.GetCount());  // not taken: still the caller's
  delete item;
  CBApplyList apply;
  EXPECT_THROW(apply.GetAt(0), const char*);
}

TEST_F(ApplyListTest, GetAtAndGetNextStayWithinTheEntries) {
  EXPECT_EQ(nullptr, list.GetAt(0));
  list.Add(&a);
  list.Add(&b);
  EXPECT_EQ(nullptr, list.GetAt(-1));
  EXPECT_EQ(nullptr, list.GetAt(2));
  EXPECT_EQ(&b, list.GetAt(1));
  EXPECT_EQ(&a, list.GetNext());
  EXPECT_EQ(&b, list.GetNext());
  EXPECT_EQ(nullptr, list.GetNext());
  EXPECT_EQ(1, list.StepBack());
  EXPECT_EQ(&b, list.GetNext());
  EXPECT_EQ(2, list.GetCount());  // reading removes nothing
}

TEST_F(ApplyListTest, StepBackAtZeroStaysAtZero) { EXPECT_EQ(0, list.StepBack()); }

TEST_F(ApplyListTest, PopFrontTakesEntriesInOrder) {
  EXPECT_EQ(nullptr, list.PopFront());
  list.Add(&a);
  list.Add(&b);
  EXPECT_EQ(&a, list.PopFront());
  EXPECT_EQ(&b, list.PopFront());
  EXPECT_EQ(nullptr, list.PopFront());
  EXPECT_EQ(0, list.GetCount());
}

TEST_F(ApplyListTest, ClearDeletesNoRecord) {
  int deleted = 0;
  CountedRecord record(&deleted);
  list.Add(&record);
  list.GetNext();
  list.Clear();
  EXPECT_EQ(0, deleted);
  EXPECT_EQ(0, list.GetCount());
  list.Add(&a);
  EXPECT_EQ(&a, list.GetNext());  // cursor reset
}

TEST_F(ApplyListTest, NullRecordIsNotQueued) {
  list.Add(nullptr);
  list.Add(&c);
  EXPECT_EQ(1, list.GetCount());
  EXPECT_EQ(&c, list.GetAt(0));
}

// The apply list is the hand-over between two threads: entries added on one
// are seen in order, complete, on the other.
TEST_F(ApplyListTest, ReaderSeesEveryEntryAddedByAnotherThread) {
  constexpr int kCount = 2000;
  std::vector<CVrelApplyInfo> records(kCount);
  std::thread writer([&] {
    for (auto& record : records) list.Add(&record);
  });
  int read = 0;
  while (read < kCount) {
    CBApplyFileInfo* entry = list.GetAt(read);
    if (entry == nullptr) {
      std::this_thread::yield();
      continue;
    }
    ASSERT_EQ(&records[read], entry);
    ++read;
  }
  writer.join();
  EXPECT_EQ(kCount, list.GetCount());
}

}  // namespace

}  // namespace kivro
