#include "launcher/console_surface.h"

#include <chrono>

#include "platform/codepage.h"
#include "platform/console.h"

namespace kivro::launcher {

namespace {

// Terminal columns of a UTF-8 text: Korean and other East Asian characters
// take two.
int DisplayWidth(const std::string& text) {
  int width = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    width += lead >= 0xE1 ? 2 : 1;  // U+1100 and above: wide
    i += length;
  }
  return width;
}

// Drops whole characters from the start of `text` until it is at most
// `width` columns wide, marking the cut with "...".
std::string CutFromStart(const std::string& text, int width) {
  if (DisplayWidth(text) <= width) return text;
  if (width <= 3) return std::string(static_cast<size_t>(width > 0 ? width : 0), '.');
  size_t start = 0;
  while (start < text.size() && DisplayWidth(text.substr(start)) > width - 3) {
    ++start;
    while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) ++start;
  }
  return "..." + text.substr(start);
}

std::string Utf8(const char* cp949) { return platform::Cp949ToUtf8(cp949); }

}  // namespace

std::string FormatProgressLine(const CStonegateDlg::View& view, int columns) {
  std::string line;
  if (view.texts[kLineInstall][0] != '\0') {
    line += Utf8(view.texts[kLineInstall]) + " " + std::to_string(view.bars[kBarInstall]) + "%";
  }
  if (view.texts[kLineFile][0] != '\0') {
    std::string percent = std::to_string(view.bars[kBarFile]) + "%";
    std::string head = line.empty() ? "" : line + "  |  ";
    std::string tail = " " + percent;
    std::string path = Utf8(view.texts[kLineFile]);
    if (columns > 0) {
      int room = columns - 1 - DisplayWidth(head) - DisplayWidth(tail);
      path = CutFromStart(path, room);
    }
    line = head + path + tail;
  }
  if (columns > 0 && DisplayWidth(line) > columns - 1) line = CutFromStart(line, columns - 1);
  return line;
}

std::vector<std::string> PlainProgressLines(const CStonegateDlg::View& before,
                                            const CStonegateDlg::View& now) {
  std::vector<std::string> lines;
  if (now.texts[kLineFile][0] != '\0' &&
      std::string(now.texts[kLineFile]) != before.texts[kLineFile]) {
    lines.push_back("Fetching " + Utf8(now.texts[kLineFile]));
  }
  if (now.texts[kLineInstall][0] != '\0' &&
      std::string(now.texts[kLineInstall]) != before.texts[kLineInstall]) {
    lines.push_back(Utf8(now.texts[kLineInstall]));
  }
  return lines;
}

ConsoleSurface::ConsoleSurface(FILE* out, FILE* err, bool terminal, int columns)
    : out_(out), err_(err), terminal_(terminal), columns_(columns) {}

ConsoleSurface ConsoleSurface::ForStandardStreams() {
  bool terminal = platform::IsTerminal(platform::ConsoleStream::kOut);
  return ConsoleSurface(stdout, stderr, terminal,
                        terminal ? platform::TerminalColumns(platform::ConsoleStream::kOut) : 0);
}

uint64_t ConsoleSurface::NowMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

int32_t ConsoleSurface::RunModal(CStonegateDlg& dialog) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    dialog_ = &dialog;
  }
  dialog.OnInitDialog();
  std::unique_lock<std::mutex> hold(lock_);
  while (!ended_) {
    if (timers_.empty()) {
      wake_.wait(hold);
      continue;
    }
    Timer* next = &timers_.front();
    for (Timer& timer : timers_) {
      if (timer.due_ms < next->due_ms) next = &timer;
    }
    uint64_t now = NowMs();
    if (next->due_ms > now) {
      wake_.wait_for(hold, std::chrono::milliseconds(next->due_ms - now));
      continue;
    }
    // A timer keeps ticking until it is killed, as window timers do.
    uint32_t id = next->id;
    next->due_ms = now + next->period_ms;
    hold.unlock();
    dialog.OnTimer(id);
    hold.lock();
  }
  EndProgressLine();
  dialog_ = nullptr;
  return result_;
}

void ConsoleSurface::EndDialog(int32_t result) {
  std::lock_guard<std::mutex> hold(lock_);
  if (ended_) return;
  ended_ = true;
  result_ = result;
  wake_.notify_all();
}

void ConsoleSurface::SetTimer(uint32_t id, uint32_t milliseconds) {
  std::lock_guard<std::mutex> hold(lock_);
  for (Timer& timer : timers_) {
    if (timer.id == id) {
      timer.period_ms = milliseconds;
      timer.due_ms = NowMs() + milliseconds;
      wake_.notify_all();
      return;
    }
  }
  timers_.push_back({id, milliseconds, NowMs() + milliseconds});
  wake_.notify_all();
}

void ConsoleSurface::KillTimer(uint32_t id) {
  std::lock_guard<std::mutex> hold(lock_);
  for (size_t i = 0; i < timers_.size(); ++i) {
    if (timers_[i].id == id) {
      timers_.erase(timers_.begin() + static_cast<long>(i));
      return;
    }
  }
}

void ConsoleSurface::EndProgressLine() {
  if (line_open_) {
    fputc('\n', out_);
    fflush(out_);
    line_open_ = false;
  }
}

void ConsoleSurface::RepaintNow() {
  std::lock_guard<std::mutex> hold(lock_);
  if (dialog_ == nullptr) return;
  CStonegateDlg::View now = dialog_->Snapshot();
  if (terminal_) {
    std::string line = FormatProgressLine(now, columns_);
    fprintf(out_, "\r%s%s", line.c_str(), platform::EraseToLineEnd());
    line_open_ = !line.empty();
  } else {
    for (const std::string& line : PlainProgressLines(shown_, now)) fprintf(out_, "%s\n", line.c_str());
  }
  fflush(out_);
  shown_ = now;
}

void ConsoleSurface::ShowMessageBox(const char* text) {
  std::lock_guard<std::mutex> hold(lock_);
  EndProgressLine();
  fprintf(err_, "KIVROInstaller: %s\n", Utf8(text).c_str());
  fflush(err_);
}

void ConsoleSurface::Announce(const char* text) {
  std::lock_guard<std::mutex> hold(lock_);
  EndProgressLine();
  fprintf(out_, "%s\n", Utf8(text).c_str());
  fflush(out_);
}

}  // namespace kivro::launcher
