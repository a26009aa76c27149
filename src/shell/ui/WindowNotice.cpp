#include "shell/ui/WindowNotice.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

namespace mx40d::ui {

WindowNotice::BoxSeam& WindowNotice::showBox() {
    static BoxSeam seam = [](QWidget* parent, const std::string& caption, const std::string& text) {
        QMessageBox box(QMessageBox::NoIcon, fromLatin1(caption), fromLatin1(text), QMessageBox::Ok,
                        parent);
        box.exec();
    };
    return seam;
}

void WindowNotice::showMessage(const std::string& caption, const std::string& text) {
    showBox()(parent_, caption, text);
}

void WindowNotice::processPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace mx40d::ui
