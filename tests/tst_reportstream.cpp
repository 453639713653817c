// Reports read from the register in chunks: the same rows and pages as reading them all
// at once (also when written while laid out on another thread), and a cancelled or failed
// PDF that leaves nothing behind.
#include "core/db/database.h"
#include "core/reports/reportpainter.h"
#include "support/testenv.h"
#include "support/ui.h"


using namespace reports;

namespace {

QString pageTexts(const ReportDocument &doc, const QList<ReportPage> &pages)
{
    QString out;
    for (const ReportPage &page : pages)
        for (const PlacedItem &item : page.items)
            out += QStringLiteral("%1 %2,%3 %4\n").arg(page.number).arg(item.rect.x()).arg(item.rect.y()).arg(item.text());
    return out + QString::number(doc.rowCount);
}

} // namespace

class TestReportStream : public OfficeTest
{
    Q_OBJECT
private slots:
    // Equal keys, NULL keys (first, on both engines) and keys with a time of day, read two rows at a time.
    void chunksKeepTheOrder_data()
    {
        QTest::addColumn<Query>("query");
        QTest::newRow("dates") << queries::pickupsBetween("1900-01-01", "2100-01-01");
        QTest::newRow("a subcontractor's, NULL dates first") << queries::pickupsOfSubcontractorInProject(501, 9);
        QTest::newRow("projects by name, NULL and equal names") << queries::activeProjectsByNameAndCompany();
        QTest::newRow("by id") << queries::inactiveProjects();
    }

    void chunksKeepTheOrder()
    {
        QFETCH(Query, query);
        QVERIFY(env->exec("INSERT INTO project (id, projectname, company, active) VALUES (900, NULL, 'Z', -1), (901, 'same', 'C', -1), "
                          "(902, 'SAME', 'c', -1), (903, NULL, NULL, -1), (904, 'same', 'c', 0), (905, 'X', 'Y', 0), (906, 'W', NULL, 0)"));
        for (int i = 0; i < 9; ++i)
            QVERIFY(env->exec("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby) VALUES (9, 501, ?, ?)",
                              {i % 3 == 0 ? QVariant(QMetaType::fromType<QString>()) : QVariant(i % 2 ? "2003-01-05" : "2003-01-05 10:00:00"),
                               "P" + QString::number(i)}));
        const std::optional<RowSet> whole = readRows(query);
        QVERIFY(whole && whole->size() > 2); // more than one chunk
        ChunkReader reader(db::main(), query, 2);
        QStringList chunked;
        for (std::optional<RowSet> chunk; (chunk = reader.next()) && !chunk->isEmpty();) {
            QVERIFY(chunk->size() <= 2);
            chunked += ui::column(*chunk, "id");
        }
        QCOMPARE(chunked, ui::column(*whole, "id"));
        // A list's window read from the end: the last rows, last first.
        const QStringList last = ui::column(*readRows(queries::windowOf(query, 0, 2, true)), "id");
        QCOMPARE(last, (QStringList{chunked.last(), chunked.at(chunked.size() - 2)}));
    }

    // A report of many chunks comes out page for page as laying out all rows at once.
    void pagesAsFromAllRows()
    {
        for (int i = 0; i < 80; ++i)
            QVERIFY(env->exec("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby, note) VALUES (1, 1, ?, ?, ?)",
                              {QDate(2010, 1, 1).addDays(i / 3).toString(Qt::ISODate), "BY " + QString::number(i), reportrows::words(i % 7 * 9, i)}));
        const Query query = queries::pickupsBetween("1900-01-01", "2100-01-01");
        const ReportJob job = registerJob(DrpListofPickups(), query, "All Pikups By date", QDate(2026, 3, 7));
        const ReportDocument whole = layoutReport(DrpListofPickups(), *readRows(query), job.title, job.date);
        QVERIFY(whole.pages.size() >= 4);
        QList<ReportPage> pages;
        ReportDocument doc;
        QVERIFY(streamPages(job, [&](const ReportDocument &d, const ReportPage &p) { doc = d; pages << p; return true; }, nullptr, 7));
        QCOMPARE(pageTexts(doc, pages), pageTexts(whole, whole.pages));
        // Written while the rows are laid out on a thread of their own: the same pages in the same order.
        if (!pdftools::available())
            QSKIP("pdftotext and pdfinfo are needed");
        const QString streamed = env->path("streamed.pdf"), kept = env->path("kept.pdf");
        QVERIFY(writePdf(job, streamed) && writePdf(whole, kept));
        QCOMPARE(pdftools::pageCount(streamed), int(whole.pages.size()));
        QCOMPARE(pdftools::text(streamed), pdftools::text(kept));
    }

    // Cancel writes nothing under the chosen name and leaves a file already there alone.
    void cancelLeavesNoFile()
    {
        const ReportJob job = registerJob(DrpListofPickups(), queries::pickupsBetween("1900-01-01", "2100-01-01"), "T", QDate(2026, 3, 7));
        const QString fresh = env->path("fresh.pdf"), taken = env->path("taken.pdf");
        QVERIFY(writeFile(taken, "old"));
        for (const QString &path : {fresh, taken}) {
            OutputControl control;
            control.cancel = true;
            Failure why;
            QVERIFY(!writePdf(job, path, &why, &control));
            QVERIFY(why.description.isEmpty());
        }
        QCOMPARE(fileBytes(taken), QByteArray("old"));
        QCOMPARE(QDir(env->folder()).entryList({"*.pdf*"}, QDir::Files), QStringList({"taken.pdf"}));
        // Rows that stop being readable after many pages fail the output with the reason; nothing is left either.
        QVERIFY(env->exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1200) "
                          "INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby) SELECT 1, 1, '2020-01-01', 'BY ' || i FROM n"));
        const QString rows = "SELECT *, CASE WHEN id > 1100 THEN abs(-9223372036854775807 - 1) END AS overflow FROM pickuplog";
        const ReportJob broken = registerJob(DrpListofPickups(), {rows + " ORDER BY id", {}, rows, {"id"}}, "T", QDate(2026, 3, 7));
        Failure why;
        QVERIFY(!writePdf(broken, fresh, &why) && !why.description.isEmpty());
        QVERIFY(!QFile::exists(fresh));
    }
};

QTEST_MAIN(TestReportStream)
#include "tst_reportstream.moc"
