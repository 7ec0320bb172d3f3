// The machine description that analytics events carry, one text per value. The system inventory
// implements it (computing each value on first use and keeping it); tests give fixed texts.
// Getters may be called from any thread.
#ifndef TELEMETRY_SYSTEM_DESCRIPTION_H
#define TELEMETRY_SYSTEM_DESCRIPTION_H

#include <string>

class SystemDescription {
 public:
  virtual ~SystemDescription() = default;
  virtual std::wstring UserId() = 0;
  virtual std::wstring OperatingSystem() = 0;
  virtual std::wstring InternetExplorerVersion() = 0;
  virtual std::wstring ScreenSize() = 0;
  virtual std::wstring Language() = 0;
  virtual std::wstring FlashVersion() = 0;
  virtual std::wstring DotNetVersion() = 0;
  virtual std::wstring Memory() = 0;
  virtual std::wstring ProcessorCount() = 0;
  virtual std::wstring CoresPerProcessor() = 0;
  virtual std::wstring ProcessorClock() = 0;
  virtual std::wstring GraphicsCard() = 0;
  virtual std::wstring GraphicsMemory() = 0;
  // The download service client's GUID, "unknown" until the client start-up has stored it.
  virtual std::wstring ClientGuid() = 0;
};

#endif
