// What the editors share: Enter walks the fields, typing writes capitals, keys enable "Save", dates are checked.
#include "support/windows.h"
#include "ui/common/conventions.h"

#include <QClipboard>
#include <QKeyEvent>
#include <QStyleOption>
#include <QTimer>

// A date typed into `field` of `window`, as shown once left by Tab and as stored (invalid: not
// saved, 0: NULL).
struct DateCase
{
    QString window, field, typed, shown;
    QVariant stored = {};
};
Q_DECLARE_METATYPE(DateCase)

class TestConventions : public OfficeTest
{
    Q_OBJECT
private slots:
    void enterWalk_data()
    {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("start");
        QTest::newRow("project editor") << "project" << "TxtCompany";
        QTest::newRow("subcontractor editor") << "company" << "TxtCompanyName";
        QTest::newRow("pick-up editor") << "pickup" << "TxtPickupDate";
    }

    // Enter walks the fields as Tab does (whose order the layout snapshot holds), passing buttons unpressed.
    void enterWalk()
    {
        QFETCH(QString, editor);
        QFETCH(QString, start);
        QWidget *w = openEditor(editor, qPrintable(start));
        QVERIFY(w);
        if (editor == QLatin1String("project")) // a key press enables "Save" first
            drive::key(w, Qt::Key_A);
        QStringList walk;
        while (walk.size() < 30 && (walk.isEmpty() || walk.last() != QLatin1String("CmdCancel")))
            drive::key(w, Qt::Key_Tab), walk << QApplication::focusWidget()->objectName();
        QVERIFY(walk.contains("cmdsave") && walk.size() > 3);
        w->findChild<QWidget *>(start)->setFocus();
        for (const QString &next : walk << "CmdCancel") {
            drive::key(w, Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
            QStyleOption drawn; // the focus is marked as after Tab
            drawn.initFrom(QApplication::focusWidget());
            QVERIFY(drawn.state & QStyle::State_KeyboardFocusChange);
        }
        QVERIFY(w->isVisible());
        QCOMPARE(env->count("project") + env->count("authorizedcompanies") + env->count("pickuplog"), 21);
    }

    // The next position is the disabled "Save": the focus stays, and the same key enables it.
    void enterBeforeDisabledSave()
    {
        QWidget *w = openEditor("project", "chkActive");
        QVERIFY(w);
        QVERIFY(!ui::button(w, "cmdsave")->isEnabled());
        drive::key(w, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("chkActive"));
        QVERIFY(ui::button(w, "cmdsave")->isEnabled());
        drive::key(w, Qt::Key_Enter);
        QCOMPARE(QApplication::focusWidget(), ui::button(w, "cmdsave"));
    }

    // Typed letters become capitals, one for one, dead keys and input methods too; pasted text keeps its case.
    void capitalsOnTypingOnly()
    {
        QWidget *w = openEditor("company", "TxtCompanyName");
        QVERIFY(w);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("smith & co. 7"));
        QKeyEvent umlaut(QEvent::KeyPress, Qt::Key_Udiaeresis, Qt::NoModifier, QStringLiteral("ü"));
        QApplication::sendEvent(field(w, "TxtCompanyName"), &umlaut);
        QInputMethodEvent composed;
        composed.setCommitString(QStringLiteral("é"));
        QKeyEvent sharpS(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("ß"));
        QApplication::sendEvent(field(w, "TxtCompanyName"), &composed), QApplication::sendEvent(field(w, "TxtCompanyName"), &sharpS);
        QCOMPARE(field(w, "TxtCompanyName")->text(), QStringLiteral("SMITH & CO. 7ÜÉß"));
        QLineEdit *memo = field(w, "Text1");
        memo->setFocus();
        QApplication::clipboard()->setText(QStringLiteral("smith & co."));
        QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(memo->text(), QStringLiteral("smith & co."));
    }

    void keysThatEnableSave_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("enables");
        QTest::newRow("letter") << int(Qt::Key_Q) << true;
        QTest::newRow("digit") << int(Qt::Key_7) << true;
        QTest::newRow("backspace") << int(Qt::Key_Backspace) << true;
        QTest::newRow("arrow") << int(Qt::Key_Left) << false;
        QTest::newRow("delete") << int(Qt::Key_Delete) << false;
        QTest::newRow("paste") << (Qt::ControlModifier | Qt::Key_V).toCombined() << true;
        QTest::newRow("copy") << (Qt::ControlModifier | Qt::Key_C).toCombined() << false;
    }

    void keysThatEnableSave()
    {
        QFETCH(int, key);
        QFETCH(bool, enables);
        QWidget *w = openEditor("project", "TxtCompany");
        QVERIFY(w);
        QTest::mouseClick(w->findChild<QCheckBox *>(QStringLiteral("chkActive")), Qt::LeftButton);
        QVERIFY(!ui::button(w, "cmdsave")->isEnabled()); // a click in the check box alone does not enable it
        field(w, "TxtCompany")->setFocus();
        QApplication::clipboard()->setText(QStringLiteral("pasted"));
        QKeyEvent control(QEvent::KeyPress, key & ~Qt::ControlModifier, Qt::ControlModifier, QChar(char16_t(key & 0x1f))); // as sent: a control character
        key & Qt::ControlModifier ? void(QApplication::sendEvent(field(w, "TxtCompany"), &control)) : drive::key(w, Qt::Key(key));
        QCOMPARE(ui::button(w, "cmdsave")->isEnabled(), enables);
    }

    void dateCheckOnFocusLoss_data()
    {
        QTest::addColumn<DateCase>("c");
        QTest::newRow("subcontractor, impossible") << DateCase{"company", "TxtPickupDate", "2/30/2003", "", 0};
        QTest::newRow("pick-up, time of day") << DateCase{"pickup", "TxtPickupDate", "3/7/26 4:30 pm", "3/7/2026 4:30:00 PM", "2026-03-07 16:30:00"};
        QTest::newRow("date window, lower case kept") << DateCase{"dates", "Text1", "march 7, 2026", "3/7/2026"};
    }

    // Typed dates are checked when the field is left, and saved in ISO form (empty: NULL).
    void dateCheckOnFocusLoss()
    {
        QFETCH(DateCase, c);
        QWidget *w = openEditor(c.window, qPrintable(c.field));
        QVERIFY(w);
        QLineEdit *date = field(w, qPrintable(c.field));
        drive::retype(w, qPrintable(c.field), c.typed);
        QCOMPARE(date->text(), c.window == QLatin1String("dates") ? c.typed : c.typed.toUpper());
        drive::key(w, Qt::Key_Tab);
        QCOMPARE(date->text(), c.shown);
        if (!c.stored.isValid())
            return;
        if (c.window == QLatin1String("pickup"))
            static_cast<frmPickupForm *>(w)->ShowSelectedcompany(10);
        ui::press(w, "cmdsave");
        const QVariant v = env->scalar(c.window == QLatin1String("pickup") ? "SELECT pickupdate FROM pickuplog WHERE id = 110"
                                                                           : "SELECT pickupdate FROM authorizedcompanies WHERE id = 40002");
        QCOMPARE(v.isNull(), c.stored.typeId() == QMetaType::Int);
        if (!v.isNull())
            QCOMPARE(v.toString(), c.stored.toString());
    }

    // A look at another window leaves a date half typed as it is.
    void dateKeptWhileAnotherWindowIsUsed()
    {
        QWidget *w = openEditor("pickup", "TxtPickupDate");
        QVERIFY(w);
        drive::retype(w, "TxtPickupDate", QStringLiteral("12/05"));
        window<frmNewProject>()->NewProject();
        QVERIFY(QTest::qWaitForWindowActive(window<frmNewProject>()));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w) && QApplication::focusWidget() == field(w, "TxtPickupDate"));
        drive::type(w, QStringLiteral("/26"));
        drive::key(w, Qt::Key_Tab);
        QCOMPARE(field(w, "TxtPickupDate")->text(), QStringLiteral("12/5/2026"));
    }

    // A failed save says why (here: no database open, naming the file and what to do); the editor stays.
    void saveWithoutDatabase()
    {
        QWidget *w = openEditor("project", "TxtCompany");
        QVERIFY(w);
        drive::type(w, QStringLiteral("kept"));
        db::main().close();
        ui::press(w, "cmdsave");
        QCOMPARE(env->messages.said(), QStringList("Quillbern|The project could not be saved: no database is open at \"" + gDbFile
                                                   + "\": choose its folder in Options, or restart and answer Yes to create it"));
        QCOMPARE(env->messages.calls.first().icon, QMessageBox::Critical);
        QVERIFY(w->isVisible() && field(w, "TxtCompany")->text() == QStringLiteral("KEPT"));
    }

    // A message box is wide enough for its title beside the window manager's buttons; Enter answers its default.
    void messageBoxShowsItsTitle()
    {
        int width = 0;
        QTimer::singleShot(0, [&] { if (QWidget *box = QApplication::activeModalWidget()) width = box->width(), box->close(); });
        DialogMessages().show("Done", "EXPORT DATABASE", QMessageBox::Information, QMessageBox::Ok, QMessageBox::NoButton);
        QFont bold = QApplication::font();
        bold.setBold(true);
        QVERIFY(width >= QFontMetrics(bold).horizontalAdvance("EXPORT DATABASE") + 150);
        // Enter gives the answer the question names as its default.
        QTimer::singleShot(0, [] { if (QWidget *box = QApplication::activeModalWidget()) QTest::keyClick(box, Qt::Key_Return); });
        QCOMPARE(DialogMessages().show("Delete?", "DELETE", QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No),
                 QMessageBox::No);
    }

    // A window opened over the caption of the active one steps down and right of it; one that leaves it in sight stays centred.
    void cascade()
    {
        for (const QSize size : {QSize(400, 300), QSize(150, 100)}) {
            QWidget opener, opened;
            opener.resize(300, 200);
            ui::conventions::presentCentred(&opener);
            QVERIFY(QTest::qWaitForWindowActive(&opener));
            opened.resize(size);
            ui::conventions::presentCentred(&opened);
            const QPoint centred = opener.geometry().center() - QPoint(size.width() / 2, size.height() / 2);
            const bool covers = size.width() > opener.width();
            QVERIFY2((opened.pos() - (covers ? opener.frameGeometry().topLeft() + QPoint(28, 28) : centred)).manhattanLength() <= (covers ? 0 : 2),
                     qPrintable(QStringLiteral("%1,%2").arg(opened.x()).arg(opened.y())));
        }
    }

    // A cancelled file dialog chooses nothing, also when it offered the last file.
    void cancelledFileDialog()
    {
        QTimer::singleShot(0, [] { if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) d->reject(); });
        QVERIFY(!DialogFileChooser().openFile(nullptr, gDbFile));
    }
};

QTEST_MAIN(TestConventions)
#include "tst_conventions.moc"
