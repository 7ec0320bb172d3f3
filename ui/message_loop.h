// The main thread's message loop with its pre-translate filters and idle handlers.
#ifndef UI_MESSAGE_LOOP_H
#define UI_MESSAGE_LOOP_H

#include <windows.h>

#include <vector>

class CMessageFilter {
 public:
  // True when the message was handled and must not be translated and dispatched.
  virtual bool PreTranslateMessage(MSG* message) = 0;

 protected:
  ~CMessageFilter() = default;
};

class CIdleHandler {
 public:
  // True while the handler has more idle work to do.
  virtual bool OnIdle() = 0;

 protected:
  ~CIdleHandler() = default;
};

class CMessageLoop {
 public:
  bool AddMessageFilter(CMessageFilter* filter);
  bool RemoveMessageFilter(CMessageFilter* filter);
  bool AddIdleHandler(CIdleHandler* handler);
  bool RemoveIdleHandler(CIdleHandler* handler);
  void RemoveAll();

  // Pumps messages until the quit message arrives; returns its parameter.
  int Run();

  // Offers a message to the filters, last registered first.
  bool PreTranslateMessage(MSG* message);
  // Calls every idle handler once; true when any of them has more to do.
  bool OnIdle();

  // Whether a retrieved message is activity that re-arms the idle call: not a repeated mouse move
  // at the same position, a paint message or the system timer.
  static bool IsIdleMessage(const MSG& message, POINT* lastMousePosition);

 private:
  std::vector<CMessageFilter*> filters_;
  std::vector<CIdleHandler*> idleHandlers_;
};

#endif
