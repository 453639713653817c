// Real printing: a CUPS server of the test's own with a PDF printer as its
// default destination; a report printed with no dialog must arrive there whole.

#include "reports/layoutpass.h"
#include "reports/reportlayout.h"
#include "reports/reportoutput.h"
#include "support/recordingreports.h"
#include "support/testenv.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
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

bool underCi()
{
    return qEnvironmentVariable("CI").compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

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
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(10000)) {
                m_cupsd.kill();
                m_cupsd.waitForFinished(5000);
            }
        }
    }

    QString socket() const { return m_dir.filePath(QStringLiteral("cups.sock")); }

    // Empty when it runs with the PDF queue as its default destination, else why not.
    QString start()
    {
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        const QString cupsd = findTool(QStringLiteral("cupsd"));
        const QString lpadmin = findTool(QStringLiteral("lpadmin"));
        if (cupsd.isEmpty() || lpadmin.isEmpty() || findTool(QStringLiteral("lpstat")).isEmpty())
            return QStringLiteral("cupsd, lpadmin or lpstat is not installed (Debian package cups)");
        if (!QFileInfo::exists(QStringLiteral("/usr/lib/cups/backend/cups-pdf")))
            return QStringLiteral("the cups-pdf backend is not installed (Debian package printer-driver-cups-pdf)");
        m_ppd = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");
        if (!QFileInfo::exists(m_ppd))
            return QStringLiteral("the CUPS-PDF driver description %1 is missing").arg(m_ppd);
        if (geteuid() != 0)
            return QStringLiteral("the cups-pdf backend only runs under a cupsd started by root");

        const QDir d(m_dir.path());
        for (const char *sub : {"root", "spool", "spool/tmp", "cache", "state", "log"})
            d.mkpath(QString::fromLatin1(sub));
        // Filters run as the lp user and must reach the spool.
        for (const char *sub : {"", "spool", "spool/tmp"})
            chmod(QFile::encodeName(d.filePath(QString::fromLatin1(sub))).constData(), 0755);
        chmod(QFile::encodeName(d.filePath("spool/tmp")).constData(), 01777);

        const QString conf = QStringLiteral("Listen %1\n"
                                            "LogLevel debug\n"
                                            "Browsing No\n"
                                            "DefaultAuthType None\n"
                                            "WebInterface No\n"
                                            "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                            "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                                            "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                                            "</Policy>\n")
                                 .arg(socket());
        const QString files = QStringLiteral("ServerRoot %1/root\n"
                                             "RequestRoot %1/spool\n"
                                             "TempDir %1/spool/tmp\n"
                                             "CacheDir %1/cache\n"
                                             "StateDir %1/state\n"
                                             "AccessLog %1/log/access_log\n"
                                             "ErrorLog %1/log/error_log\n"
                                             "PageLog %1/log/page_log\n"
                                             "Printcap %1/printcap\n"
                                             "ServerBin /usr/lib/cups\n"
                                             "DataDir /usr/share/cups\n"
                                             "SystemGroup root\n"
                                             "FileDevice No\n"
                                             "Sandboxing Relaxed\n")
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
                return QStringLiteral("cupsd did not come up: ") + QString::fromLocal8Bit(m_cupsd.readAll()) +
                       errorLogTail();
            QTest::qWait(100);
        }
        QString out;
        if (!run(lpadmin, {"-p", kQueue, "-E", "-v", "cups-pdf:/", "-P", m_ppd}, &out))
            return QStringLiteral("lpadmin could not add the PDF printer: ") + out;
        if (!run(lpadmin, {"-d", kQueue}, &out))
            return QStringLiteral("lpadmin could not make it the default: ") + out;
        if (!output(QStringLiteral("lpstat"), {"-d"}).contains(kQueue))
            return QStringLiteral("the PDF printer is not the server's default destination");
        return {};
    }

    // Runs a CUPS client tool against this server; true when it succeeds.
    bool run(const QString &tool, const QStringList &args, QString *output = nullptr) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CUPS_SERVER"), socket());
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(tool.contains(QLatin1Char('/')) ? tool : findTool(tool), args);
        const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        const QString out = QString::fromLocal8Bit(p.readAll());
        if (output)
            *output = out;
        return ok;
    }

    QString output(const QString &tool, const QStringList &args) const
    {
        QString out;
        run(tool, args, &out);
        return out;
    }

    QString errorLogTail() const
    {
        QFile f(m_dir.filePath(QStringLiteral("log/error_log")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray all = f.readAll();
        return QStringLiteral("\n--- cupsd error_log (end) ---\n") + QString::fromLocal8Bit(all.right(3000));
    }

private:
    static bool write(const QString &path, const QString &text)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) == text.toUtf8().size();
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/qb-cups-XXXXXX")};
    QProcess m_cupsd;
    QString m_ppd;
};

// cups-pdf writes into the folder PDF in the home of the user who printed.
QString cupsPdfOutputFolder()
{
    const passwd *pw = getpwuid(geteuid());
    return QDir(pw ? QString::fromLocal8Bit(pw->pw_dir) : QDir::homePath()).filePath(QStringLiteral("PDF"));
}

} // namespace

class TestReportPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void printsEveryPageOnTheDefaultPrinter_data();
    void printsEveryPageOnTheDefaultPrinter();

private:
    std::unique_ptr<CupsServer> m_server;
    QString m_outFolder;
    bool m_outFolderExisted = false;
};

void TestReportPrint::initTestCase()
{
    QVERIFY2(pdftools::available(), "pdftotext and pdfinfo (poppler-utils) are needed");
    m_server = std::make_unique<CupsServer>();
    // Before anything asks the print system: this server, and no personal default.
    qputenv("CUPS_SERVER", QFile::encodeName(m_server->socket()));
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    const QString why = m_server->start();
    if (!why.isEmpty()) {
        if (underCi())
            QFAIL(qPrintable(QStringLiteral("CUPS server for the printing test: ") + why));
        QSKIP(qPrintable(QStringLiteral("cannot run a CUPS server here: ") + why));
    }
    m_outFolder = cupsPdfOutputFolder();
    m_outFolderExisted = QFileInfo(m_outFolder).isDir();
}

void TestReportPrint::cleanupTestCase()
{
    m_server.reset();
    if (!m_outFolder.isEmpty() && !m_outFolderExisted)
        QDir(m_outFolder).removeRecursively();
}

void TestReportPrint::printsEveryPageOnTheDefaultPrinter_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("rows");
    QTest::newRow("DrpListofProjects") << "DrpListofProjects" << 140;
    QTest::newRow("DrpListofPickups") << "DrpListofPickups" << 30;
}

void TestReportPrint::printsEveryPageOnTheDefaultPrinter()
{
    QFETCH(QString, layout);
    QFETCH(int, rows);
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    QVERIFY2(!printer.isNull(), "the test's CUPS server offers no default printer");
    QCOMPARE(printer.printerName(), kQueue);

    TestEnv env;
    const reports::ReportLayout *l = reports::layoutByName(layout);
    QVERIFY(l);
    const ReportJob job{l, layout == QLatin1String("DrpListofProjects") ? reportrows::projects(rows)
                                                                         : reportrows::pickups(rows),
                        QStringLiteral("Printed at once"), QDate(2026, 3, 7)};
    const int pages = int(layoutJob(job).pages.size());
    QVERIFY(pages >= 2);

    const QStringList before = QDir(m_outFolder).entryList({"*.pdf"}, QDir::Files);
    PrintingReportOutput out;
    out.print(job);
    QVERIFY2(env.messages.calls.isEmpty(), qPrintable(env.messages.texts().join('\n')));

    // The job goes through the server's filters and the backend; wait for its file.
    QString arrived;
    int arrivedPages = -1;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 90000) {
        for (const QString &f : QDir(m_outFolder).entryList({"*.pdf"}, QDir::Files))
            if (!before.contains(f))
                arrived = QDir(m_outFolder).filePath(f);
        if (!arrived.isEmpty() && (arrivedPages = pdftools::pageCount(arrived)) > 0)
            break;
        QTest::qWait(250);
    }
    const QString jobs = m_server->output(QStringLiteral("lpstat"), {"-W", "all", "-o", kQueue});
    QVERIFY2(!arrived.isEmpty(), qPrintable(QStringLiteral("no PDF arrived in %1; jobs: %2%3")
                                                .arg(m_outFolder, jobs, m_server->errorLogTail())));
    QCOMPARE(arrivedPages, pages);
    const QString title = pdftools::title(arrived);
    QFile::remove(arrived);
    QCOMPARE(title, l->caption); // the job is ours: the printer names it after the report
}

QTEST_MAIN(TestReportPrint)
#include "tst_reportprint.moc"
