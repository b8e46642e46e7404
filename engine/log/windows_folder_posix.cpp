#include "engine/log/setup_log.h"

namespace qm {

// Native builds (tools and tests) have no Windows folder; their lines go to a sink or nowhere.
std::string LogQueryWindowsFolder() { return std::string(); }

}  // namespace qm
