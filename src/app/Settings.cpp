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
    form.ModeButton.caption = std::to_string(form.ModeNumber);
    if (form.PictureRateSlider.SetPosition(s.pictureChangeSlider) && sliders.pictureRateChanged)
        sliders.pictureRateChanged();
    if (form.AutoModeRateSlider.SetPosition(s.autoModeSlider) && sliders.autoModeRateChanged)
        sliders.autoModeRateChanged();
    form.ClockItem.checked = s.showTimer != 0;
    form.SmoothingItem.checked = s.smoothing != 0;
    form.SmearingItem.checked = s.smearing != 0;
    form.GraphicsItem.tag = s.graphicsOff;
    form.StayOnTopItem.checked = s.stayOnTop != 0;
    form.HoldListItem.checked = s.fixList != 0;
    form.NoJokesItem.checked = s.noJokes != 0;
    form.MotionOff = s.motionOff != 0;
    // The six figure items form one radio group: of several stored ticks the last one
    // set stays, as with radio items.
    form.Check(form.AutoFiguresItem, s.autoFigureType != 0);
    form.DropMissingLinesItem.checked = s.deleteBadLines != 0;
    form.Check(form.BallsItem, s.figureBalls != 0);
    form.Check(form.BallsPlusItem, s.figureBallsPlus != 0);
    form.Check(form.RandomFiguresItem, s.figureCasual != 0);
    form.Check(form.MicroItem, s.figureMicro != 0);
    form.Check(form.MicroPlusItem, s.figureMicroPlus != 0);
    form.NoStartWarningItem.checked = s.noStartQuestion != 0;
    if (form.GraphicsItem.tag == 1)
        form.GraphicsItem.checked = true;
}

SavedSettings GatherSettings(const Form& form, const SavedSettings& kept)
{
    SavedSettings s = kept;
    s.figureType = form.FigureType;
    s.mode = form.ModeNumber;
    s.pictureChangeSlider = form.PictureRateSlider.position;
    s.autoModeSlider = form.AutoModeRateSlider.position;
    s.showTimer = Flag(form.ClockItem.checked);
    s.smoothing = Flag(form.SmoothingItem.checked);
    s.smearing = Flag(form.SmearingItem.checked);
    s.graphicsOff = form.GraphicsItem.tag;
    s.stayOnTop = Flag(form.StayOnTopItem.checked);
    s.fixList = Flag(form.HoldListItem.checked);
    s.noJokes = Flag(form.NoJokesItem.checked);
    s.motionOff = Flag(form.MotionOff);
    s.autoModes = Flag(form.AutoModeRateSlider.visible);
    s.autoFigureType = Flag(form.AutoFiguresItem.checked);
    s.deleteBadLines = Flag(form.DropMissingLinesItem.checked);
    s.figureBalls = Flag(form.BallsItem.checked);
    s.figureBallsPlus = Flag(form.BallsPlusItem.checked);
    s.figureCasual = Flag(form.RandomFiguresItem.checked);
    s.figureMicro = Flag(form.MicroItem.checked);
    s.figureMicroPlus = Flag(form.MicroPlusItem.checked);
    s.noStartQuestion = Flag(form.NoStartWarningItem.checked);
    return s;
}

} // namespace kalvotune::app
