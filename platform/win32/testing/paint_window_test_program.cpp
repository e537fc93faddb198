// kivro_test_paint_window X Y LOG PARENT_PID
// A borderless window for the display tests' own test: 240 x 160 pixels at
// screen position (X, Y), each pixel (x, y) of it the colour red x, green y,
// blue 0x80 (PaintWindowPixel), presented with SetDIBitsToDevice as the
// toolkit presents its frames. It appends to LOG "painted" after its first
// paint and "down X Y" / "up X Y" (client coordinates) for the left button;
// the button's release closes it. It also ends when PARENT_PID ends.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 160;
constexpr UINT_PTR kParentTimer = 1;

std::wstring g_log;
HANDLE g_parent = nullptr;
bool g_painted = false;

void AppendLine(const std::string& line) {
  HANDLE file = CreateFileW(g_log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  std::vector<uint32_t> frame(size_t(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) frame[size_t(y) * kWidth + x] = (uint32_t(x) << 16) | (uint32_t(y) << 8) | 0x80;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = -kHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, frame.data(), &info, DIB_RGB_COLORS);
  EndPaint(window, &ps);
  if (!g_painted) {
    g_painted = true;
    AppendLine("painted\n");
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
      int x = static_cast<short>(LOWORD(l)), y = static_cast<short>(HIWORD(l));
      AppendLine(std::string(message == WM_LBUTTONDOWN ? "down " : "up ") + std::to_string(x) + " " +
                 std::to_string(y) + "\n");
      if (message == WM_LBUTTONUP) DestroyWindow(window);
      return 0;
    }
    case WM_TIMER:
      if (w == kParentTimer && g_parent != nullptr && WaitForSingleObject(g_parent, 0) == WAIT_OBJECT_0) {
        DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, w, l);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: kivro_test_paint_window X Y LOG PARENT_PID\n");
    return 2;
  }
  int x = _wtoi(argv[1]), y = _wtoi(argv[2]);
  g_log = argv[3];
  g_parent = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(_wtoi(argv[4])));
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.lpszClassName = L"KivroTestPaintWindow";
  if (RegisterClassW(&window_class) == 0) return 1;
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"kivro paint test", WS_POPUP | WS_VISIBLE, x, y,
                                kWidth, kHeight, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "no window: error %lu\n", GetLastError());
    return 1;
  }
  SetTimer(window, kParentTimer, 100, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
