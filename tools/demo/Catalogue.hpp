#pragma once

#include "Composer.hpp"
#include "Piece.hpp"

#include <string>
#include <vector>

namespace kalvotune::demo {

/// Which colour-music template ships with a track.
enum class TemplateKind { Full, StillPicture, None };

/// A track of the `Sound` folder. Its file name is `title` + `extension`, so the player's
/// title (the file name less its last four characters) is `title`, which is also the name
/// of its template folder in `Data`.
struct ShippedTrack {
    std::string title;
    std::string extension; ///< ".wav", ".mp3" or ".wma"
    TemplateKind templateKind{TemplateKind::None};
    Sketch sketch;
};

/// The three demo tracks, in a fixed order.
std::vector<ShippedTrack> ShippedTracks();

/// "Выход.wav": a falling music-box figure of about 1.5 s, played on exit.
Piece ExitJingle();

/// "About.mp3": a rising flourish ending on a held chord, about 3 s.
Piece AboutJingle();

} // namespace kalvotune::demo
