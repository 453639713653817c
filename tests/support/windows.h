#pragma once
// What the window tests share: the fixture, the drivers and the windows they open.
#include "support/testenv.h"
#include "support/ui.h"

#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/datasource.h"
#include "core/db/registers.h"
#include "ui/common/windowregistry.h"
#include "ui/editors/frmAuthorizedCompanies.h"
#include "ui/editors/frmNewProject.h"
#include "ui/editors/frmPickupForm.h"
#include "ui/lists/frmListofCompanies.h"
#include "ui/lists/frmListofPickups.h"
#include "ui/lists/frmListofProjects.h"
#include "ui/main/frmMain.h"
#include "ui/reports/frmprojectlist.h"
#include "ui/reports/frmreportdate.h"
#include "ui/reports/frmsubcontractorlist.h"

#include <QAction>
#include <QCheckBox>
#include <QSignalSpy>
#include <QStyledItemDelegate>

using namespace drive;
using ui::button;
using ui::column;
using ui::field;
using ui::press;
using ui::sorted;
using ui::texts;

// `statements` written by another program, or on a server by another desk (which announces them itself).
inline bool writtenElsewhere(const TestEnv &env, const QStringList &statements)
{
    return TestEnv::onServer() ? env.otherDesk(statements) : withFile(gDbFile, statements);
}

// An editor ("project", "company", "pickup") or the date window, open and active, with the focus on `start`.
inline QWidget *openEditor(const QString &which, const char *start = nullptr)
{
    QWidget *w = nullptr;
    if (which == QLatin1String("project"))
        (w = WindowRegistry::get<frmNewProject>(), static_cast<frmNewProject *>(w)->NewProject());
    else if (which == QLatin1String("company"))
        (w = WindowRegistry::get<frmAuthorizedCompanies>(), static_cast<frmAuthorizedCompanies *>(w)->NewCompany(1));
    else if (which == QLatin1String("pickup"))
        (w = WindowRegistry::get<frmPickupForm>(), static_cast<frmPickupForm *>(w)->NewPickup(1));
    else
        (w = WindowRegistry::get<frmreportdate>(), static_cast<frmreportdate *>(w)->showdate("all"));
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w))
        return nullptr;
    if (start)
        w->findChild<QWidget *>(QLatin1String(start))->setFocus();
    return w;
}
