#include "app/globals.h"
#include "app/settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void keysIgnoreCase_data();
    void keysIgnoreCase();
    void writeReplacesEverySpelling();
    void missingAndEmptyEntries();
    void valueWithCommaStaysOnePath();
    void globals_data();
    void globals();
    void optionsKeyReachesStartupKey();

private:
    QTemporaryDir m_dir;
    QString conf(const QString &name) { return m_dir.filePath(name); }
};

void TestSettings::keysIgnoreCase_data()
{
    QTest::addColumn<QString>("fileText");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("exact") << "[paths]\ndbpath=/data/q\n" << "paths" << "dbpath" << "/data/q";
    QTest::newRow("key capitalised in file") << "[paths]\nDbpath=/data/q\n" << "paths" << "dbpath" << "/data/q";
    QTest::newRow("key capitalised in call") << "[paths]\ndbpath=/data/q\n" << "paths" << "DBPATH" << "/data/q";
    QTest::newRow("section in capitals") << "[PATHS]\nExportPath=/x\n" << "paths" << "exportpath" << "/x";
    QTest::newRow("other section ignored") << "[other]\ndbpath=/x\n" << "paths" << "dbpath" << "DEFAULT";
}

void TestSettings::keysIgnoreCase()
{
    QFETCH(QString, fileText);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const QString path = conf(QStringLiteral("case_%1.conf").arg(QTest::currentDataTag()).replace(' ', '_'));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(fileText.toUtf8());
    f.close();
    Settings s(path);
    QCOMPARE(s.read(section, key, QStringLiteral("DEFAULT")), expected);
}

void TestSettings::writeReplacesEverySpelling()
{
    const QString path = conf(QStringLiteral("spellings.conf"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[paths]\ndbpath=/old/one\nDBPATH=/old/two\n");
    f.close();
    {
        Settings s(path);
        s.write(QStringLiteral("paths"), QStringLiteral("Dbpath"), QStringLiteral("/new"));
        QVERIFY(s.sync());
    }
    Settings again(path);
    QCOMPARE(again.read(QStringLiteral("paths"), QStringLiteral("dbpath"), QString()), QStringLiteral("/new"));
    QFile back(path);
    QVERIFY(back.open(QIODevice::ReadOnly));
    const QByteArray text = back.readAll();
    QCOMPARE(text.count("/old"), 0);
    QCOMPARE(text.toLower().count("dbpath="), 1);
}

void TestSettings::missingAndEmptyEntries()
{
    const QString path = conf(QStringLiteral("empty.conf"));
    Settings s(path);
    QCOMPARE(s.read(QStringLiteral("paths"), QStringLiteral("dbpath"), QStringLiteral("D")), QStringLiteral("D"));
    s.write(QStringLiteral("paths"), QStringLiteral("dbpath"), QString());
    QVERIFY(s.sync());
    Settings again(path);
    // An entry that exists with an empty value yields the empty text, not the default.
    QCOMPARE(again.read(QStringLiteral("paths"), QStringLiteral("dbpath"), QStringLiteral("D")), QString());
}

void TestSettings::valueWithCommaStaysOnePath()
{
    const QString path = conf(QStringLiteral("comma.conf"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[paths]\nExportPath=/data/smith, jones\n");
    f.close();
    Settings s(path);
    QCOMPARE(s.read(QStringLiteral("paths"), QStringLiteral("ExportPath"), QString()), QStringLiteral("/data/smith, jones"));
    // Written by us, a comma survives a round trip too.
    s.write(QStringLiteral("paths"), QStringLiteral("dbpath"), QStringLiteral("/a,b"));
    QVERIFY(s.sync());
    QCOMPARE(Settings(path).read(QStringLiteral("paths"), QStringLiteral("DbPath"), QString()), QStringLiteral("/a,b"));
}

void TestSettings::globals_data()
{
    QTest::addColumn<QString>("fileText");
    QTest::addColumn<QString>("exportPath");
    QTest::addColumn<QString>("dbFile");
    const QString def = app::defaultFolder();
    const QString sep = QDir::separator();
    QTest::newRow("no settings") << "" << def << def + sep + "db1.mdb";
    QTest::newRow("both set") << "[paths]\nExportPath=/exp\ndbpath=/data\n" << "/exp" << "/data" + sep + "db1.mdb";
    QTest::newRow("trailing separator doubles") << "[paths]\ndbpath=/data/\n" << def << "/data/" + sep + "db1.mdb";
    QTest::newRow("empty folder") << "[paths]\ndbpath=\n" << def << sep + "db1.mdb";
}

void TestSettings::globals()
{
    QFETCH(QString, fileText);
    QFETCH(QString, exportPath);
    QFETCH(QString, dbFile);
    const QString path = conf(QStringLiteral("g_%1.conf").arg(QTest::currentDataTag()).replace(' ', '_'));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(fileText.toUtf8());
    f.close();
    Settings s(path);
    app::loadGlobals(s);
    QCOMPARE(gExportPath, exportPath);
    QCOMPARE(gDbFile, dbFile);
#ifndef Q_OS_WIN
    QCOMPARE(app::defaultFolder(), QDir::homePath() + QStringLiteral("/quillbern"));
#endif
}

void TestSettings::optionsKeyReachesStartupKey()
{
    const QString path = conf(QStringLiteral("options.conf"));
    {
        Settings s(path);
        s.write(QStringLiteral("paths"), QStringLiteral("ExportPath"), QStringLiteral("/mnt/share/exports"));
        s.write(QStringLiteral("paths"), QStringLiteral("Dbpath"), QStringLiteral("/mnt/share/db"));
        QVERIFY(s.sync());
    }
    Settings next(path);
    app::loadGlobals(next);
    QCOMPARE(gDbPath, QStringLiteral("/mnt/share/db"));
    QCOMPARE(gDbFile, QStringLiteral("/mnt/share/db") + QDir::separator() + QStringLiteral("db1.mdb"));
    QCOMPARE(gExportPath, QStringLiteral("/mnt/share/exports"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
