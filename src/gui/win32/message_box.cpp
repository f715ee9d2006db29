#include "gui/win32/message_box.h"

#include "gui/win32/dialog_parts.h"
#include "gui/win32/handles.h"

#include <algorithm>
#include <vector>

namespace vx::gui {

namespace {

constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;
constexpr int kMaxTextWidth = 500;

struct BoxState {
  const TMessageBox* box;
  const std::function<void()>* help;
  HFONT font;
};

struct ButtonSpec {
  int id;
  const char* caption;
};

std::vector<ButtonSpec> ButtonsOf(TMessageButtons buttons) {
  switch (buttons) {
    case mbOK:
      return {{IDOK, "OK"}};
    case mbOKHelp:
      return {{IDOK, "OK"}, {IDHELP, "&Help"}};
    case mbYesNo:
      return {{IDYES, "&Yes"}, {IDNO, "&No"}};
    case mbOKCancel:
      return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case mbRetryCancel:
      return {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
  }
  return {{IDOK, "OK"}};
}

LPCSTR IconOf(TMessageKind kind) {
  switch (kind) {
    case mkError:
      return IDI_HAND;
    case mkWarning:
      return IDI_EXCLAMATION;
    case mkInformation:
      return IDI_ASTERISK;
    case mkConfirmation:
      return IDI_QUESTION;
  }
  return IDI_ASTERISK;
}

void Layout(HWND dialog, const BoxState& state) {
  const TMessageBox& box = *state.box;
  SetWindowTextA(dialog, MessageCaption(box.Kind));

  RECT text_rect{0, 0, kMaxTextWidth, 0};
  {
    WindowDc dc(dialog);
    SelectedObject font(dc.get(), state.font);
    DrawTextA(dc.get(), box.Text.c_str(), static_cast<int>(box.Text.size()), &text_rect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  }

  const std::vector<ButtonSpec> buttons = ButtonsOf(box.Buttons);
  const int buttons_width =
      static_cast<int>(buttons.size()) * (kButtonWidth + kButtonGap) - kButtonGap;
  const int text_left = kMargin + kIconSize + kMargin;
  const int text_width = static_cast<int>(text_rect.right);
  const int text_height = std::max(static_cast<int>(text_rect.bottom), kIconSize);
  const int client_width = std::max(text_left + text_width + kMargin, buttons_width + 2 * kMargin);
  const int buttons_top = kMargin + text_height + kMargin;
  const int client_height = buttons_top + kButtonHeight + kMargin;

  HWND icon = AddDialogChild(dialog, "STATIC", "", SS_ICON, 0, kMessageIconId, kMargin, kMargin,
                             kIconSize, kIconSize, state.font);
  SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IconOf(box.Kind))),
               0);
  AddDialogChild(dialog, "STATIC", box.Text.c_str(), SS_LEFT | SS_NOPREFIX, 0, kMessageTextId,
                 text_left, kMargin, text_width, text_height, state.font);
  int left = (client_width - buttons_width) / 2;
  for (size_t i = 0; i < buttons.size(); ++i) {
    const DWORD style = WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON | WS_GROUP : BS_PUSHBUTTON);
    AddDialogChild(dialog, "BUTTON", buttons[i].caption, style, 0, buttons[i].id, left, buttons_top,
                   kButtonWidth, kButtonHeight, state.font);
    left += kButtonWidth + kButtonGap;
  }
  SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(buttons[0].id), 0);
  if (box.Buttons == mbYesNo) {
    // A question has to be answered: no closing it any other way.
    EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  }

  RECT frame{0, 0, client_width, client_height};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(dialog, HWND_TOP, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, 0);
  SetFocus(GetDlgItem(dialog, buttons[0].id));
}

INT_PTR CALLBACK BoxProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<BoxState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      Layout(dialog, *reinterpret_cast<BoxState*>(lparam));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (state == nullptr) break;
      switch (LOWORD(wparam)) {
        case IDOK:
          EndDialog(dialog, mrOK);
          return TRUE;
        case IDYES:
          EndDialog(dialog, mrYes);
          return TRUE;
        case IDNO:
          EndDialog(dialog, mrNo);
          return TRUE;
        case IDRETRY:
          EndDialog(dialog, mrRetry);
          return TRUE;
        case IDCANCEL:  // Escape or the close box
          if (state->box->Buttons == mbOKCancel || state->box->Buttons == mbRetryCancel) {
            EndDialog(dialog, mrCancel);
          } else if (state->box->Buttons != mbYesNo) {
            EndDialog(dialog, mrOK);
          }
          return TRUE;
        case IDHELP:
          if (*state->help) (*state->help)();
          return TRUE;
      }
      break;
    case WM_HELP:  // F1
      if (state != nullptr && state->box->Buttons == mbOKHelp && *state->help) (*state->help)();
      return TRUE;
  }
  return FALSE;
}

}  // namespace

const char* MessageCaption(TMessageKind kind) {
  switch (kind) {
    case mkError:
      return "Error";
    case mkWarning:
      return "Warning";
    case mkInformation:
      return "Information";
    case mkConfirmation:
      return "Confirm";
  }
  return "";
}

TModalResult ShowModalMessageBox(HWND owner, const TMessageBox& box,
                                 const std::function<void()>& help) {
  const UniqueFont font = CreateMessageFont();
  BoxState state{&box, &help,
                 font ? font.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))};
  std::vector<WORD> dialog_template = EmptyDialogTemplate();
  const INT_PTR result = DialogBoxIndirectParamA(
      GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(dialog_template.data()), owner,
      BoxProc, reinterpret_cast<LPARAM>(&state));
  switch (result) {
    case mrOK:
    case mrYes:
    case mrNo:
    case mrCancel:
    case mrRetry:
      return static_cast<TModalResult>(result);
  }
  return mrNone;
}

}  // namespace vx::gui
