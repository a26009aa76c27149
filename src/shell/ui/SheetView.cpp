#include "shell/ui/SheetView.h"

#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

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
        summary_ = new QLabel(page_);
        summary_->setObjectName("SheetSummary");
        summary_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
    delete page_.data();
    page_ = nullptr;
    summary_ = nullptr;
    built_ = false;
}

void SheetView::buildPanel(const MachineInfo& info, MachineRequests&, const std::filesystem::path&,
                           const std::filesystem::path&) {
    info_ = info;
    built_ = true;
    if (page_ == nullptr) return;
    const int index = pages_->indexOf(page_);
    if (index >= 0) pages_->setTabText(index, fromLatin1(MachineTable::displayName(info)));
    refresh();
}

void SheetView::setMachineStatus(const std::array<std::uint8_t, kMachineStatusSize>& status) {
    const int job = status[wire::status::kJobCode];
    if (job == jobCode_) return;
    jobCode_ = job;
    refresh();
}

void SheetView::appendLogRecord(const std::uint8_t*) {
    ++records_;
    refresh();
}

void SheetView::refresh() {
    if (summary_ == nullptr || !built_) return;
    const MachineInfo& info = live_ != nullptr ? *live_ : info_;
    summary_->setText(fromLatin1(sheetSummary(info, jobCode_, jobCode_ >= 0, records_)));
}

}  // namespace mx40d::ui
