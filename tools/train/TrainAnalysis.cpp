// Trains the analysis's learned decisions on the training part of the corpus that
// `kalvotune_make_corpus` made, and writes the model the program builds in.
//
//   kalvotune_train_analysis CORPUS_FOLDER MODEL_FILE
//
// Only pieces the index marks as training are read; the validation pieces and the scores
// are never seen here. Deterministic: the same corpus gives the same model.
#include "Training.hpp"

#include "analysis/MusicAnalysis.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

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
    std::vector<training::Piece> pieces(entries.size());
    std::vector<char> ok(entries.size());
    std::atomic<std::size_t> next{0};
    const auto measure = [&] {
        for (std::size_t i = next++; i < entries.size(); i = next++) {
            std::string error;
            analysis::MeasuredTrack track;
            if (!corpus::ReadLabels(corpus::ReadFile(folder / (entries[i].name + ".labels")), pieces[i].labels, error)
                || !corpus::MeasureCached(folder / (entries[i].name + ".wav"), track, error)) {
                std::fprintf(stderr, "%s: %s\n", entries[i].name.c_str(), error.c_str());
                continue;
            }
            pieces[i].features = std::move(track.features);
            pieces[i].grid = std::move(track.grid);
            ok[i] = 1;
        }
    };
    {
        std::jthread a{measure}, b{measure};
    }
    std::vector<training::Piece> measured;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        if (ok[i])
            measured.push_back(std::move(pieces[i]));
    const auto seconds
        = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
    std::printf("%zu training pieces measured in %.0f s\n", measured.size(), seconds());
    std::fflush(stdout);
    const analysis::AnalysisModel model{training::Train(measured, [&](const std::string& line) {
        std::printf("%s (%.0f s)\n", line.c_str(), seconds());
        std::fflush(stdout);
    })};
    std::ofstream{output} << analysis::WriteAnalysisModel(model);
    std::printf("Model written to %s in %.0f s\n", output.c_str(), seconds());
    return 0;
}
