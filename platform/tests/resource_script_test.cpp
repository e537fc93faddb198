// Dialog templates and strings from the program's resource script
// (resource_script_test.rc, compiled by the resource compiler), read back
// the way every backend reads them; and the compiled formats' readers
// against cut and damaged bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/common/gui/resource_readers.h"
#include "platform/resource.h"
#include "platform/window.h"

namespace platform {
namespace {

std::string Cp949(const char* utf8) { return Utf8ToCp949(utf8); }

TEST(ResourceScript, ADialogTemplateComesBackWithEveryControl) {
  DialogTemplate t;
  ASSERT_TRUE(LoadDialogResource(300, &t));
  EXPECT_EQ(t.caption, Cp949("바둑 중계"));
  EXPECT_EQ(t.fontFace, Cp949("굴림"));
  EXPECT_EQ(t.fontPoints, 10);
  EXPECT_TRUE(t.dialogUnits);
  EXPECT_EQ(t.size.cx, 200);
  EXPECT_EQ(t.size.cy, 120);
  EXPECT_EQ(t.style, kStyleModalFrame | kStylePopup | kStyleCaption | kStyleSysMenu | kStyleVisible |
                         kStyleClipChildren | kStyleAppWindow);
  ASSERT_EQ(t.controls.size(), 8u);
  struct Expected {
    ControlTemplate::Kind kind;
    int32_t id;
    Rect rect;
    const char* text;
    bool visible;
  };
  const Expected expected[] = {
      {ControlTemplate::kDefPushButton, kIdOk, {140, 7, 190, 21}, "확인", true},
      {ControlTemplate::kPushButton, kIdCancel, {140, 24, 190, 38}, "취소", true},
      {ControlTemplate::kOwnerDrawButton, 1001, {5, 60, 46, 83}, "그림", true},
      {ControlTemplate::kStaticText, 1002, {5, 5, 65, 13}, "왼쪽", true},
      {ControlTemplate::kStaticText, 1003, {5, 15, 65, 23}, "", false},
      {ControlTemplate::kStaticIcon, -1, {11, 30, 31, 50}, "", true},
      {ControlTemplate::kCustom, 1004, {5, 90, 105, 100}, "", true},
      {ControlTemplate::kCustom, 1005, {0, 100, 200, 96}, "", false},
  };
  for (size_t i = 0; i < t.controls.size(); ++i) {
    const ControlTemplate& c = t.controls[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(c.kind, expected[i].kind);
    EXPECT_EQ(c.id, expected[i].id);
    EXPECT_EQ(c.rect, expected[i].rect);
    EXPECT_EQ(c.text, Cp949(expected[i].text));
    EXPECT_EQ(c.visible, expected[i].visible);
  }
  EXPECT_EQ(t.controls[5].iconId, 128);
}

TEST(ResourceScript, StylesAndFontFollowTheTemplate) {
  DialogTemplate t;
  ASSERT_TRUE(LoadDialogResource(301, &t));
  EXPECT_EQ(t.style, kStylePopup | kStyleBorder);
  EXPECT_TRUE(t.controls.empty());
  // Without a font in the template the toolkit's default stays.
  EXPECT_EQ(t.fontFace, DialogTemplate().fontFace);
  EXPECT_EQ(t.fontPoints, DialogTemplate().fontPoints);
}

TEST(ResourceScript, AMissingOrUnusableTemplateLeavesNothingBehind) {
  DialogTemplate t;
  t.caption = "untouched";
  EXPECT_FALSE(LoadDialogResource(302, &t));  // an edit box
  EXPECT_FALSE(LoadDialogResource(399, &t));
  EXPECT_FALSE(LoadDialogResource(-1, &t));
  EXPECT_FALSE(LoadDialogResource(0x10000 + 300, &t));
  EXPECT_EQ(t.caption, "untouched");
  // A dialog made from a missing template cannot be created.
  ASSERT_TRUE(InitGui("offscreen"));
  Dialog missing(399);
  EXPECT_EQ(missing.DoModal(), -1);
}

TEST(ResourceScript, StringsComeFromTheirBlocks) {
  EXPECT_EQ(LoadStringResource(15), Cp949("열다섯"));  // last of block 1
  EXPECT_EQ(LoadStringResource(16), "sixteen");         // first of block 2
  EXPECT_EQ(LoadStringResource(101), Cp949("Gobanvista 정보(&A)..."));
  EXPECT_EQ(LoadStringResource(17), "");
  EXPECT_EQ(LoadStringResource(14), "");   // a block that holds others
  EXPECT_EQ(LoadStringResource(500), "");  // no such block
  EXPECT_EQ(LoadStringResource(-1), "");
  EXPECT_EQ(LoadStringResource(0x10000 + 16), "");
}

// The template of dialog 300 as compiled, for the readers' own tests.
std::vector<uint8_t> CompiledTemplate() {
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!FindBuiltinResource(ResourceType::kDialog, 300, &data, &size)) return {};
  return std::vector<uint8_t>(data, data + size);
}

TEST(ResourceReaders, ACutTemplateIsRefusedAtEveryLength) {
  std::vector<uint8_t> whole = CompiledTemplate();
  ASSERT_GT(whole.size(), 100u);
  DialogTemplate t;
  ASSERT_TRUE(ReadDialogTemplate(whole.data(), whole.size(), &t));
  // The last control's extra-data count ends the template; any cut before
  // it loses part of what the template says.
  for (size_t n = 0; n + 1 < whole.size(); ++n) {
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + n);  // exact size: ASan sees overreads
    DialogTemplate out;
    out.caption = "untouched";
    EXPECT_FALSE(ReadDialogTemplate(cut.data(), cut.size(), &out)) << n;
    EXPECT_EQ(out.caption, "untouched");
  }
  // A template in the old, non-extended form is not read.
  whole[2] = 0;
  EXPECT_FALSE(ReadDialogTemplate(whole.data(), whole.size(), &t));
}

TEST(ResourceReaders, AStringBlockIsReadOnlyAsFarAsItGoes) {
  // Strings 0 ("ab") and 2 ("c") of a block; 1 is empty; the rest missing.
  const uint8_t block[] = {2, 0, 'a', 0, 'b', 0, 0, 0, 1, 0, 'c', 0};
  std::u16string s;
  ASSERT_TRUE(ReadStringFromBlock(block, sizeof block, 0, &s));
  EXPECT_EQ(s, u"ab");
  ASSERT_TRUE(ReadStringFromBlock(block, sizeof block, 2, &s));
  EXPECT_EQ(s, u"c");
  ASSERT_TRUE(ReadStringFromBlock(block, sizeof block, 1, &s));
  EXPECT_EQ(s, u"");
  EXPECT_FALSE(ReadStringFromBlock(block, sizeof block, 3, &s));
  EXPECT_FALSE(ReadStringFromBlock(block, sizeof block - 1, 2, &s));
  EXPECT_FALSE(ReadStringFromBlock(block, sizeof block, 16, &s));
  EXPECT_FALSE(ReadStringFromBlock(block, sizeof block, -1, &s));
}

// A compiled resource file: entries of a header (data size, header size,
// type, name, then 16 bytes of version and flags) and their data, each
// entry on a four-byte boundary.
class ResFile {
 public:
  void Add(const std::u16string& type_name, uint16_t type, uint16_t id, const std::string& data) {
    std::vector<uint8_t> names;
    auto word = [&](uint16_t w) {
      names.push_back(static_cast<uint8_t>(w));
      names.push_back(static_cast<uint8_t>(w >> 8));
    };
    if (type_name.empty()) {
      word(0xFFFF);
      word(type);
    } else {
      for (char16_t c : type_name) word(c);
      word(0);
    }
    word(0xFFFF);
    word(id);
    while (names.size() % 4) names.push_back(0);
    uint32_t header = static_cast<uint32_t>(8 + names.size() + 16);
    Dword(static_cast<uint32_t>(data.size()));
    Dword(header);
    bytes_.insert(bytes_.end(), names.begin(), names.end());
    bytes_.resize(bytes_.size() + 16);
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    while (bytes_.size() % 4) bytes_.push_back(0);
  }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  void Dword(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  std::vector<uint8_t> bytes_;
};

std::string Found(const std::vector<uint8_t>& res, uint16_t type, uint16_t id) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!FindInResFile(res.data(), res.size(), type, id, &data, &size)) return "<none>";
  return std::string(reinterpret_cast<const char*>(data), size);
}

TEST(ResourceReaders, AResourceFileIsWalkedEntryByEntry) {
  ResFile f;
  f.Add(u"", 0, 0, "");               // the empty entry files start with
  f.Add(u"", kResTypeDialog, 7, "odd");  // padded to the next entry
  f.Add(u"TYPELIB", 0, 7, "named type");
  f.Add(u"", kResTypeString, 7, "strings");
  f.Add(u"", kResTypeDialog, 7, "second");
  EXPECT_EQ(Found(f.bytes(), kResTypeDialog, 7), "odd");  // the first of two
  EXPECT_EQ(Found(f.bytes(), kResTypeString, 7), "strings");
  EXPECT_EQ(Found(f.bytes(), kResTypeString, 8), "<none>");
  // A data size that runs past the file ends the walk there.
  std::vector<uint8_t> damaged = f.bytes();
  damaged[32] = 0xFF;  // the second entry's data size
  EXPECT_EQ(Found(damaged, kResTypeString, 7), "<none>");
  // So does a header size shorter than the names it holds.
  damaged = f.bytes();
  damaged[36] = 8;
  EXPECT_EQ(Found(damaged, kResTypeDialog, 7), "<none>");
  // Every cut of the file finds at most what lies wholly inside the cut.
  for (size_t n = 0; n < f.bytes().size(); ++n) {
    std::vector<uint8_t> cut(f.bytes().begin(), f.bytes().begin() + n);
    std::string found = Found(cut, kResTypeString, 7);
    EXPECT_TRUE(found == "<none>" || found == "strings") << n;
  }
}

}  // namespace
}  // namespace platform
