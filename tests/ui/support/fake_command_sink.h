// A command sink that records what the main window passes on, in order.
#ifndef TESTS_UI_SUPPORT_FAKE_COMMAND_SINK_H
#define TESTS_UI_SUPPORT_FAKE_COMMAND_SINK_H

#include <string>
#include <vector>

#include "ui/command_sink.h"

class FakeCommandSink : public MainWindowCommandSink {
 public:
  void OnPauseCommand() override { received.push_back("pause"); }
  void OnResumeCommand() override { received.push_back("resume"); }
  void OnCloseCommand() override { received.push_back("close"); }
  void OnMinimiseCommand() override { received.push_back("minimise"); }
  void OnRestoreCommand() override { received.push_back("restore"); }
  void OnTogglePauseCommand() override { received.push_back("toggle"); }
  void OnProgressTimer() override { received.push_back("progress-tick"); }
  void OnRetryTimer() override { received.push_back("retry-tick"); }
  void OnVerifyTimer() override { received.push_back("verify-tick"); }
  void OnSessionEnding() override { received.push_back("session-ending"); }
  void OnSpeedCommand(int id) override { received.push_back("speed " + std::to_string(id)); }
  int CurrentJobState() override { return jobState; }
  SpeedMenuState CurrentSpeedMenu() override { return speed; }

  int Count(const std::string& what) const {
    int count = 0;
    for (const std::string& entry : received) count += entry == what ? 1 : 0;
    return count;
  }

  std::vector<std::string> received;
  int jobState = 0;
  SpeedMenuState speed;
};

#endif
