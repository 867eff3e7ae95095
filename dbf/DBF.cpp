// The dBASE III table object is one class whose every operation sets the same status and moves the
// same record pointer; it stays in one file so that those rules read in one place.
#include "dbf/DBF.h"

#include "base/Sysdef.h"
#include "dbf/DbfIo.h"
#include "base/Gbk.h"
#include "logic/Messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iterator>

namespace corvanta {

namespace {

constexpr long kHandleOpening = -3;
constexpr std::size_t kFlushThreshold = 8u << 20;
const char* const kNotOpen = "NOT OPEN";

QString fromLocal(const std::string& s)
{
    return QFile::decodeName(QByteArray::fromStdString(s));
}

std::string toLocal(const QString& s)
{
    return QFile::encodeName(s).toStdString();
}

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string num(long long n)
{
    return std::to_string(n);
}

void put16(unsigned char* p, int v)
{
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

}  // namespace

DATABASEFILE::DATABASEFILE() = default;

DATABASEFILE::DATABASEFILE(Messages* messages) : m_messages(messages) {}

DATABASEFILE::~DATABASEFILE()
{
    if (m_open) {
        flushCache();
        dbfio::closeFile(m_handle);
    }
}

// ---- status and messages --------------------------------------------------------------------

void DATABASEFILE::resetStatus()
{
    m_status = DbfStatus::Ok;
    m_statusText.clear();
    m_writeErrno = 0;
}

void DATABASEFILE::setStatus(int code, const char* text)
{
    m_status = code;
    m_statusText = text;
    showMessage(code);
}

QString WriteFailureCause(int error)
{
    QString words;
    switch (error) {
    case EACCES:
    case EPERM: words = QStringLiteral("没有写入这个文件或文件夹的权限"); break;
    case ENOSPC: words = QStringLiteral("磁盘已满"); break;
#ifdef EDQUOT
    case EDQUOT: words = QStringLiteral("超出磁盘配额"); break;
#endif
    case EROFS: words = QStringLiteral("文件系统只读"); break;
    case ENOENT: words = QStringLiteral("文件夹不存在"); break;
    case EISDIR: words = QStringLiteral("同名的是一个文件夹"); break;
    case EIO: words = QStringLiteral("磁盘读写出错"); break;
    default: words = QStringLiteral("不能写入"); break;
    }
    return words + QStringLiteral("（") + QString::fromLocal8Bit(std::strerror(error)) + QStringLiteral("）");
}

void DATABASEFILE::showMessage(int code)
{
    if (!m_messages)
        return;
    const QString path = fromLocal(m_path);
    const QString file = QStringLiteral("文件") + path;
    const QString location = QString::fromStdString(m_location);
    const QString field = gbk::decode(QByteArray::fromStdString(m_fieldRef));
    QString text;
    switch (code) {
    case DbfStatus::AlreadyOpen:
        text = file + QStringLiteral("已经打开") + location + QStringLiteral("!");
        break;
    case DbfStatus::NotOpen:
        text = file + QStringLiteral("没有打开") + location + QStringLiteral("!");
        break;
    case DbfStatus::NoFile:
        text = file + QStringLiteral("不存在") + QStringLiteral("!");
        break;
    case DbfStatus::NotDbase:
        text = file + QStringLiteral("不是DBF文件") + QStringLiteral(" ") + QString::number(m_handle)
               + QStringLiteral(" ") + QString::fromStdString(m_readDetail) + QStringLiteral("!");
        break;
    case DbfStatus::WriteFailure:
        text = file + QStringLiteral("写错误") + QChar(13) + QString::fromStdString(m_writeDetail)
               + QStringLiteral("handle ") + QString::number(m_handle) + QStringLiteral("recno")
               + QString::number(m_current) + QStringLiteral("mode") + QString::number(modeNumber())
               + QStringLiteral("!");
        break;
    case DbfStatus::IsDirectory:
        text = file + QStringLiteral("是一个目录") + QStringLiteral("!");
        break;
    case DbfStatus::BadPointer:
        text = file + QStringLiteral("释放无效指针") + QStringLiteral("!");
        break;
    case DbfStatus::BadMove:
        text = file + QString::fromStdString(m_goDetail) + QStringLiteral("!");
        break;
    case DbfStatus::NoField:
        text = file + QStringLiteral("字段不存在") + field + QStringLiteral("!");
        break;
    case DbfStatus::TypeMismatch:
        text = file + QStringLiteral("字段类型不匹配") + field + QStringLiteral("!");
        break;
    case DbfStatus::BadWidth:
        text = file + QStringLiteral("字段宽度无效") + field + QStringLiteral("!");
        break;
    case DbfStatus::BadFieldType:
        text = file + QStringLiteral("字段类型无效") + QStringLiteral("!");
        break;
    case DbfStatus::TooManyFields:
        text = file + QStringLiteral("字段太多") + field + QStringLiteral("!");
        break;
    case DbfStatus::ReadOnly:
        text = file + QStringLiteral("只读，不能写") + QStringLiteral("!");
        break;
    default:
        return;  // 301, 804: no message
    }
    m_messages->superMsg(QStringLiteral("D提示信息"), text, QStringLiteral("myok"), QString(), QString());
    if (code == DbfStatus::WriteFailure && m_writeErrno != 0)
        m_messages->cause(path + QStringLiteral("：") + WriteFailureCause(m_writeErrno));
}

void DATABASEFILE::showIoError()
{
    if (m_messages)
        m_messages->superMsg(QStringLiteral("D提示信息"),
                             QStringLiteral("I/O Error ") + QString::number(dbfio::lastError()),
                             QStringLiteral("myok"), QString(), QString());
}

// ---- header image ---------------------------------------------------------------------------

void DATABASEFILE::setHeaderDateToday()
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    m_header[1] = static_cast<unsigned char>((tm.tm_year + 1900) % 100);
    m_header[2] = static_cast<unsigned char>(tm.tm_mon + 1);
    m_header[3] = static_cast<unsigned char>(tm.tm_mday);
}

void DATABASEFILE::fillHeaderForNew()
{
    std::memset(m_header, 0, sizeof m_header);
    m_header[0] = 3;
    setHeaderDateToday();
    setHeaderCount(0);
    setHeaderLength(33);
    setRecordLength(1);
}

std::uint32_t DATABASEFILE::headerCount() const
{
    return std::uint32_t(m_header[4]) | std::uint32_t(m_header[5]) << 8 | std::uint32_t(m_header[6]) << 16
           | std::uint32_t(m_header[7]) << 24;
}

void DATABASEFILE::setHeaderCount(std::uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        m_header[4 + i] = static_cast<unsigned char>((n >> (8 * i)) & 0xFF);
}

int DATABASEFILE::headerLength() const
{
    return m_header[8] | m_header[9] << 8;
}

void DATABASEFILE::setHeaderLength(int n)
{
    put16(m_header + 8, n);
}

int DATABASEFILE::recordLength() const
{
    return m_header[10] | m_header[11] << 8;
}

void DATABASEFILE::setRecordLength(int n)
{
    put16(m_header + 10, n);
}

std::string DATABASEFILE::descriptorBytes() const
{
    std::string out(32 * m_fields.size(), '\0');
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        char* d = out.data() + 32 * i;
        const Field& f = m_fields[i];
        std::memcpy(d, f.name.data(), std::min<std::size_t>(f.name.size(), 10));
        d[11] = f.type;
        d[16] = static_cast<char>(static_cast<unsigned char>(f.width));
        d[17] = static_cast<char>(static_cast<unsigned char>(f.decimals));
    }
    return out;
}

// ---- raw I/O --------------------------------------------------------------------------------

long long DATABASEFILE::writeBytes(std::uint64_t offset, const char* data, std::size_t length)
{
    if (m_open && m_readOnly) {
        setStatus(DbfStatus::ReadOnly, "file is read only");
        return -1;
    }
    if (length == 0)
        return 0;
    if (m_open) {
        cachePut(offset, data, length);
        if (m_pendingBytes >= kFlushThreshold && !flushCache())
            return 0;
        return static_cast<long long>(length);
    }
    long long n = dbfio::writeAt(m_handle, offset, data, length);
    if (n < static_cast<long long>(length))
        showIoError();
    return n;
}

long long DATABASEFILE::readBytes(std::uint64_t offset, char* data, std::size_t length)
{
    flushCache();
    return dbfio::readAt(m_handle, offset, data, length);
}

void DATABASEFILE::cachePut(std::uint64_t offset, const char* data, std::size_t length)
{
    const std::uint64_t end = offset + length;
    auto it = m_pending.upper_bound(offset);
    if (it != m_pending.begin()) {
        auto prev = std::prev(it);
        if (prev->first + prev->second.size() >= offset)
            it = prev;
    }
    if (it == m_pending.end() || it->first > end) {
        m_pending.emplace(offset, std::string(data, length));
        m_pendingBytes += length;
        return;
    }
    auto next = std::next(it);
    if (it->first <= offset && (next == m_pending.end() || next->first > end)) {
        // The common case: inside or just past the end of one block.
        std::string& block = it->second;
        const std::size_t need = static_cast<std::size_t>(end - it->first);
        if (need > block.size()) {
            m_pendingBytes += need - block.size();
            block.resize(need);
        }
        std::memcpy(block.data() + (offset - it->first), data, length);
        return;
    }
    // Several blocks meet the new piece: join them into one.
    const std::uint64_t start = std::min(it->first, offset);
    std::uint64_t stop = end;
    auto last = it;
    for (auto j = it; j != m_pending.end() && j->first <= end; ++j) {
        stop = std::max<std::uint64_t>(stop, j->first + j->second.size());
        last = j;
    }
    auto afterLast = std::next(last);
    std::string joined(static_cast<std::size_t>(stop - start), '\0');
    for (auto j = it; j != afterLast; ++j) {
        std::memcpy(joined.data() + (j->first - start), j->second.data(), j->second.size());
        m_pendingBytes -= j->second.size();
    }
    std::memcpy(joined.data() + (offset - start), data, length);
    m_pendingBytes += joined.size();
    m_pending.erase(it, afterLast);
    m_pending.emplace(start, std::move(joined));
}

bool DATABASEFILE::flushCache()
{
    bool ok = true;
    for (const auto& [offset, bytes] : m_pending) {
        long long n = dbfio::writeAt(m_handle, offset, bytes.data(), bytes.size());
        if (n < static_cast<long long>(bytes.size())) {
            if (ok)
                showIoError();
            ok = false;
            m_writeErrno = dbfio::lastError();
            m_writeDetail = num(static_cast<long long>(bytes.size())) + " " + num(n) + " flush ";
        }
    }
    m_pending.clear();
    m_pendingBytes = 0;
    return ok;
}

bool DATABASEFILE::writeHeader()
{
    long long n = writeBytes(0, reinterpret_cast<const char*>(m_header), 32);
    if (n < 32) {
        m_writeDetail = "32 " + num(n) + " 411 ";
        setStatus(DbfStatus::WriteFailure, "File write failure");
        return false;
    }
    m_headerChanged = false;
    return true;
}

bool DATABASEFILE::writeRecord()
{
    const int len = recordLength();
    if (m_current < 1 || m_current > static_cast<long long>(headerCount())) {
        // Never write outside the table's records.
        m_recordChanged = false;
        m_status = DbfStatus::BadRecno;
        m_statusText = "recno is invalid";
        return false;
    }
    const std::uint64_t at = std::uint64_t(headerLength()) + std::uint64_t(m_current - 1) * std::uint64_t(len);
    long long n = writeBytes(at, m_record.data(), m_record.size());
    m_recordChanged = false;
    if (n < len) {
        m_writeDetail = num(len) + " " + num(n) + " 556 ";
        setStatus(DbfStatus::WriteFailure, "file write failure");
        return false;
    }
    setHeaderDateToday();
    m_headerChanged = true;
    return true;
}

bool DATABASEFILE::loadRecord()
{
    const int len = recordLength();
    const std::uint64_t at = std::uint64_t(headerLength()) + std::uint64_t(m_current - 1) * std::uint64_t(len);
    long long n = readBytes(at, m_record.data(), m_record.size());
    if (n < len) {
        m_readDetail = "f_loadcurrentrecnobuffer,line_543,read_" + num(n);
        setStatus(DbfStatus::NotDbase, "file isnot a File of dBASE 3");
        return false;
    }
    m_recordChanged = false;
    return true;
}

// ---- create and define ----------------------------------------------------------------------

bool DATABASEFILE::f_new(const QString& path)
{
    return f_new(toLocal(path));
}

bool DATABASEFILE::f_new(const std::string& path)
{
    resetStatus();
    m_location = "f_new,line_1435";
    if (m_open) {
        setStatus(DbfStatus::AlreadyOpen, "File has been opened");
        return false;
    }
    fillHeaderForNew();
    m_fields.clear();
    m_headerChanged = false;
    m_path = path;

    // The program spells its table names in either case; remove every spelling of this one so
    // that the later case-blind open cannot find an old table instead of the new one.
    const QFileInfo info(fromLocal(path));
    QDir dir = info.absoluteDir();
    QStringList victims;
    if (info.exists() || info.isSymLink())
        victims << info.absoluteFilePath();
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& e : entries)
        if (e != info.fileName() && e.compare(info.fileName(), Qt::CaseInsensitive) == 0)
            victims << dir.filePath(e);
    for (const QString& v : victims) {
        const std::string local = toLocal(v);
        if (dbfio::isDirectory(local))
            setStatus(DbfStatus::IsDirectory, "file is a directory");
        else
            dbfio::removeFile(local);  // a failed delete shows up as a failed create below
    }

    m_handle = dbfio::createFile(path);
    if (m_handle == dbfio::kNoHandle) {
        m_writeErrno = dbfio::lastError();
        m_writeDetail = "create " + num(m_writeErrno) + " ";
        setStatus(DbfStatus::WriteFailure, "File write failure");
        return false;
    }
    const unsigned char zero4[4] = {0, 0, 0, 0};
    const char cr = 0x0D, eof = 0x1A;
    struct Piece {
        std::uint64_t at;
        const char* data;
        std::size_t len;
    } pieces[] = {{0, reinterpret_cast<const char*>(m_header), 32},
                  {4, reinterpret_cast<const char*>(zero4), 4},
                  {32, &cr, 1},
                  {33, &eof, 1}};
    bool ok = true;
    for (const Piece& p : pieces) {
        long long n = writeBytes(p.at, p.data, p.len);
        if (n < static_cast<long long>(p.len)) {
            m_writeErrno = dbfio::lastError();
            m_writeDetail = num(static_cast<long long>(p.len)) + " " + num(n) + " 1435 ";
            setStatus(DbfStatus::WriteFailure, "File write failure");
            ok = false;
            break;
        }
    }
    dbfio::closeFile(m_handle);
    m_handle = dbfio::kNoHandle;
    return ok;
}

void DATABASEFILE::f_addfield(const QString& name, char type, int decimals, int width)
{
    f_addfield(gbk::encode(name).toStdString(), type, decimals, width);
}

void DATABASEFILE::f_addfield(const QByteArray& name, char type, int decimals, int width)
{
    f_addfield(name.toStdString(), type, decimals, width);
}

void DATABASEFILE::f_addfield(const std::string& name, char type, int decimals, int width)
{
    resetStatus();
    m_location = "f_addfield,line_1465";
    if (m_open) {
        setStatus(DbfStatus::AlreadyOpen, "File has been opened");
        return;
    }
    Field f;
    f.name = name.substr(0, std::min(name.size(), name.find('\0')));
    if (f.name.size() > 10)
        f.name.resize(10);
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(type)));
    f.width = width;
    f.decimals = decimals;
    f.offset = recordLength() - 1;
    m_fieldRef = f.name;

    // The descriptor keeps one byte for width and decimals and the header 16 bits for the
    // lengths: refuse what they cannot hold instead of writing a table that lies about itself.
    if (f.type != 'C' && f.type != 'N' && f.type != 'L') {
        setStatus(DbfStatus::BadFieldType, "field type is invalid");
        return;
    }
    if (width < 0 || width > kMaxFieldWidth || decimals < 0 || decimals > 255
        || recordLength() + width > 0xFFFF) {
        setStatus(DbfStatus::BadWidth, "field width is invalid");
        return;
    }
    if (headerLength() + 32 > 0xFFFF) {
        setStatus(DbfStatus::TooManyFields, "too many fields");
        return;
    }
    if (!dbfio::exists(m_path)) {
        setStatus(DbfStatus::NoFile, "File doesnot exist");
        return;
    }
    m_handle = dbfio::openFile(m_path, dbfio::OpenMode::ReadWrite);
    if (m_handle == dbfio::kNoHandle) {
        m_status = DbfStatus::OpenError;
        m_statusText = "File open error";
        return;
    }

    setHeaderLength(headerLength() + 32);
    setHeaderCount(0);
    setRecordLength(recordLength() + width);
    m_headerChanged = true;
    m_fields.push_back(f);

    const std::string desc = descriptorBytes();
    const int hl = headerLength();
    const char cr = 0x0D, eof = 0x1A;
    long long n = writeBytes(0, reinterpret_cast<const char*>(m_header), 32);
    bool ok = n == 32;
    if (ok) {
        n = writeBytes(32, desc.data(), desc.size());
        ok = n == static_cast<long long>(desc.size());
    }
    if (!ok) {
        m_writeDetail = "f_addfield " + num(n) + " ";
        setStatus(DbfStatus::WriteFailure, "File write failure");
    } else if ((n = writeBytes(static_cast<std::uint64_t>(hl - 1), &cr, 1)) < 1
               || (n = writeBytes(static_cast<std::uint64_t>(hl), &eof, 1)) < 1) {
        m_writeDetail = "1 " + num(n) + " 1465 ";
        setStatus(DbfStatus::WriteFailure, "File write failure");
    } else {
        m_headerChanged = false;
    }
    dbfio::closeFile(m_handle);
    m_handle = dbfio::kNoHandle;
}

// ---- open and close -------------------------------------------------------------------------

int DATABASEFILE::f_open(const QString& folder, const QString& fileName, const QString& mode)
{
    return f_open(toLocal(folder), toLocal(fileName), mode.toStdString());
}

int DATABASEFILE::f_open(const std::string& folder, const std::string& fileName, const std::string& mode)
{
    resetStatus();
    m_location = "f_open,line_303";
    if (m_open) {
        setStatus(DbfStatus::AlreadyOpen, "File has been opened");
        return DbfOpen::Failed;
    }
    m_handle = kHandleOpening;
    QString dir = fromLocal(folder);
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    m_path = toLocal(FindFileNoCase(dir, fromLocal(fileName)));
    std::memset(m_header + 12, 0, 20);
    m_fields.clear();
    m_pending.clear();
    m_pendingBytes = 0;

    if (!dbfio::exists(m_path)) {
        setStatus(DbfStatus::NoFile, "File doesnot exist");
        return DbfOpen::NoFile;
    }
    m_readOnly = upper(mode) == "READONLY";
    const long h = dbfio::openFile(m_path, m_readOnly ? dbfio::OpenMode::ReadOnly : dbfio::OpenMode::ReadWrite);
    if (h == dbfio::kNoHandle) {
        m_status = DbfStatus::OpenError;
        m_statusText = "File open error";
        return DbfOpen::Failed;
    }
    m_handle = h;
    auto fail = [this]() {
        dbfio::closeFile(m_handle);
        m_handle = dbfio::kNoHandle;
        m_fields.clear();
        m_readOnly = false;
        return DbfOpen::Failed;
    };

    unsigned char head[32] = {};
    long long n = dbfio::readAt(m_handle, 0, head, 32);
    if (n < 32 || head[0] != 3) {
        m_readDetail = "f_readhead,line_393,the 03 is " + num(n >= 1 ? head[0] : -1);
        setStatus(DbfStatus::NotDbase, "File isnot a File of dBASE 3");
        return fail();
    }
    std::memcpy(m_header, head, 12);
    const int hl = headerLength();
    const int rl = recordLength();
    if (hl < 33 || rl < 1) {
        m_readDetail = "f_readhead,line_393,length " + num(hl) + " " + num(rl);
        setStatus(DbfStatus::NotDbase, "File isnot a File of dBASE 3");
        return fail();
    }

    const int count = hl / 32 - 1;
    std::string desc(static_cast<std::size_t>(32 * count), '\0');
    n = count > 0 ? dbfio::readAt(m_handle, 32, desc.data(), desc.size()) : 0;
    if (n < static_cast<long long>(desc.size())) {
        m_readDetail = "f_readfieldinfo,line_502,read_" + num(n);
        setStatus(DbfStatus::NotDbase, "file is not a File of dBASE 3");
        return fail();
    }
    int offset = 0;
    for (int i = 0; i < count; ++i) {
        const char* d = desc.data() + 32 * i;
        Field f;
        f.name.assign(d, strnlen(d, 10));
        f.type = d[11];
        f.width = static_cast<unsigned char>(d[16]);
        f.decimals = static_cast<unsigned char>(d[17]);
        f.offset = offset;
        offset += f.width;
        m_fields.push_back(f);
    }
    for (const Field& f : m_fields) {
        if (f.type != 'C' && f.type != 'N' && f.type != 'L') {
            setStatus(DbfStatus::BadFieldType, "field type is invalid");
            return fail();
        }
    }
    // A record length that disagrees with the fields would let a field run past the record.
    if (offset + 1 != rl) {
        m_readDetail = "f_readfieldinfo,line_502,reclen_" + num(rl) + "_fields_" + num(offset + 1);
        setStatus(DbfStatus::NotDbase, "file is not a File of dBASE 3");
        return fail();
    }

    // A count past the end of the file would make the next append write gigabytes away from
    // the data (a sparse file of any size); such a header is damaged.
    const qint64 size = QFileInfo(fromLocal(m_path)).size();
    if (qint64(hl) + qint64(headerCount()) * rl > size) {
        m_readDetail = "f_readhead,line_393,reccount_" + num(static_cast<long long>(headerCount())) + "_size_" +
                       num(static_cast<long long>(size));
        setStatus(DbfStatus::NotDbase, "file is not a File of dBASE 3");
        return fail();
    }

    m_record.assign(static_cast<std::size_t>(rl), ' ');
    m_open = true;
    m_current = 0;
    m_recordChanged = false;
    m_headerChanged = false;
    const int saved = m_status;
    GotoTop();
    if (m_status == DbfStatus::Ok)
        m_status = saved;
    return DbfOpen::Opened;
}

void DATABASEFILE::releaseTable()
{
    m_recordChanged = false;
    m_headerChanged = false;
    m_record.clear();
    m_record.shrink_to_fit();
    m_fields.clear();
    m_pending.clear();
    m_pendingBytes = 0;
    dbfio::closeFile(m_handle);
    m_handle = dbfio::kNoHandle;
    m_path = kNotOpen;
    m_open = false;
    m_readOnly = false;
    m_current = 0;
}

int DATABASEFILE::f_Close()
{
    resetStatus();
    m_location = "f_Close";
    if (!m_open) {
        setStatus(DbfStatus::NotOpen, "File hasnot been opened");
        return 0;
    }
    if (m_headerChanged)
        writeHeader();
    if (m_recordChanged)
        writeRecord();
    if (!flushCache() && statusOk())
        setStatus(DbfStatus::WriteFailure, "File write failure");
    releaseTable();
    return 1;
}

// ---- records --------------------------------------------------------------------------------

bool DATABASEFILE::requireOpen(const char* location)
{
    if (m_open)
        return true;
    m_location = location;
    setStatus(DbfStatus::NotOpen, "File hasnot been opened");
    return false;
}

bool DATABASEFILE::f_go(long long n, GoMode mode)
{
    if (!requireOpen("f_go,line_734"))
        return false;
    const long long count = headerCount();
    long long target = n;
    if (mode == GoRelative)
        target = m_current + n;
    else if (mode == GoFromBottom)
        target = count - n;

    if (target == m_current && m_recordChanged && target >= 1 && target <= count)
        return true;  // keep the pending changes rather than reloading over them
    if (m_current != target && m_current >= 1 && m_current <= count && m_recordChanged)
        writeRecord();
    if (target > count + 1 || target < 1) {
        m_goDetail = "_GO_" + num(target) + "-RECCOUNT_" + num(count);
        m_current = target < 1 ? 1 : target;
        setStatus(DbfStatus::BadMove, "record number out of range");
        return false;
    }
    m_current = target;
    if (target >= 1 && target <= count)
        return loadRecord();
    return true;
}

bool DATABASEFILE::GotoTop()
{
    if (!requireOpen("GotoTop"))
        return false;
    return f_go(1, GoAbsolute);
}

long long DATABASEFILE::Recno()
{
    if (!requireOpen("Recno"))
        return 0;
    return m_current;
}

long long DATABASEFILE::RecCount()
{
    if (!requireOpen("RecCount"))
        return 0;
    return headerCount();
}

bool DATABASEFILE::f_appendblank()
{
    resetStatus();
    m_location = "f_appendblank,line_1279";
    if (!requireOpen("f_appendblank,line_1279"))
        return false;
    if (m_readOnly) {
        setStatus(DbfStatus::ReadOnly, "file is read only");
        return false;
    }
    if (headerCount() == UINT32_MAX) {
        m_goDetail = "_GO_" + num(static_cast<long long>(headerCount()) + 1) + "-RECCOUNT_" + num(headerCount());
        setStatus(DbfStatus::BadMove, "record number out of range");
        return false;
    }
    if (m_recordChanged)
        writeRecord();
    setHeaderCount(headerCount() + 1);
    m_current = headerCount();
    m_headerChanged = true;
    writeHeader();
    std::fill(m_record.begin(), m_record.end(), ' ');
    m_recordChanged = true;

    const std::size_t rl = m_record.size();
    const std::uint64_t hl = static_cast<std::uint64_t>(headerLength());
    if (headerCount() == 1) {
        const std::string blanks(rl * kPreallocatedRecords, ' ');
        writeBytes(hl, blanks.data(), blanks.size());
    }
    const std::uint64_t at = hl + std::uint64_t(m_current - 1) * rl;
    long long n = writeBytes(at, m_record.data(), rl);
    if (n < static_cast<long long>(rl)) {
        m_writeDetail = num(static_cast<long long>(rl)) + " " + num(n) + " 1269 ";
        setStatus(DbfStatus::WriteFailure, "file write failure");
        return false;
    }
    const char eof = 0x1A;
    n = writeBytes(at + rl, &eof, 1);
    if (n < 1) {
        m_writeDetail = "1 " + num(n) + " 1279 ";
        setStatus(DbfStatus::WriteFailure, "file write failure");
        return false;
    }
    return statusOk();
}

// ---- fields ---------------------------------------------------------------------------------

bool DATABASEFILE::fieldInRange(int fieldNo)
{
    if (fieldNo >= 1 && fieldNo <= FieldCount())
        return true;
    m_fieldRef = num(fieldNo);
    setStatus(DbfStatus::NoField, "field doesnot exist");
    return false;
}

bool DATABASEFILE::ReplaceNoString(int fieldNo, const QString& text)
{
    return ReplaceNoString(fieldNo, gbk::encode(text));
}

bool DATABASEFILE::ReplaceNoString(int fieldNo, const std::string& text)
{
    return ReplaceNoString(fieldNo, QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())));
}

bool DATABASEFILE::ReplaceNoString(int fieldNo, const QByteArray& text)
{
    resetStatus();
    m_location = "ReplaceNoString";
    if (!requireOpen("ReplaceNoString"))
        return false;
    if (!fieldInRange(fieldNo))
        return false;
    const Field& f = m_fields[static_cast<std::size_t>(fieldNo - 1)];
    if (f.type != 'C') {
        m_fieldRef = num(fieldNo);
        setStatus(DbfStatus::TypeMismatch, "field type mismatch");
        return false;
    }
    if (m_readOnly) {
        setStatus(DbfStatus::ReadOnly, "file is read only");
        return false;
    }
    char* dst = m_record.data() + 1 + f.offset;
    const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(text.size()), static_cast<std::size_t>(f.width));
    std::memcpy(dst, text.constData(), take);
    std::memset(dst + take, ' ', static_cast<std::size_t>(f.width) - take);
    m_recordChanged = true;
    return statusOk();
}

int DATABASEFILE::FieldNoLength(int fieldNo, int* offset)
{
    if (!requireOpen("FieldNoLength"))
        return 0;
    if (fieldNo < 1 || fieldNo > FieldCount()) {
        m_fieldRef = num(fieldNo);
        setStatus(DbfStatus::NoField, "field doesnot exist");
        return -1;
    }
    const Field& f = m_fields[static_cast<std::size_t>(fieldNo - 1)];
    if (offset)
        *offset = 1 + f.offset;
    return f.width;
}

char DATABASEFILE::FieldType(int fieldNo)
{
    if (!fieldInRange(fieldNo))
        return 0;
    return m_fields[static_cast<std::size_t>(fieldNo - 1)].type;
}

bool DATABASEFILE::IsCharField(int fieldNo)
{
    return FieldType(fieldNo) == 'C';
}

bool DATABASEFILE::IsIntegerField(int fieldNo)
{
    return FieldType(fieldNo) == 'N' && m_fields[static_cast<std::size_t>(fieldNo - 1)].decimals == 0;
}

bool DATABASEFILE::IsDecimalField(int fieldNo)
{
    return FieldType(fieldNo) == 'N' && m_fields[static_cast<std::size_t>(fieldNo - 1)].decimals > 0;
}

bool DATABASEFILE::IsLogicalField(int fieldNo)
{
    return FieldType(fieldNo) == 'L';
}

std::string DATABASEFILE::FieldName(int fieldNo) const
{
    if (fieldNo < 1 || fieldNo > FieldCount())
        return {};
    return m_fields[static_cast<std::size_t>(fieldNo - 1)].name;
}

}  // namespace corvanta
