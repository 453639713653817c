#include "core/app/dates.h"

#include <QRegularExpression>
#include <QStringList>

namespace core::dates {

namespace {

int monthFromName(const QString &word)
{
    static const char *names[] = {"january", "february", "march",     "april",   "may",      "june",
                                  "july",    "august",   "september", "october", "november", "december"};
    const QString w = word.toLower();
    if (w.size() < 3)
        return 0;
    for (int i = 0; i < 12; ++i) {
        const QString n = QString::fromLatin1(names[i]);
        if (n == w || (w.size() <= n.size() && n.startsWith(w) && w.size() >= 3))
            return i + 1;
    }
    return 0;
}

int expandYear(const QString &digits)
{
    const int y = digits.toInt();
    if (digits.size() <= 2)
        return y < 30 ? 2000 + y : 1900 + y;
    return y;
}

// "h:mm", "h:mm:ss", optionally followed by AM/PM (or A/P).
std::optional<QTime> parseTime(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2})(?::(\\d{1,2}))(?::(\\d{1,2}))?\\s*([AaPp][Mm]?)?$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    int h = m.captured(1).toInt();
    const int mi = m.captured(2).toInt();
    const int s = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    const QString ampm = m.captured(4).toUpper();
    if (!ampm.isEmpty()) {
        if (h < 1 || h > 12)
            return std::nullopt;
        if (ampm.startsWith(QLatin1Char('P')) && h != 12)
            h += 12;
        if (ampm.startsWith(QLatin1Char('A')) && h == 12)
            h = 0;
    }
    const QTime t(h, mi, s);
    if (!t.isValid())
        return std::nullopt;
    return t;
}

std::optional<QDate> numericDate(const QStringList &nums, const QDate &today)
{
    auto valid = [](int y, int m, int d) -> std::optional<QDate> {
        const QDate date(y, m, d);
        if (!date.isValid() || y < 100)
            return std::nullopt;
        return date;
    };
    if (nums.size() == 3) {
        if (nums[0].size() >= 3) // year first: 2026-03-07
            return valid(nums[0].toInt(), nums[1].toInt(), nums[2].toInt());
        const int a = nums[0].toInt(), b = nums[1].toInt();
        const int y = expandYear(nums[2]);
        if (a >= 1 && a <= 12)
            return valid(y, a, b);
        if (b >= 1 && b <= 12)
            return valid(y, b, a);
        return std::nullopt;
    }
    if (nums.size() == 2) {
        const int a = nums[0].toInt(), b = nums[1].toInt();
        if (a >= 1 && a <= 12) {
            if (nums[1].size() >= 3) // month and year: the first of the month
                return valid(b, a, 1);
            return valid(today.year(), a, b);
        }
        if (b >= 1 && b <= 12 && nums[1].size() <= 2)
            return valid(today.year(), b, a);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QDate> namedMonthDate(int month, const QStringList &nums, const QDate &today)
{
    int day = 1, year = today.year();
    if (nums.size() == 2) {
        if (nums[0].size() >= 3) { // 2026 March 7
            year = nums[0].toInt();
            day = nums[1].toInt();
        } else {
            day = nums[0].toInt();
            year = expandYear(nums[1]);
        }
    } else if (nums.size() == 1) {
        if (nums[0].size() >= 3 || nums[0].toInt() > 31)
            year = expandYear(nums[0]);
        else
            day = nums[0].toInt();
    } else {
        return std::nullopt;
    }
    const QDate d(year, month, day);
    if (!d.isValid() || year < 100)
        return std::nullopt;
    return d;
}

} // namespace

std::optional<QDateTime> parse(const QString &input, const QDate &today)
{
    QString text = input.trimmed();
    if (text.isEmpty())
        return std::nullopt;

    // A time of day follows the date after a blank: split it off at its first colon.
    QTime time(0, 0);
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        int start = text.lastIndexOf(QLatin1Char(' '), colon);
        if (start < 0)
            return std::nullopt; // a time alone is no date
        const auto t = parseTime(text.mid(start + 1));
        if (!t)
            return std::nullopt;
        time = *t;
        text = text.left(start).trimmed();
    }

    static const QRegularExpression token(QStringLiteral("(\\d+)|([A-Za-z]+)|([/.,\\-\\s]+)|(.)"));
    QStringList nums;
    int month = 0;
    QChar separator;
    bool mixedSeparators = false;
    auto it = token.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        if (!m.captured(1).isEmpty()) {
            if (m.captured(1).size() > 4)
                return std::nullopt;
            nums << m.captured(1);
        } else if (!m.captured(2).isEmpty()) {
            const int mo = monthFromName(m.captured(2));
            if (mo == 0 || month != 0)
                return std::nullopt;
            month = mo;
        } else if (!m.captured(3).isEmpty()) {
            const QString sep = m.captured(3).trimmed();
            if (sep.size() > 1)
                return std::nullopt;
            if (sep.size() == 1 && month == 0) {
                if (!separator.isNull() && separator != sep.at(0))
                    mixedSeparators = true;
                separator = sep.at(0);
            }
        } else {
            return std::nullopt;
        }
    }

    std::optional<QDate> date;
    if (month != 0)
        date = namedMonthDate(month, nums, today);
    else if (!mixedSeparators && !separator.isNull() && separator != QLatin1Char(','))
        date = numericDate(nums, today);
    if (!date)
        return std::nullopt;
    return QDateTime(*date, time);
}

QString shortForm(const QDate &date, const QTime &time)
{
    QString s = date.toString(QStringLiteral("M/d/yyyy"));
    if (time != QTime(0, 0))
        s += QLatin1Char(' ') + time.toString(QStringLiteral("h:mm:ss AP"));
    return s;
}

QString shortForm(const QDateTime &dt)
{
    return shortForm(dt.date(), dt.time());
}

namespace {

// The digits of s[from, from + n) as a number, or -1.
int digitsAt(const QString &s, int from, int n)
{
    int v = 0;
    for (int i = from; i < from + n; ++i) {
        const char16_t c = s.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

// The two forms we store, "yyyy-MM-dd" and "yyyy-MM-dd HH:mm:ss", read as a date and
// a wall-clock time: no time zone is consulted (which is slow, and would move a time
// that a change to summer time skips).
std::optional<std::pair<QDate, QTime>> storedForm(const QString &s)
{
    if ((s.size() != 10 && s.size() != 19) || s.at(4) != u'-' || s.at(7) != u'-')
        return std::nullopt;
    const QDate d(digitsAt(s, 0, 4), digitsAt(s, 5, 2), digitsAt(s, 8, 2));
    if (!d.isValid())
        return std::nullopt;
    if (s.size() == 10)
        return std::pair{d, QTime(0, 0)};
    if (s.at(10) != u' ' || s.at(13) != u':' || s.at(16) != u':')
        return std::nullopt;
    const int h = digitsAt(s, 11, 2), m = digitsAt(s, 14, 2), sec = digitsAt(s, 17, 2);
    if (h < 0 || m < 0 || sec < 0 || !QTime::isValid(h, m, sec))
        return std::nullopt;
    return std::pair{d, QTime(h, m, sec)};
}

} // namespace

QString checkedText(const QString &text, const QDate &today)
{
    const auto dt = parse(text, today);
    return dt ? shortForm(*dt) : QString();
}

QString isoText(const QDateTime &dt)
{
    if (dt.time() == QTime(0, 0))
        return dt.date().toString(Qt::ISODate);
    return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString toShort(const QVariant &stored)
{
    if (stored.isNull())
        return {};
    if (stored.typeId() == QMetaType::QDate)
        return shortForm(QDateTime(stored.toDate(), QTime(0, 0)));
    if (stored.typeId() == QMetaType::QDateTime)
        return shortForm(stored.toDateTime());
    const QString s = stored.toString();
    if (s.isEmpty())
        return {};
    if (const auto stored = storedForm(s))
        return shortForm(stored->first, stored->second);
    QDateTime dt = QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!dt.isValid()) {
        const QDate d = QDate::fromString(s, Qt::ISODate);
        if (d.isValid())
            dt = QDateTime(d, QTime(0, 0));
    }
    return dt.isValid() ? shortForm(dt) : s;
}

QVariant toStored(const QString &text, const QDate &today)
{
    const auto dt = parse(text, today);
    if (!dt)
        return QVariant(QMetaType::fromType<QString>());
    return isoText(*dt);
}

} // namespace core::dates
