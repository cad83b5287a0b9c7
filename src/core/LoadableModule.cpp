#include "core/LoadableModule.hpp"

#include <dlfcn.h>

namespace kalvotune {

ModuleSymbol LoadModuleSymbol(const std::filesystem::path& file, const char* symbol, const std::string& what)
{
    const std::string head = "Не удалось загрузить " + what + " " + file.string() + ": ";
    // Never unloaded: the libraries a module pulls in keep threads and state of their own.
    void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        return {nullptr, head + (reason != nullptr ? reason : "нет такого файла")};
    }
    void* address = ::dlsym(library, symbol);
    if (address == nullptr)
        return {nullptr, head + "в нём нет функции " + symbol};
    return {address, {}};
}

} // namespace kalvotune
