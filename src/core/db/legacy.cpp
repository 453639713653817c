#include "core/db/legacy.h"

#include "core/app/dates.h"
#include "core/db/schema.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <cmath>
#include <cstring>
#include <sqlite3.h>
#include <vector>

// The C header needs these first when compiled as C++.
#include "core/db/clientcalls.h"
#include <glib.h>
#include <iconv.h>

namespace core::db::legacy {

namespace {

constexpr int kPageJet3 = 2048;
constexpr int kPage = 4096;
// The library's own bind size; a value that fills it is read again with a larger one.
constexpr size_t kBindSize = MDB_BIND_SIZE;
constexpr size_t kLargestValue = size_t(1) << 30;
// 0100-01-01 and 9999-12-31 as days since 1899-12-30: the dates Jet can hold.
constexpr double kFirstDay = -657434.0;
constexpr double kLastDay = 2958465.0;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Numbered as SQLite numbers its failures, so that a transfer file in this format is
// refused with the number a transfer file of ours would be.
Failure unreadable(const QString &path, const QString &reason, int number)
{
    return Failure::withReason(QStringLiteral("The file \"%1\" cannot be read: %2.").arg(shown(path), reason), reason,
                               number);
}

QString damaged(const QString &what)
{
    return QStringLiteral("the file is damaged (%1)").arg(what);
}

// The names the old program's designer shows, by libmdb's type number (1 to 12).
QString typeName(int type)
{
    static const char *const kNames[] = {"Yes/No", "Byte",      "Integer", "Long Integer", "Currency",   "Single",
                                         "Double", "Date/Time", "Binary",  "Text",         "OLE Object", "Memo"};
    static_assert(MDB_BOOL == 1 && MDB_TEXT == 10 && MDB_OLE == 11 && MDB_MEMO == 12);
    if (type >= MDB_BOOL && type <= MDB_MEMO && type != MDB_BINARY)
        return QString::fromLatin1(kNames[type - MDB_BOOL]);
    return QStringLiteral("type %1").arg(type);
}

// The bytes a value of a fixed-width type takes; 0 for the others.
int fixedWidth(int type)
{
    switch (type) {
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
        return 4;
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return 8;
    default:
        return 0;
    }
}

bool isWhole(int type)
{
    return type == MDB_BYTE || type == MDB_INT || type == MDB_LONGINT;
}

bool isText(int type)
{
    return type == MDB_TEXT || type == MDB_MEMO;
}

// The header: a Jet/ACE signature, the version, and the part of page 0 that every
// file keeps RC4-masked with one fixed key.
struct Header
{
    int version = -1; // 0 Jet 3, 1 Jet 4, 2.. ACE
    quint32 dbKey = 0;
    bool password = false;
};

void rc4(const quint8 *key, int keyLength, quint8 *data, int length)
{
    quint8 s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = quint8(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % keyLength]) & 0xff;
        std::swap(s[i], s[j]);
    }
    for (int n = 0, i = 0, j = 0; n < length; ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 0xff];
    }
}

quint32 le32(const quint8 *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

std::optional<Header> readHeader(const QByteArray &page)
{
    static const QByteArray jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    static const QByteArray ace("\x00\x01\x00\x00Standard ACE DB\x00", 20);
    if (page.size() < 0x9a || !(page.startsWith(jet) || page.startsWith(ace)))
        return std::nullopt;
    Header h;
    QByteArray plain = page.left(0x9a);
    auto *p = reinterpret_cast<quint8 *>(plain.data());
    h.version = p[0x14];
    const quint8 key[4] = {0xc7, 0xda, 0x39, 0x6b};
    rc4(key, 4, p + 0x18, h.version == 0 ? 126 : 128);
    h.dbKey = le32(p + 0x3e);
    // The password is kept masked; from Jet 4 on, also with the creation date.
    quint8 mask[4] = {0, 0, 0, 0};
    if (h.version > 0) {
        double created;
        std::memcpy(&created, p + 0x72, sizeof created);
        const qint32 whole = std::isfinite(created) && std::fabs(created) < 2e9 ? qint32(created) : 0;
        for (int i = 0; i < 4; ++i)
            mask[i] = quint8(quint32(whole) >> (8 * i));
    }
    const int length = h.version == 0 ? 20 : 40;
    for (int i = 0; i < length; ++i)
        h.password = h.password || (p[0x42 + i] ^ mask[i % 4]) != 0;
    return h;
}

QString formatName(int version)
{
    static const char *const kNames[]
        = {"Jet 3 (Access 97)",    "Jet 4 (Access 2000-2003)", "ACE 12 (Access 2007)", "ACE 14 (Access 2010)",
           "ACE 15 (Access 2013)", "ACE 16 (Access 2016)",     "ACE 17 (Access 2019)"};
    static_assert(MDB_VER_JET3 == 0 && MDB_VER_ACCDB_2019 == 6);
    return version >= MDB_VER_JET3 && version <= MDB_VER_ACCDB_2019 ? QString::fromLatin1(kNames[version]) : QString();
}

// Days since 1899-12-30 with the time of day as the fraction; for a negative value
// the whole part is the day and the fraction still counts forwards from midnight.
std::optional<QString> isoFromJet(double value)
{
    if (!std::isfinite(value) || value < kFirstDay - 1 || value >= kLastDay + 1)
        return std::nullopt;
    const double day = std::trunc(value);
    qint64 seconds = std::llround(std::fabs(value - day) * 86400.0);
    QDate date = QDate(1899, 12, 30).addDays(qint64(day));
    if (seconds >= 86400) {
        date = date.addDays(1);
        seconds -= 86400;
    }
    if (date.year() < 100 || date.year() > 9999)
        return std::nullopt;
    if (seconds == 0)
        return QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                             int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
}

MdbColumn *columnNamed(MdbTableDef *t, const QString &name)
{
    for (unsigned i = 0; i < t->num_cols; ++i) {
        auto *c = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, i));
        if (name.compare(QString::fromUtf8(c->name), Qt::CaseInsensitive) == 0)
            return c;
    }
    return nullptr;
}

struct TableDef
{
    MdbTableDef *t = nullptr;
    explicit TableDef(MdbCatalogEntry *entry)
        : t(mdb_read_table(entry))
    {
        if (t && !mdb_read_columns(t)) {
            mdb_free_tabledef(t);
            t = nullptr;
        }
    }
    ~TableDef()
    {
        if (t)
            mdb_free_tabledef(t);
    }
    TableDef(const TableDef &) = delete;
    TableDef &operator=(const TableDef &) = delete;
};

} // namespace

struct Reader::Impl
{
    QString path;
    MdbHandle *mdb = nullptr;
    int version = 0;
    QList<MdbCatalogEntry *> entries; // user tables, catalog order
    Counts counts;
    QStringList datesAsText;               // tables whose pick-up date is a Text column
    std::optional<QStringDecoder> decoder; // when the library is not set to give UTF-8

    ~Impl()
    {
        if (mdb)
            mdb_close(mdb);
    }

    MdbCatalogEntry *entry(const QString &table) const
    {
        for (MdbCatalogEntry *e : entries)
            if (table.compare(QString::fromUtf8(e->object_name), Qt::CaseInsensitive) == 0)
                return e;
        return nullptr;
    }

    QString text(const char *s, size_t length)
    {
        return decoder ? (*decoder)(QByteArrayView(s, qsizetype(length))) : QString::fromUtf8(s, qsizetype(length));
    }

    // A Text or Memo value whole: the library cuts a value at its bind size, so a
    // value that fills it is read again with a larger one.
    std::optional<QString> readText(MdbColumn *col, const MdbField &f)
    {
        for (;;) {
            char *s = mdb_col_to_string(mdb, mdb->pg_buf, f.start, col->col_type, f.siz);
            if (!s)
                return std::nullopt;
            const size_t length = std::strlen(s);
            const QString out = length + 1 < mdb->bind_size ? text(s, length) : QString();
            g_free(s);
            if (length + 1 < mdb->bind_size) {
                // A memo whose pages cannot be read comes back empty.
                if (col->col_type == MDB_MEMO && out.isEmpty() && f.siz >= MDB_MEMO_OVERHEAD
                    && (quint32(mdb_get_int32(mdb->pg_buf, f.start)) & 0x3fffffff) > 2)
                    return std::nullopt;
                return out;
            }
            if (mdb->bind_size >= kLargestValue)
                return std::nullopt;
            mdb_set_bind_size(mdb, mdb->bind_size * 4);
        }
    }
};

Reader::Reader(std::unique_ptr<Impl> impl)
    : d(std::move(impl))
{
}

Reader::~Reader() = default;

bool isLegacyFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && readHeader(f.read(kPage)).has_value();
}

std::unique_ptr<Reader> Reader::open(const QString &path, Failure *why)
{
    const auto refused = [&](const QString &reason, int number) {
        fail(why, unreadable(path, reason, number));
        return nullptr;
    };
    const QFileInfo fi(path);
    if (!fi.exists())
        return refused(QStringLiteral("the file does not exist"), SQLITE_CANTOPEN);
    if (fi.isDir())
        return refused(QStringLiteral("it is a folder, not a file"), SQLITE_CANTOPEN);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return refused(QStringLiteral("it cannot be opened (%1)").arg(f.errorString()), SQLITE_CANTOPEN);
    const std::optional<Header> h = readHeader(f.read(kPage));
    const qint64 size = f.size();
    f.close();
    if (!h)
        return refused(size == 0 ? QStringLiteral("the file is empty")
                                 : QStringLiteral("it is not a database of the old program (no Jet or ACE header)"),
                       SQLITE_NOTADB);
    if (formatName(h->version).isEmpty())
        return refused(QStringLiteral("its format (version %1) is not known").arg(h->version), SQLITE_NOTADB);
    if (h->password)
        return refused(QStringLiteral("it is protected with a password; remove the password in the old program "
                                      "first"),
                       SQLITE_NOTADB);
    if (h->dbKey != 0)
        return refused(QStringLiteral("it is encrypted; decrypt it in the old program first"), SQLITE_NOTADB);
    const int page = h->version == 0 ? kPageJet3 : kPage;
    if (size < 3 * page || size % page != 0)
        return refused(
            QStringLiteral("the file is cut short or damaged (%1 bytes is not a whole number of pages)").arg(size),
            SQLITE_CORRUPT);

    if (QString missing; !db::clientLibraryLoads("mdb", 3, &missing))
        return refused(QStringLiteral("mdbtools' library cannot be loaded (%1)").arg(missing), SQLITE_CANTOPEN);
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->version = h->version;
    impl->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!impl->mdb)
        return refused(damaged(QStringLiteral("its first page cannot be read")), SQLITE_CORRUPT);
    mdb_set_bind_size(impl->mdb, kBindSize);
    if (const QByteArray target = mdb_target_charset(impl->mdb);
        target.compare("UTF-8", Qt::CaseInsensitive) != 0 && target.compare("UTF8", Qt::CaseInsensitive) != 0) {
        impl->decoder.emplace(target.constData());
        if (!impl->decoder->isValid())
            return refused(QStringLiteral("its texts would come in the character set %1, which cannot be read "
                                          "(unset MDB_ICONV)")
                               .arg(QString::fromLatin1(target)),
                           SQLITE_ERROR);
    }
    // Even an empty database lists its system tables.
    GPtrArray *catalog = mdb_read_catalog(impl->mdb, MDB_TABLE);
    if (!catalog || catalog->len == 0)
        return refused(QStringLiteral("its list of tables cannot be read (the file is damaged, or encrypted in a "
                                      "way that cannot be read)"),
                       SQLITE_CORRUPT);
    for (guint i = 0; i < catalog->len; ++i) {
        auto *e = static_cast<MdbCatalogEntry *>(g_ptr_array_index(catalog, i));
        if (e->object_type == MDB_TABLE && mdb_is_user_table(e))
            impl->entries << e;
    }
    return std::unique_ptr<Reader>(new Reader(std::move(impl)));
}

std::unique_ptr<Reader> Reader::openRegister(const QString &path, Failure *why)
{
    std::unique_ptr<Reader> r = open(path, why);
    if (!r)
        return nullptr;
    const auto refused = [&](const QString &reason, int number) {
        fail(why, unreadable(path, reason, number));
        return nullptr;
    };
    QStringList missing;
    for (const schema::Table &t : schema::tables())
        if (!r->d->entry(t.name))
            missing << QLatin1Char('"') + t.name + QLatin1Char('"');
    if (!missing.isEmpty()) {
        const QString list = missing.size() == 1
            ? missing.first()
            : missing.mid(0, missing.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + missing.last();
        return refused(QStringLiteral("it is not a file of the old program: the %1 %2 %3 missing")
                           .arg(missing.size() == 1 ? QStringLiteral("table") : QStringLiteral("tables"), list,
                                missing.size() == 1 ? QStringLiteral("is") : QStringLiteral("are")),
                       SQLITE_ERROR);
    }
    for (const schema::Table &t : schema::tables()) {
        TableDef def(r->d->entry(t.name));
        if (!def.t)
            return refused(damaged(QStringLiteral("the table \"%1\" cannot be read").arg(t.name)), SQLITE_CORRUPT);
        for (const QString &c : t.columns) {
            MdbColumn *col = columnNamed(def.t, c);
            if (!col)
                return refused(QStringLiteral("the table \"%1\" has no column \"%2\"").arg(t.name, c), SQLITE_ERROR);
            const int type = col->col_type;
            const bool id = c.startsWith(QLatin1String("id"));
            const bool fits = id                   ? isWhole(type)
                : c == QLatin1String("active")     ? type == MDB_BOOL || isWhole(type)
                : c == QLatin1String("pickupdate") ? type == MDB_DATETIME || isText(type)
                                                   : isText(type);
            if (!fits)
                return refused(QStringLiteral("the column \"%1\" of the table \"%2\" is of the type %3")
                                   .arg(c, t.name, typeName(type)),
                               SQLITE_MISMATCH);
            if (c == QLatin1String("pickupdate") && isText(type))
                r->d->datesAsText << t.name;
        }
        const qint64 rows = def.t->num_rows;
        if (t.name == QLatin1String("project"))
            r->d->counts.projects = rows;
        else if (t.name == QLatin1String("authorizedcompanies"))
            r->d->counts.companies = rows;
        else
            r->d->counts.pickups = rows;
    }
    return r;
}

QString Reader::format() const
{
    return formatName(d->version);
}

QStringList Reader::tables() const
{
    QStringList out;
    for (MdbCatalogEntry *e : d->entries)
        out << QString::fromUtf8(e->object_name);
    return out;
}

Counts Reader::counts() const
{
    return d->counts;
}

bool Reader::read(const QString &table, const QStringList &columns, const RowFn &row, Failure *why)
{
    const auto refused
        = [&](const QString &reason, int number) { return fail(why, unreadable(d->path, reason, number)); };
    MdbCatalogEntry *entry = d->entry(table);
    if (!entry)
        return refused(QStringLiteral("it has no table \"%1\"").arg(table), SQLITE_ERROR);
    TableDef def(entry);
    MdbTableDef *t = def.t;
    if (!t)
        return refused(damaged(QStringLiteral("the table \"%1\" cannot be read").arg(table)), SQLITE_CORRUPT);
    std::vector<MdbColumn *> cols;
    for (const QString &c : columns) {
        cols.push_back(columnNamed(t, c));
        if (!cols.back())
            return refused(QStringLiteral("the table \"%1\" has no column \"%2\"").arg(table, c), SQLITE_ERROR);
    }
    MdbHandle *mdb = d->mdb;
    std::vector<MdbField> fields(t->num_cols + 1);
    std::vector<int> fieldOf(t->num_cols + 1);
    QVariantList values;
    values.reserve(cols.size());
    qint64 read = 0;
    const auto badRow = [&](const QString &what) {
        return refused(damaged(QStringLiteral("row %1 of the table \"%2\": %3").arg(read + 1).arg(table, what)),
                       SQLITE_CORRUPT);
    };
    mdb_rewind_table(t);
    while (mdb_fetch_row(t)) {
        int start = 0;
        size_t length = 0;
        if (mdb_find_row(mdb, int(t->cur_row) - 1, &start, &length) != 0)
            return badRow(QStringLiteral("it cannot be found on its page"));
        const int n = mdb_crack_row(t, start & 0x1fff, length, fields.data());
        if (n < int(t->num_cols))
            return badRow(QStringLiteral("its values cannot be told apart"));
        for (int k = 0; k < n && k < int(fields.size()); ++k)
            if (fields[k].colnum >= 0 && fields[k].colnum < int(fieldOf.size()))
                fieldOf[fields[k].colnum] = k;
        values.clear();
        for (MdbColumn *col : cols) {
            const MdbField &f = fields[fieldOf[col->col_num]];
            if (col->col_type == MDB_BOOL) {
                values << QVariant(f.is_null ? 0 : -1);
                continue;
            }
            if (f.is_null) {
                values << QVariant();
                continue;
            }
            const int width = fixedWidth(col->col_type);
            if (width && f.siz != width)
                return badRow(QStringLiteral("the value of \"%1\" is %2 bytes long").arg(col->name).arg(f.siz));
            switch (col->col_type) {
            case MDB_BYTE:
                values << QVariant(qint64(mdb_get_byte(mdb->pg_buf, f.start)));
                break;
            case MDB_INT:
                values << QVariant(qint64(qint16(mdb_get_int16(mdb->pg_buf, f.start))));
                break;
            case MDB_LONGINT:
                values << QVariant(qint64(qint32(mdb_get_int32(mdb->pg_buf, f.start))));
                break;
            case MDB_FLOAT:
                values << QVariant(double(mdb_get_single(mdb->pg_buf, f.start)));
                break;
            case MDB_DOUBLE:
                values << QVariant(mdb_get_double(mdb->pg_buf, f.start));
                break;
            case MDB_DATETIME: {
                const double raw = mdb_get_double(mdb->pg_buf, f.start);
                const std::optional<QString> iso = isoFromJet(raw);
                if (!iso)
                    return badRow(QStringLiteral("\"%1\" holds %2, which is not a date").arg(col->name).arg(raw));
                values << QVariant(*iso);
                break;
            }
            default: {
                const std::optional<QString> s = d->readText(col, f);
                if (!s)
                    return badRow(QStringLiteral("the text of \"%1\" cannot be read").arg(col->name));
                values << QVariant(*s);
            }
            }
        }
        ++read;
        if (!row(values))
            return true;
    }
    if (read != qint64(t->num_rows))
        return refused(damaged(QStringLiteral("the table \"%1\" declares %2 rows, but %3 can be read")
                                   .arg(table)
                                   .arg(t->num_rows)
                                   .arg(read)),
                       SQLITE_CORRUPT);
    return true;
}

bool Reader::readRows(const QString &table, const RowFn &row, Failure *why)
{
    const schema::Table &t = schema::table(table);
    const int active = int(t.columns.indexOf(QStringLiteral("active")));
    const int date = int(t.columns.indexOf(QStringLiteral("pickupdate")));
    const bool dateAsText = date >= 0 && d->datesAsText.contains(t.name);
    QString bad;
    const bool read = this->read(
        table, t.columns,
        [&](const QVariantList &in) {
            QVariantList v = in;
            if (v.at(0).isNull()) {
                bad = QStringLiteral("a row of the table \"%1\" has no id").arg(table);
                return false;
            }
            if (active >= 0)
                v[active] = v.at(active).toLongLong() != 0 ? -1 : 0;
            if (dateAsText && !v.at(date).isNull()) {
                const QString text = v.at(date).toString().trimmed();
                // A date kept as text is read the way the old program's date check wrote it.
                if (text.isEmpty()) {
                    v[date] = QVariant();
                } else {
                    const std::optional<QDateTime> dt = dates::parse(text);
                    if (!dt) {
                        bad = QStringLiteral("the pick-up date \"%1\" of the row with the id %2 of the table "
                                             "\"%3\" is not a date")
                                  .arg(text)
                                  .arg(v.at(0).toLongLong())
                                  .arg(table);
                        return false;
                    }
                    v[date] = dates::isoText(*dt);
                }
            }
            return row(v);
        },
        why);
    if (!bad.isEmpty())
        return fail(why, unreadable(d->path, bad, SQLITE_MISMATCH));
    return read;
}

} // namespace core::db::legacy
