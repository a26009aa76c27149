#include "machine_ui/ui/Dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "machine_ui/Fonts.h"
#include "machine_ui/ui/Latin1.h"

namespace mx40d::ui {

namespace {
constexpr std::size_t kBufferMax = 255;

QFont designed(const char* family, int pixelHeight) {
    QFont f(QString::fromStdString(displayFont(family)));
    f.setPixelSize(pixelHeight);
    return f;
}
}  // namespace

std::function<int(QDialog*)>& DialogSeams::exec() {
    static std::function<int(QDialog*)> f = [](QDialog* d) { return d->exec(); };
    return f;
}

std::function<QString(QWidget*, const SaveFileRequest&)>& DialogSeams::saveFile() {
    static std::function<QString(QWidget*, const SaveFileRequest&)> f =
        [](QWidget* parent, const SaveFileRequest& r) {
            QFileDialog d(parent, r.caption);
            d.setAcceptMode(QFileDialog::AcceptSave);
            d.setFileMode(QFileDialog::AnyFile);
            d.setOption(QFileDialog::DontConfirmOverwrite, !r.confirmOverwrite);
            d.setDefaultSuffix(r.defaultSuffix);
            d.setNameFilter(r.filter);
            d.setSizeGripEnabled(r.resizable);
            if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return QString();
            const QString chosen = d.selectedFiles().first();
            if (r.pathMustExist && !QFileInfo(chosen).dir().exists()) return QString();
            return chosen;
        };
    return f;
}

TForm_nickname& TForm_nickname::shared() {
    static TForm_nickname* dialog = new TForm_nickname;
    return *dialog;
}

TForm_nickname::TForm_nickname(QWidget* parent) : QDialog(parent) {
    setObjectName("Form_nickname");
    setWindowTitle(QStringLiteral("Nickname"));
    setGeometry(445, 295, 560, 300);
    setFont(designed("Book Antiqua", 16));
    auto* label = new QLabel(QStringLiteral("Change Machine Name"), this);
    label->setObjectName("Label1");
    label->move(48, 32);
    label->adjustSize();
    Edit_nickname = new QLineEdit(this);
    Edit_nickname->setObjectName("Edit_nickname");
    Edit_nickname->setGeometry(48, 56, 433, 28);
    Edit_nickname->setMaxLength(kMaxLength);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("Button1");
    ok->setGeometry(184, 176, 121, 41);
    connect(ok, &QPushButton::clicked, this, [this] { done(kOk); });
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName("Button2");
    cancel->setGeometry(360, 176, 121, 41);
    connect(cancel, &QPushButton::clicked, this, [this] { done(kCancel); });
}

bool TForm_nickname::ask(std::string& name) {
    Edit_nickname->setText(fromLatin1(name));
    if (DialogSeams::exec()(this) != kOk) return false;
    name = toLatin1(Edit_nickname->text());
    return true;
}

TFormSetting& TFormSetting::shared() {
    static TFormSetting* dialog = new TFormSetting;
    return *dialog;
}

TFormSetting::TFormSetting(QWidget* parent) : QDialog(parent) {
    setObjectName("FormSetting");
    setWindowTitle(QStringLiteral("Setting"));
    setGeometry(390, 241, 624, 286);
    setFont(designed("Baskerville Old Face", 19));
    auto* change = new QPushButton(QStringLiteral("Change Machine Name"), this);
    change->setObjectName("Button_changeMachineName");
    change->setGeometry(32, 32, 225, 41);
    connect(change, &QPushButton::clicked, this, &TFormSetting::Button_changeMachineNameClick);
    auto* select = new QPushButton(QStringLiteral("Select Output Directory"), this);
    select->setObjectName("Button_selectOutputDirectory");
    select->setGeometry(32, 104, 225, 41);
    connect(select, &QPushButton::clicked, this, &TFormSetting::Button_selectOutputDirectoryClick);
    Label_outputDirectory = new QLabel(this);
    Label_outputDirectory->setObjectName("Label_outputDirectory");
    Label_outputDirectory->move(32, 152);
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setObjectName("Button_exit");
    exit->setGeometry(448, 192, 113, 41);
    connect(exit, &QPushButton::clicked, this, &TFormSetting::Button_exitClick);
}

void TFormSetting::setOutputFileBuffer(std::string* buffer) {
    outputFile_ = buffer;
    Label_outputDirectory->setText(
        buffer == nullptr || buffer->empty()
            ? QStringLiteral("No Output")
            : QFile::decodeName(
                  QByteArray(buffer->data(), static_cast<qsizetype>(buffer->size()))));
    Label_outputDirectory->adjustSize();
}

void TFormSetting::show(std::string& nickname, std::string& outputFile) {
    setNicknameBuffer(&nickname);
    setOutputFileBuffer(&outputFile);
    DialogSeams::exec()(this);
    nickname_ = nullptr;
    outputFile_ = nullptr;
}

void TFormSetting::Button_changeMachineNameClick() {
    if (nickname_ == nullptr) return;
    std::string name = *nickname_;
    if (TForm_nickname::shared().ask(name)) *nickname_ = name.substr(0, kBufferMax);
}

void TFormSetting::Button_selectOutputDirectoryClick() {
    SaveFileRequest r;
    r.caption = QStringLiteral("Test report file");
    r.defaultSuffix = QStringLiteral("xml");
    r.filter = QStringLiteral("XML files (*.xml)");
    const QString chosen = DialogSeams::saveFile()(this, r);
    if (chosen.isEmpty() || outputFile_ == nullptr) return;
    // A file name is kept as the file system spells it; one too long for the buffer is refused
    // rather than cut to another file's name.
    const QByteArray name = QFile::encodeName(chosen);
    if (static_cast<std::size_t>(name.size()) > kBufferMax) return;
    *outputFile_ = std::string(name.constData(), static_cast<std::size_t>(name.size()));
    Label_outputDirectory->setText(chosen);
    Label_outputDirectory->adjustSize();
}

void TFormSetting::Button_exitClick() {
    done(0);
}

}  // namespace mx40d::ui
