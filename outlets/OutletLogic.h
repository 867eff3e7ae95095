#pragma once
// What the outlet list and the outlet editor do, without widgets. The windows and corvanta-cli
// both call these.
#include "logic/GridSource.h"
#include "dbf/PrintHandoff.h"
#include "logic/Messages.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace corvanta {

class DATABASEFILE;
class TDMData;

// One outlet as hz_GetNet delivers it and hz_InsertNet / hz_ModiNet take it; all text.
struct OutletRecord {
    QString id;
    QString name;
    QString type;
    QString telephone;
    QString fax;
    QString address;
    QString linkman;
};

// ---- the list -------------------------------------------------------------------------------

constexpr int kOutletColumns = 8;
// Headings of the list grid: "行号", "网点编号", ... "联系地址".
const QStringList& OutletGridHeadings();
// Initial column widths in pixels.
const std::array<int, kOutletColumns>& OutletGridWidths();
// Grid rows (heading included) for n outlets: at least 21 body rows, always one empty row at the end.
int OutletGridRowCount(int n);
// The eight cells of grid row `number` (from 1) for an outlet: the row number, then ID, name,
// type, telephone, fax, contact person, address.
QStringList OutletGridCells(int number, const OutletRecord& outlet);

// Reads hz_GetNet in the order the procedure returns. An error while reading ends the list
// there without a message: the outlets read so far are returned, and *error (when given) gets
// the error's text. The hourglass shows meanwhile.
std::vector<OutletRecord> LoadOutlets(TDMData& dm, Messages& messages, QString* error = nullptr);

// The list grid without widgets (what corvanta-cli prints): headings, one row per outlet, empty
// rows up to OutletGridRowCount, the initial widths.
class OutletGridTable : public GridSource {
public:
    explicit OutletGridTable(const std::vector<OutletRecord>& outlets);
    int rowCount() const override { return m_rowCount; }
    int columnCount() const override { return kOutletColumns; }
    QString cell(int row, int column) const override;
    int columnWidth(int column) const override;

private:
    std::vector<QStringList> m_rows;  // heading row and the outlets
    int m_rowCount = 0;
};

// "删除": hz_deleteNet with the outlet number; nothing for a blank number. A refusal (-1) shows
// "该网点已经有商品销售记录，不能删除！", an unknown number (-2) its own message, in the system
// message box. Errors raised by the database are not caught here. Returns the procedure's
// return value, or nullopt when nothing was called.
std::optional<int> DeleteOutlet(TDMData& dm, Messages& messages, const QString& id);

// "打印": the list grid to PRINT.EXE with the template "销售网点信息.rwx". True when every step
// of the hand-off succeeded. launcher replaces the process start (tests).
bool PrintOutletList(DATABASEFILE& tables, Messages& messages, const GridSource& grid,
                     const PrintHandoff::Launcher& launcher = {});

// ---- the editor -----------------------------------------------------------------------------

enum class OutletMode { Add, Modify };  // the editing modes "A" and "M"

// Maximum lengths of the editor's fields in GBK bytes.
constexpr int kOutletNameBytes = 38;
constexpr int kOutletIdBytes = 38;
constexpr int kOutletAddressBytes = 38;
constexpr int kOutletShortFieldBytes = 20;  // type, fax, contact person, telephone

// The standard integer conversion: leading blanks, an optional sign, then decimal digits or a
// hexadecimal number introduced by "$", "x", "X" or "0x"; nothing after; a signed 32-bit value.
std::optional<qint32> ReadWholeNumber(const QString& text);

enum class OutletFocus { None, Name, Code };

struct OutletSaveResult {
    bool saved = false;
    OutletFocus focus = OutletFocus::None;  // where the editor puts the focus after a failure
};

// The editor's save: blank check, number check, then hz_InsertNet (Add) or hz_ModiNet (Modify)
// with the seven texts as typed, and the messages for -1, -2 and a raised error.
OutletSaveResult SaveOutlet(TDMData& dm, Messages& messages, OutletMode mode, const OutletRecord& outlet);

// For callers without the editor's length limits (corvanta-cli): the first field whose text is
// longer than the editor accepts, as a message text; nullopt when all fit.
std::optional<QString> OutletLengthProblem(const OutletRecord& outlet);

}  // namespace corvanta
