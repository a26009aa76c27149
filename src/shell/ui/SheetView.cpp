#include "shell/ui/SheetView.h"

#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include "machine_ui/ui/Form_machinehdd.h"
#include "protocol/WireLayout.h"
#include "shell/MachineTable.h"
#include "shell/MonitorCore.h"
#include "shell/ui/WindowNotice.h"

namespace mx40d::ui {

SheetView::~SheetView() {
    delete page_.data();
}

void SheetView::openSheet(const std::string& caption) {
    if (page_ == nullptr) {
        page_ = new QWidget;
        page_->setObjectName("TabSheet");
        auto* layout = new QVBoxLayout(page_);
        layout->setContentsMargins(0, 0, 0, 0);
        summary_ = new QLabel(page_);
        summary_->setObjectName("SheetSummary");
        summary_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        summary_->setMargin(10);
        layout->addWidget(summary_);
        pages_->addTab(page_, fromLatin1(caption));
    }
    built_ = false;
    jobCode_ = -1;
    records_ = 0;
    summary_->setText(QStringLiteral("Link..."));
    pages_->setCurrentWidget(page_);
}

void SheetView::closeSheet() {
    if (page_ == nullptr) return;
    const int index = pages_->indexOf(page_);
    if (index >= 0) pages_->removeTab(index);
    delete page_.data();  // the panel with it, which writes its layout file
    page_ = nullptr;
    summary_ = nullptr;
    panel_ = nullptr;
    built_ = false;
}

void SheetView::buildPanel(const MachineInfo& info, MachineRequests& requests,
                           const std::filesystem::path& logDatabasePath,
                           const std::filesystem::path& logDirectory) {
    info_ = info;
    built_ = true;
    if (page_ == nullptr) return;
    summary_->hide();
    delete panel_;
    panel_ = new MachinePanel(page_, [this](const std::string& caption) {
        const int index = pages_->indexOf(page_);
        if (index >= 0) pages_->setTabText(index, fromLatin1(caption));
    });
    panel_->buildPanel(info, requests, logDatabasePath, logDirectory);
    panel_->show();  // now, not at the next turn of the event loop
}

void SheetView::setMachineStatus(const std::array<std::uint8_t, kMachineStatusSize>& status) {
    if (panel_ != nullptr) panel_->setMachineStatus(status);
    const int job = status[wire::status::kJobCode];
    if (job == jobCode_) return;
    jobCode_ = job;
    refresh();
}

void SheetView::applyDeviceBlock(int jobCode, const DeviceBlockEvent& block) {
    if (panel_ != nullptr) panel_->applyDeviceBlock(jobCode, block);
}

void SheetView::clearPortTable() {
    if (panel_ != nullptr) panel_->clearPortTable();
}

void SheetView::showJob(int jobCode, int jobStage) {
    if (panel_ != nullptr) panel_->showJob(jobCode, jobStage);
}

void SheetView::setIdle(bool idle) {
    if (panel_ != nullptr) panel_->setIdle(idle);
}

void SheetView::writeTestReport() {
    if (panel_ != nullptr) panel_->writeTestReport();
}

void SheetView::appendLogRecord(const std::uint8_t* record) {
    if (panel_ != nullptr) panel_->appendLogRecord(record);
    ++records_;
    refresh();
}

void SheetView::refresh() {
    if (summary_ == nullptr || !built_ || panel_ != nullptr) return;
    const MachineInfo& info = live_ != nullptr ? *live_ : info_;
    summary_->setText(fromLatin1(sheetSummary(info, jobCode_, jobCode_ >= 0, records_)));
}

}  // namespace mx40d::ui
