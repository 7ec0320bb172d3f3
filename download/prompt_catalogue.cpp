#include "download/prompt_catalogue.h"

#include "telemetry/display_formats.h"

const wchar_t kNotEnoughDiskSpaceMessage[] = L"Your computer doesn't have enough disk space to download this game.";

namespace {

Prompt errorPrompt(const std::wstring& message, PromptOwner owner, PromptButton first, PromptButton second = {},
                   PromptButton third = {}) {
  Prompt prompt;
  prompt.icon = PromptIcon::Error;
  prompt.buttons = {first, second, third};
  prompt.message = message;
  prompt.owner = owner;
  return prompt;
}

}  // namespace

Prompt ErrorNoticePrompt(const std::wstring& message) {
  return errorPrompt(message, PromptOwner::MainWindow, {ButtonColour::Grey, L"OK"});
}

Prompt DiskSpacePrompt(const std::wstring& message) {
  return errorPrompt(message, PromptOwner::MainWindow, {ButtonColour::Green, L"Retry"},
                     {ButtonColour::Grey, L"Cancel"});
}

Prompt FatalPollErrorPrompt(const std::wstring& message) {
  Prompt prompt = errorPrompt(message, PromptOwner::MainWindow, {ButtonColour::Grey, L"OK"});
  prompt.title = L"ERROR!";
  return prompt;
}

Prompt QuitPrompt() {
  return errorPrompt(L"Are you sure you want to quit?", PromptOwner::ActiveWindow, {ButtonColour::Grey, L"Yes"},
                     {ButtonColour::Green, L"No"});
}

Prompt StopPrompt(bool withPause) {
  PromptButton pause;
  if (withPause) pause = {ButtonColour::Grey, L"Pause"};
  return errorPrompt(L"Are you sure you want to stop your download?", PromptOwner::ActiveWindow,
                     {ButtonColour::Red, L"Stop"}, pause, {ButtonColour::Green, L"Continue"});
}

Prompt SaveProgressPrompt() {
  return errorPrompt(L"Would you like to save your download progress?", PromptOwner::ActiveWindow,
                     {ButtonColour::Grey, L"Yes"}, {ButtonColour::Grey, L"No"}, {ButtonColour::Green, L"Cancel"});
}

Prompt DownloadSuccessPrompt() {
  Prompt prompt;
  prompt.icon = PromptIcon::Success;
  prompt.buttons[0] = {ButtonColour::Green, L"OK"};
  prompt.message = L"Download successful. Please install the application.";
  return prompt;
}

std::wstring StartupDiskSpaceMessage(uint64_t bytesNeeded) {
  return std::wstring(kNotEnoughDiskSpaceMessage) + L" Please make sure you have at least " +
         FormatSizeCompact(bytesNeeded) + L" free to continue.";
}
