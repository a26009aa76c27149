#include "machine_ui/ui/Form_machinehdd.h"

#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstring>

#include "base/MachineFiles.h"
#include "machine_ui/Fonts.h"
#include "machine_ui/ui/Dialogs.h"
#include "machine_ui/ui/Latin1.h"
#include "reports/LogDatabase.h"
#include "reports/ReportText.h"

namespace mx40d::ui {

namespace {

const QColor kSkyBlue(166, 202, 240);
const QColor kPassGreen(0, 128, 0);
const QColor kFailRed(255, 0, 0);
constexpr int kLogRecord = static_cast<int>(kLogRecordSize);

QFont designed(const char* family, int pointSize, bool bold = false) {
    QFont f(QString::fromStdString(displayFont(family)));
    f.setPointSize(pointSize);
    f.setBold(bold);
    return f;
}

void paint(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

}  // namespace

// ---- log area ----------------------------------------------------------------------------

int LogListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    // The failure line of an unreadable database comes first; records copied since follow.
    return static_cast<int>((failure_.empty() ? stored_.count() : 1) +
                            appended_.size() / kLogRecordSize);
}

std::string LogListModel::line(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    if (!failure_.empty() && row == 0) return failure_;
    const auto r = static_cast<std::size_t>(row);
    const std::size_t first = failure_.empty() ? stored_.count() : 1;
    const std::uint8_t* p =
        r < first ? stored_.record(r) : appended_.data() + (r - first) * kLogRecordSize;
    return format_LogListLine(LogRecord(kind_, p, kLogRecordSize));
}

QVariant LogListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return fromLatin1(line(index.row()));
}

bool LogListModel::load(const std::filesystem::path& database) {
    beginResetModel();
    appended_.clear();
    failure_.clear();
    if (stored_.map(database) != DatabaseResult::Pass) failure_ = "FAIL in Reading Log File !";
    endResetModel();
    return failure_.empty();
}

void LogListModel::append(const std::uint8_t* record) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    appended_.insert(appended_.end(), record, record + kLogRecordSize);
    endInsertRows();
}

// ---- the panel ---------------------------------------------------------------------------

MachinePanel::MachinePanel(QWidget* sheet, std::function<void(const std::string&)> setCaption)
    : QWidget(sheet), setCaption_(std::move(setCaption)) {
    setObjectName("MachinePanel");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (sheet != nullptr && sheet->layout() != nullptr) sheet->layout()->addWidget(this);
}

MachinePanel::~MachinePanel() {
    if (built_) writePanelLayoutFile();
}

void MachinePanel::buildPanel(const MachineInfo& info, MachineRequests& requests,
                              const std::filesystem::path& logDatabasePath,
                              const std::filesystem::path& logDirectory) {
    info_ = info;
    requests_ = &requests;
    logDatabasePath_ = logDatabasePath;
    logDirectory_ = logDirectory;
    layoutPath_ = machinefiles::panelLayout(logDirectory, info.machineId());
    layout_ = readPanelLayout(layoutPath_, info.machineId());
    outputFile_ = layout_.outputFile;
    const std::string nick = info.nickName();
    if (setCaption_) setCaption_(nick.empty() ? info.modelName() : nick);

    const bool jobControls = info.featureFlag(1) == 1;
    const bool logArea = info.support_LogRecord() == 1;
    controls_.build(jobControls, logArea);

    // A machine that keeps a log gets the splitter between its upper panel and its log area;
    // without a log the upper panel fills the page.
    QWidget* upperParent = this;
    if (logArea) {
        splitter_ = new QSplitter(Qt::Vertical, this);
        splitter_->setObjectName("splitter");
        splitter_->setChildrenCollapsible(false);
        splitter_->setStyleSheet(QStringLiteral("QSplitter::handle { background: black; }"));
        layout()->addWidget(splitter_);
        upperParent = splitter_;
        connect(splitter_, &QSplitter::splitterMoved, this,
                [this] { layout_.panelHeight = splitter_->sizes().value(0, layout_.panelHeight); });
    }

    // The upper panel: job box, job buttons, port grid.
    upperPanel_ = new QFrame(upperParent);
    if (!logArea) layout()->addWidget(upperPanel_);
    upperPanel_->setObjectName("upperPanel");
    upperPanel_->setFrameShape(QFrame::Box);
    upperPanel_->setLineWidth(1);
    paint(upperPanel_, kSkyBlue);
    auto* upper = new QVBoxLayout(upperPanel_);
    upper->setContentsMargins(10, 10, 10, 10);
    auto* header = new QWidget(upperPanel_);
    header->setObjectName("headerPanel");
    header->setFixedHeight(65);
    paint(header, kSkyBlue);
    upper->addWidget(header);
    jobBox_ = new QLineEdit(QStringLiteral(" "), header);
    jobBox_->setObjectName("jobBox");
    jobBox_->setGeometry(0, 6, 450, 30);
    jobBox_->setFont(designed("Book Antiqua", 24, true));
    {
        QPalette p = jobBox_->palette();
        p.setColor(QPalette::Text, QColor(0, 0, 255));
        jobBox_->setPalette(p);
    }
    jobBox_->setReadOnly(true);
    jobBox_->setFocusPolicy(Qt::NoFocus);
    // Each job button 20 pixels right of the control before it; "Setting" or "Change Machine
    // Name" 50 pixels right of the last one.
    const auto makeButton = [&](JobControls::Button b, int left, int width) {
        auto* button = new QPushButton(QString::fromLatin1(JobControls::caption(b)), header);
        button->setObjectName(QString::fromLatin1(JobControls::caption(b)));
        button->setGeometry(left, 6, width, 30);
        button->setFont(designed("Book Antiqua", 14));
        connect(button, &QPushButton::clicked, this, [this, b] { press(b); });
        buttons_[static_cast<std::size_t>(b)] = button;
        return button;
    };
    if (jobControls) {
        makeButton(JobControls::Copy, 470, 150);
        makeButton(JobControls::Compare, 640, 150);
        makeButton(JobControls::CopyCompare, 810, 150);
        makeButton(JobControls::GetId, 980, 150);
        makeButton(JobControls::NextRun, 470, 150);
        makeButton(JobControls::Finish, 640, 150);
        makeButton(JobControls::Setting, 1180, 100);
        QPushButton* stop = makeButton(JobControls::Stop, 470, 150);
        QFont f = designed("Book Antiqua", 16);
        stop->setFont(f);
        QPalette p = stop->palette();
        p.setColor(QPalette::ButtonText, QColor(255, 0, 0));
        stop->setPalette(p);
    } else {
        makeButton(JobControls::ChangeMachineName, 500, 250);
    }
    portGrid_ = new QTableWidget(upperPanel_);
    portGrid_->setObjectName("portGrid");
    portGrid_->setFocusPolicy(Qt::NoFocus);
    portGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    portGrid_->verticalHeader()->hide();
    portGrid_->verticalHeader()->setDefaultSectionSize(32);
    portGrid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    portGrid_->setFont(designed("Book Antiqua", 14));
    portGrid_->setShowGrid(true);
    upper->addWidget(portGrid_);
    if (info.deviceType() == kEraserKind) upperPanel_->hide();

    // The log area.
    if (logArea) {
        logPanel_ = new QFrame(splitter_);
        logPanel_->setObjectName("logPanel");
        logPanel_->setFrameShape(QFrame::Box);
        paint(logPanel_, kSkyBlue);
        auto* lower = new QVBoxLayout(logPanel_);
        lower->setContentsMargins(10, 10, 10, 10);
        auto* logHeader = new QWidget(logPanel_);
        logHeader->setObjectName("logHeaderPanel");
        logHeader->setFixedHeight(40);
        lower->addWidget(logHeader);
        auto* label = new QLabel(QStringLiteral("Log Data:"), logHeader);
        label->setObjectName("Log Data:");
        label->setFont(designed("Century Schoolbook", 16));
        label->move(0, 5);
        label->adjustSize();
        auto* generate = new QPushButton(QStringLiteral("Generate Log Report"), logHeader);
        generate->setObjectName("Generate Log Report");
        generate->setGeometry(200, 0, 250, 34);
        generate->setFont(designed("Century Schoolbook", 14));
        connect(generate, &QPushButton::clicked, this,
                [this] { press(JobControls::GenerateLogReport); });
        buttons_[JobControls::GenerateLogReport] = generate;
        logArea_ = new QListView(logPanel_);
        logArea_->setObjectName("logArea");
        logArea_->setUniformItemSizes(true);
        logArea_->setWordWrap(false);
        logArea_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        logArea_->setSelectionMode(QAbstractItemView::ExtendedSelection);
        logArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        logArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        QFont mono(QString::fromStdString(displayFont("Courier New")));
        mono.setPixelSize(14);
        logArea_->setFont(mono);
        logModel_ = new LogListModel(info.deviceType(), logArea_);
        logArea_->setModel(logModel_);
        logArea_->installEventFilter(this);  // Ctrl+C copies the lines selected
        lower->addWidget(logArea_);
        logModel_->load(logDatabasePath_);
        splitter_->setStretchFactor(0, 0);
        splitter_->setStretchFactor(1, 1);
        splitter_->setSizes({layout_.panelHeight, 10000});
    }

    ports_.setup(info.maxDeviceQty());
    portGrid_->setColumnCount(PortTable::kColumns);
    portGrid_->setRowCount(ports_.ports());
    QStringList headings;
    for (int c = 0; c < PortTable::kColumns; ++c) {
        headings << QString::fromLatin1(PortTable::heading(c));
        portGrid_->setColumnWidth(c, layout_.columnWidths[static_cast<std::size_t>(c)]);
    }
    portGrid_->setHorizontalHeaderLabels(headings);
    built_ = true;
    renderPorts();
    renderControls();
}

void MachinePanel::renderControls() {
    jobBox_->setText(fromLatin1(controls_.jobText()));
    for (int b = 0; b < JobControls::kButtonCount; ++b) {
        QPushButton* button = buttons_[static_cast<std::size_t>(b)];
        if (button == nullptr) continue;
        const auto which = static_cast<JobControls::Button>(b);
        button->setVisible(controls_.visible(which));
        button->setEnabled(controls_.enabled(which));
    }
}

void MachinePanel::renderPorts() {
    if (!built_) return;
    for (const int row : ports_.takeChangedRows()) {
        if (row == 0) continue;
        for (int c = 0; c < PortTable::kColumns; ++c) {
            QTableWidgetItem* item = portGrid_->item(row - 1, c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                portGrid_->setItem(row - 1, c, item);
            }
            item->setText(fromLatin1(ports_.cell(c, row)));
            const PortTable::Colour colour = ports_.colour(c, row);
            item->setForeground(colour == PortTable::Colour::Pass   ? QBrush(kPassGreen)
                                : colour == PortTable::Colour::Fail ? QBrush(kFailRed)
                                                                    : QBrush());
        }
    }
}

void MachinePanel::press(JobControls::Button b) {
    if (requests_ == nullptr) return;
    switch (b) {
        case JobControls::Copy:
            requests_->requestJob(JobRequest::Copy);
            break;
        case JobControls::Compare:
            requests_->requestJob(JobRequest::Compare);
            break;
        case JobControls::CopyCompare:
            requests_->requestJob(JobRequest::CopyCompare);
            break;
        case JobControls::GetId:
            requests_->requestJob(JobRequest::GetId);
            break;
        case JobControls::Finish:
            setIdle(false);
            requests_->requestJob(JobRequest::Finish);
            break;
        case JobControls::NextRun:
            setIdle(false);
            requests_->requestJob(JobRequest::NextRun);
            break;
        case JobControls::Stop:
            requests_->requestJob(JobRequest::Stop);
            break;
        case JobControls::Setting:
            settingsExchange();
            break;
        case JobControls::ChangeMachineName:
            nicknameExchange();
            break;
        case JobControls::GenerateLogReport:
            if (onGenerateLogReport) onGenerateLogReport();
            break;
        default:
            break;
    }
}

void MachinePanel::setMachineStatus(const std::array<std::uint8_t, kMachineStatusSize>& status) {
    ports_.setJob(status[wire::status::kJobCode]);
}

void MachinePanel::applyDeviceBlock(int jobCode, const DeviceBlockEvent& block) {
    ports_.applyDeviceBlock(jobCode, block);
    renderPorts();
}

void MachinePanel::clearPortTable() {
    ports_.clearPortTable();
    renderPorts();
}

void MachinePanel::showJob(int jobCode, int jobStage) {
    controls_.showJob(jobCode, jobStage);
    renderControls();
}

void MachinePanel::setIdle(bool idle) {
    controls_.setIdle(idle);
    renderControls();
}

void MachinePanel::writeTestReport() {
    if (!outputFile_.empty()) ports_.writeTestReport(outputFile_);  // skipped silently on failure
}

void MachinePanel::appendLogRecord(const std::uint8_t* record) {
    if (logModel_ == nullptr || !isServedKind(info_.deviceType())) return;
    QScrollBar* bar = logArea_->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    logModel_->append(record);
    if (atEnd) logArea_->scrollToBottom();
}

void MachinePanel::settingsExchange() {
    std::string nickname = info_.nickName().substr(0, 255);
    std::string output = outputFile_.substr(0, 255);
    TFormSetting::shared().show(nickname, output);
    if (nickname != info_.nickName()) {
        info_.setNickName(nickname);
        if (setCaption_) setCaption_(nickname);
        requests_->setNickname(nickname);
    }
    if (output != outputFile_) outputFile_ = output;
}

void MachinePanel::nicknameExchange() {
    std::string name = info_.nickName();
    if (!TForm_nickname::shared().ask(name)) return;
    info_.setNickName(name);
    if (setCaption_) setCaption_(name);
    requests_->setNickname(name);  // on every OK, also when unchanged
}

void MachinePanel::writePanelLayoutFile() {
    std::vector<int> widths;
    for (int c = 0; c < portGrid_->columnCount(); ++c)
        widths.push_back(portGrid_->columnWidth(c));
    // The height the operator last gave the upper panel (the splitter keeps its sizes while
    // hidden, as the page is when it goes).
    if (splitter_ != nullptr && sized_ && splitter_->sizes().value(0) > 0)
        layout_.panelHeight = splitter_->sizes().value(0);
    writePanelLayout(layoutPath_, info_.machineId(), layout_.panelHeight, widths, outputFile_);
}

void MachinePanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The upper panel keeps the height it had (the splitter would share the page out).
    if (!sized_ && built_ && logPanel_ != nullptr && splitter_->height() > 0) {
        sized_ = true;
        const int total = splitter_->height() - splitter_->handleWidth();
        const int upper = std::min(layout_.panelHeight, std::max(total - 40, 0));
        splitter_->setSizes({upper, std::max(total - upper, 1)});
    }
}

bool MachinePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == logArea_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        copySelectedLines();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MachinePanel::copySelectedLines() {
    QStringList lines;
    QModelIndexList rows = logArea_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex& i : rows)
        lines << fromLatin1(logModel_->line(i.row()));
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

}  // namespace mx40d::ui
