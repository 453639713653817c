#pragma once
#include "support/recordingreports.h"
#include "support/testservices.h"
#include "core/app/settings.h"
#include "core/db/sampledata.h"

#include <QString>
#include <QTemporaryDir>
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

    // Creates db1.mdb (and the transfer template) in the folder, sets the globals
    // and opens the main connection. Returns false (with a QWARN) on failure.
    bool createDatabase();
    bool createDatabase(const SampleSpec &sample);
    // The shared office (rows in testenv.cpp): every window test starts from it.
    bool createOffice();

    // Plain SQL on the main connection, for checks: the first column of the first row.
    QVariant scalar(const QString &sql, const QVariantList &binds = {}) const;
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
