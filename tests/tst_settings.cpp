#include "support/names.h"
#include "core/app/globals.h"
#include "core/app/settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSettings : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString conf(const QByteArray &text)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) +
                                            QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_'));
        QFile f(path);
        if (!text.isNull() && f.open(QIODevice::WriteOnly))
            f.write(text);
        return path;
    }

private slots:
    void keysIgnoreCase_data()
    {
        QTest::addColumn<QByteArray>("fileText");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("exact") << QByteArray("[paths]\ndbpath=/data/q\n") << "dbpath" << "/data/q";
        QTest::newRow("key capitalised in file") << QByteArray("[paths]\nDbpath=/data/q\n") << "dbpath" << "/data/q";
        QTest::newRow("key capitalised in call") << QByteArray("[paths]\ndbpath=/data/q\n") << "DBPATH" << "/data/q";
        QTest::newRow("section in capitals") << QByteArray("[PATHS]\nExportPath=/x\n") << "exportpath" << "/x";
        QTest::newRow("other section ignored") << QByteArray("[other]\ndbpath=/x\n") << "dbpath" << "DEFAULT";
        QTest::newRow("comma stays one value") << QByteArray("[paths]\nExportPath=/data/smith, jones\n")
                                               << "ExportPath" << "/data/smith, jones";
    }

    void keysIgnoreCase()
    {
        QFETCH(QByteArray, fileText);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(Settings(conf(fileText)).read(QStringLiteral("paths"), key, QStringLiteral("DEFAULT")), expected);
    }

    // A write replaces every spelling of the key, and reaches the globals of the next start.
    void writeReplacesEverySpelling()
    {
        const QString path = conf("[paths]\ndbpath=/old/one\nDBPATH=/old/two\n");
        {
            Settings s(path);
            s.write(QStringLiteral("paths"), QStringLiteral("Dbpath"), QStringLiteral("/mnt/a,b"));
            s.write(QStringLiteral("paths"), QStringLiteral("ExportPath"), QStringLiteral("/mnt/exports"));
            QVERIFY(s.sync());
        }
        QFile back(path);
        QVERIFY(back.open(QIODevice::ReadOnly));
        const QByteArray text = back.readAll();
        QCOMPARE(text.count("/old"), 0);
        QCOMPARE(text.toLower().count("dbpath="), 1);
        Settings next(path);
        core::loadGlobals(next);
        QCOMPARE(gDbPath, QStringLiteral("/mnt/a,b"));
        QCOMPARE(gDbFile, QStringLiteral("/mnt/a,b") + QDir::separator() + QStringLiteral("db1.mdb"));
        QCOMPARE(gExportPath, QStringLiteral("/mnt/exports"));
    }

    void missingAndEmptyEntries()
    {
        const QString path = conf(QByteArray());
        Settings s(path);
        QCOMPARE(s.read(QStringLiteral("paths"), QStringLiteral("dbpath"), QStringLiteral("D")), QStringLiteral("D"));
        s.write(QStringLiteral("paths"), QStringLiteral("dbpath"), QString());
        QVERIFY(s.sync());
        // An entry that exists with an empty value yields the empty text, not the default.
        QCOMPARE(Settings(path).read(QStringLiteral("paths"), QStringLiteral("dbpath"), QStringLiteral("D")), QString());
    }

    void globals_data()
    {
        QTest::addColumn<QByteArray>("fileText");
        QTest::addColumn<QString>("exportPath");
        QTest::addColumn<QString>("dbFile");
        const QString def = QDir::homePath() + QStringLiteral("/quillbern");
        const QString sep = QDir::separator();
        QTest::newRow("no settings") << QByteArray("") << def << def + sep + "db1.mdb";
        QTest::newRow("both set") << QByteArray("[paths]\nExportPath=/exp\ndbpath=/data\n") << "/exp"
                                  << "/data" + sep + "db1.mdb";
        QTest::newRow("trailing separator doubles") << QByteArray("[paths]\ndbpath=/data/\n") << def
                                                    << "/data/" + sep + "db1.mdb";
        QTest::newRow("empty folder") << QByteArray("[paths]\ndbpath=\n") << def << sep + "db1.mdb";
    }

    void globals()
    {
        QFETCH(QByteArray, fileText);
        QFETCH(QString, exportPath);
        QFETCH(QString, dbFile);
        Settings s(conf(fileText));
        core::loadGlobals(s);
        QCOMPARE(gExportPath, exportPath);
        QCOMPARE(gDbFile, dbFile);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
