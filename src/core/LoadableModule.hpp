#pragma once

#include <filesystem>
#include <string>

namespace kalvotune {

/// What looking a function up in a shared module gave: its address, or null and the
/// program's message saying why.
struct ModuleSymbol {
    void* address{};
    std::string error;
};

/// Loads the shared module `file` (it stays loaded until the process ends) and finds
/// `symbol` in it. `what` names the module in the message, e.g. "звуковой модуль".
/// Safe on any thread.
ModuleSymbol LoadModuleSymbol(const std::filesystem::path& file, const char* symbol, const std::string& what);

} // namespace kalvotune
