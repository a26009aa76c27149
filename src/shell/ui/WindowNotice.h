#pragma once

#include <functional>
#include <string>

#include "base/UserNotice.h"
#include "machine_ui/ui/Latin1.h"

#include <QString>

class QWidget;

namespace mx40d::ui {

// The operator's message boxes: modal, one OK button, the caption given; "process pending
// events" turns the Qt event loop. Tests answer the box through `showBox`.
class WindowNotice final : public UserNotice {
  public:
    using BoxSeam =
        std::function<void(QWidget* parent, const std::string& caption, const std::string& text)>;
    // The box every notice shows; replaced by tests.
    static BoxSeam& showBox();

    explicit WindowNotice(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void showMessage(const std::string& caption, const std::string& text) override;
    void processPendingEvents() override;

  private:
    QWidget* parent_;
};

}  // namespace mx40d::ui
