// The machine panel and its dialogs under the offscreen platform; dialogs answered through
// their seams.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QVBoxLayout>

#include "machine_ui/ui/Dialogs.h"
#include "machine_ui/ui/Form_machinehdd.h"
#include "reports/LogDatabase.h"
#include "support/Fixtures.h"

using namespace mx40d;
using namespace mx40d::testing;
using namespace mx40d::ui;

namespace {

struct Requests : MachineRequests {
    std::vector<std::string> calls;
    void requestJob(JobRequest r) override {
        calls.push_back(std::string("job ") + static_cast<char>(r));
    }
    void setNickname(const std::string& t) override { calls.push_back("nickname " + t); }
};

class Panel : public ::testing::Test {
  protected:
    void SetUp() override {
        sheet.setLayout(new QVBoxLayout);
        info.setDeviceType(kDuplicatorKind);
        info.setMachineId("M-1");
        info.setModelName("MX-4000");
        info.setNickName("Bay 1");
        info.setMaxDeviceQty(8);
        info.setFeatureFlag(1, 1);
        info.set_support_LogRecord(1);
    }
    void TearDown() override {
        DialogSeams::exec() = realExec;
        DialogSeams::saveFile() = realSaveFile;
    }
    std::function<int(QDialog*)> realExec = DialogSeams::exec();
    std::function<QString(QWidget*, const SaveFileRequest&)> realSaveFile = DialogSeams::saveFile();
    MachinePanel& build() {
        panel =
            std::make_unique<MachinePanel>(&sheet, [this](const std::string& c) { caption = c; });
        panel->buildPanel(info, requests, dir.root() / "M-1.MX40D.LOGDATA", dir.root());
        return *panel;
    }
    QPushButton* button(const char* name) { return panel->findChild<QPushButton*>(name); }
    std::string shown() const { return panel->controls().shownButtons(); }

    TempFolder dir;
    QWidget sheet;
    MachineInfo info;
    Requests requests;
    std::string caption;
    std::unique_ptr<MachinePanel> panel;
};

}  // namespace

TEST_F(Panel, ControlsAsTheMachineAsksForThem) {
    build();
    EXPECT_EQ(caption, "Bay 1");
    for (const char* name : {"jobBox", "portGrid", "upperPanel", "headerPanel", "logPanel",
                             "logHeaderPanel", "logArea", "splitter"})
        EXPECT_NE(panel->findChild<QWidget*>(name), nullptr) << name;
    for (const char* name : {"Copy", "Compare", "Copy+Compare", "Get ID", "Next RUN", "Finish",
                             "Setting", "STOP", "Generate Log Report"})
        EXPECT_NE(button(name), nullptr) << name;
    EXPECT_EQ(button("Change Machine Name"), nullptr);
    EXPECT_EQ(button("Copy")->geometry(), QRect(470, 6, 150, 30));
    EXPECT_EQ(button("Get ID")->geometry(), QRect(980, 6, 150, 30));
    EXPECT_EQ(button("Setting")->geometry(), QRect(1180, 6, 100, 30));
    EXPECT_EQ(button("Generate Log Report")->geometry(), QRect(200, 0, 250, 34));
    EXPECT_EQ(panel->findChild<QLineEdit*>("jobBox")->geometry(), QRect(0, 6, 450, 30));
    auto* grid = panel->findChild<QTableWidget*>("portGrid");
    EXPECT_EQ(grid->rowCount(), 8);
    EXPECT_EQ(grid->horizontalHeaderItem(3)->text(), QStringLiteral("Speed(MB/S)"));
    EXPECT_EQ(grid->item(7, 0)->text(), QStringLiteral(" 08"));
    EXPECT_EQ(grid->columnWidth(7), 375);
    EXPECT_EQ(shown(), "Copy|Compare|Copy+Compare|Get ID|Setting|Generate Log Report");
}

TEST_F(Panel, AnEraserShowsOnlyItsLogAndAMachineWithoutALogHasNoLogArea) {
    info.setDeviceType(kEraserKind);
    info.setFeatureFlag(1, 0);
    build();
    EXPECT_TRUE(panel->findChild<QWidget*>("upperPanel")->isHidden());
    EXPECT_NE(panel->findChild<QWidget*>("logArea"), nullptr);
    EXPECT_NE(button("Change Machine Name"), nullptr);
    EXPECT_EQ(button("Copy"), nullptr);

    info.setDeviceType(kDuplicatorKind);
    info.set_support_LogRecord(0);
    build();
    EXPECT_EQ(panel->findChild<QWidget*>("logPanel"), nullptr);
    EXPECT_EQ(panel->findChild<QWidget*>("logArea"), nullptr);
    EXPECT_EQ(panel->findChild<QWidget*>("splitter"), nullptr);
    EXPECT_EQ(button("Generate Log Report"), nullptr);
    EXPECT_FALSE(panel->findChild<QWidget*>("upperPanel")->isHidden());  // fills the page
}

TEST_F(Panel, ButtonsRaiseRequestsAndFollowTheMachine) {
    build();
    QTest::mouseClick(button("Copy"), Qt::LeftButton);
    EXPECT_EQ(requests.calls, std::vector<std::string>{"job 1"});
    EXPECT_EQ(shown(), "Copy|Compare|Copy+Compare|Get ID|Setting|Generate Log Report");
    // The machine reports the job: running, then waiting at stage 4.
    panel->setIdle(false);
    panel->showJob(kJobCopy, 0);
    EXPECT_EQ(panel->findChild<QLineEdit*>("jobBox")->text(), QStringLiteral("COPY"));
    EXPECT_EQ(shown(), "STOP");
    EXPECT_FALSE(button("Generate Log Report")->isEnabled());
    panel->showJob(kJobCopy, 4);
    EXPECT_EQ(shown(), "Next RUN|Finish");
    // "Finish" hides Finish and Next RUN and shows STOP before the machine answers.
    QTest::mouseClick(button("Finish"), Qt::LeftButton);
    EXPECT_EQ(shown(), "STOP");
    EXPECT_EQ(requests.calls.back(), "job A");
    // "GET ID": STOP at the start, gone at its first stage change.
    panel->showJob(kJobIdle, 0);
    panel->setIdle(true);
    panel->showJob(kJobGetId, 0);
    panel->setIdle(false);
    EXPECT_EQ(shown(), "STOP");
    panel->showJob(kJobGetId, 2);
    EXPECT_EQ(shown(), "");
    EXPECT_TRUE(button("STOP")->isHidden());
}

TEST_F(Panel, NicknameAndSettingsExchanges) {
    info.setFeatureFlag(1, 0);  // the single button "Change Machine Name"
    build();
    // OK without a change still sends the nickname.
    DialogSeams::exec() = [](QDialog* d) { return d == &TForm_nickname::shared() ? 1 : 0; };
    QTest::mouseClick(button("Change Machine Name"), Qt::LeftButton);
    EXPECT_EQ(requests.calls, std::vector<std::string>{"nickname Bay 1"});
    // Cancel changes nothing.
    DialogSeams::exec() = [](QDialog* d) {
        static_cast<TForm_nickname*>(d)->Edit_nickname->setText(QStringLiteral("Other"));
        return TForm_nickname::kCancel;
    };
    QTest::mouseClick(button("Change Machine Name"), Qt::LeftButton);
    EXPECT_EQ(requests.calls.size(), 1u);
    // The edit refuses a 51st character.
    QLineEdit* edit = TForm_nickname::shared().Edit_nickname;
    edit->clear();
    QTest::keyClicks(edit, QString(51, QLatin1Char('x')));
    EXPECT_EQ(edit->text().size(), 50);
    // A rename to an empty text leaves an empty caption.
    DialogSeams::exec() = [](QDialog* d) {
        static_cast<TForm_nickname*>(d)->Edit_nickname->clear();
        return TForm_nickname::kOk;
    };
    panel->nicknameExchange();
    EXPECT_EQ(caption, "");
    EXPECT_EQ(requests.calls.back(), "nickname ");

    // The settings dialog closed without a change sends nothing; "No Output" is shown.
    requests.calls.clear();
    QString label;
    DialogSeams::exec() = [&](QDialog* d) {
        label = d->findChild<QLabel*>("Label_outputDirectory")->text();
        return 0;
    };
    panel->settingsExchange();
    EXPECT_EQ(label, QStringLiteral("No Output"));
    EXPECT_TRUE(requests.calls.empty());
    // A file chosen and then "Exit": the file is kept; the dialog was asked for an XML file.
    SaveFileRequest asked;
    DialogSeams::saveFile() = [&](QWidget*, const SaveFileRequest& r) {
        asked = r;
        return QStringLiteral("/reports/test.xml");
    };
    DialogSeams::exec() = [](QDialog* d) {
        QTest::mouseClick(d->findChild<QPushButton*>("Button_selectOutputDirectory"),
                          Qt::LeftButton);
        QTest::mouseClick(d->findChild<QPushButton*>("Button_exit"), Qt::LeftButton);
        return 0;
    };
    panel->settingsExchange();
    EXPECT_EQ(panel->outputFile(), "/reports/test.xml");
    EXPECT_EQ(asked.defaultSuffix, QStringLiteral("xml"));
    EXPECT_EQ(asked.filter, QStringLiteral("XML files (*.xml)"));
    EXPECT_TRUE(asked.confirmOverwrite && asked.pathMustExist && asked.resizable);
    EXPECT_TRUE(requests.calls.empty());
    // A cancelled file dialog keeps the file.
    DialogSeams::saveFile() = [](QWidget*, const SaveFileRequest&) { return QString(); };
    panel->settingsExchange();
    EXPECT_EQ(panel->outputFile(), "/reports/test.xml");
    // The nickname changed in the settings dialog is sent once it closes.
    DialogSeams::exec() = [](QDialog* d) {
        if (d == &TForm_nickname::shared()) {
            TForm_nickname::shared().Edit_nickname->setText(QStringLiteral("Bay 9"));
            return 1;
        }
        QTest::mouseClick(d->findChild<QPushButton*>("Button_changeMachineName"), Qt::LeftButton);
        return 0;
    };
    panel->settingsExchange();
    EXPECT_EQ(requests.calls, std::vector<std::string>{"nickname Bay 9"});
    EXPECT_EQ(caption, "Bay 9");
    // The layout file keeps the output file for the next panel of this machine.
    panel.reset();
    EXPECT_EQ(readPanelLayout(dir.root() / "M-1.mx4d-2.par", "M-1").outputFile,
              "/reports/test.xml");
}

TEST_F(Panel, TheLogAreaListsEveryRecordAndFollowsTheEnd) {
    const auto db = dir.root() / "M-1.MX40D.LOGDATA";
    ASSERT_TRUE(create_LogDatabase(db));
    for (std::uint32_t n = 1; n <= 300; ++n) {
        LogRecord r(kDuplicatorKind);
        r.setIndexNo(n);
        r.setPortNo(2);
        ASSERT_EQ(append_LogRecord(db, r.data(), kLogRecordSize), DatabaseResult::Pass);
    }
    build();
    auto* area = panel->findChild<QListView*>("logArea");
    EXPECT_EQ(panel->logModel()->rowCount(), 300);
    EXPECT_EQ(panel->logModel()->line(0).substr(0, 8), "0000002 ");
    LogRecord next(kDuplicatorKind);
    next.setIndexNo(300);
    panel->appendLogRecord(next.data());
    EXPECT_EQ(panel->logModel()->rowCount(), 301);
    EXPECT_EQ(panel->logModel()->line(300).substr(0, 8), "0000301 ");
    // Lines can be selected and copied.
    area->selectionModel()->select(panel->logModel()->index(0), QItemSelectionModel::Select);
    area->selectionModel()->select(panel->logModel()->index(1), QItemSelectionModel::Select);
    area->setFocus();
    QTest::keySequence(area, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
              panel->logModel()->line(0) + "\n" + panel->logModel()->line(1));
    // The view follows the end when it was at the end.
    sheet.resize(800, 600);
    sheet.show();
    area->scrollToBottom();
    QApplication::processEvents();
    panel->appendLogRecord(next.data());
    QApplication::processEvents();
    EXPECT_EQ(area->verticalScrollBar()->value(), area->verticalScrollBar()->maximum());
    area->scrollToTop();
    panel->appendLogRecord(next.data());
    QApplication::processEvents();
    EXPECT_EQ(area->verticalScrollBar()->value(), 0);  // not when it was elsewhere
    sheet.hide();
    // An unreadable database is the single line "FAIL in Reading Log File !"; records copied
    // after it follow it.
    writeFile(db, "not a database");
    build();
    EXPECT_EQ(panel->logModel()->rowCount(), 1);
    EXPECT_EQ(panel->logModel()->line(0), "FAIL in Reading Log File !");
    panel->appendLogRecord(next.data());
    EXPECT_EQ(panel->logModel()->rowCount(), 2);
    EXPECT_EQ(panel->logModel()->line(1).substr(0, 8), "0000301 ");
}
