// Real printing: a CUPS server of the test's own with a PDF printer as its
// default destination; a report printed with no dialog must arrive there whole.
#include "core/reports/layoutpass.h"
#include "core/reports/reportlayout.h"
#include "ui/reports/reportoutput.h"
#include "support/recordingreports.h"
#include "support/testenv.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kQueue = QStringLiteral("QuillbernTestPDF");

QString findTool(const QString &name)
{
    return QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
}

// A cupsd with its configuration, spool, state and logs in a temporary folder,
// listening only on a socket of its own.
class CupsServer
{
public:
    ~CupsServer()
    {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000))
            m_cupsd.kill(), m_cupsd.waitForFinished(5000);
    }

    QString socket() const { return m_dir.filePath(QStringLiteral("cups.sock")); }

    // Empty when it runs with the PDF queue as its default destination, else why not.
    QString start()
    {
        const QString cupsd = findTool(QStringLiteral("cupsd")), lpadmin = findTool(QStringLiteral("lpadmin"));
        const QString ppd = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");
        if (!m_dir.isValid() || cupsd.isEmpty() || lpadmin.isEmpty() || findTool(QStringLiteral("lpstat")).isEmpty())
            return QStringLiteral("no temporary folder, or cupsd, lpadmin or lpstat missing (Debian package cups)");
        if (!QFileInfo::exists(QStringLiteral("/usr/lib/cups/backend/cups-pdf")) || !QFileInfo::exists(ppd))
            return QStringLiteral("the cups-pdf backend or its driver is missing (Debian package printer-driver-cups-pdf)");
        if (geteuid() != 0)
            return QStringLiteral("the cups-pdf backend only runs under a cupsd started by root");
        const QDir d(m_dir.path());
        for (const char *sub : {"root", "spool/tmp", "cache", "state", "log"})
            d.mkpath(QString::fromLatin1(sub));
        // Filters run as the lp user and must reach the spool.
        for (const char *sub : {"", "spool"})
            chmod(QFile::encodeName(d.filePath(QString::fromLatin1(sub))).constData(), 0755);
        chmod(QFile::encodeName(d.filePath("spool/tmp")).constData(), 01777);
        const QString conf = QStringLiteral("Listen %1\nLogLevel debug\nBrowsing No\nDefaultAuthType None\n"
                                            "WebInterface No\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                            "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                                            "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n")
                                 .arg(socket());
        const QString files = QStringLiteral("ServerRoot %1/root\nRequestRoot %1/spool\nTempDir %1/spool/tmp\n"
                                             "CacheDir %1/cache\nStateDir %1/state\nAccessLog %1/log/access_log\n"
                                             "ErrorLog %1/log/error_log\nPageLog %1/log/page_log\nPrintcap %1/printcap\n"
                                             "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\nSystemGroup root\n"
                                             "FileDevice No\nSandboxing Relaxed\n")
                                  .arg(m_dir.path());
        if (!write(d.filePath("cupsd.conf"), conf) || !write(d.filePath("cups-files.conf"), files))
            return QStringLiteral("cannot write the server's configuration");
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        m_cupsd.start(cupsd, {"-f", "-c", d.filePath("cupsd.conf"), "-s", d.filePath("cups-files.conf")});
        if (!m_cupsd.waitForStarted(10000))
            return QStringLiteral("cupsd did not start: ") + m_cupsd.errorString();
        QElapsedTimer t;
        t.start();
        while (!output(QStringLiteral("lpstat"), {"-r"}).contains(QLatin1String("scheduler is running"))) {
            if (m_cupsd.state() == QProcess::NotRunning || t.elapsed() > 20000)
                return "cupsd did not come up: " + QString::fromLocal8Bit(m_cupsd.readAll()) + errorLogTail();
            QTest::qWait(100);
        }
        QString out;
        if (!run(lpadmin, {"-p", kQueue, "-E", "-v", "cups-pdf:/", "-P", ppd}, &out) || !run(lpadmin, {"-d", kQueue}, &out))
            return QStringLiteral("lpadmin could not set up the PDF printer as the default: ") + out;
        if (!output(QStringLiteral("lpstat"), {"-d"}).contains(kQueue))
            return QStringLiteral("the PDF printer is not the server's default destination");
        return {};
    }

    // Runs a CUPS client tool against this server; true when it succeeds.
    bool run(const QString &tool, const QStringList &args, QString *output) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CUPS_SERVER"), socket());
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(tool.contains(QLatin1Char('/')) ? tool : findTool(tool), args);
        const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        *output = QString::fromLocal8Bit(p.readAll());
        return ok;
    }

    QString output(const QString &tool, const QStringList &args) const
    {
        QString out;
        return run(tool, args, &out), out;
    }

    QString errorLogTail() const
    {
        QFile f(m_dir.filePath(QStringLiteral("log/error_log")));
        return f.open(QIODevice::ReadOnly) ? "\n--- cupsd error_log (end) ---\n" + QString::fromLocal8Bit(f.readAll().right(3000))
                                           : QString();
    }

private:
    static bool write(const QString &path, const QString &text)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) == text.toUtf8().size();
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/qb-cups-XXXXXX")};
    QProcess m_cupsd;
};

} // namespace

class TestReportPrint : public QObject
{
    Q_OBJECT
    std::unique_ptr<CupsServer> m_server;
    QString m_outFolder; // cups-pdf writes into the folder PDF in the home of the user who printed
    bool m_outFolderExisted = false;

private slots:
    void initTestCase()
    {
        QVERIFY2(pdftools::available(), "pdftotext and pdfinfo (poppler-utils) are needed");
        m_server = std::make_unique<CupsServer>();
        // Before anything asks the print system: this server, and no personal default.
        qputenv("CUPS_SERVER", QFile::encodeName(m_server->socket()));
        qunsetenv("PRINTER");
        qunsetenv("LPDEST");
        if (const QString why = m_server->start(); !why.isEmpty()) {
            if (qEnvironmentVariable("CI").compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                QFAIL(qPrintable(QStringLiteral("CUPS server for the printing test: ") + why));
            QSKIP(qPrintable(QStringLiteral("cannot run a CUPS server here: ") + why));
        }
        const passwd *pw = getpwuid(geteuid());
        m_outFolder = QDir(pw ? QString::fromLocal8Bit(pw->pw_dir) : QDir::homePath()).filePath(QStringLiteral("PDF"));
        m_outFolderExisted = QFileInfo(m_outFolder).isDir();
    }

    void cleanupTestCase()
    {
        m_server.reset();
        if (!m_outFolder.isEmpty() && !m_outFolderExisted)
            QDir(m_outFolder).removeRecursively();
    }

    void printsEveryPageOnTheDefaultPrinter_data()
    {
        QTest::addColumn<bool>("projects");
        QTest::newRow("DrpListofProjects") << true;
        QTest::newRow("DrpListofPickups") << false;
    }

    void printsEveryPageOnTheDefaultPrinter()
    {
        QFETCH(bool, projects);
        QCOMPARE(QPrinterInfo::defaultPrinter().printerName(), kQueue);
        TestEnv env;
        const reports::ReportLayout *l = projects ? &reports::DrpListofProjects() : &reports::DrpListofPickups();
        const ReportJob job{l, projects ? reportrows::projects(140) : reportrows::pickups(30), QStringLiteral("Printed at once"), QDate(2026, 3, 7)};
        const int pages = int(layoutJob(job).pages.size());
        QVERIFY(pages >= 2);
        // New, or written again under a name an earlier run left behind.
        const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
        PrintingReportOutput().print(job);
        QVERIFY2(env.messages.calls.isEmpty(), qPrintable(env.messages.texts().join('\n')));
        // The job goes through the server's filters and the backend; wait for its file.
        QString arrived;
        int arrivedPages = -1;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 90000 && arrivedPages <= 0) {
            for (const QString &f : QDir(m_outFolder).entryList({"*.pdf"}, QDir::Files))
                if (QFileInfo(QDir(m_outFolder).filePath(f)).lastModified() > started)
                    arrived = QDir(m_outFolder).filePath(f);
            if (arrived.isEmpty() || (arrivedPages = pdftools::pageCount(arrived)) <= 0)
                QTest::qWait(250);
        }
        QVERIFY2(!arrived.isEmpty(), qPrintable("no PDF arrived in " + m_outFolder + "; jobs: " +
                                                m_server->output("lpstat", {"-W", "all", "-o", kQueue}) +
                                                m_server->errorLogTail()));
        QCOMPARE(arrivedPages, pages);
        const QString title = pdftools::title(arrived);
        QFile::remove(arrived);
        QCOMPARE(title, l->caption); // the job is ours: the printer names it after the report
    }
};

QTEST_MAIN(TestReportPrint)
#include "tst_reportprint.moc"
