// Xvfb for tests: started with -displayfd so that the server itself picks a
// free display number and tells us when it accepts connections.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/testing/window_xvfb.h"

namespace platform::gui_testing {

namespace {

bool ProgramOnPath(const char* name) {
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    std::string dir =
        dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string full = (dir.empty() ? "." : dir) + "/" + name;
    if (access(full.c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

}  // namespace

XvfbSession::~XvfbSession() { Stop(); }

XvfbSession::Outcome XvfbSession::Start(int width, int height, std::string* why) {
  if (!ProgramOnPath("Xvfb")) {
    *why = "Xvfb is not installed";
    return kMissing;
  }
  int fds[2];
  if (pipe(fds) != 0) {
    *why = "pipe failed";
    return kFailed;
  }
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::string fd = std::to_string(fds[1]);
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    *why = "fork failed";
    return kFailed;
  }
  if (pid == 0) {
    // The server goes when the test goes, however it ends.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(fds[0]);
    int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
           "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  pid_ = pid;
  // The server writes its display number once it is ready.
  std::string number;
  struct pollfd p = {fds[0], POLLIN, 0};
  for (int waited = 0; waited < 15000 && number.find('\n') == std::string::npos; waited += 100) {
    if (poll(&p, 1, 100) > 0) {
      char buf[32];
      ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      number.append(buf, n);
    }
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    *why = "Xvfb did not report a display";
    Stop();
    return kFailed;
  }
  display_ = atoi(number.c_str());
  const char* old = getenv("DISPLAY");
  had_display_ = old != nullptr;
  if (old) old_display_ = old;
  setenv("DISPLAY", (":" + std::to_string(display_)).c_str(), 1);
  if (!Connect()) {
    *why = "cannot connect to the new display";
    Stop();
    return kFailed;
  }
  return kStarted;
}

bool XvfbSession::Connect() {
  std::string name = ":" + std::to_string(display_);
  x_display_ = XOpenDisplay(name.c_str());
  return x_display_ != nullptr;
}

void XvfbSession::Stop() {
  if (x_display_) {
    XCloseDisplay(static_cast<Display*>(x_display_));
    x_display_ = nullptr;
  }
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  if (display_ >= 0) {
    if (had_display_) {
      setenv("DISPLAY", old_display_.c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
    display_ = -1;
  }
}

bool XvfbSession::MovePointer(int x, int y) {
  auto* d = static_cast<Display*>(x_display_);
  if (!d) return false;
  XWarpPointer(d, None, DefaultRootWindow(d), 0, 0, 0, 0, x, y);
  XSync(d, False);
  return true;
}

Bitmap XvfbSession::Screenshot(const Rect& r) {
  auto* d = static_cast<Display*>(x_display_);
  if (!d || r.IsEmpty()) return {};
  XImage* image =
      XGetImage(d, DefaultRootWindow(d), r.left, r.top, r.Width(), r.Height(), AllPlanes, ZPixmap);
  if (!image) return {};
  Bitmap out = Bitmap::Colour(r.Width(), r.Height());
  for (int y = 0; y < r.Height(); ++y)
    for (int x = 0; x < r.Width(); ++x) {
      unsigned long p = XGetPixel(image, x, y);
      out.SetPixel(x, y, Rgb((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    }
  XDestroyImage(image);
  return out;
}

namespace {

void Chunk(std::vector<uint8_t>* out, const char* type, const std::vector<uint8_t>& data) {
  auto be32 = [&](uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out->push_back((v >> s) & 0xFF);
  };
  be32(static_cast<uint32_t>(data.size()));
  size_t start = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), data.begin(), data.end());
  be32(crc32(0, out->data() + start, static_cast<uInt>(out->size() - start)));
}

}  // namespace

bool WritePng(const Bitmap& bitmap, const std::string& path) {
  if (bitmap.IsNull()) return false;
  const uint32_t w = bitmap.Width(), h = bitmap.Height();
  std::vector<uint8_t> raw;
  raw.reserve((w * 3 + 1) * h);
  for (uint32_t y = 0; y < h; ++y) {
    raw.push_back(0);  // no filter
    for (uint32_t x = 0; x < w; ++x) {
      ColorRef c = bitmap.GetPixel(x, y);
      raw.push_back(RedOf(c));
      raw.push_back(GreenOf(c));
      raw.push_back(BlueOf(c));
    }
  }
  uLongf packed_size = compressBound(raw.size());
  std::vector<uint8_t> packed(packed_size);
  if (compress2(packed.data(), &packed_size, raw.data(), raw.size(), Z_BEST_COMPRESSION) != Z_OK)
    return false;
  packed.resize(packed_size);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header = {uint8_t(w >> 24),
                                 uint8_t(w >> 16),
                                 uint8_t(w >> 8),
                                 uint8_t(w),
                                 uint8_t(h >> 24),
                                 uint8_t(h >> 16),
                                 uint8_t(h >> 8),
                                 uint8_t(h),
                                 8,
                                 2,
                                 0,
                                 0,
                                 0};
  Chunk(&png, "IHDR", header);
  Chunk(&png, "IDAT", packed);
  Chunk(&png, "IEND", {});
  std::string tmp = path + ".tmp";
  FILE* f = fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
  ok = fclose(f) == 0 && ok;
  return ok && rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace platform::gui_testing
