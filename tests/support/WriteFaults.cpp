#include "support/WriteFaults.hpp"

#include <algorithm>
#include <csignal>
#include <utility>

namespace kalvotune {

namespace {

class TestWriteFaults final : public WriteFaults {
public:
    bool FailsRead(const std::filesystem::path& file) override { return failReads && *failReads == file; }

    std::optional<std::size_t> WriteLimit(const std::filesystem::path& target, std::size_t size, bool first) override
    {
        std::optional<std::size_t> limit;
        if (first)
            limit = std::exchange(failAfter, std::nullopt);
        if (failWrites
            && (*failWrites == target || (!failWrites->has_parent_path() && *failWrites == target.filename())))
            limit = std::max<std::size_t>(size / 2, 1);
        return limit;
    }

    void AtWriteStep(int step) override
    {
        if (killAtStep && step == *killAtStep)
            ::raise(SIGKILL);
    }

    bool LacksExchange() override { return lacksExchange; }

    std::optional<std::filesystem::path> failReads;
    std::optional<std::size_t> failAfter;
    std::optional<std::filesystem::path> failWrites;
    std::optional<int> killAtStep;
    bool lacksExchange{false};
};

// Installed on first use and never removed: with no fault set it answers as no faults.
TestWriteFaults& Faults()
{
    static TestWriteFaults* const faults = [] {
        static TestWriteFaults instance;
        InstallWriteFaults(&instance);
        return &instance;
    }();
    return *faults;
}

} // namespace

void FailReadsOf(std::optional<std::filesystem::path> file)
{
    Faults().failReads = std::move(file);
}

void FailNextWriteAfter(std::optional<std::size_t> bytes)
{
    Faults().failAfter = bytes;
}

void FailWritesOf(std::optional<std::filesystem::path> file)
{
    Faults().failWrites = std::move(file);
}

void KillAtWriteStep(std::optional<int> step)
{
    Faults().killAtStep = step;
}

void WithoutRenameExchange(bool lacking)
{
    Faults().lacksExchange = lacking;
}

} // namespace kalvotune
