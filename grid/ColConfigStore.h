#pragma once
// The stored column-configuration records of a grid id, reached through CW_r_GetColConfig.
#include <QString>
#include <vector>

namespace corvanta {

class TDMData;

struct ColConfigRecord {
    int orderCode = 0;   // source column number (1 and up)
    int colOrder = 0;    // display position (1 and up)
    QString defaultName; // trimmed
    QString userName;    // trimmed
    int visible = 0;
    int sysVisible = 0;
    int width = 0;
};

// One call of CW_r_GetColConfig on the data module's ADOCofig; the result is the return value.
// Modes: "S" select (below 0: cannot be read), "D" delete all of the grid id (above 0: done),
// "I" insert, "U" names / order / visibility, "UW" width.
int CallColConfig(TDMData& dm, const QString& id, const QString& defaultName, const QString& userName,
                  int visible, int sysVisible, int orderCode, int colOrder, int width, const QString& sMode);

// "S", then, when that gives 0 or above, the records in ascending OrderCode. False when "S"
// failed. A ColOrder that is not a whole number throws ConversionError.
bool ReadColConfig(TDMData& dm, const QString& gridId, std::vector<ColConfigRecord>& records);

// Where a grid's configured columns go: slot p (1 and up) of the display shows source column
// placed[p].source under placed[p].name, -1 for a slot nothing is placed in; slot 0 is the row
// number. A record that is neither visible nor a system column, or whose position lies outside
// the grid, places nothing; a later record for the same position wins.
struct ColumnSlot {
    int source = -1;
    QString name;
    int width = 0;  // stored width, 0 when none
};
std::vector<ColumnSlot> ColumnSlots(const std::vector<ColConfigRecord>& records, int columnCount);

}  // namespace corvanta
