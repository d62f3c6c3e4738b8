#pragma once
// Running code elsewhere: at idle time on the main thread, on a background
// thread, a message box shown after the current event; and the one place
// where an error that reached an event handler is shown.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "core/IdleExecution.h"

class QMessageBox;

enum TMsgDlgType : std::uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : std::uint8_t {
  mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll,
  mbHelp, mbClose
};
using TMsgDlgButtons = std::uint16_t; // one bit per TMsgDlgBtn
constexpr TMsgDlgButtons Buttons(std::initializer_list<TMsgDlgBtn> list) {
  TMsgDlgButtons set = 0;
  for (auto button : list)
    set = static_cast<TMsgDlgButtons>(set | 1u << button);
  return set;
}

// The message-box style bits: icon, task-modal, button layout, default button.
std::uint32_t DialogStyle(TMsgDlgType type, TMsgDlgButtons buttons, TMsgDlgBtn defaultButton);
// The title shown: the given one, else the type's caption, else the application's.
std::string DialogTitle(TMsgDlgType type, const std::string &title);
// A message box laid out by those style bits (not shown).
QMessageBox *BuildMessageBox(const std::string &msg, const std::string &title,
                             std::uint32_t style);
// Shows the message box at idle time and hands the pressed button to result.
// Kept for helper components: the program's own messages go through ShowError.
void ShowDialog(const std::string &msg, TMsgDlgType type, const std::string &title,
                std::function<void(TMsgDlgBtn)> result, TMsgDlgBtn defaultButton,
                TMsgDlgButtons buttons);

// The standard error display: a message box with the error's text. Tests
// replace it to collect the messages.
void ShowError(const std::string &message);
void SetErrorDisplay(std::function<void(const std::string &)> display);
// Runs an event handler; an error it raises is shown, never passed on to Qt.
void Guarded(const std::function<void()> &handler);
