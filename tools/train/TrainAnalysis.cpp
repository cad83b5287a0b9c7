// Trains the analysis's learned decisions on the training part of the corpus that
// `kalvotune_make_corpus` made, and writes the model the program builds in.
//
//   kalvotune_train_analysis CORPUS_FOLDER MODEL_FILE
//
// Only pieces the index marks as training are read; the validation pieces and the scores
// are never seen here. Deterministic: the same corpus gives the same model.
#include "Training.hpp"

#include "analysis/MusicAnalysis.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

namespace fs = std::filesystem;
using namespace kalvotune;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER MODEL_FILE\n", argv[0]);
        return 2;
    }
    const auto started{std::chrono::steady_clock::now()};
    const fs::path folder{argv[1]}, output{argv[2]};
    std::vector<corpus::Entry> entries;
    for (const corpus::Entry& e : corpus::ReadIndex(folder))
        if (!e.validation)
            entries.push_back(e);
    if (entries.empty()) {
        std::fprintf(stderr, "no training pieces in %s\n", folder.c_str());
        return 1;
    }
    // KALVOTUNE_TRAIN_HOLDOUT=K (0 to 3) keeps every fourth groove family of the training
    // part, from the K-th on, out of the fitting and measures the model on it: a check of a
    // change to the training that never looks at the validation part (the four K together
    // hold out each family once).
    const char* holdOutFold{std::getenv("KALVOTUNE_TRAIN_HOLDOUT")};
    const bool holdOut{holdOutFold != nullptr};
    const long fold{holdOut ? std::strtol(holdOutFold, nullptr, 10) : 0};
    std::set<std::string> families;
    for (const corpus::Entry& e : entries)
        families.insert(e.family);
    const auto heldOut = [&](const corpus::Entry& e) {
        return holdOut && std::distance(families.begin(), families.find(e.family)) % 4 == fold;
    };
    // With KALVOTUNE_TRAIN_CROSS_FONT=1 as well, the fitting hears the kept families in one
    // soundfont only and the measuring the held-out ones in the others, as the validation
    // pieces come in a soundfont of their own (the first soundfont by name on even K).
    const bool crossFont{holdOut && std::getenv("KALVOTUNE_TRAIN_CROSS_FONT") != nullptr};
    std::set<std::string> fonts;
    for (const corpus::Entry& e : entries)
        fonts.insert(e.soundfont);
    const std::string fittingFont{
        fonts.empty() ? std::string{} : *std::next(fonts.begin(), fold % 2 == 0 ? 0 : std::ssize(fonts) - 1)};
    const auto unused = [&](const corpus::Entry& e) {
        return crossFont && (heldOut(e) == (e.soundfont == fittingFont));
    };
    std::vector<training::Piece> measured, held;
    std::vector<corpus::LoadedPiece> loaded{corpus::LoadPieces(folder, entries)};
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        if (!loaded[i].error.empty()) {
            std::fprintf(stderr, "%s: %s\n", entries[i].name.c_str(), loaded[i].error.c_str());
            continue;
        }
        if (unused(entries[i]))
            continue;
        (heldOut(entries[i]) ? held : measured)
            .push_back({std::move(loaded[i].track.features), std::move(loaded[i].track.grid),
                std::move(loaded[i].labels), entries[i].name});
    }
    const auto seconds
        = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
    // KALVOTUNE_TRAIN_REPORT=1 trains nothing: it shows how the shipped model does on each
    // training piece, to find what a change to the training should look at.
    if (std::getenv("KALVOTUNE_TRAIN_REPORT") != nullptr) {
        const analysis::AnalysisModel* shipped{analysis::ShippedAnalysisModel()};
        if (shipped == nullptr)
            return 1;
        training::Report(measured, *shipped, [](const std::string& line) { std::printf("%s\n", line.c_str()); });
        return 0;
    }
    std::printf("%zu training pieces measured in %.0f s\n", measured.size(), seconds());
    std::fflush(stdout);
    const analysis::AnalysisModel model{training::Train(measured, [&](const std::string& line) {
        std::printf("%s (%.0f s)\n", line.c_str(), seconds());
        std::fflush(stdout);
    })};
    if (!held.empty()) {
        const training::Figures f{training::Measure(held, model)};
        std::printf("Held-out training families: beats %.3f, bars %.3f, roots %.3f over %zu pieces\n", f.beats, f.bars,
            f.roots, held.size());
    }
    std::ofstream{output} << analysis::WriteAnalysisModel(model);
    std::printf("Model written to %s in %.0f s\n", output.c_str(), seconds());
    return 0;
}
