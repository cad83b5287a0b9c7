#include "Corpus.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace kalvotune::corpus {

namespace {

template <typename T> void WriteList(std::ostringstream& out, const char* name, const std::vector<T>& values)
{
    out << name;
    for (const T& v : values)
        out << ' ' << v;
    out << '\n';
}

} // namespace

std::string WriteLabels(const Labels& labels)
{
    std::ostringstream out;
    out.precision(9);
    out << "metre " << labels.metre << '\n';
    WriteList(out, "beats", labels.beats);
    WriteList(out, "bars", labels.barStarts);
    WriteList(out, "beatsPerBar", labels.beatsPerBar);
    for (const ChordSpan& c : labels.chords)
        out << "chord " << c.start << ' ' << c.end << ' ' << c.root << ' ' << static_cast<int>(c.quality) << '\n';
    return out.str();
}

bool ReadLabels(const std::string& text, Labels& labels, std::string& error)
{
    labels = {};
    std::istringstream in{text};
    std::string line;
    bool sawBeats{}, sawBars{};
    while (std::getline(in, line)) {
        std::istringstream words{line};
        std::string name;
        words >> name;
        if (name == "metre")
            words >> labels.metre;
        else if (name == "beats") {
            sawBeats = true;
            for (double v; words >> v;)
                labels.beats.push_back(v);
        } else if (name == "bars") {
            sawBars = true;
            for (double v; words >> v;)
                labels.barStarts.push_back(v);
        } else if (name == "beatsPerBar") {
            for (int v; words >> v;)
                labels.beatsPerBar.push_back(v);
        } else if (name == "chord") {
            ChordSpan c;
            int quality{-1};
            if (!(words >> c.start >> c.end >> c.root >> quality) || c.root < 0 || c.root > 11 || quality < 0
                || quality >= static_cast<int>(Quality::Count)) {
                error = "bad chord line: " + line;
                return false;
            }
            c.quality = static_cast<Quality>(quality);
            labels.chords.push_back(c);
        } else if (!name.empty()) {
            error = "unknown line: " + line;
            return false;
        }
    }
    if (!sawBeats || !sawBars || labels.metre.empty() || labels.beatsPerBar.size() != labels.barStarts.size()) {
        error = "incomplete labels";
        return false;
    }
    return true;
}

std::vector<Entry> ReadIndex(const std::filesystem::path& folder)
{
    std::vector<Entry> entries;
    std::ifstream in{folder / "index.tsv"};
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields{line};
        Entry e;
        std::string split;
        if (std::getline(fields, e.name, '\t') && std::getline(fields, e.source, '\t')
            && std::getline(fields, e.family, '\t') && std::getline(fields, e.metre, '\t')
            && std::getline(fields, e.soundfont, '\t') && std::getline(fields, split)) {
            e.validation = split == "validation";
            entries.push_back(e);
        }
    }
    return entries;
}

void WriteIndex(const std::filesystem::path& folder, const std::vector<Entry>& entries)
{
    std::ofstream out{folder / "index.tsv"};
    for (const Entry& e : entries)
        out << e.name << '\t' << e.source << '\t' << e.family << '\t' << e.metre << '\t' << e.soundfont << '\t'
            << (e.validation ? "validation" : "training") << '\n';
}

int RootAt(const Labels& labels, double seconds, Quality* quality)
{
    const auto it = std::upper_bound(
        labels.chords.begin(), labels.chords.end(), seconds, [](double t, const ChordSpan& c) { return t < c.start; });
    if (it == labels.chords.begin())
        return -1;
    const ChordSpan& c{*(it - 1)};
    if (seconds >= c.end)
        return -1;
    if (quality)
        *quality = c.quality;
    return c.root;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in{path, std::ios::binary};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool NearAny(const std::vector<double>& sorted, double at, double slack)
{
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), at - kTolerance - slack);
    return it != sorted.end() && *it <= at + kTolerance + slack;
}

double ShareNear(const std::vector<int>& ticks, const std::vector<double>& reference)
{
    if (ticks.empty())
        return 0;
    int near{};
    for (const int t : ticks)
        near += NearAny(reference, t / 10.0, 1e-9);
    return static_cast<double>(near) / static_cast<double>(ticks.size());
}

} // namespace kalvotune::corpus
