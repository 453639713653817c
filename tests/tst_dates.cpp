#include "support/names.h"
#include "core/app/dates.h"

#include <QTest>

class TestDates : public QObject
{
    Q_OBJECT
private slots:
    void checkedText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        // Month first; day first only when the first number cannot be a month.
        QTest::newRow("two-digit year") << "12/05/26" << "12/5/2026";
        QTest::newRow("day first fallback") << "13/12/2003" << "12/13/2003";
        QTest::newRow("neither can be a month") << "13/13/2003" << "";
        QTest::newRow("30 February") << "2/30/2003" << "";
        QTest::newRow("31 April") << "4/31/2026" << "";
        QTest::newRow("29 February leap") << "2/29/2024" << "2/29/2024";
        QTest::newRow("29 February common") << "2/29/2023" << "";
        QTest::newRow("letters") << "abc" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("blanks") << "   " << "";
        QTest::newRow("dashes") << "3-7-2026" << "3/7/2026";
        QTest::newRow("dots") << "3.7.2026" << "3/7/2026";
        QTest::newRow("mixed separators") << "3/7-2026" << "";
        QTest::newRow("ISO order") << "2026-03-07" << "3/7/2026";
        QTest::newRow("new pick-up default") << "03/07/26" << "3/7/2026";
        QTest::newRow("year 29 is 2029") << "1/1/29" << "1/1/2029";
        QTest::newRow("year 29 end") << "12/31/29" << "12/31/2029";
        QTest::newRow("year 30 is 1930") << "1/1/30" << "1/1/1930";
        QTest::newRow("one-digit year") << "1/2/5" << "1/2/2005";
        QTest::newRow("month name first") << "March 7, 2026" << "3/7/2026";
        QTest::newRow("month name short") << "7-Mar-2026" << "3/7/2026";
        QTest::newRow("month name, day first") << "7 march 26" << "3/7/2026";
        QTest::newRow("month and year") << "March 2026" << "3/1/2026";
        QTest::newRow("unknown month") << "Smarch 7 2026" << "";
        QTest::newRow("month and day, this year") << "12/5" << "12/5/2026";
        QTest::newRow("time of day") << "3/7/2026 14:05" << "3/7/2026 2:05:00 PM";
        QTest::newRow("time with seconds and PM") << "3/7/2026 2:05:09 pm" << "3/7/2026 2:05:09 PM";
        QTest::newRow("midnight drops") << "3/7/2026 0:00" << "3/7/2026";
        QTest::newRow("12 AM is midnight") << "3/7/2026 12:00 AM" << "3/7/2026";
        QTest::newRow("impossible hour") << "3/7/2026 25:00" << "";
        QTest::newRow("time alone") << "14:05" << "";
        QTest::newRow("SQL text") << "1/1/2026'; DROP TABLE pickuplog; --" << "";
        QTest::newRow("too many digits") << "123456/1/2026" << "";
    }

    void checkedText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        const QDate today(2026, 12, 7);
        QCOMPARE(dates::checkedText(typed, today), shown);
        // Checking again is stable: what the field shows reads back as the same date.
        QCOMPARE(dates::checkedText(shown, today), shown);
    }

    void storage_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("date") << "3/7/2026" << QVariant(QStringLiteral("2026-03-07"));
        QTest::newRow("date and time") << "3/7/2026 2:05:00 PM" << QVariant(QStringLiteral("2026-03-07 14:05:00"));
        QTest::newRow("empty") << "" << QVariant();
        QTest::newRow("a QDate") << "1/31/2003" << QVariant(QDate(2003, 1, 31));
    }

    void storage()
    {
        QFETCH(QString, shown);
        QFETCH(QVariant, stored);
        const QVariant s = dates::toStored(shown);
        QCOMPARE(s.isNull(), stored.isNull());
        QCOMPARE(s.toString(), stored.toString());
        QCOMPARE(dates::toShort(stored), shown);
    }

    void unreadableStoredTextShowsAsItIs()
    {
        QCOMPARE(dates::toShort(QVariant(QString())), QString());
        QCOMPARE(dates::toShort(QVariant(QStringLiteral("not a date"))), QStringLiteral("not a date"));
    }
};

QTEST_GUILESS_MAIN(TestDates)
#include "tst_dates.moc"
