#pragma once
// The windows are built over the core and name its types as the core does.
namespace core {
namespace db {
}
namespace reports {
}
} // namespace core

namespace ui {
using namespace core;
using namespace core::db;
using namespace core::reports;
} // namespace ui
