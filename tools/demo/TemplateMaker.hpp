#pragma once

#include "Piece.hpp"

#include "core/TemplateChannels.hpp"

#include <cstdint>
#include <vector>

namespace kalvotune::demo {

/// Added to a speed byte to mark a picture change.
constexpr int kPictureChangeMark{22};
/// Highest unmarked speed we write: the "микро" figure types read the byte one higher,
/// and 21 would then turn into a mark.
constexpr int kTopSpeed{20};

/// The full colour-music template of a piece, `TickCount(piece.length)` ticks long.
/// Colour follows the chord (hue) and the loudness and melody onsets (brightness); blue is
/// odd at phrase starts at most every 3 s (new figures), red odd on accented downbeats at
/// most every 3 s (new directions); speed follows energy and loudness, with picture-change
/// marks on bar starts and, as the music gets busier, on more of the beats.
/// `loudness` holds one level per tick, as `TickLoudness` gives it.
TemplateChannels MakeFullTemplate(const Piece& piece, const std::vector<float>& loudness);

/// The still-picture template of a piece: the speed channel alone, with a picture-change
/// mark on every beat, `TickCount(piece.length)` ticks long.
std::vector<std::uint8_t> MakeStillTemplate(const Piece& piece, const std::vector<float>& loudness);

} // namespace kalvotune::demo
