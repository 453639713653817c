// Real printing: a CUPS server of the test's own with a PDF printer as its
// default destination; a report printed with no dialog must arrive there whole.
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kQueue = QStringLiteral("QuillbernTestPDF");

QString tool(const QString &name) // the name itself when it is not installed
{
    const QString found = QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
    return found.isEmpty() ? name : found;
}

// A cupsd with its configuration, spool, state and logs in a temporary folder,
// listening only on a socket of its own.
class CupsServer
{
public:
    QString socket() const { return m_dir.filePath(QStringLiteral("cups.sock")); }

    // Empty when it runs with the PDF queue as its default destination, else why not.
    QString start()
    {
        const QString ppd = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");
        for (const QString &need : {tool("cupsd"), tool("lpadmin"), tool("lpstat"), QStringLiteral("/usr/lib/cups/backend/cups-pdf"), ppd})
            if (!QFileInfo(need).isFile())
                return "missing " + need + " (Debian packages cups and printer-driver-cups-pdf)";
        if (!m_dir.isValid() || geteuid() != 0)
            return QStringLiteral("no temporary folder, or not root (the cups-pdf backend only runs under a cupsd started by root)");
        const QDir d(m_dir.path());
        for (const char *sub : {"root", "spool/tmp", "cache", "state", "log"})
            d.mkpath(QString::fromLatin1(sub));
        // Filters run as the lp user and must reach the spool.
        for (const auto &[sub, mode] : {std::pair{"", 0755}, {"spool", 0755}, {"spool/tmp", 01777}})
            chmod(QFile::encodeName(d.filePath(QString::fromLatin1(sub))).constData(), mode);
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
        for (const auto &[name, text] : {std::pair{"cupsd.conf", conf}, {"cups-files.conf", files}})
            if (QFile f(d.filePath(name)); !f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) != text.toUtf8().size())
                return QStringLiteral("cannot write the server's configuration");
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        m_cupsd.start(tool("cupsd"), {"-f", "-c", d.filePath("cupsd.conf"), "-s", d.filePath("cups-files.conf")});
        const auto up = [&] { return run(QStringLiteral("lpstat"), {"-r"}).second.contains(QLatin1String("scheduler is running")); };
        if (!QTest::qWaitFor([&] { return m_cupsd.state() == QProcess::NotRunning || up(); }, 20000) || !up())
            return "cupsd did not come up: " + m_cupsd.errorString() + QString::fromLocal8Bit(m_cupsd.readAll()) + errorLogTail();
        for (const QStringList &args : {QStringList{"-p", kQueue, "-E", "-v", "cups-pdf:/", "-P", ppd}, {"-d", kQueue}})
            if (const auto [ok, out] = run(QStringLiteral("lpadmin"), args); !ok)
                return "lpadmin could not set up the PDF printer as the default: " + out;
        return {};
    }

    // A CUPS client tool (CUPS_SERVER names this server): whether it succeeded, and what it printed.
    static std::pair<bool, QString> run(const QString &name, const QStringList &args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(tool(name), args);
        const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        return {ok, QString::fromLocal8Bit(p.readAll())};
    }

    QString errorLogTail() const
    {
        QFile f(m_dir.filePath(QStringLiteral("log/error_log")));
        return f.open(QIODevice::ReadOnly) ? "\n--- cupsd error_log (end) ---\n" + QString::fromLocal8Bit(f.readAll().right(3000))
                                           : QString();
    }

private:
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/qb-cups-XXXXXX")};
    QProcess m_cupsd; // killed, and waited for, before the folder goes
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

    void printsEveryPageOnTheDefaultPrinter()
    {
        QCOMPARE(QPrinterInfo::defaultPrinter().printerName(), kQueue);
        TestEnv env;
        const ReportJob job{&reports::DrpListofProjects(), reportrows::projects(140), QStringLiteral("Printed at once"), QDate(2026, 3, 7)};
        const int pages = int(layoutJob(job).pages.size());
        QVERIFY(pages >= 2);
        // New, or written again under a name an earlier run left behind.
        const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
        PrintingReportOutput().print(job);
        QVERIFY2(env.messages.calls.isEmpty(), qPrintable(env.messages.texts().join('\n')));
        // The job goes through the server's filters and the backend; wait for its file, whole.
        QString arrived;
        const auto whole = [&] {
            for (const QFileInfo &f : QDir(m_outFolder).entryInfoList({"*.pdf"}, QDir::Files))
                if (f.lastModified() > started)
                    arrived = f.filePath();
            return !arrived.isEmpty() && pdftools::pageCount(arrived) > 0;
        };
        QVERIFY2(QTest::qWaitFor(whole, 90000), qPrintable("no PDF arrived in " + m_outFolder + "; jobs: " +
                                                           m_server->run("lpstat", {"-W", "all", "-o", kQueue}).second +
                                                           m_server->errorLogTail()));
        QCOMPARE(pdftools::pageCount(arrived), pages);
        const QString title = pdftools::title(arrived);
        QFile::remove(arrived);
        QCOMPARE(title, job.layout->caption); // the job is ours: the printer names it after the report
    }
};

QTEST_MAIN(TestReportPrint)
#include "tst_reportprint.moc"
