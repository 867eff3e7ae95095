#pragma once
// A recording stand-in for the import procedures, and an observer that logs into the same list,
// so a test sees calls, progress, label and messages in one order.
#include "import/ImportRun.h"
#include "logic/Messages.h"

#include <QStringList>
#include <functional>
#include <map>
#include <stdexcept>

namespace corvanta::test {

class EventLog {
public:
    QStringList events;
    void add(const QString& e) { events << e; }
};

class FakeProcedures : public ImportProcedures {
public:
    explicit FakeProcedures(EventLog& log) : m_log(log) {}

    void deleSales() override;
    int insertSales(const IntakeLine& line) override;
    int insertStock(const IntakeLine& line) override;
    int addSales() override;
    int addStock() override;
    std::size_t batchSize() const override { return batch; }
    void beginIntake() override { m_log.add(QStringLiteral("beginIntake")); }
    void endIntake() override { m_log.add(QStringLiteral("endIntake")); }

    std::map<qint64, int> refuse;       // line number -> return value of its intake call
    std::map<qint64, QString> throwAt;  // line number -> error text raised by its intake call
    int addResult = 0;
    std::size_t batch = 1;
    std::function<void()> onDeleSales;
    std::function<void(const IntakeLine&)> onInsert;
    // Parameter name -> value of every line taken, in order.
    std::vector<std::map<QString, QString>> taken;

private:
    int insert(const char* name, const IntakeLine& line);
    EventLog& m_log;
};

class LoggingObserver : public ImportObserver {
public:
    explicit LoggingObserver(EventLog& log) : m_log(log) {}
    void setProgressMax(qint64 max) override
    {
        progressMax = max;
        m_log.add(QStringLiteral("max %1").arg(max));
    }
    void setProgress(qint64 pos) override
    {
        positions.push_back(pos);
        m_log.add(QStringLiteral("pos %1").arg(pos));
    }
    void setLabel(const QString& text) override { m_log.add(QStringLiteral("label ") + text); }
    qint64 progressMax = -1;
    std::vector<qint64> positions;

private:
    EventLog& m_log;
};

class LoggingMessages : public Messages {
public:
    explicit LoggingMessages(EventLog& log) : m_log(log) {}
    QString superMsg(const QString& caption, const QString& text, const QString&, const QString&,
                     const QString&) override
    {
        m_log.add(QStringLiteral("superMsg ") + caption + QStringLiteral(": ") + text);
        return QString();
    }
    void systemBox(const QString& caption, const QString& text) override
    {
        boxes << caption + QStringLiteral(": ") + text;
        m_log.add(QStringLiteral("box ") + caption + QStringLiteral(": ") + text);
    }
    QStringList boxes;

private:
    EventLog& m_log;
};

}  // namespace corvanta::test
