// Corvanta: start-up in the fixed order — application title, main window (which reads
// Config.cfg), data module, message loop; the main window runs the login when first shown.
#include "base/Config.h"
#include "base/QtChinese.h"
#include "app/UfrmMain.h"
#include "connection/Sys_login.h"
#include "connection/UDMData.h"
#include "dialogs/GuiMessages.h"
#include "import/UImportLog.h"
#include "import/UInput.h"
#include "outlets/USalesNet.h"
#include "reports/UDeliveries.h"
#include "reports/USales.h"
#include "reports/UStock.h"

#include <QApplication>
#include <QScreen>
#include <exception>

namespace {

// The application's general error report: an error that escapes an event handler is shown
// in the plain message box and the program goes on.
class CorvantaApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            corvanta::ShowErrorReport(QString::fromUtf8(e.what()));
        } catch (...) {
            corvanta::ShowErrorReport(QStringLiteral("发生未知错误。"));
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    CorvantaApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel汇总版"));
    corvanta::InstallQtChinese(app);

    // Fail closed: an unusable Config.cfg must not fall back to the default administrator.
    if (auto problem = corvanta::Config::Problem()) {
        corvanta::ShowSystemBox(QStringLiteral("错误"), *problem);
        return 1;
    }

    corvanta::TfrmMain frmMain;
    // The data module: one connection, not yet connected; it lives until the program ends.
    corvanta::TDMData dmData;
    frmMain.runServerLogin = [&] { return corvanta::RunServerLogin(dmData, &frmMain); };
    frmMain.sessionNames = [&] {
        return std::pair{dmData.ADOConnection.Property(QStringLiteral("Data Source")).value_or(QString()),
                         dmData.ADOConnection.DefaultDatabase()};
    };
    frmMain.openOutletList = [&](corvanta::TfrmMain& m) { corvanta::ShowOutletList(dmData, m.Tables(), &m); };
    frmMain.openImport = [&](corvanta::TfrmMain& m) { corvanta::ShowImport(dmData, m.OpenDialog1, &m); };
    frmMain.openImportLog = [&](corvanta::TfrmMain& m) { corvanta::ShowImportLog(dmData, &m); };
    frmMain.openDeliveries = [&](corvanta::TfrmMain& m) { corvanta::ShowDeliveries(dmData, m.Tables(), &m); };
    frmMain.openSales = [&](corvanta::TfrmMain& m) { corvanta::ShowSalesQuery(dmData, m.Tables(), &m); };
    frmMain.openStock = [&](corvanta::TfrmMain& m) { corvanta::ShowStockQuery(dmData, m.Tables(), &m); };

    // Fill the screen even where no window manager honours the maximised state.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        frmMain.setGeometry(screen->availableGeometry());
    frmMain.showMaximized();
    return app.exec();
}
