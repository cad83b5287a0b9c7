#pragma once

#include <filesystem>
#include <mutex>
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

/// One function of a shared module, loaded the first time it is asked for, on whatever
/// thread asks: modules whose libraries most starts never need stay out of the start-up.
template <typename Function> class ModuleFunction {
public:
    ModuleFunction(std::filesystem::path file, const char* symbol, std::string what)
        : m_file{std::move(file)}
        , m_symbol{symbol}
        , m_what{std::move(what)}
    {
    }

    /// The function; null when the module cannot be loaded, `Error()` then says why.
    Function Get()
    {
        std::call_once(m_loaded, [this] {
            const ModuleSymbol found = LoadModuleSymbol(m_file, m_symbol, m_what);
            m_function = reinterpret_cast<Function>(found.address);
            m_error = found.error;
        });
        return m_function;
    }
    /// Valid once `Get()` returned null.
    const std::string& Error() const { return m_error; }

private:
    std::filesystem::path m_file;
    const char* m_symbol;
    std::string m_what;
    std::once_flag m_loaded;
    Function m_function{};
    std::string m_error;
};

} // namespace kalvotune
