// A small window toolkit: top-level dialogs built from a description, child
// controls (push buttons, owner-drawn buttons, static texts and icons),
// mouse tracking, timers, painting through device contexts, system menus and
// message boxes.
//
// Painting follows the Windows model the launcher relies on. Every top-level
// window has one surface; a window paints into its own area of it when it is
// invalid, parents before children. Invalidating a parent does not
// invalidate its children, and a parent paints over its children's areas, so
// what a parent paints there stays until the child itself is invalidated.
//
// Threads: the thread that first uses the toolkit (normally the main thread)
// is the UI thread; every handler runs on it. Every public operation of a
// window may be called from any thread: from another thread the work is
// carried out by the UI thread while the caller waits. A call for a window
// that is gone (destroyed, or destroyed while the call waited) is dropped and
// reports failure; it never blocks for ever. To be safe also against the
// C++ object being deleted, reach a window through its handle with
// RunOnWindow.
//
// Backends: SDL2 (real windows under X11) when a display is there, the
// system's own windows on Windows, else an off-screen one where windows
// paint into memory, timers run and message boxes are written to stderr and
// answered OK. KIVRO_GUI=offscreen, KIVRO_GUI=sdl or KIVRO_GUI=win32 chooses
// one explicitly. Off-screen, KIVRO_GUI_CLOSE_AFTER=ms
// ends every modal dialog as cancelled after that time (for unattended runs
// of dialogs that only a user would close).
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/native_event.h"

namespace platform {

class Window;
class Dialog;

using WindowHandle = uint32_t;  // 0: no window

// Dialog results and the ids of the standard buttons.
inline constexpr int32_t kIdOk = 1;
inline constexpr int32_t kIdCancel = 2;

// System commands (the Windows values).
inline constexpr uint32_t kScMinimize = 0xF020;
inline constexpr uint32_t kScClose = 0xF060;
inline constexpr uint32_t kScRestore = 0xF120;

enum class Cursor { kArrow, kHand, kWait, kIBeam };

// Mouse tracking requests.
inline constexpr uint32_t kTrackHover = 0x1;
inline constexpr uint32_t kTrackLeave = 0x2;
inline constexpr uint32_t kTrackCancel = 0x80000000;

enum class ShowCommand { kHide, kShow, kMinimize, kRestore };

// Item state bits of an owner-drawn control.
inline constexpr uint32_t kOdsSelected = 0x1;
inline constexpr uint32_t kOdsDisabled = 0x4;
inline constexpr uint32_t kOdsFocus = 0x10;

// Message box flags and results.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbIconError = 0x10;
inline constexpr uint32_t kMbIconInformation = 0x40;

// The size of a window's large icon (GetSystemMetrics(SM_CXICON)).
inline constexpr int32_t kSystemIconSize = 32;

// Keys the toolkit passes to handlers.
inline constexpr int32_t kKeyEscape = 27;
inline constexpr int32_t kKeyReturn = 13;
inline constexpr int32_t kKeyF4 = 0x73;
inline constexpr int32_t kKeySpace = 32;

// What an owner-drawn control draws with.
struct DrawItemRecord {
  int32_t controlId = 0;
  uint32_t itemState = 0;  // kOds* bits
  Dc* dc = nullptr;
  Rect item;  // the control's client rectangle
};

struct SystemMenuEntry {
  uint32_t id = 0;   // 0: separator
  std::string text;  // code page 949
};

// Window styles of a dialog description.
inline constexpr uint32_t kStylePopup = 0x1;
inline constexpr uint32_t kStyleCaption = 0x2;  // title bar (with the system's decorations)
inline constexpr uint32_t kStyleBorder = 0x4;
inline constexpr uint32_t kStyleSysMenu = 0x8;
inline constexpr uint32_t kStyleVisible = 0x10;
inline constexpr uint32_t kStyleModalFrame = 0x20;
inline constexpr uint32_t kStyleClipChildren = 0x40;  // a parent does not paint over its children
inline constexpr uint32_t kStyleAppWindow = 0x100;    // own taskbar button even when owned

struct ControlTemplate {
  enum Kind { kPushButton, kDefPushButton, kOwnerDrawButton, kStaticText, kStaticIcon, kCustom };
  Kind kind = kPushButton;
  int32_t id = 0;
  Rect rect;         // in the dialog's units: left, top, right, bottom
  std::string text;  // code page 949
  bool visible = true;
  int32_t iconId = 0;  // kStaticIcon: icon resource
};

struct DialogTemplate {
  Size size;                // client size, in the dialog's units
  bool dialogUnits = true;  // false: sizes are pixels
  uint32_t style = kStylePopup | kStyleCaption | kStyleSysMenu | kStyleVisible;
  std::string caption;  // code page 949
  std::string fontFace = "MS Shell Dlg";
  int32_t fontPoints = 9;
  std::vector<ControlTemplate> controls;
};

// A context for drawing into a window's area on its surface (GetDC). Use it
// on the UI thread only, while the window lives.
class WindowDc : public Dc {
 public:
  explicit WindowDc(const Window& window);

 protected:
  // Narrows what may be drawn to `surface_rect` (surface pixels).
  void Limit(const Rect& surface_rect);

 private:
  Bitmap* surface_ = nullptr;
  Rect area_;
  Rect visible_;
};

class Window {
 public:
  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  WindowHandle Handle() const { return handle_.load(std::memory_order_acquire); }
  bool IsAlive() const;

  // ---- operations: callable from any thread ----
  bool Destroy();
  bool Enable(bool enable);  // false: the window is gone
  bool IsEnabled() const;
  bool Show(ShowCommand command);
  bool IsVisible() const;
  bool IsIconic() const;
  // Children: parent client coordinates; top-level windows: screen.
  bool Move(const Rect& rect, bool repaint = true);
  Rect GetWindowRect() const;  // screen coordinates
  Rect GetClientRect() const;  // (0, 0, width, height)
  Point ClientToScreen(Point p) const;
  Point ScreenToClient(Point p) const;
  bool Invalidate(bool erase = true);
  bool InvalidateRect(const Rect& rect, bool erase = true);
  // Paints at once what is invalid in this window and its children.
  bool UpdateWindow();
  bool SetTimer(uint32_t id, uint32_t milliseconds);
  bool KillTimer(uint32_t id);
  // Requests hover and/or leave notifications; the hover fires once the
  // mouse rests `hoverMs` within a few pixels. kTrackCancel withdraws.
  bool TrackMouseEvent(uint32_t flags, uint32_t hoverMs);
  bool SetCapture();
  bool ReleaseCapture();
  bool SetText(const std::string& text);
  std::string GetText() const;
  bool SetFont(const Font* font);  // not owned
  bool SetIcon(const Icon& icon, bool big);
  bool AppendSystemMenu(uint32_t id, const std::string& text);  // id 0: separator
  std::vector<SystemMenuEntry> SystemMenu() const;
  intptr_t SendWindowMessage(uint32_t message, uintptr_t wparam, intptr_t lparam);
  // Runs `fn` on the UI thread while this window lives; false if it is gone.
  bool RunOnUiThread(const std::function<void()>& fn);

  // Set when the window is created and not changed after: read them from
  // other threads only once creation is over.
  Window* GetParent() const { return parent_; }
  int32_t ControlId() const { return id_; }
  const Font* GetFont() const;
  const Icon& GetIcon(bool big) const { return big ? big_icon_ : small_icon_; }
  // The window system's id of a top-level window (TopWindow of
  // top_windows.h) when it is on a screen, else 0.
  uint64_t NativeId() const;

  // Default handling of a system command: close (as WM_CLOSE), minimise,
  // restore. Dialogs close as cancelled.
  virtual void OnSysCommand(uint32_t command);

 protected:
  // ---- handlers: called on the UI thread ----
  virtual void OnPaint(Dc& dc);
  // Answers true when it erased; false lets the window's background colour
  // fill the area.
  virtual bool OnEraseBackground(Dc& dc);
  virtual void OnMouseMove(Point p);
  virtual void OnMouseHover(Point p);
  virtual void OnMouseLeave();
  virtual void OnLButtonDown(Point p);
  virtual void OnLButtonUp(Point p);
  // True: the handler set the cursor (or chose to keep it). False: the
  // arrow is set.
  virtual bool OnSetCursor();
  virtual void OnTimer(uint32_t id);
  virtual void OnCommand(int32_t id);  // a child control was clicked
  virtual bool OnKeyDown(int32_t key);
  virtual void OnClose();
  virtual void OnDestroy();
  virtual intptr_t OnMessage(uint32_t message, uintptr_t wparam, intptr_t lparam);
  virtual ColorRef BackgroundColour() const;

  // Fills the area with the background colour (the icon background of a
  // minimised window).
  void EraseIconBackground(Dc& dc);

  // Creates this window as a child of `parent` (parent client coordinates).
  bool CreateChild(Window* parent, int32_t id, const Rect& rect, bool visible);
  // Creates this window as a top-level window owned by `owner` (may be null).
  bool CreateTopLevel(Window* owner, const Rect& screen_rect, uint32_t style,
                      const std::string& caption);

 private:
  friend struct GuiCore;
  friend class WindowDc;
  friend class Dialog;

  std::atomic<WindowHandle> handle_{0};
  // Everything below belongs to the UI thread.
  Window* parent_ = nullptr;
  Window* owner_ = nullptr;
  std::vector<Window*> children_;
  int32_t id_ = 0;
  Rect rect_;  // parent client coordinates, or screen for top-level
  uint32_t style_ = 0;
  bool enabled_ = true;
  bool visible_ = false;
  bool iconic_ = false;
  bool dirty_ = false;
  bool erase_ = false;
  Rect dirty_rect_;  // client coordinates
  std::string text_;
  const Font* font_ = nullptr;
  Icon big_icon_, small_icon_;
  std::vector<SystemMenuEntry> system_menu_;
  struct Timer {
    uint32_t id;
    uint32_t period;
    uint64_t due;
  };
  std::vector<Timer> timers_;
  bool track_hover_ = false;
  bool track_leave_ = false;
  uint32_t hover_ms_ = 0;
  uint64_t hover_due_ = 0;
  Point hover_anchor_;
  struct TopLevelState;
  std::unique_ptr<TopLevelState> top_;  // only for top-level windows
};

// A push button. Clicks are reported to the parent's OnCommand with the
// button's id. An owner-drawn one paints through DrawItem.
class Button : public Window {
 public:
  explicit Button(bool owner_draw = false) : owner_draw_(owner_draw) {}
  void SetOwnerDraw(bool on) { owner_draw_ = on; }
  void SetDefault(bool on) { default_ = on; }
  bool IsPressed() const { return pressed_; }

 protected:
  virtual void DrawItem(const DrawItemRecord& record);
  void OnPaint(Dc& dc) override;
  void OnMouseMove(Point p) override;
  void OnLButtonDown(Point p) override;
  void OnLButtonUp(Point p) override;

 private:
  bool owner_draw_;
  bool default_ = false;
  bool pressed_ = false;
  bool tracking_press_ = false;
};

class StaticText : public Window {
 protected:
  void OnPaint(Dc& dc) override;
  bool OnEraseBackground(Dc& dc) override;
};

class StaticIcon : public Window {
 public:
  explicit StaticIcon(int32_t icon_id) : icon_id_(icon_id) {}

 protected:
  void OnPaint(Dc& dc) override;

 private:
  int32_t icon_id_;
};

// A dialog built from a description. Controls of the description are created
// as plain controls unless an object was attached to their id before
// creation (as data exchange subclasses them).
class Dialog : public Window {
 public:
  explicit Dialog(DialogTemplate description, Window* owner = nullptr);
  // From the program's dialog resource `template_id` (resource.h); when it
  // is missing the dialog cannot be created (DoModal gives -1).
  explicit Dialog(int32_t template_id, Window* owner = nullptr);
  ~Dialog() override;

  // Creates the dialog, runs it until EndDialog and destroys it. Returns
  // the EndDialog result, or -1 when the window could not be created.
  int32_t DoModal();
  // Creates the dialog without running it (modeless).
  bool Create();
  bool EndDialog(int32_t result);  // any thread
  bool IsEnded() const { return ended_.load(); }
  int32_t Result() const { return result_.load(); }

  // Before creation: use `control` for the description's control `id`.
  void AttachControl(int32_t id, Window* control);
  Window* GetDlgItem(int32_t id) const;
  // Pixels of a size in the dialog's units.
  Size DialogUnitsToPixels(Size dialog_units) const;

  void OnSysCommand(uint32_t command) override;

 protected:
  virtual bool OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  void OnCommand(int32_t id) override;
  bool OnKeyDown(int32_t key) override;
  void OnClose() override;
  void OnDestroy() override;

 private:
  DialogTemplate description_;
  Window* owner_window_;
  Font dialog_font_;
  Size base_units_{6, 12};
  std::vector<std::pair<int32_t, Window*>> attached_;
  std::vector<std::unique_ptr<Window>> owned_controls_;
  std::atomic<bool> ended_{false};
  std::atomic<int32_t> result_{0};
};

// Runs `fn` with the window of `handle` on the UI thread; false (fn not run)
// when no such window lives.
bool RunOnWindow(WindowHandle handle, const std::function<void(Window&)>& fn);

// A message box with the given buttons (kMbOk or kMbOkCancel), modal over
// `owner` (may be null). The caption defaults to the program's file name
// without its extension. Off-screen it is written to stderr and answered
// kIdOk. Returns the button pressed, or 0 when it could not be shown.
int32_t ShowMessageBox(Window* owner, const std::string& text, const std::string& caption = {},
                   uint32_t flags = kMbOk);

// Sets the mouse cursor; the current one is kept until changed.
void SetCursor(Cursor cursor);
Cursor GetCursor();

// Starts the toolkit on the calling thread (it becomes the UI thread).
// `backend` "sdl", "win32" or "offscreen" overrides the choice (one the
// build lacks gives off-screen); null chooses by KIVRO_GUI, then by whether
// windows can be shown. Later calls do
// nothing and report whether the toolkit runs.
bool InitGui(const char* backend = nullptr);
const char* GuiBackendName();  // "sdl", "win32", "offscreen", or "" before InitGui
// Whether the toolkit shows windows on a screen (false before InitGui and
// off-screen).
bool HasScreen();
bool IsUiThread();

// A hook for the window system's own events (see native_event.h), run on the
// UI thread before the toolkit looks at them; answering true consumes the
// event. This is where cross-process messages come in.
using NativeEventHook = std::function<bool(const NativeEvent* event)>;
void SetNativeEventHook(NativeEventHook hook);

}  // namespace platform
