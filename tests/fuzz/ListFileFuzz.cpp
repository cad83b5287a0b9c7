// List files: code-page detection (Windows-1251, or UTF-8 after a byte-order mark) and
// line splitting, then writing the lines back.
#include "fuzz/FuzzSupport.hpp"
#include "playlists/ListFile.hpp"

using namespace kalvotune;
using namespace kalvotune::playlists;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = fuzz::AsText(data, size);
    const std::vector<std::string> lines = DecodeListFile(bytes);
    for (const std::string& line : lines)
        fuzz::Require(line.find_first_of("\r\n") == std::string::npos, "a decoded line holds a line break");

    // Whatever was read is written so that it reads back the same.
    const std::string encoded = EncodeListFile(lines);
    fuzz::Require(DecodeListFile(encoded) == lines, "list lines change when written and read again");

    // Every Windows-1251 byte string survives the trip through UTF-8.
    const std::optional<std::string> back = Utf8ToCp1251(Cp1251ToUtf8(bytes));
    fuzz::Require(back && *back == bytes, "Windows-1251 bytes do not survive a round trip");

    // Line splitting: the lines joined with LF give the text with every break made LF.
    const std::vector<std::string> split = SplitLines(bytes);
    std::string joined;
    for (const std::string& line : split)
        joined += line + "\n";
    std::string normalised{bytes};
    for (std::size_t at = normalised.find("\r\n"); at != std::string::npos; at = normalised.find("\r\n", at))
        normalised.erase(at, 1);
    for (char& c : normalised)
        if (c == '\r')
            c = '\n';
    if (!normalised.empty() && normalised.back() != '\n')
        normalised += '\n';
    fuzz::Require(joined == normalised, "line splitting loses or invents text");
    return 0;
}
