// The main window: linked lists, the pick-up grid, its Print, and what the menu entries open.
#include "support/windows.h"
#include "core/reports/reportlayout.h"

#include <QLabel>

class TestMainWindow : public OfficeTest
{
    Q_OBJECT
    frmMain *w = nullptr;
    QListView *projects = nullptr, *companies = nullptr;
    QTableView *grid = nullptr;

    // One column of the grid, as the model holds it or as the grid draws it.
    QStringList gridColumn(const char *field, bool drawn = false)
    {
        QStringList out;
        for (int r = 0; r < grid->model()->rowCount(); ++r) {
            const QModelIndex i = grid->model()->index(r, w->adopickups()->column(field));
            out << (drawn ? qobject_cast<QStyledItemDelegate *>(grid->itemDelegateForIndex(i))->displayText(i.data(), {}) : i.data().toString());
        }
        return out;
    }
    // The shown columns' captions; past the last one, the plain model's number.
    void checkCaptions()
    {
        QStringList shown;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            shown << (grid->isColumnHidden(c) ? QString() : grid->model()->headerData(c, Qt::Horizontal).toString());
        QCOMPARE(shown.join(' ').simplified().split(' '), QStringList({"PickupDate", "Pickupby", "Package", "note"}));
        QCOMPARE(grid->model()->headerData(int(shown.size()), Qt::Horizontal).toString(), QString::number(shown.size() + 1));
    }

private slots:
    void init()
    {
        OfficeTest::init();
        w = window<frmMain>();
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
        projects = w->findChild<QListView *>(QStringLiteral("dbProject"));
        companies = w->findChild<QListView *>(QStringLiteral("dbsubcontractor"));
        grid = w->findChild<QTableView *>(QStringLiteral("dbgPickup"));
        QVERIFY(projects && companies && grid);
    }

    void linkedLists()
    {
        // Every project in the database's order, names only for a screen reader; the empty grid shows its captions.
        QCOMPARE(texts(projects), QStringList({"NORTH TOWER", "HARBOR VIEW", "ELM SCHOOL", "ELM SCHOOL", "EMPTY LOT", "ANNEX"}));
        QCOMPARE(ui::spoken(projects), texts(projects));
        QVERIFY(texts(companies).isEmpty());
        QCOMPARE(grid->model()->rowCount(), 0);
        checkCaptions();
        clickRow(projects, 1);
        QCOMPARE(texts(companies), QStringList({"HARBOR GLASS", "ACME ELECTRIC"}));
        QCOMPARE(grid->model()->rowCount(), 0);
        companies->setFocus(Qt::TabFocusReason); // puts the cursor on the first entry; the arrow keys choose
        QTest::keyClick(companies, Qt::Key_Down);
        QCOMPARE(gridColumn("pickupby"), QStringList({"D. O'BRIEN"}));
        w->RefreshInterface();
        clickRow(projects, 0);
        w->RefreshInterface();
        QCOMPARE(texts(companies), QStringList({"ACME ELECTRIC", "O'NEIL PLUMBING"}));
        clickRow(companies, 0);
        // Oldest first, only the chosen project's pick-ups (ACME has one on HARBOR VIEW too), dates in short form.
        QCOMPARE(gridColumn("pickupby"), QStringList({"M. GARCIA", "L. CHEN", "J. SMITH", "AFTER"}));
        QCOMPARE(gridColumn("pickupdate", true), QStringList({"12/31/2002 11:59:59 PM", "1/1/2003", "1/15/2003", "2/1/2003"}));
        QVERIFY(!w->adopickups()->sql().contains(QStringLiteral("10"))); // values are bound, not pasted
        // A project without subcontractors leaves the grid as it was.
        clickRow(projects, 4);
        QVERIFY(texts(companies).isEmpty());
        QCOMPARE(grid->model()->rowCount(), 4);
        QVERIFY(env->messages.calls.isEmpty());
    }

    // A long project list shows its first page at once, and every project once the window has been drawn.
    void longProjectList()
    {
        QVERIFY(env->exec("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 300) "
                          "INSERT INTO project (projectname) SELECT 'P' || n FROM c"));
        delete w;
        w = window<frmMain>();
        projects = w->findChild<QListView *>(QStringLiteral("dbProject"));
        QCOMPARE(projects->model()->rowCount(), core::db::RowWindow::kPageRows);
        w->show();
        QTRY_COMPARE(projects->model()->rowCount(), 306);
    }

    void clickWithNothingToChoose()
    {
        QTest::mouseClick(companies->viewport(), Qt::LeftButton, {}, QPoint(20, 20)); // the list is empty
        QTRY_COMPARE(env->messages.said(), QStringList({"PROJECT|Please select an item on the list"}));
        QCOMPARE(env->messages.calls.first().icon, QMessageBox::NoIcon);
        // Below the last project, with none chosen yet.
        QTest::mouseClick(projects->viewport(), Qt::LeftButton, {}, QPoint(20, projects->viewport()->height() - 5));
        QTRY_COMPARE(env->messages.calls.size(), 2);
        QVERIFY(texts(companies).isEmpty());
        // The background picture is drawn pixel for pixel where nothing covers it, and does nothing.
        auto *pic = w->findChild<QLabel *>(QStringLiteral("PicContainer"));
        const QImage drawn = pic->grab().toImage(), stored = pic->pixmap().toImage();
        int compared = 0;
        for (int y = 0; y < stored.height(); y += 7)
            for (int x = 0; x < stored.width(); x += 7)
                if (const QPoint at(x, y + pic->contentsRect().top()); !pic->childAt(at) && ++compared)
                    QCOMPARE(drawn.pixel(at), stored.pixel(x, y));
        QVERIFY(compared > 1000 && stored.size() == QSize(752, 447));
        QTest::mouseClick(pic, Qt::LeftButton, {}, QPoint(740, 440));
        QTest::mouseDClick(pic, Qt::LeftButton, {}, QPoint(5, 440));
        QCoreApplication::processEvents();
        QCOMPARE(env->messages.calls.size(), 2);
    }

    // A saved pick-up leaves the project list as it was read, while the lists below are read again; a saved
    // project, or anything another program wrote, has it read again. The choices are kept either way.
    void refreshReadsWhatCanHaveChanged()
    {
        clickRow(projects, 1);
        clickRow(companies, 1);
        QSignalSpy resets(projects->model(), &QAbstractItemModel::modelReset);
        QVERIFY(env->exec("INSERT INTO project (id, projectname) VALUES (0, 'A FIRST ONE')"));
        QVERIFY(env->exec("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, pickupby) VALUES (2, 13, '2003-01-01', 'EARLIER')"));
        registers().announce("pickuplog");
        QCOMPARE(gridColumn("pickupby"), QStringList({"EARLIER", "D. O'BRIEN"}));
        QCOMPARE(resets.size(), 0);
        QCOMPARE(projects->currentIndex().row(), 1);
        registers().announce("project");
        QCOMPARE(resets.size(), 1);
        QCOMPARE(texts(projects).size(), 7);
        QCOMPARE(projects->currentIndex().data().toString(), QStringLiteral("HARBOR VIEW"));
        QVERIFY(writtenElsewhere(*env, {"UPDATE project SET projectname = 'HARBOUR VIEW' WHERE id = 2"}));
        if (!TestEnv::onServer())
            registers().announce("authorizedcompanies");
        QTRY_COMPARE_WITH_TIMEOUT(projects->currentIndex().data().toString(), QStringLiteral("HARBOUR VIEW"), 2000);
        QCOMPARE(companies->currentIndex().row(), 1);
        QVERIFY(env->messages.calls.isEmpty());
        projects->setFocus(); // the keyboard is followed again after the re-read
        QTest::keyClick(projects, Qt::Key_Down);
        QCOMPARE(texts(companies), QStringList({"ZENITH ROOFING"}));
    }

    // A register unreadable later is said once, again after a recovery; the grid keeps its captions.
    void unreadableLaterSaysSoOnce()
    {
        if (TestEnv::onServer())
            QSKIP("a closed server connection is opened again by the next read (tst_server's lost connection)");
        clickRow(projects, 0);
        clickRow(companies, 0);
        for (bool readable : {false, false, true, false}) {
            readable ? void(db::openMain(gDbFile)) : db::main().close();
            registers().announce();
            QCOMPARE(texts(projects).size(), readable ? 6 : 0);
        }
        QCOMPARE(env->messages.calls.size(), 2);
        QVERIFY(env->messages.calls.first().text.startsWith("The list cannot be read: No database is open at"));
        checkCaptions();
    }

    // Cancelled on a fresh run nothing opens; cancelled later, the same file is offered again.
    void importDialogKeepsLastName()
    {
        QSignalSpy chosen(w, &frmMain::importFileChosen);
        const QString file = QStringLiteral("/transfers/NORTH TOWER 1437_1203.mdb");
        env->files.answers << std::nullopt << file << std::nullopt;
        for (int i = 0; i < 3; ++i)
            w->findChild<QAction *>(QStringLiteral("mnuAutImportDatabase"))->trigger();
        QCOMPARE(chosen.count(), 2);
        QCOMPARE(chosen.at(1).at(0).toString(), file);
        QCOMPARE(env->files.offeredNames, QStringList({"", "", file}));
    }

    // Each named child's place and size, the window's size and its Tab order.
    static QStringList figures(QWidget *top)
    {
        const auto said = [](QWidget *c) -> QString { // a field's limit, a caption, a grid's columns; "off" when disabled
            const QString off = c->isEnabled() ? QString() : QStringLiteral(" off");
            if (auto *e = qobject_cast<QLineEdit *>(c))
                return (e->maxLength() < 32767 ? QString(" max %1").arg(e->maxLength()) : QString()) + off;
            if (auto *t = qobject_cast<QTableView *>(c)) { // the columns shown, captions and widths
                QStringList shown;
                for (int i = 0; i < t->model()->columnCount(); ++i)
                    if (!t->isColumnHidden(i))
                        shown << QStringLiteral("%1:%2").arg(t->model()->headerData(i, Qt::Horizontal).toString()).arg(t->columnWidth(i));
                return " [" + shown.join(' ') + ']' + off;
            }
            auto *l = qobject_cast<QLabel *>(c);
            auto *b = qobject_cast<QAbstractButton *>(c);
            return (l || b ? " \"" + QString(l ? l->text() : b->text()).replace('\n', "\\n") + '"' : QString()) + off;
        };
        QStringList out{QStringLiteral("%1 %2x%3").arg(top->objectName()).arg(top->width()).arg(top->height())}, tabs;
        for (QWidget *c : top->findChildren<QWidget *>())
            if (!c->objectName().isEmpty() && !c->objectName().startsWith(QLatin1String("qt_")))
                out << QStringLiteral("  %1 %2 %3 %4 %5").arg(c->objectName()).arg(c->x()).arg(c->y()).arg(c->width()).arg(c->height()) + said(c);
        for (QWidget *c = top->nextInFocusChain(); c != top; c = c->nextInFocusChain())
            if ((c->focusPolicy() & Qt::TabFocus) && c->isVisibleTo(top) && !c->objectName().isEmpty())
                tabs << c->objectName();
        return out << "  tab: " + tabs.join(' ');
    }

    // What each menu entry opens and every window's layout, against tests/fixtures/geometry.txt;
    // after a deliberate change run once with QB_WRITE_GEOMETRY=1 and review the difference.
    void layoutFigures()
    {
        if (TestEnv::onServer())
            QSKIP("the windows are the same whatever holds the register");
        QStringList lines = figures(w);
        const auto takeOpen = [&](const QString &how) {
            for (QWidget *top : QApplication::topLevelWidgets())
                if (top != w && top->isVisible()) {
                    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(top); // a window with its caption, not a panel
                    QVERIFY((a->role() == QAccessible::Window || a->role() == QAccessible::Dialog) && a->text(QAccessible::Name) == top->windowTitle());
                    const auto *list = qobject_cast<frmListofProjects *>(top);
                    const auto *dates = qobject_cast<frmreportdate *>(top);
                    lines << how + (list ? " " + list->origen() : dates ? " " + dates->menuselected() : QString()) + ": " + figures(top).join('\n');
                    top->close();
                }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        };
        for (const char *action : {"mnuProListofProjects", "mnuAutNewCompany", "mnuAutListOfCompany", "Mexport", "mnuPicNewPickup", "mnuPicListofPickups",
                                   "mnuPicPrintListOfPickups", "mnusubnotpckup", "Allpickupsbydate", "mnuPpbydate", "mnuspbydate", "mnuProNewProject", "mnuOptions"})
            w->findChild<QAction *>(action)->trigger(), takeOpen(action); // the menu entries that open a window
        window<frmAuthorizedCompanies>()->NewCompany(1), takeOpen("NewCompany");
        window<frmPickupForm>()->NewPickup(1), takeOpen("NewPickup");
        window<frmListofCompanies>()->showlist("1"), takeOpen("companies");
        window<frmListofPickups>()->showlist("1"), takeOpen("pick-ups");
        window<frmprojectlist>()->showlist(), takeOpen("project picker");
        window<frmsubcontractorlist>()->showlist(), takeOpen("subcontractor picker");
        for (const core::reports::ReportLayout *l : core::reports::allLayouts()) // and the reports' figures, in points
            for (const core::reports::Band *b : {&l->reportHeader, &l->pageHeader, &l->detail, &l->pageFooter, &l->reportFooter}) {
                lines << QString("%1 %2 %3").arg(l->name, b->section).arg(b->height);
                for (const core::reports::ReportItem &i : b->items)
                    lines << QString("  %1 %2 %3 %4 %5").arg(i.name).arg(i.rect.x()).arg(i.rect.y()).arg(i.rect.width()).arg(i.rect.height());
            }
        const QString snapshot = qEnvironmentVariable("QB_SOURCE_DIR") + "/tests/fixtures/geometry.txt";
        const QByteArray now = lines.join('\n').toUtf8() + '\n';
        QVERIFY(qEnvironmentVariableIntValue("QB_WRITE_GEOMETRY") != 1 || writeFile(snapshot, now));
        const QStringList stored = QString::fromUtf8(fileBytes(snapshot)).split('\n'), shown = QString::fromUtf8(now).split('\n');
        QVERIFY2(stored.size() > 1, "no snapshot: run once with QB_WRITE_GEOMETRY=1");
        for (int i = 0; i < std::max(stored.size(), shown.size()); ++i) // the first line that differs
            QCOMPARE(shown.value(i), stored.value(i));
    }

    void print_data()
    {
        QTest::addColumn<int>("company"); // row in the chosen project's list; -1: none chosen
        QTest::addColumn<QString>("message"); // "#": a numbered error
        QTest::newRow("rows") << 0 << "";
        QTest::newRow("no rows") << 1 << "There are not Registers";
        QTest::newRow("no subcontractor chosen yet") << -1 << "#";
    }

    // A preview of the grid's rows, titled by the chosen project though another has become the first row.
    void print()
    {
        QFETCH(int, company);
        QFETCH(QString, message);
        if (company >= 0) {
            clickRow(projects, 0);
            clickRow(companies, company);
        }
        QVERIFY(env->exec("INSERT INTO project (id, projectname) VALUES (0, 'A FIRST ONE')"));
        w->RefreshInterface();
        drive::click(button(w, "CmdPrint"));
        if (!message.isEmpty()) {
            QCOMPARE(env->messages.calls.size(), 1);
            QCOMPARE(env->messages.calls.first().title, QStringLiteral("Quillbern"));
            QVERIFY(message == "#" ? env->messages.calls.first().text.at(0).isDigit() : env->messages.calls.first().text == message);
            QVERIFY(env->reports.calls.isEmpty());
            return;
        }
        QVERIFY(env->messages.calls.isEmpty());
        QCOMPARE(env->reports.calls.size(), 1);
        const auto &call = env->reports.calls.first();
        QCOMPARE(call.kind, RecordingReports::Kind::Preview);
        QCOMPARE(call.layoutName, QStringLiteral("DrpListofPickupsOnly"));
        QCOMPARE(call.title, QStringLiteral("Project: NORTH TOWER   Subcontractor: ACME ELECTRIC"));
        QCOMPARE(ui::column(call.rows, "pickupby"), QStringList({"M. GARCIA", "L. CHEN", "J. SMITH", "AFTER"}));
        QVERIFY2(call.printed.contains("12/31/2002 11:59:59 PM\nM. GARCIA\nKEYS"), qPrintable(call.printed)); // the query's columns reach the layout
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
