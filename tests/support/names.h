#pragma once
// Tests speak of the application's types as the application's own code does.
#include "core/app/failure.h"
#include "ui/common/corenames.h"

using namespace core;
using namespace core::db;
using namespace core::reports;
using namespace ui;
