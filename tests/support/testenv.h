#pragma once
#include "support/recordingreports.h"
#include "support/testservices.h"
#include "core/app/serversettings.h"
#include "core/app/settings.h"
#include "core/db/sampledata.h"

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

// Everything one test needs of its own: a temporary folder with a database file
// and settings, the globals pointing there, and recording services installed.
class TestEnv
{
public:
    TestEnv();
    ~TestEnv();

    QString folder() const { return m_dir.path(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    // QB_TEST_ENGINE=postgresql puts the register on the test server (QB_TEST_PGHOST and
    // QB_TEST_PGPORT, else the one scripts/pgtest started for QB_TEST_PGSTATE).
    static bool onServer();
    // The test server, as user postgres on `database`; fails the test when there is none.
    static ServerSettings testServer(const QString &database = QString());
    // Creates an empty database of this name on the test server (dropping an older one).
    static bool freshServerDatabase(const QString &database);

    // Creates the register (db1.mdb, or on the server in the test's own database) and the
    // transfer template, sets the globals and opens the main connection; false on failure.
    bool createDatabase();
    bool createDatabase(const SampleSpec &sample);
    // The shared office (rows in testenv.cpp): every window test starts from it.
    bool createOffice();

    // Plain SQL on the main connection, for checks: the first column of the first row.
    QVariant scalar(const QString &sql, const QVariantList &binds = {}) const;
    // Runs `statements` in one transaction on a second connection to the server (another desk).
    bool otherDesk(const QStringList &statements) const;
    // Makes the register refuse every `op` (INSERT, UPDATE, DELETE) on `table` with `message`.
    bool refuse(const QString &op, const QString &table, const QString &message) const;
    // Plain SQL that changes data; false on failure.
    bool exec(const QString &sql, const QVariantList &binds = {}) const;
    int count(const QString &from, const QVariantList &binds = {}) const { return scalar("SELECT count(*) FROM " + from, binds).toInt(); }

private:
    QTemporaryDir m_dir; // first made, last removed: the settings write into it when they go

public:
    RecordingMessages messages;
    ScriptedFiles files;
    FixedClock clock;
    RecordingQuitter quitter;
    RecordingReports reports;
    std::unique_ptr<Settings> settings;
};

// Files as the checks make and read them.
QByteArray fileBytes(const QString &path); // empty unless an ordinary file that can be read
bool writeFile(const QString &path, const QByteArray &bytes);
QStringList entries(const QString &folder); // every entry, hidden ones too, by name
// Runs `statements`, then `body`, on the SQLite file at `path` (made when needed); false on failure.
bool withFile(const QString &path, const QStringList &statements, const std::function<void(QSqlDatabase &)> &body = {});

// A test class whose every test function starts with the office open.
class OfficeTest : public QObject
{
    Q_OBJECT
protected:
    std::unique_ptr<TestEnv> env;
protected slots:
    void init();
    void cleanup() { env.reset(); }
};
