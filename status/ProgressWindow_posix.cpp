#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "status/ProgressWindow.h"
#include "support/Exceptions.h"
#include "support/Log.h"

// The window on a terminal. When standard error is a terminal, one status line
// is rewritten in place; otherwise each new text is printed once on its own line.
struct TerminalDialog {
  bool terminal = isatty(STDERR_FILENO) == 1;
  // Update thread -> interface thread: 'e' Close allowed, 'c' close now.
  int wakeRead = -1;
  int wakeWrite = -1;
  // Whether the cursor stands at the end of a status line.
  std::atomic<bool> lineOpen{false};

  // Update thread only.
  int32_t range = -1;
  int32_t position = 0;
  bool closeAllowed = false;
  std::string text = "Updater Starting";
};

namespace {
constexpr int kBarWidth = 20;
constexpr char kAllowClose = 'e';
constexpr char kClose = 'c';

void writeOut(const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    ssize_t result = write(STDERR_FILENO, bytes.data() + written, bytes.size() - written);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return;  // nowhere to show it; the run goes on
    written += static_cast<std::size_t>(result);
  }
}

void wake(TerminalDialog* terminal, char command) {
  ssize_t result;
  do {
    result = write(terminal->wakeWrite, &command, 1);
  } while (result < 0 && errno == EINTR);
}

std::string statusLine(std::string text, int32_t range, int32_t position, bool closeAllowed) {
  int32_t filled = 0;
  if (range > 0 && position > 0) filled = position >= range ? kBarWidth : position * kBarWidth / range;
  std::string bar = "  [" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "]";
  if (closeAllowed) bar += "  Press Enter to close.";
  // A line longer than the terminal would wrap and could not be rewritten.
  winsize size = {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > bar.size() + 1) {
    std::size_t room = size.ws_col - bar.size() - 1;
    if (text.size() > room) text.resize(room);
  }
  return "\r\033[K" + text + bar;
}

void redraw(TerminalDialog* terminal) {
  writeOut(statusLine(terminal->text, terminal->range, terminal->position, terminal->closeAllowed));
  terminal->lineOpen = true;
}

// True once a line feed has been read, or when there is nothing more to read.
bool enterPressed() {
  char bytes[64];
  ssize_t count = read(STDIN_FILENO, bytes, sizeof bytes);
  if (count < 0 && errno == EINTR) return false;
  if (count <= 0) return true;
  for (ssize_t i = 0; i < count; ++i)
    if (bytes[i] == '\n' || bytes[i] == '\r') return true;
  return false;
}

std::string framed(const std::string& title, const std::string& text) {
  std::vector<std::string> lines = {title, ""};
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  lines.push_back(line);
  std::size_t width = 0;
  for (const std::string& each : lines) width = std::max(width, each.size());
  std::string rule = "+" + std::string(width + 2, '-') + "+\n";
  std::string box = rule;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == 1) {
      box += rule;
      continue;
    }
    box += "| " + lines[i] + std::string(width - lines[i].size(), ' ') + " |\n";
  }
  return box + rule;
}
}  // namespace

void ProgressWindow::openDisplay() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) throw IOException("pipe: " + systemErrorText());
  dialog = new TerminalDialog;
  dialog->wakeRead = ends[0];
  dialog->wakeWrite = ends[1];
}

void ProgressWindow::closeDisplay() {
  if (dialog->lineOpen) writeOut("\n");
  close(dialog->wakeRead);
  close(dialog->wakeWrite);
  delete dialog;
}

uint32_t ProgressWindow::run() {
  TerminalDialog* terminal = dialog;
  if (hasNotice()) {
    // The terminal breaks lines itself; the CRs are for the edit control.
    std::string notice = "Network Status:\n" + report->message;
    if (notice.back() != '\n') notice += '\n';
    writeOut(notice);
  }
  if (terminal->terminal) {
    writeOut(statusLine("Updater Starting", -1, 0, false));
    terminal->lineOpen = true;
  } else {
    writeOut("Updater Starting\n");
  }
  // Held while the window is up, and let go however it ends, so it is never left abandoned.
  MutexGuard up(dialogUp);
  bool waitingForEnter = false;
  for (bool open = true; open;) {
    pollfd watched[2] = {{terminal->wakeRead, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    if (poll(watched, waitingForEnter ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (watched[0].revents != 0) {
      char command = kClose;
      if (read(terminal->wakeRead, &command, 1) < 0 && errno == EINTR) continue;
      // Without a terminal nobody can press Enter: closing is allowed, so close.
      if (command == kClose || !terminal->terminal) break;
      waitingForEnter = true;
    } else if (waitingForEnter && watched[1].revents != 0 && enterPressed()) {
      // The terminal echoed the line feed.
      terminal->lineOpen = false;
      open = false;
    }
  }
  return 0;
}

void ProgressWindow::showRange(int32_t total) { dialog->range = total; }

void ProgressWindow::showPosition(int32_t position) { dialog->position = position; }

void ProgressWindow::showText(const std::string& text) {
  if (dialog->terminal) {
    dialog->text = text;
    redraw(dialog);
  } else if (text != dialog->text) {
    dialog->text = text;
    writeOut(text + "\n");
  }
}

void ProgressWindow::allowClose() {
  dialog->closeAllowed = dialog->terminal;
  wake(dialog, kAllowClose);
}

void ProgressWindow::closeWindow() { wake(dialog, kClose); }

void ProgressWindow::endInterface() { closeWindow(); }

void ProgressWindow::showError(const std::string& text, bool) {
  if (dialog->lineOpen) writeOut("\n");
  writeOut(framed("Error", text));
  exit(1);
}
