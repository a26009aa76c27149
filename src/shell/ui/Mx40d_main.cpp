#include "shell/ui/Mx40d_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "shell/MachineTable.h"
#include "shell/StartupFiles.h"

static void initLogoResource() {
    Q_INIT_RESOURCE(mx40d_shell_ui);
}

namespace mx40d::ui {

FormTimer::FormTimer(QObject* owner, const char* name, bool real)
    : timer_(new QTimer(owner)), real_(real) {
    timer_->setObjectName(QString::fromLatin1(name));
}

void FormTimer::setInterval(int ms) {
    interval_ = ms;
    timer_->setInterval(ms);
}

void FormTimer::setEnabled(bool on) {
    enabled_ = on;
    if (!real_) return;
    if (on)
        timer_->start();
    else
        timer_->stop();
}

TForm_MX40D::TForm_MX40D(const Env& env, QWidget* parent)
    : QMainWindow(parent), ownNotice_(this), notice_(env.notice ? env.notice : &ownNotice_) {
    initLogoResource();
    // The form as designed.
    setObjectName("Form_MX40D");
    setWindowTitle(QString::fromLatin1(shell::kDefaultModel));
    move(301, 243);
    resize(1039, 505);
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(16);
    setFont(font);
    // The button-shadow colour as the window's own.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Dark));
    setPalette(palette);
    setAutoFillBackground(true);

    auto* central = new QWidget(this);
    central->setObjectName("ClientArea");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName("PageControl1");
    layout->addWidget(PageControl1);
    Image_VeltrixLogo = new QLabel(central);
    Image_VeltrixLogo->setObjectName("Image_VeltrixLogo");
    Image_VeltrixLogo->setPixmap(QPixmap(QStringLiteral(":/mx40d/logo.jpg")));
    Image_VeltrixLogo->setScaledContents(false);
    Image_VeltrixLogo->setAlignment(Qt::AlignCenter);
    StringGrid_main =
        new QTableWidget(MachineTable::kInitialGridRows - 1, MachineTable::kColumns, central);
    StringGrid_main->setObjectName("StringGrid_main");
    for (int c = 0; c < MachineTable::kColumns; ++c)
        StringGrid_main->setColumnWidth(c,
                                        MachineTable::kColumnWidths[static_cast<std::size_t>(c)]);
    StringGrid_main->verticalHeader()->hide();
    Edit1 = new QLineEdit(central);
    Edit1->setObjectName("Edit1");
    setCentralWidget(central);

    QMenuBar* MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    System1 = MainMenu1->addMenu(QStringLiteral("System"));
    System1->setObjectName("System1");
    Log1 = MainMenu1->addMenu(QStringLiteral("Log"));
    Log1->setObjectName("Log1");
    Action1 = MainMenu1->addMenu(QStringLiteral("Action"));
    Action1->setObjectName("Action1");
    Action1->addAction(QStringLiteral("Copy"))->setObjectName("Copy1");
    Action1->addAction(QStringLiteral("Compare"))->setObjectName("Compare1");
    Action1->addAction(QStringLiteral("Copy+Compare"))->setObjectName("CopyCompare1");
    auto* SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName("SaveDialog1");
    auto* OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName("OpenDialog1");

    const char* names[3] = {"Timer1", "Timer2", "Timer3"};
    for (int i = 0; i < 3; ++i)
        timers_[static_cast<std::size_t>(i)] =
            std::make_unique<FormTimer>(this, names[i], env.realTimers);
    connect(timer(1).timer(), &QTimer::timeout, this, &TForm_MX40D::Timer1Timer);
    connect(timer(2).timer(), &QTimer::timeout, this, &TForm_MX40D::Timer2Timer);
    connect(timer(3).timer(), &QTimer::timeout, this, &TForm_MX40D::Timer3Timer);
    connect(StringGrid_main, &QTableWidget::cellClicked, this, &TForm_MX40D::StringGrid_mainClick);

    // Construction: the registry and the controllers, the geometry file, the application log
    // and the branding, all in the core.
    MonitorCore::Setup setup{env.workFolder, env.programFile};
    core_ = std::make_unique<MonitorCore>(*env.clock, *notice_, *env.backend, *env.hotplug, setup);
    for (int i = 0; i < MachineHub::kControllerCount; ++i) {
        auto& sheet = sheets_[static_cast<std::size_t>(i)];
        sheet = std::make_unique<SheetView>(PageControl1);
        sheet->setLiveInfo(&core_->hub().controller(i).machineInfo());
        core_->hub().controller(i).setView(sheet.get());
    }
    core_->hub().setOnMachineBound([this](int) {
        if (PageControl1->isHidden()) showPages();
    });
    const int fd = env.hotplug->fileDescriptor();
    if (fd >= 0) {
        hotplugNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(hotplugNotifier_, &QSocketNotifier::activated, this, &TForm_MX40D::hotplugReady);
    } else {
        pollHotplugOnTick_ = true;
    }
    FormCreate();
}

TForm_MX40D::~TForm_MX40D() {
    // FormDestroy: every link closed, then the timers stopped.
    if (!formClosed_) core_->close();
    core_->destroy();
    for (auto& t : timers_)
        t->setEnabled(false);
    // The pages go with the window; the controllers must not reach them any more.
    for (int i = 0; i < MachineHub::kControllerCount; ++i)
        core_->hub().controller(i).setView(nullptr);
}

void TForm_MX40D::FormCreate() {
    QCoreApplication::setApplicationName(QString::fromLatin1(shell::kDefaultModel));
    setWindowTitle(fromLatin1(shell::windowCaption(core_->branding().model)));
    if (const auto& g = core_->storedGeometry()) {
        move(g->left, g->top);
        resize(g->width, g->height);
    } else {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const shell::Geometry d = shell::defaultGeometry(screen.width(), screen.height());
        move(d.left, d.top);
        resize(d.width, d.height);
    }
    timer(3).setInterval(MonitorCore::kTimer3Ms);
    timer(1).setInterval(MonitorCore::kTimerMs);
    timer(2).setInterval(MonitorCore::kTimerMs);
    timer(1).setEnabled(false);
    timer(2).setEnabled(false);
    timer(3).setEnabled(true);
    for (QMenu* m : {System1, Log1, Action1})
        m->menuAction()->setVisible(false);
    Edit1->hide();
    StringGrid_main->hide();
    Image_VeltrixLogo->hide();
    PageControl1->hide();
}

void TForm_MX40D::showPages() {
    PageControl1->show();
}

void TForm_MX40D::Timer1Timer() {
    core_->timer1();
    if (pollHotplugOnTick_) hotplugReady();
}

void TForm_MX40D::Timer2Timer() {
    core_->timer2();
    refreshMachineGrid();
}

void TForm_MX40D::Timer3Timer() {
    if (!timer(3).enabled()) return;
    const MonitorCore::StartupTick t = core_->timer3();
    if (t.showLogo) {
        const int w = centralWidget()->width();
        Image_VeltrixLogo->setGeometry(0, centralWidget()->height() / 4, w, w / 4);
        Image_VeltrixLogo->setPixmap(
            QPixmap(QStringLiteral(":/mx40d/logo.jpg"))
                .scaled(w, w / 4, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        Image_VeltrixLogo->show();
        Image_VeltrixLogo->raise();
    }
    if (t.showPages) showPages();
    if (t.startTimers) {
        timer(1).setEnabled(true);
        timer(2).setEnabled(true);
    }
    if (t.closeWindow) {
        closedAtStartup_ = true;
        timer(3).setEnabled(false);
        close();
        return;
    }
    if (t.hideLogoAndStop) {
        Image_VeltrixLogo->hide();
        timer(3).setEnabled(false);
    }
    refreshMachineGrid();
}

void TForm_MX40D::hotplugReady() {
    core_->hotplugReady();
}

void TForm_MX40D::refreshMachineGrid() {
    const MachineTable& table = core_->hub().table();
    if (table.revision() == gridRevision_) return;
    gridRevision_ = table.revision();
    StringGrid_main->setRowCount(table.gridRowCount() - 1);
    QStringList heading;
    for (int c = 0; c < MachineTable::kColumns; ++c)
        heading << fromLatin1(table.cell(c, 0));
    StringGrid_main->setHorizontalHeaderLabels(heading);
    for (int r = 1; r < table.gridRowCount(); ++r)
        for (int c = 0; c < MachineTable::kColumns; ++c) {
            auto* item = StringGrid_main->item(r - 1, c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                StringGrid_main->setItem(r - 1, c, item);
            }
            item->setText(fromLatin1(table.cell(c, r)));
        }
}

void TForm_MX40D::StringGrid_mainClick(int row, int column) {
    // The grid's rows below its heading are machine rows: grid row = widget row + 1.
    const MachineHub::ClickResult r = core_->hub().onTableClick(column, row + 1);
    Edit1->setText(fromLatin1(core_->hub().clickText()));
    (void)r;
}

void TForm_MX40D::closeEvent(QCloseEvent* event) {
    if (!formClosed_) {
        formClosed_ = true;
        core_->close();
        core_->writeGeometry({y(), x(), width(), height()});
    }
    event->accept();
}

}  // namespace mx40d::ui
