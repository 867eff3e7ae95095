// dBASE III tables from arbitrary bytes: the table object's open, moves and field queries, an
// append through a read-write open, and PRINT.EXE's whole-table reader.
#include "dbf/DBF.h"
#include "fuzz/FuzzSupport.h"
#include "print/DbfReader.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvanta;
    const std::string path = fuzz::WriteScratch("t.dbf", data, size);
    const QString qpath = QString::fromStdString(path);

    print::DbfTable table;
    QString error;
    if (print::readDbfTable(qpath, table, error)) {
        FUZZ_CHECK(table.fieldNames.size() == qsizetype(table.widths.size()));
        for (const QStringList& record : table.records)
            FUZZ_CHECK(record.size() == table.fieldNames.size());
    } else {
        FUZZ_CHECK(!error.isEmpty());
    }

    for (const char* mode : {"readonly", "shared"}) {
        DATABASEFILE db;
        if (db.f_open(fuzz::ScratchDir(), "t.dbf", mode) != 0)
            continue;
        const int fields = db.FieldCount();
        for (int i = 0; i <= fields + 1; ++i) {
            int offset = 0;
            db.FieldNoLength(i, &offset);
            db.FieldType(i);
            db.FieldName(i);
        }
        const long long count = db.RecCount();
        for (long long n = 1; n <= count && n <= 32; ++n)
            if (db.f_go(n))
                FUZZ_CHECK(db.Recno() == n);
        db.f_go(1, DATABASEFILE::GoFromBottom);
        db.f_go(-1, DATABASEFILE::GoRelative);
        if (std::string(mode) == "shared" && db.f_appendblank() && fields > 0)
            db.ReplaceNoString(1, std::string("fuzz"));
        db.f_Close();
    }
    print::readDbfTable(qpath, table, error);
    return 0;
}
