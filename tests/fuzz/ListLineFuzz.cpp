// The list-line helpers every list command uses.
#include "fuzz/FuzzSupport.hpp"
#include "playlists/ListLine.hpp"
#include "support/Fakes.hpp"

using namespace kalvotune;
using namespace kalvotune::playlists;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = fuzz::AsText(data, size);

    // An item always carries its line: the tail is "*" + path + "*0*" whatever the title.
    const std::string item = MakeListItem(text);
    const std::string path = LinePath(item);
    const std::string line = ItemToLine(item);
    fuzz::Require(line == "*" + path + "*0*", "ItemToLine does not give the item's line back");
    fuzz::Require(LineTemplate(line) == "0", "an item's line lost its template field");
    fuzz::Require(item.starts_with(TrackTitleOf(path)), "an item does not start with its title");
    if (!text.empty() && text.front() == '*')
        fuzz::Require(path == LinePath(text), "the item of an untagged line has another path");
    fuzz::Require(LinePath(MakeListItem(line)) == path, "an item made from its own line has another path");

    // The title is a piece of the text's last path part, never longer than the text.
    const std::string title = TrackTitleOf(text);
    fuzz::Require(title.size() <= text.size() && text.find(title) != std::string_view::npos, "title not in the path");
    fuzz::Require(LineTemplate(text).size() <= text.size(), "template field longer than the line");

    // The forbidden-character check says so exactly once, or not at all.
    testing::FakeDialogs dialogs;
    const bool forbidden = HasForbiddenChars(text, dialogs);
    fuzz::Require(dialogs.messages.size() == (forbidden ? 1u : 0u), "forbidden-character message count");
    fuzz::Require(forbidden == (text.find_first_of("/><:*|?\"") != std::string_view::npos), "forbidden characters");
    fuzz::Require(FitsListLine(text) == (text.find_first_of("*\r\n") == std::string_view::npos), "FitsListLine");

    // Dated names of any date and time, however absurd, stay bounded.
    if (size >= 24) {
        int v[6];
        for (int k = 0; k < 6; ++k)
            v[k] = static_cast<int>(static_cast<std::uint32_t>(data[4 * k]) | data[4 * k + 1] << 8
                | data[4 * k + 2] << 16 | static_cast<std::uint32_t>(data[4 * k + 3]) << 24);
        const std::string dated = DatedListName("Список ", LocalDateTime{v[0], v[1], v[2], v[3], v[4], v[5]});
        fuzz::Require(dated.find(':') == std::string::npos, "a dated name holds a colon");
    }
    return 0;
}
