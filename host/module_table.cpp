#include "module_table.h"

namespace host {
ModuleTable::ModuleTable(Device&) {}
ModuleTable::~ModuleTable() = default;
}  // namespace host
