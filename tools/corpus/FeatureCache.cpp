#include "Corpus.hpp"

#include "analysis/MusicAnalysis.hpp"

#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

namespace kalvotune::corpus {

namespace {

struct Writer {
    std::string bytes;
    template <typename T> void Value(const T& v) { bytes.append(reinterpret_cast<const char*>(&v), sizeof v); }
    template <typename T> void List(const std::vector<T>& v)
    {
        Value(static_cast<std::uint64_t>(v.size()));
        bytes.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
    }
};

struct Reader {
    const std::string& bytes;
    std::size_t at{};
    bool ok{true};
    template <typename T> void Value(T& v)
    {
        if (at + sizeof v > bytes.size()) {
            ok = false;
            return;
        }
        std::memcpy(&v, bytes.data() + at, sizeof v);
        at += sizeof v;
    }
    template <typename T> void List(std::vector<T>& v)
    {
        std::uint64_t count{};
        Value(count);
        if (!ok || count > (bytes.size() - at) / sizeof(T)) {
            ok = false;
            return;
        }
        v.resize(count);
        std::memcpy(v.data(), bytes.data() + at, count * sizeof(T));
        at += count * sizeof(T);
    }
};

template <typename Io, typename Track> void Fields(Io& io, Track& t)
{
    io.List(t.features.loudness);
    io.List(t.features.onsets);
    io.List(t.features.chroma);
    io.List(t.features.bassChroma);
    io.List(t.features.centredChroma);
    io.List(t.features.centredBassChroma);
    io.List(t.features.bassEnergy);
    io.List(t.features.onsetStrength);
    io.Value(t.seconds);
}

} // namespace

bool MeasureCached(const std::filesystem::path& wav, analysis::MeasuredTrack& track, std::string& error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto size = static_cast<std::uint64_t>(fs::file_size(wav, ec));
    const fs::path cache{wav.string() + ".features"};
    if (!ec && fs::exists(cache) && fs::last_write_time(cache, ec) >= fs::last_write_time(wav, ec)) {
        const std::string bytes{ReadFile(cache)};
        Reader in{bytes};
        int version{};
        std::uint64_t cachedSize{};
        in.Value(version);
        in.Value(cachedSize);
        if (in.ok && version == kFeatureCacheVersion && cachedSize == size) {
            Fields(in, track);
            if (in.ok && in.at == bytes.size()) {
                track.grid = analysis::FindBeats(track.features);
                return true;
            }
        }
    }
    if (!analysis::MeasureTrack(wav, track, error))
        return false;
    Writer out;
    out.Value(kFeatureCacheVersion);
    out.Value(size);
    Fields(out, track);
    std::ofstream{cache, std::ios::binary} << out.bytes;
    return true;
}

std::vector<LoadedPiece> LoadPieces(const std::filesystem::path& folder, const std::vector<Entry>& entries)
{
    std::vector<LoadedPiece> pieces(entries.size());
    std::atomic<std::size_t> next{0};
    const auto load = [&] {
        for (std::size_t i = next++; i < entries.size(); i = next++) {
            LoadedPiece& p{pieces[i]};
            if (ReadLabels(ReadFile(folder / (entries[i].name + ".labels")), p.labels, p.error)
                && MeasureCached(folder / (entries[i].name + ".wav"), p.track, p.error))
                p.error.clear();
            else if (p.error.empty())
                p.error = "could not be measured";
        }
    };
    {
        std::jthread a{load}, b{load};
    }
    return pieces;
}

} // namespace kalvotune::corpus
