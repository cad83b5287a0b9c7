#pragma once

#include "app/Kalvotune.hpp"
#include "core/Random.hpp"
#include "support/FakeServices.hpp"
#include "support/TempDir.hpp"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kalvotune::testing {

/// A temporary program folder with the fakes a player needs, and a virtual timer loop
/// that fires the model's timers in deadline order.
class AppFixture : public FakeServices {
public:
    AppFixture();

    /// Writes the folders and files a shipped program folder holds, minus the pattern
    /// tables (tests that need them generate them).
    void MakeProgramFolder();
    /// Writes the pattern tables the program ships with into the program folder.
    void WriteTables();
    /// Constructs the player (reads tables and settings) and runs `FormCreate`.
    app::Kalvotune& Start();
    /// Closes the window as the close box does.
    void Close();
    /// Moves virtual time, advancing the device and firing every enabled timer when due.
    void Advance(int ms);

    std::filesystem::path Dir() const { return m_dir.Path(); }
    app::Kalvotune& App() { return *m_app; }
    Form& Window() { return m_app->form(); }

private:
    TempDir m_dir;
    std::unique_ptr<app::Kalvotune> m_app;
    std::vector<std::pair<TimerControl*, long long>> m_due;
    long long m_now{};
};

} // namespace kalvotune::testing
