#include <windows.h>

#include <atomic>
#include <thread>

#include "tests/UserSession.h"

namespace testing_support {

namespace {
const int kCloseButton = 1005;

std::string windowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The texts of a window's static controls, in order.
BOOL CALLBACK collectStatic(HWND child, LPARAM parameter) {
  char className[32] = "";
  GetClassNameA(child, className, sizeof className);
  if (lstrcmpiA(className, "Static") == 0) {
    std::string text = windowText(child);
    if (!text.empty()) reinterpret_cast<std::vector<std::string>*>(parameter)->push_back(text);
  }
  return TRUE;
}

struct Watch {
  UserSession* session;
  HWND errorBox = nullptr;
  HWND progress = nullptr;
};

BOOL CALLBACK findWindows(HWND window, LPARAM parameter) {
  Watch* watch = reinterpret_cast<Watch*>(parameter);
  if (!IsWindowVisible(window)) return TRUE;
  std::string title = windowText(window);
  if (title == "Error") watch->errorBox = window;
  if (title == "Updater") watch->progress = window;
  return TRUE;
}

// Watches the desktop while the program runs and answers its windows.
void actAsPlayer(UserSession* session, std::atomic<bool>* running) {
  HWND closed = nullptr;
  while (*running) {
    Watch watch{session};
    EnumWindows(findWindows, reinterpret_cast<LPARAM>(&watch));
    if (watch.errorBox != nullptr) {
      std::vector<std::string> texts;
      EnumChildWindows(watch.errorBox, collectStatic, reinterpret_cast<LPARAM>(&texts));
      session->errorBoxes.push_back(texts.empty() ? std::string() : texts.back());
      PostMessageA(watch.errorBox, WM_COMMAND, IDOK, 0);
      Sleep(200);
      continue;
    }
    if (watch.progress != nullptr) {
      // The status line is the dialog's first static control.
      std::vector<std::string> statics;
      EnumChildWindows(watch.progress, collectStatic, reinterpret_cast<LPARAM>(&statics));
      std::string status = statics.empty() ? std::string() : statics.front();
      if (!status.empty() && (session->statusTexts.empty() || session->statusTexts.back() != status))
        session->statusTexts.push_back(status);
      HWND close = GetDlgItem(watch.progress, kCloseButton);
      if (close != nullptr && IsWindowEnabled(close) && watch.progress != closed) {
        closed = watch.progress;
        session->pressedClose = true;
        PostMessageA(watch.progress, WM_COMMAND, MAKEWPARAM(kCloseButton, BN_CLICKED),
                     reinterpret_cast<LPARAM>(close));
      }
    }
    Sleep(20);
  }
}
}  // namespace

Player::Player() : running(true), watcher(actAsPlayer, &session, &running) {}

Player::~Player() { finish(); }

UserSession Player::finish() {
  running = false;
  if (watcher.joinable()) watcher.join();
  return session;
}

UserSession runAsPlayer(const std::string& program, const std::string& directory, unsigned timeoutSeconds) {
  Player player;
  ProcessResult process = runProgram(program, directory, timeoutSeconds);
  UserSession session = player.finish();
  session.process = process;
  return session;
}

}  // namespace testing_support
