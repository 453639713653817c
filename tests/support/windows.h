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
