#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace mx40d::ui {

// What a file dialog is asked to be; tests see it and answer instead of a person.
struct SaveFileRequest {
    QString caption;
    QString defaultSuffix;  // "xml", "txt", ...
    QString filter;         // "XML files (*.xml)"
    bool confirmOverwrite = true;
    bool pathMustExist = true;
    bool resizable = true;
};

// The seams through which every modal dialog of the machine windows is shown: the real ones
// run the dialog; tests set their own and answer at once.
struct DialogSeams {
    // Shows `dialog` modally and returns its result.
    static std::function<int(QDialog*)>& exec();
    // Asks for a file to save to; empty when the operator cancels.
    static std::function<QString(QWidget*, const SaveFileRequest&)>& saveFile();
};

// The nickname dialog (unit Form_changenickname), made once and shared by every machine.
class TForm_nickname : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kOk = 1;
    static constexpr int kCancel = 3;
    static constexpr int kMaxLength = 50;

    static TForm_nickname& shared();
    explicit TForm_nickname(QWidget* parent = nullptr);

    // Shows the dialog with `name` in the edit; true and the new name on OK.
    bool ask(std::string& name);
    QLineEdit* Edit_nickname = nullptr;
};

// The settings dialog (unit Form_setting), made once and shared: the machine's name and the
// file that receives the test report. It has no OK or Cancel: every change made in it counts.
class TFormSetting : public QDialog {
    Q_OBJECT

  public:
    static TFormSetting& shared();
    explicit TFormSetting(QWidget* parent = nullptr);

    // The caller's buffers (at most 255 characters each), used while the dialog is shown.
    void setNicknameBuffer(std::string* buffer) { nickname_ = buffer; }
    void setOutputFileBuffer(std::string* buffer);
    void show(std::string& nickname, std::string& outputFile);

  public slots:
    void Button_changeMachineNameClick();
    void Button_selectOutputDirectoryClick();
    void Button_exitClick();

  private:
    std::string* nickname_ = nullptr;
    std::string* outputFile_ = nullptr;
    QLabel* Label_outputDirectory = nullptr;
};

}  // namespace mx40d::ui
