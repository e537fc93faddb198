// The launcher window on the terminal, for machines without a display. The
// same dialog logic runs: the check starts 1.5 s after "opening", the update
// runs, the game starts. Progress is one updating line on a terminal and
// plain lines (one per fetched file and per install count) otherwise; boxes
// are written to stderr and answered OK at once.
//
// Thread safety: every operation may be called from any thread; output and
// the timer list are guarded by one lock.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "launcher/stonegate_dlg.h"
#include "launcher/stonegate_surface.h"

namespace kivro::launcher {

// The progress line of a terminal: the install count and its bar, the file
// being fetched and its percentage, in UTF-8, at most `columns` - 1
// characters wide (0 columns: no limit). A long path is cut at its start.
std::string FormatProgressLine(const CStonegateDlg::View& view, int columns);

// The plain lines for a log: one when the file being fetched changes, one
// when the install count changes (UTF-8, without line ends).
std::vector<std::string> PlainProgressLines(const CStonegateDlg::View& before,
                                            const CStonegateDlg::View& now);

class ConsoleSurface : public I_StonegateSurface {
 public:
  // `terminal`: draw one updating line; `columns` its width (0: unknown).
  ConsoleSurface(FILE* out, FILE* err, bool terminal, int columns);
  // Chooses by whether stdout is a terminal.
  static ConsoleSurface ForStandardStreams();

  int32_t RunModal(CStonegateDlg& dialog) override;
  void EndDialog(int32_t result) override;
  bool LoadSkin() override { return true; }
  void SetTimer(uint32_t id, uint32_t milliseconds) override;
  void KillTimer(uint32_t id) override;
  void ButtonChanged(int32_t) override {}
  void RepaintNow() override;
  void ShowMessageBox(const char* text) override;
  void Announce(const char* text) override;

 private:
  struct Timer {
    uint32_t id;
    uint32_t period_ms;
    uint64_t due_ms;
  };
  static uint64_t NowMs();
  // Ends an open progress line so the next output starts on its own line.
  void EndProgressLine();

  FILE* out_;
  FILE* err_;
  bool terminal_;
  int columns_;

  std::mutex lock_;
  std::condition_variable wake_;
  CStonegateDlg* dialog_ = nullptr;
  bool ended_ = false;
  int32_t result_ = 0;
  std::vector<Timer> timers_;
  bool line_open_ = false;
  CStonegateDlg::View shown_;
};

}  // namespace kivro::launcher
