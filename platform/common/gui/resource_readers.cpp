// Readers of compiled resources (see resource_readers.h). All values are
// little-endian, as the resource compiler writes them on every host.
#include "platform/common/gui/resource_readers.h"

#include "platform/codepage.h"

namespace platform {

namespace {

// Reads from a byte range; any read past its end leaves `ok` false for good.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool ok() const { return ok_; }
  size_t at() const { return at_; }

  uint16_t Word() {
    if (!Need(2)) return 0;
    uint16_t v = static_cast<uint16_t>(data_[at_] | data_[at_ + 1] << 8);
    at_ += 2;
    return v;
  }
  uint32_t Dword() {
    uint32_t low = Word();
    return low | static_cast<uint32_t>(Word()) << 16;
  }
  void Skip(size_t n) {
    if (Need(n)) at_ += n;
  }
  // To the next multiple of `n` bytes from the start.
  void Align(size_t n) { Skip((n - at_ % n) % n); }

  // A zero-ended UTF-16 string.
  std::u16string Text() {
    std::u16string s;
    for (uint16_t c = Word(); ok_ && c != 0; c = Word()) s.push_back(static_cast<char16_t>(c));
    return s;
  }

  // A name that is either a number (0xFFFF, then the number) or a text;
  // a lone zero word is neither. Gives the number, or -1 for a text or
  // nothing (the text goes to `text` when asked for).
  int32_t NumberOrText(std::u16string* text = nullptr) {
    if (!Need(2)) return -1;
    uint16_t first = static_cast<uint16_t>(data_[at_] | data_[at_ + 1] << 8);
    if (first == 0xFFFF) {
      Word();
      return Word();
    }
    std::u16string s = Text();
    if (text != nullptr) *text = std::move(s);
    return -1;
  }

 private:
  bool Need(size_t n) {
    if (ok_ && n <= size_ - at_) return true;
    ok_ = false;
    return false;
  }

  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  bool ok_ = true;
};

// The window styles the toolkit knows, by their system values.
constexpr uint32_t kWsPopup = 0x80000000;
constexpr uint32_t kWsVisible = 0x10000000;
constexpr uint32_t kWsClipChildren = 0x02000000;
constexpr uint32_t kWsCaption = 0x00C00000;
constexpr uint32_t kWsBorder = 0x00800000;
constexpr uint32_t kWsSysMenu = 0x00080000;
constexpr uint32_t kDsSetFont = 0x40;
constexpr uint32_t kDsModalFrame = 0x80;
constexpr uint32_t kWsExAppWindow = 0x00040000;

// The predefined control classes, by number.
constexpr int32_t kClassButton = 0x80;
constexpr int32_t kClassStatic = 0x82;

// A predefined class given by name (as a CONTROL statement writes it) is
// the same class as by number; -1 for any other name.
int32_t PredefinedClassNumber(const std::u16string& name) {
  static const char* const kNames[] = {"button", "edit", "static", "listbox", "scrollbar", "combobox"};
  std::string lower;
  for (char16_t c : name) {
    if (c >= 0x80) return -1;
    lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
  }
  for (int32_t i = 0; i < 6; ++i)
    if (lower == kNames[i]) return 0x80 + i;
  return -1;
}

uint32_t ToolkitStyle(uint32_t style, uint32_t ex_style) {
  uint32_t out = 0;
  if (style & kWsPopup) out |= kStylePopup;
  if ((style & kWsCaption) == kWsCaption)
    out |= kStyleCaption;
  else if (style & kWsBorder)
    out |= kStyleBorder;
  if (style & kWsSysMenu) out |= kStyleSysMenu;
  if (style & kWsVisible) out |= kStyleVisible;
  if (style & kDsModalFrame) out |= kStyleModalFrame;
  if (style & kWsClipChildren) out |= kStyleClipChildren;
  if (ex_style & kWsExAppWindow) out |= kStyleAppWindow;
  return out;
}

// The toolkit's kind for a control of class number `class_number` (-1: a
// class named by text) with `style`; false when it has none.
bool ControlKind(int32_t class_number, uint32_t style, ControlTemplate::Kind* kind) {
  if (class_number == -1) {
    *kind = ControlTemplate::kCustom;
    return true;
  }
  if (class_number == kClassButton) {
    switch (style & 0xF) {
      case 0x0:  // BS_PUSHBUTTON
        *kind = ControlTemplate::kPushButton;
        return true;
      case 0x1:  // BS_DEFPUSHBUTTON
        *kind = ControlTemplate::kDefPushButton;
        return true;
      case 0xB:  // BS_OWNERDRAW
        *kind = ControlTemplate::kOwnerDrawButton;
        return true;
    }
    return false;
  }
  if (class_number == kClassStatic) {
    switch (style & 0x1F) {
      case 0x0:  // SS_LEFT
      case 0x1:  // SS_CENTER
      case 0x2:  // SS_RIGHT
        *kind = ControlTemplate::kStaticText;
        return true;
      case 0x3:  // SS_ICON
        *kind = ControlTemplate::kStaticIcon;
        return true;
    }
  }
  return false;
}

}  // namespace

bool FindInResFile(const uint8_t* res, size_t res_size, uint16_t type, uint16_t id,
                   const uint8_t** data, size_t* size) {
  size_t at = 0;
  // Each entry: data size, header size, type, name, then the rest of the
  // header; its data follows the header and the next entry starts on a
  // four-byte boundary.
  while (res_size - at >= 8) {
    ByteReader entry(res + at, res_size - at);
    uint32_t data_size = entry.Dword();
    uint32_t header_size = entry.Dword();
    int32_t entry_type = entry.NumberOrText();
    int32_t entry_id = entry.NumberOrText();
    size_t left = res_size - at;
    if (!entry.ok() || header_size < entry.at() || header_size > left || data_size > left - header_size)
      return false;
    if (entry_type == type && entry_id == id) {
      *data = res + at + header_size;
      *size = data_size;
      return true;
    }
    size_t next = static_cast<size_t>(header_size) + data_size;
    next += (4 - next % 4) % 4;
    if (next > left) return false;
    at += next;
  }
  return false;
}

bool ReadDialogTemplate(const uint8_t* data, size_t size, DialogTemplate* out) {
  ByteReader in(data, size);
  uint16_t version = in.Word();
  uint16_t signature = in.Word();
  if (!in.ok() || version != 1 || signature != 0xFFFF) return false;
  DialogTemplate t;
  in.Dword();  // help id
  uint32_t ex_style = in.Dword();
  uint32_t style = in.Dword();
  uint16_t count = in.Word();
  in.Skip(4);  // x, y: dialogs are placed by the toolkit
  int16_t cx = static_cast<int16_t>(in.Word());
  int16_t cy = static_cast<int16_t>(in.Word());
  t.size = {cx, cy};
  t.dialogUnits = true;
  t.style = ToolkitStyle(style, ex_style);
  in.NumberOrText();  // menu
  in.NumberOrText();  // window class
  t.caption = Utf16ToCp949(in.Text());
  if (style & kDsSetFont) {  // also part of DS_SHELLFONT
    t.fontPoints = in.Word();
    in.Word();  // weight
    in.Skip(2);  // italic, character set
    t.fontFace = Utf16ToCp949(in.Text());
  }
  for (uint16_t i = 0; i < count && in.ok(); ++i) {
    in.Align(4);
    ControlTemplate c;
    in.Dword();  // help id
    in.Dword();  // extended style
    uint32_t control_style = in.Dword();
    int16_t x = static_cast<int16_t>(in.Word());
    int16_t y = static_cast<int16_t>(in.Word());
    int16_t w = static_cast<int16_t>(in.Word());
    int16_t h = static_cast<int16_t>(in.Word());
    c.id = static_cast<int32_t>(in.Dword());
    std::u16string class_name;
    int32_t class_number = in.NumberOrText(&class_name);
    if (class_number == -1) class_number = PredefinedClassNumber(class_name);
    std::u16string text;
    int32_t text_number = in.NumberOrText(&text);
    uint16_t extra = in.Word();
    in.Skip(extra);
    if (!in.ok() || !ControlKind(class_number, control_style, &c.kind)) return false;
    c.rect = Rect{x, y, x + w, y + h};
    c.visible = (control_style & kWsVisible) != 0;
    if (c.kind == ControlTemplate::kStaticIcon)
      c.iconId = text_number;
    else
      c.text = Utf16ToCp949(text);
    t.controls.push_back(std::move(c));
  }
  if (!in.ok()) return false;
  *out = std::move(t);
  return true;
}

bool ReadStringFromBlock(const uint8_t* data, size_t size, int index, std::u16string* out) {
  if (index < 0 || index > 15) return false;
  ByteReader in(data, size);
  for (int i = 0; i < index && in.ok(); ++i) in.Skip(static_cast<size_t>(in.Word()) * 2);
  uint16_t length = in.Word();
  std::u16string s;
  s.reserve(length);
  for (uint16_t i = 0; i < length && in.ok(); ++i) s.push_back(static_cast<char16_t>(in.Word()));
  if (!in.ok()) return false;
  *out = std::move(s);
  return true;
}

}  // namespace platform
