#include "support/TempDir.hpp"

#include <cstdlib>
#include <string>

namespace kalvotune::testing {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kalvotune-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::filesystem::filesystem_error("mkdtemp", std::make_error_code(std::errc::io_error));
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

} // namespace kalvotune::testing
