#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "status/ProgressWindow.h"
#include "status/ProgressWindowIds.h"
#include "support/Log.h"

namespace {
constexpr UINT kShowError = WM_APP;
constexpr UINT kAllowClose = WM_APP + 1;
constexpr int kStatusLine = -1;

HWND window(DialogHandle dialog) { return static_cast<HWND>(dialog); }

[[noreturn]] void showErrorAndExit(HWND owner, const char* text) {
  MessageBoxA(owner, text, "Error", MB_ICONERROR | MB_OK);
  exit(1);
}

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      // Only the enabled Close button closes; Enter and Esc do nothing.
      if (LOWORD(wParam) == IDC_CLOSE && HIWORD(wParam) == BN_CLICKED) DestroyWindow(dialog);
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return TRUE;
    case kShowError:
      showErrorAndExit(dialog, reinterpret_cast<const char*>(lParam));
    case kAllowClose:
      EnableWindow(GetDlgItem(dialog, IDC_CLOSE), TRUE);
      return TRUE;
    default:
      return FALSE;
  }
}
}  // namespace

void ProgressWindow::openDisplay() {}

void ProgressWindow::closeDisplay() {}

uint32_t ProgressWindow::run() {
  InitCommonControls();
  HINSTANCE instance = GetModuleHandleA(nullptr);
  LPARAM self = reinterpret_cast<LPARAM>(this);
  HWND created;
  if (hasNotice()) {
    created = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS_NOTICE), nullptr, dialogProcedure, self);
    if (created != nullptr) SendMessageA(GetDlgItem(created, IDC_NOTICE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(noticeText.c_str()));
  } else {
    created = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, dialogProcedure, self);
  }
  if (created == nullptr) {
    // The thread ends without the signal; statusChanged sees that and goes on.
    logPrintf("%s\n", systemErrorText().c_str());
    return 0;
  }
  dialog = created;
  HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_UPDATER));
  SetClassLongPtrA(created, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
  // Never released: the signal stays up for as long as the thread lives.
  dialogUp.lock();
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(created, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

void ProgressWindow::showRange(int32_t total) {
  SendMessageA(GetDlgItem(window(dialog), IDC_PROGRESS_BAR), PBM_SETRANGE, 0, MAKELPARAM(0, total));
}

void ProgressWindow::showPosition(int32_t position) {
  SendMessageA(GetDlgItem(window(dialog), IDC_PROGRESS_BAR), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void ProgressWindow::showText(const std::string& text) {
  SendMessageA(GetDlgItem(window(dialog), kStatusLine), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ProgressWindow::allowClose() { SendMessageA(window(dialog), kAllowClose, 0, 0); }

void ProgressWindow::closeWindow() { SendMessageA(window(dialog), WM_CLOSE, 0, 0); }

void ProgressWindow::endInterface() {
  // Posted to the window, not to the thread: a modal loop (the user moving the
  // window) would swallow a thread message. A window already gone ignores it.
  if (waitForWindow()) PostMessageA(window(dialog), WM_CLOSE, 0, 0);
}

void ProgressWindow::showError(const std::string& text, bool windowUp) {
  // The dialog procedure ends the program; the send returns only when the
  // window went away meanwhile, and then the box is shown without it.
  if (windowUp) SendMessageA(window(dialog), kShowError, 0, reinterpret_cast<LPARAM>(text.c_str()));
  showErrorAndExit(nullptr, text.c_str());
}
