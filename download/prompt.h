// A modal message box as the job describes it: icon, up to three coloured buttons, message,
// optional title, and which window owns it.
#ifndef DOWNLOAD_PROMPT_H
#define DOWNLOAD_PROMPT_H

#include <stdint.h>

#include <array>
#include <string>

// Values are the message box's icon kinds.
enum class PromptIcon : int32_t { None = 0, Warning = 1, Success = 2, Error = 3 };

// Values are the message box's button types; Hidden leaves the button out.
enum class ButtonColour : int32_t { Hidden = 0, Red = 1, Green = 2, Grey = 3 };

enum class PromptOwner {
  MainWindow,    // the job's main window
  ActiveWindow,  // whichever window is active when the prompt opens
};

struct PromptButton {
  ButtonColour colour = ButtonColour::Hidden;
  std::wstring text;
};

struct Prompt {
  PromptIcon icon = PromptIcon::None;
  std::array<PromptButton, 3> buttons;  // buttons 1, 2, 3; a hidden one keeps the others' numbers
  std::wstring message;
  std::wstring title;  // empty: no title
  PromptOwner owner = PromptOwner::MainWindow;
};

// What ShowPrompt returns: the pressed button's number, or that the box was closed.
constexpr int32_t kPromptClosed = 0;
constexpr int32_t kPromptButton1 = 1;
constexpr int32_t kPromptButton2 = 2;
constexpr int32_t kPromptButton3 = 3;

#endif
