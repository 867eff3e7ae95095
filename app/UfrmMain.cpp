#include "app/UfrmMain.h"

#include "dbf/DBF.h"

#include "base/Config.h"
#include "app/MainPictures.h"
#include "base/Sysdef.h"
#include "dialogs/GuiMessages.h"
#include "dialogs/SuperMsg.h"
#include "dialogs/UiFonts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

namespace corvanta {

namespace {

class ToolPanelWidget : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        PaintToolPanel(p, rect());
    }
};

class BackgroundWidget : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        PaintMainBackground(p, rect());
    }
};

}  // namespace

TfrmMain::TfrmMain(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Quorvel销售汇总版"));
    setWindowIcon(DrawAppIcon());
    setFont(SongtiFont(12));

    ActSalesNet = makeAction(QStringLiteral("销售网点"), QStringLiteral("维护销售网点的基本信息"),
                             QKeySequence(Qt::CTRL | Qt::Key_S), DrawToolPicture(ToolPicture::SalesNet),
                             &TfrmMain::ActSalesNetExecute);
    ActDataAdd = makeAction(QStringLiteral("数据导入"), QStringLiteral("导入销售数据"),
                            QKeySequence(Qt::CTRL | Qt::Key_A), DrawToolPicture(ToolPicture::DataAdd),
                            &TfrmMain::ActDataAddExecute);
    ActImportLog = makeAction(QStringLiteral("导入记录"), QStringLiteral("查看本账套的数据导入记录"), QKeySequence(),
                              QPixmap(), &TfrmMain::ActImportLogExecute);
    ActDeliveries = makeAction(QStringLiteral("数据到达情况"), QStringLiteral("查看各网点每天的数据是否已经到达"),
                               QKeySequence(), QPixmap(), &TfrmMain::ActDeliveriesExecute);
    ActStat = makeAction(QStringLiteral("销售统计"), QStringLiteral("产品销售统计分析"),
                         QKeySequence(Qt::CTRL | Qt::Key_T), DrawToolPicture(ToolPicture::Stat),
                         &TfrmMain::ActStatExecute);
    ActKCStat = makeAction(QStringLiteral("库存统计"), QStringLiteral("统计商品库存情况"),
                           QKeySequence(Qt::CTRL | Qt::Key_K), DrawToolPicture(ToolPicture::KCStat),
                           &TfrmMain::ActKCStatExecute);

    MenuSalesNet = menuBar()->addMenu(QStringLiteral("销售网点"));
    MenuSalesNet->addAction(ActSalesNet);
    MenuDataAdd = menuBar()->addMenu(QStringLiteral("数据导入"));
    MenuDataAdd->addAction(ActDataAdd);
    MenuDataAdd->addAction(ActImportLog);
    MenuDataAdd->addAction(ActDeliveries);
    MenuStat = menuBar()->addMenu(QStringLiteral("销售统计"));
    MenuStat->addAction(ActStat);
    MenuStat->addAction(ActKCStat);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    ToolPanel = new ToolPanelWidget(central);
    ToolPanel->setFixedHeight(61);
    ToolPanel->setStyleSheet(QStringLiteral(
        "QToolButton { color: yellow; border: 1px solid transparent; background: transparent; }"
        "QToolButton:hover { border: 1px solid rgb(230, 200, 90); }"
        "QToolButton:pressed { border: 1px solid rgb(255, 230, 120); background: rgba(255, 255, 255, 30); }"
        "QToolButton:disabled { color: rgb(150, 140, 90); }"));
    auto* row = new QHBoxLayout(ToolPanel);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(2);
    BtnSalesNet = makeToolButton(ActSalesNet);
    BtnDataAdd = makeToolButton(ActDataAdd);
    BtnStat = makeToolButton(ActStat);
    BtnKCStat = makeToolButton(ActKCStat);
    for (QToolButton* b : {BtnSalesNet, BtnDataAdd, BtnStat, BtnKCStat})
        row->addWidget(b);
    row->addStretch(1);
    column->addWidget(ToolPanel);
    column->addWidget(new BackgroundWidget(central), 1);
    setCentralWidget(central);

    terminateApplication = [] { QTimer::singleShot(0, qApp, &QCoreApplication::quit); };
    // No command can be used before the login has chosen an account set.
    setCommandsEnabled(false);
    FormCreate();
}

TfrmMain::~TfrmMain() = default;

QAction* TfrmMain::makeAction(const QString& caption, const QString& hint, const QKeySequence& shortcut,
                              const QPixmap& picture, void (TfrmMain::*handler)())
{
    auto* action = new QAction(QIcon(picture), caption, this);
    action->setToolTip(hint);
    action->setStatusTip(hint);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, handler);
    return action;
}

QToolButton* TfrmMain::makeToolButton(QAction* action)
{
    auto* button = new QToolButton(ToolPanel);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setIconSize(QSize(32, 32));
    button->setFixedSize(73, 57);
    button->setFont(LishuFont(16));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void TfrmMain::setCommandsEnabled(bool enabled)
{
    for (QAction* a : {ActSalesNet, ActDataAdd, ActImportLog, ActDeliveries, ActStat, ActKCStat})
        a->setEnabled(enabled);
}

void TfrmMain::FormCreate()
{
    m_tables = std::make_unique<DATABASEFILE>(&m_tablesMessages);
    SetReturnValueName(ReturnValueNameFor(Config::Version()));
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_showHandled) {
        m_showHandled = true;
        // Let the window appear first; the login dialog then stands in front of it.
        QTimer::singleShot(0, this, &TfrmMain::FormShow);
    }
}

void TfrmMain::FormShow()
{
    if (m_loginDone)
        return;
    m_loginDone = true;
    const int result = runServerLogin ? runServerLogin() : 0;
    if (result != 0) {
        // Abandoned: end at once, without a message.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        if (terminateApplication)
            terminateApplication();
        return;
    }
    setCommandsEnabled(true);
    // Which server and account set the figures come from, always in sight.
    if (sessionNames) {
        const auto [server, accountSet] = sessionNames();
        if (!SessionLabel) {
            SessionLabel = new QLabel(this);
            statusBar()->addPermanentWidget(SessionLabel);
        }
        SessionLabel->setText(QStringLiteral("服务器：%1    帐套：%2").arg(server.isEmpty() ? QStringLiteral("本机") : server,
                                                                       accountSet));
    }
}

bool TfrmMain::FormCloseQuery()
{
    m_tables.reset();
    return true;
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void TfrmMain::runCommand(const QString& caption, const std::function<void(TfrmMain&)>& open)
{
    try {
        if (!open) {
            ShowSuperMsg(QStringLiteral("提示"), QStringLiteral("“%1”功能暂未提供。").arg(caption),
                         QStringLiteral("myok"), QString(), QStringLiteral("info"));
            return;
        }
        open(*this);
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorReport(QStringLiteral("“%1”运行时发生未知错误。").arg(caption));
    }
}

void TfrmMain::ActSalesNetExecute()
{
    runCommand(ActSalesNet->text(), openOutletList);
}

void TfrmMain::ActDataAddExecute()
{
    OpenDialog1.Filter = QStringLiteral("Text files (*.txt)");
    OpenDialog1.FileName = ProposedFile(QStringLiteral("import"), GetAppDir(), QStringLiteral("good.txt"));
    OpenDialog1.Multiple = true;
    if (!OpenDialog1.Execute(this))
        return;
    RememberFolder(QStringLiteral("import"), OpenDialog1.FileName);
    runCommand(ActDataAdd->text(), openImport);
}

void TfrmMain::ActImportLogExecute()
{
    runCommand(ActImportLog->text(), openImportLog);
}

void TfrmMain::ActDeliveriesExecute()
{
    runCommand(ActDeliveries->text(), openDeliveries);
}

void TfrmMain::ActStatExecute()
{
    runCommand(ActStat->text(), openSales);
}

void TfrmMain::ActKCStatExecute()
{
    runCommand(ActKCStat->text(), openStock);
}

}  // namespace corvanta
