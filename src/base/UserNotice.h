#pragma once

#include <string>

namespace mx40d {

// What the core asks of the operator's screen: a modal message box with an OK button, and
// a turn of the event loop while a blocking wait runs. The GUI shows a message box and
// processes pending events; tests record the boxes and advance the fake clock and the
// simulated machines.
class UserNotice {
  public:
    virtual ~UserNotice() = default;
    // Captions in use: "Message", "Error", "ERROR !" and "DATABASE".
    virtual void showMessage(const std::string& caption, const std::string& text) = 0;
    virtual void processPendingEvents() = 0;
};

}  // namespace mx40d
