#include "app/Settings.hpp"

namespace kalvotune::app {

namespace {

std::int32_t Flag(bool value)
{
    return value ? 1 : 0;
}

} // namespace

void ApplySettings(Form& form, const SavedSettings& s, const SliderHandlers& sliders)
{
    form.FigureType = static_cast<std::uint8_t>(s.figureType & 0xFF);
    form.ModeNumber = s.mode;
    form.SpeedButton5.caption = std::to_string(form.ModeNumber);
    if (form.TrackBar1.SetPosition(s.pictureChangeSlider) && sliders.pictureRateChanged)
        sliders.pictureRateChanged();
    if (form.TrackBar2.SetPosition(s.autoModeSlider) && sliders.autoModeRateChanged)
        sliders.autoModeRateChanged();
    form.N6.checked = s.showTimer != 0;
    form.Utiug.checked = s.smoothing != 0;
    form.Razmazat.checked = s.smearing != 0;
    form.StopGraphica.tag = s.graphicsOff;
    form.StilWindow.checked = s.stayOnTop != 0;
    form.FixatorLista1.checked = s.fixList != 0;
    form.Joces.checked = s.noJokes != 0;
    form.MotionOff = s.motionOff != 0;
    // The six figure items form one radio group: of several stored ticks the last one
    // set stays, as with radio items.
    form.Check(form.AutoTipFig, s.autoFigureType != 0);
    form.DeleteBadStringPop.checked = s.deleteBadLines != 0;
    form.Check(form.Ball, s.figureBalls != 0);
    form.Check(form.BallCasual, s.figureBallsPlus != 0);
    form.Check(form.Casual, s.figureCasual != 0);
    form.Check(form.Micro, s.figureMicro != 0);
    form.Check(form.MicroPlus, s.figureMicroPlus != 0);
    form.StartMessage.checked = s.noStartQuestion != 0;
    if (form.StopGraphica.tag == 1)
        form.StopGraphica.checked = true;
}

SavedSettings GatherSettings(const Form& form, const SavedSettings& kept)
{
    SavedSettings s = kept;
    s.figureType = form.FigureType;
    s.mode = form.ModeNumber;
    s.pictureChangeSlider = form.TrackBar1.position;
    s.autoModeSlider = form.TrackBar2.position;
    s.showTimer = Flag(form.N6.checked);
    s.smoothing = Flag(form.Utiug.checked);
    s.smearing = Flag(form.Razmazat.checked);
    s.graphicsOff = form.StopGraphica.tag;
    s.stayOnTop = Flag(form.StilWindow.checked);
    s.fixList = Flag(form.FixatorLista1.checked);
    s.noJokes = Flag(form.Joces.checked);
    s.motionOff = Flag(form.MotionOff);
    s.autoModes = Flag(form.TrackBar2.visible);
    s.autoFigureType = Flag(form.AutoTipFig.checked);
    s.deleteBadLines = Flag(form.DeleteBadStringPop.checked);
    s.figureBalls = Flag(form.Ball.checked);
    s.figureBallsPlus = Flag(form.BallCasual.checked);
    s.figureCasual = Flag(form.Casual.checked);
    s.figureMicro = Flag(form.Micro.checked);
    s.figureMicroPlus = Flag(form.MicroPlus.checked);
    s.noStartQuestion = Flag(form.StartMessage.checked);
    return s;
}

} // namespace kalvotune::app
