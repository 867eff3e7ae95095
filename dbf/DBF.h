#pragma once
// DATABASEFILE: dBASE III table files (version byte 3; character, numeric and
// logical fields). The program uses it to write the two print tables that PRINT.EXE reads. One
// object holds at most one open table. Every operation leaves a status code (0 = fine, 101 and up
// = failure, see DbfStatus) and shows the failures that warrant it on the message dialog.
//
// Text is stored as the GBK bytes it is given (field names and values); the QString overloads
// convert to GBK first. Paths are local 8-bit (UTF-8) file names; file names are matched without
// regard to letter case when a table is opened.
//
// Writes of an open table go through a write-behind buffer that is flushed in large pieces (on
// close, before any read, and whenever it grows past a few megabytes); the file ends up with
// exactly the bytes that writing every piece at once would leave.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace corvanta {

class Messages;

namespace DbfStatus {
enum : int {
    Ok = 0,
    LastNonFailure = 100,  // codes above it are failures
    AlreadyOpen = 101,
    NotOpen = 102,
    NoFile = 103,
    NotDbase = 105,
    WriteFailure = 106,
    IsDirectory = 107,
    BadPointer = 202,
    BadMove = 222,
    BadRecno = 301,
    NoField = 401,
    TypeMismatch = 402,
    BadWidth = 403,      // width or decimals outside 0..255, or record longer than 65535 bytes
    BadFieldType = 404,
    TooManyFields = 405, // header longer than 65535 bytes
    ReadOnly = 701,
    OpenError = 804,
};
}

// What f_open returns.
namespace DbfOpen {
enum : int {
    Opened = 0,
    NoFile = -2,  // the file does not exist
    Failed = -5,  // any other failure; status() tells which
};
}

class DATABASEFILE {
public:
    enum GoMode { GoAbsolute, GoRelative, GoFromBottom };
    static constexpr int kPreallocatedRecords = 1000;
    static constexpr int kMaxFieldWidth = 255;

    DATABASEFILE();
    explicit DATABASEFILE(Messages* messages);
    // Releases the object; an open table is not closed (pending header and record changes are
    // not written), but what was already written reaches the file and the handle is released.
    ~DATABASEFILE();
    DATABASEFILE(const DATABASEFILE&) = delete;
    DATABASEFILE& operator=(const DATABASEFILE&) = delete;

    // Where messages go; null shows none (the status codes still tell).
    void setMessages(Messages* messages) { m_messages = messages; }
    Messages* messages() const { return m_messages; }

    // Creates an empty table (no fields) at path, deleting a file of that name first.
    bool f_new(const std::string& path);
    bool f_new(const QString& path);
    bool f_new(const char* path) { return f_new(std::string(path)); }

    // Adds a field to the table last created, while no table is open.
    void f_addfield(const std::string& name, char type, int decimals, int width);
    void f_addfield(const QByteArray& name, char type, int decimals, int width);
    void f_addfield(const QString& name, char type, int decimals, int width);
    void f_addfield(const char* name, char type, int decimals, int width)
    {
        f_addfield(std::string(name), type, decimals, width);
    }

    // DbfOpen::Opened, NoFile or Failed. Mode "readonly" (any case)
    // opens read-only, anything else read-write with others denied writing.
    int f_open(const std::string& folder, const std::string& fileName, const std::string& mode);
    int f_open(const QString& folder, const QString& fileName, const QString& mode);
    int f_open(const char* folder, const char* fileName, const char* mode)
    {
        return f_open(std::string(folder), std::string(fileName), std::string(mode));
    }

    bool f_appendblank();

    // Fills character field fieldNo (from 1) of the current record; text longer than the field
    // is cut byte-wise at the width, shorter text padded with blanks.
    bool ReplaceNoString(int fieldNo, const std::string& text);
    bool ReplaceNoString(int fieldNo, const QByteArray& text);
    bool ReplaceNoString(int fieldNo, const QString& text);
    bool ReplaceNoString(int fieldNo, const char* text) { return ReplaceNoString(fieldNo, std::string(text)); }

    // 1 closed; 0 when no table was open.
    int f_Close();

    // Moves and queries.
    bool f_go(long long n, GoMode mode = GoAbsolute);
    bool GotoTop();
    long long Recno();
    long long RecCount();
    // Width of field fieldNo, or -1 (status 401) when there is no such field; 0 when no table is
    // open. offset receives the field's position within the record.
    int FieldNoLength(int fieldNo, int* offset = nullptr);
    // The type letter, or 0 when there is no such field.
    char FieldType(int fieldNo);
    bool IsCharField(int fieldNo);
    bool IsIntegerField(int fieldNo);
    bool IsDecimalField(int fieldNo);
    bool IsLogicalField(int fieldNo);
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    std::string FieldName(int fieldNo) const;

    // State, for callers and diagnostics.
    int status() const { return m_status; }
    bool statusOk() const { return m_status <= DbfStatus::LastNonFailure; }
    const std::string& statusText() const { return m_statusText; }
    const std::string& location() const { return m_location; }
    const std::string& fieldReference() const { return m_fieldRef; }
    const std::string& writeDetail() const { return m_writeDetail; }
    const std::string& readDetail() const { return m_readDetail; }
    const std::string& goDetail() const { return m_goDetail; }
    const std::string& path() const { return m_path; }
    long handle() const { return m_handle; }
    bool isOpen() const { return m_open; }
    bool isReadOnly() const { return m_readOnly; }
    // 64 read-only, 34 read-write (as message 106 shows it).
    int modeNumber() const { return m_readOnly ? 64 : 34; }

private:
    struct Field {
        std::string name;  // at most 10 bytes
        char type = 'C';
        int width = 0;
        int decimals = 0;
        int offset = 0;    // within the record, after the deletion flag
    };

    void resetStatus();
    void setStatus(int code, const char* text);
    void showMessage(int code);
    void showIoError();

    void fillHeaderForNew();
    void setHeaderDateToday();
    std::uint32_t headerCount() const;
    void setHeaderCount(std::uint32_t n);
    int headerLength() const;
    void setHeaderLength(int n);
    int recordLength() const;
    void setRecordLength(int n);
    std::string descriptorBytes() const;

    // "Write at an offset": through the write-behind buffer while a table is open.
    long long writeBytes(std::uint64_t offset, const char* data, std::size_t length);
    long long readBytes(std::uint64_t offset, char* data, std::size_t length);
    void cachePut(std::uint64_t offset, const char* data, std::size_t length);
    bool flushCache();

    bool writeHeader();
    bool writeRecord();
    bool loadRecord();
    bool fieldInRange(int fieldNo);
    bool requireOpen(const char* location);
    void releaseTable();

    Messages* m_messages = nullptr;

    int m_status = 0;
    std::string m_statusText;
    std::string m_location;
    std::string m_fieldRef;
    std::string m_writeDetail;
    std::string m_readDetail;
    std::string m_goDetail;

    long m_handle = -1;
    std::string m_path = "NOT OPEN";
    unsigned char m_header[32] = {};
    std::vector<Field> m_fields;
    long long m_current = 0;
    std::vector<char> m_record;
    bool m_recordChanged = false;
    bool m_headerChanged = false;
    bool m_open = false;
    bool m_readOnly = false;

    // Write-behind buffer: non-overlapping, non-touching blocks by file offset.
    std::map<std::uint64_t, std::string> m_pending;
    std::size_t m_pendingBytes = 0;
};

}  // namespace corvanta
