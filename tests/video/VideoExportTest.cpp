#include "video/VideoExport.hpp"
#include "app/SaveVideo.hpp"
#include "video/VideoModule.hpp"

#include "Wav.hpp"

#include "core/FileIO.hpp"
#include "playlists/ListLine.hpp"
#include "support/FakeServices.hpp"
#include "support/TempDir.hpp"
#include "support/WriteFaults.hpp"
#include "templates/TemplateLoader.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace kalvotune::video {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

constexpr VideoFormat kSmall{160, 120, 25};

/// What libavformat reads back from a written file.
struct Probe {
    bool opened{};
    int videoStreams{};
    int audioStreams{};
    std::string videoCodec;
    std::string audioCodec;
    int width{};
    int height{};
    double fps{};
    int sampleRate{};
    int channels{};
    int videoFrames{};
    double videoSeconds{};
    double audioSeconds{};
};

Probe ProbeFile(const fs::path& file)
{
    Probe probe;
    AVFormatContext* format{};
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0)
        return probe;
    probe.opened = avformat_find_stream_info(format, nullptr) >= 0;
    std::vector<std::int64_t> ends(format->nb_streams);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        const AVCodecParameters* p = stream->codecpar;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++probe.videoStreams;
            probe.videoCodec = avcodec_get_name(p->codec_id);
            probe.width = p->width;
            probe.height = p->height;
            probe.fps = av_q2d(stream->avg_frame_rate);
        } else if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++probe.audioStreams;
            probe.audioCodec = avcodec_get_name(p->codec_id);
            probe.sampleRate = p->sample_rate;
            probe.channels = p->ch_layout.nb_channels;
        }
    }
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
        const AVStream* stream = format->streams[packet->stream_index];
        const double end = static_cast<double>(packet->pts + packet->duration) * av_q2d(stream->time_base);
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++probe.videoFrames;
            probe.videoSeconds = std::max(probe.videoSeconds, end);
        } else {
            probe.audioSeconds = std::max(probe.audioSeconds, end);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return probe;
}

/// The brightness plane of each video frame of a written file, in showing order.
std::vector<std::vector<std::uint8_t>> DecodeLuma(const fs::path& file)
{
    std::vector<std::vector<std::uint8_t>> frames;
    AVFormatContext* format{};
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0)
        return frames;
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVCodecContext* decoder{};
    if (index >= 0) {
        const AVCodecParameters* parameters = format->streams[index]->codecpar;
        decoder = avcodec_alloc_context3(avcodec_find_decoder(parameters->codec_id));
        avcodec_parameters_to_context(decoder, parameters);
        avcodec_open2(decoder, nullptr, nullptr);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto take = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            std::vector<std::uint8_t>& luma = frames.emplace_back();
            for (int y = 0; y < frame->height; ++y)
                luma.insert(luma.end(), frame->data[0] + y * frame->linesize[0],
                    frame->data[0] + y * frame->linesize[0] + frame->width);
        }
    };
    while (decoder != nullptr && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0)
            take();
        av_packet_unref(packet);
    }
    if (decoder != nullptr && avcodec_send_packet(decoder, nullptr) >= 0)
        take();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return frames;
}

/// Everything in `folder` but `keep`: leftovers of a write.
std::vector<fs::path> OtherFiles(const fs::path& folder, const std::string& keep = {})
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename() != keep)
            found.push_back(entry.path());
    return found;
}

/// A program folder with the build's pattern tables, a track of `seconds` seconds of a
/// chord, and an output folder.
class VideoExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(Program() / "Data");
        fs::create_directories(Program() / "Lists");
        fs::create_directories(Out());
        for (const char* table : {"MassP1.kvt", "Lumbra12.kvt", "MassMF2.kvt"})
            fs::copy_file(fs::path{KALVOTUNE_PROGRAM_DIR} / table, Program() / table);
    }

    fs::path Program() const { return m_dir.Path() / "Kalvotune"; }
    fs::path Out() const { return m_dir.Path() / "out"; }

    fs::path Track(double seconds, const std::string& name = "chord.wav") const
    {
        demo::Pcm pcm;
        const int frames = static_cast<int>(seconds * demo::kSampleRate);
        for (int i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / demo::kSampleRate;
            const auto left = static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 220 * t));
            const auto right = static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 330 * t));
            pcm.samples.push_back(left);
            pcm.samples.push_back(right);
        }
        const fs::path file = m_dir.Path() / name;
        EXPECT_TRUE(WriteFileAtomically(file, demo::EncodeWav(pcm)).ok);
        return file;
    }

    /// Registers a full template for `track` whose blue channel marks a picture change at
    /// each tick of `marks`.
    void GiveTemplate(const fs::path& track, int ticks, const std::vector<int>& marks) const
    {
        const fs::path folder = Program() / "Data" / "chord";
        fs::create_directories(folder);
        std::string blue(static_cast<std::size_t>(ticks), '\x40');
        for (const int mark : marks)
            blue[static_cast<std::size_t>(mark)] = '\x41';
        ASSERT_TRUE(WriteFileAtomically(folder / templates::kBlueFile, blue).ok);
        ASSERT_TRUE(WriteFileAtomically(folder / templates::kGreenFile, std::string(blue.size(), '\x60')).ok);
        ASSERT_TRUE(WriteFileAtomically(folder / templates::kRedFile, std::string(blue.size(), '\x80')).ok);
        ASSERT_TRUE(WriteFileAtomically(folder / templates::kSpeedFile, std::string(blue.size(), '\x05')).ok);
        ASSERT_TRUE(WriteFileAtomically(Program() / "Lists" / "Kalvotune", "*" + track.string() + "*chord*\r\n").ok);
    }

    VideoRequest Request(const fs::path& track, const std::string& name = "film.mp4") const
    {
        VideoRequest request;
        request.programDir = Program();
        request.track = track;
        request.output = Out() / name;
        request.format = kSmall;
        request.seed = 7;
        request.look.figureType = 3;
        return request;
    }

    TempDir m_dir;
};

TEST_F(VideoExportTest, WritesH264AndAacAsLongAsTheTrackWithTheIndexFirst)
{
    // 50.6 frames of sound, whose last 898 samples fill less than one encoder frame.
    constexpr double kSeconds{2.02408};
    const VideoRequest request = Request(Track(kSeconds));
    std::vector<double> shares;
    // Through the module the program loads, as the window and the command line do.
    VideoModule module{fs::path{KALVOTUNE_PROGRAM_DIR} / kVideoModuleFile};
    const VideoResult result = module.Export(request, {}, [&](double share) { shares.push_back(share); });
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.frames, 51) << "the frame count is rounded";
    ASSERT_FALSE(shares.empty());
    EXPECT_DOUBLE_EQ(shares.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));

    const Probe probe = ProbeFile(request.output);
    ASSERT_TRUE(probe.opened);
    EXPECT_EQ(probe.videoStreams, 1);
    EXPECT_EQ(probe.audioStreams, 1);
    EXPECT_EQ(probe.videoCodec, "h264");
    EXPECT_EQ(probe.audioCodec, "aac");
    EXPECT_EQ(probe.width, 160);
    EXPECT_EQ(probe.height, 120);
    EXPECT_DOUBLE_EQ(probe.fps, 25.0);
    EXPECT_EQ(probe.sampleRate, kAudioRate);
    EXPECT_EQ(probe.channels, 2);
    EXPECT_EQ(probe.videoFrames, 51);
    EXPECT_NEAR(probe.videoSeconds, 51.0 / 25, 1e-6);
    // All the sound, its last partial frame too; AAC pads that frame, so the sound may run
    // up to one encoder frame past the track.
    EXPECT_GE(probe.audioSeconds, kSeconds - 1e-3);
    EXPECT_LE(probe.audioSeconds, kSeconds + 1024.0 / kAudioRate + 1e-3);

    // Faststart: the index ("moov") comes before the media data ("mdat").
    const std::optional<Bytes> bytes = ReadFileBytes(request.output);
    ASSERT_TRUE(bytes.has_value());
    const std::string_view text = BytesView(*bytes);
    ASSERT_NE(text.find("moov"), std::string_view::npos);
    EXPECT_LT(text.find("moov"), text.find("mdat"));
    EXPECT_TRUE(OtherFiles(Out(), "film.mp4").empty());
}

// The 675 x 524 picture in a 16:9 frame and in a tall one: cropped, it fills the frame
// and keeps its shape; padded, it keeps it whole between black bars.
TEST_F(VideoExportTest, CropFillsTheFrameAndPadKeepsThePictureWholeBetweenBlackBars)
{
    EXPECT_EQ(PlacePicture(VideoFit::Stretch, 1920, 1080).source, (PixelRect{0, 0, 675, 524}));
    EXPECT_EQ(PlacePicture(VideoFit::Stretch, 1920, 1080).target, (PixelRect{0, 0, 1920, 1080}));
    // 675 x 380 of the picture, its middle rows, scale to 1920 x 1080 alike across and down.
    EXPECT_EQ(PlacePicture(VideoFit::Crop, 1920, 1080).source, (PixelRect{0, 72, 675, 380}));
    EXPECT_EQ(PlacePicture(VideoFit::Crop, 1920, 1080).target, (PixelRect{0, 0, 1920, 1080}));
    EXPECT_EQ(PlacePicture(VideoFit::Crop, 480, 1080).source, (PixelRect{221, 0, 233, 524}));
    // 1392 x 1080 keeps 675:524, in the middle; the bars are 264 columns each.
    EXPECT_EQ(PlacePicture(VideoFit::Pad, 1920, 1080).source, (PixelRect{0, 0, 675, 524}));
    EXPECT_EQ(PlacePicture(VideoFit::Pad, 1920, 1080).target, (PixelRect{264, 0, 1392, 1080}));
    EXPECT_EQ(PlacePicture(VideoFit::Pad, 480, 1080).target, (PixelRect{0, 354, 480, 372}));
    EXPECT_EQ(PlacePicture(VideoFit::Pad, 676, 524).target, (PixelRect{0, 0, 676, 524}));
    EXPECT_EQ(ParseVideoFit("pad"), VideoFit::Pad);
    EXPECT_EQ(ParseVideoFit("Pad"), std::nullopt);

    // A written padded film: black bars on both sides of every frame, the picture between.
    VideoRequest request = Request(Track(0.5));
    request.format = {256, 64, 10};
    request.fit = VideoFit::Pad;
    ASSERT_TRUE(ExportVideo(request).ok);
    const PixelRect shown = PlacePicture(VideoFit::Pad, 256, 64).target;
    const std::vector<std::vector<std::uint8_t>> frames = DecodeLuma(request.output);
    ASSERT_EQ(frames.size(), 5u);
    int brightestBar = 0;
    int brightestPicture = 0;
    for (const std::vector<std::uint8_t>& luma : frames)
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 256; ++x) {
                const bool bar = x < shown.x - 2 || x >= shown.x + shown.width + 2;
                int& brightest = bar ? brightestBar : brightestPicture;
                brightest = std::max<int>(brightest, luma[static_cast<std::size_t>(y * 256 + x)]);
            }
    EXPECT_LE(brightestBar, 18);
    EXPECT_GT(brightestPicture, 40);
}

TEST_F(VideoExportTest, TheSeedDecidesEveryFrame)
{
    const fs::path track = Track(1.0);
    const auto frames = [&](std::uint32_t seed) {
        VideoLook look;
        KaleidoscopeFilm film{Program(), track, "0", 3000, look, seed};
        EXPECT_EQ(film.Error(), "");
        EXPECT_EQ(film.Template(), templates::TemplateState::None);
        std::vector<std::vector<std::uint8_t>> pictures;
        for (int n = 0; n < 90; n += 3)
            pictures.push_back(film.At(n * 1000 / 30).bytes);
        return pictures;
    };
    const auto first = frames(11);
    EXPECT_EQ(first, frames(11));
    EXPECT_NE(first, frames(12));
    // The picture moves: a film is not one still frame.
    EXPECT_NE(first.front(), first.back());
}

TEST_F(VideoExportTest, APictureChangeShowsOnTheFrameOfItsTick)
{
    const fs::path track = Track(2.5);
    constexpr int kMark{15};
    const auto film = [&](std::vector<int> marks) {
        GiveTemplate(track, 40, marks);
        VideoLook look;
        look.figureType = 3;
        return std::make_unique<KaleidoscopeFilm>(Program(), track, "chord", 4000, look, 5);
    };
    const auto plain = film({});
    const auto marked = film({kMark});
    ASSERT_EQ(plain->Template(), templates::TemplateState::Full);
    int firstDifferent{-1};
    int firstAtMark{-1};
    for (int n = 0; n < 90; ++n) {
        const std::int64_t at = n * 1000 / 30;
        const bool same = plain->At(at).bytes == marked->At(at).bytes;
        if (firstAtMark < 0 && marked->State().templateTick >= kMark)
            firstAtMark = n;
        if (firstDifferent < 0 && !same)
            firstDifferent = n;
    }
    ASSERT_GT(firstAtMark, 0);
    EXPECT_EQ(firstDifferent, firstAtMark);

    // In the video each frame shows the picture of its own instant: decoded, the films
    // with and without the mark part on the frame whose instant first reaches the mark.
    // (The encoder's look-ahead blurs the frames just before it a little, well under the
    // change itself.)
    const auto decoded = [&](std::vector<int> marks, const std::string& name) {
        GiveTemplate(track, 40, marks);
        VideoRequest request = Request(track, name);
        request.seed = 5;
        EXPECT_TRUE(ExportVideo(request, {}, {}).ok);
        return DecodeLuma(request.output);
    };
    const auto plainFrames = decoded({}, "plain.mp4");
    const auto markedFrames = decoded({kMark}, "marked.mp4");
    const auto markedFilm = film({kMark});
    int frameAtMark{-1};
    for (int n = 0; frameAtMark < 0 && n < 62; ++n) {
        markedFilm->At(n * 1000 / kSmall.fps);
        if (markedFilm->State().templateTick >= kMark)
            frameAtMark = n;
    }
    ASSERT_GT(frameAtMark, 0);
    ASSERT_EQ(plainFrames.size(), markedFrames.size());
    int firstParted{-1};
    std::string differences;
    for (std::size_t n = 0; firstParted < 0 && n < plainFrames.size(); ++n) {
        double sum{};
        for (std::size_t i = 0; i < plainFrames[n].size(); ++i)
            sum += std::abs(plainFrames[n][i] - markedFrames[n][i]);
        const double mean = sum / static_cast<double>(plainFrames[n].size());
        differences += " " + std::to_string(mean);
        if (mean > 2)
            firstParted = static_cast<int>(n);
    }
    EXPECT_EQ(firstParted, frameAtMark) << "mean differences of the frames:" << differences;
}

TEST_F(VideoExportTest, BadInputGivesTheProgramsMessageAndNoFile)
{
    const fs::path track = Track(0.5);
    const fs::path junk = m_dir.Path() / "junk.mp3";
    ASSERT_TRUE(WriteFileAtomically(junk, std::string(4000, 'x')).ok);
    struct Case {
        const char* what;
        VideoRequest request;
        const char* words;
    };
    std::vector<Case> cases;
    cases.push_back({"missing track", Request(m_dir.Path() / "gone.wav"), "не найден"});
    cases.push_back({"undecodable track", Request(junk), "Не удалось прочитать звук из файла"});
    VideoRequest noFolder = Request(track);
    noFolder.output = m_dir.Path() / "nowhere" / "film.mp4";
    cases.push_back({"missing folder", noFolder, "папки"});
    VideoRequest odd = Request(track);
    odd.format.width = 161;
    cases.push_back({"odd width", odd, "размер видео не годится"});
    VideoRequest huge = Request(track);
    huge.format.height = 5000;
    cases.push_back({"too tall", huge, "размер видео не годится"});
    VideoRequest still = Request(track);
    still.format.fps = 0;
    cases.push_back({"no frames", still, "частота кадров не годится"});
    for (const Case& c : cases) {
        const VideoResult result = ExportVideo(c.request);
        EXPECT_FALSE(result.ok) << c.what;
        EXPECT_NE(result.message.find(c.words), std::string::npos) << c.what << ": " << result.message;
    }
    // The track itself is never written over, whatever path names it; it stays as it was.
    const std::optional<Bytes> trackBytes = ReadFileBytes(track);
    fs::create_symlink(track, Out() / "link.mp3");
    fs::create_hard_link(track, Out() / "hard.wav");
    for (const fs::path& overTrack : {track, m_dir.Path() / "out" / ".." / track.filename(), Out() / "link.mp3",
             Out() / "hard.wav", fs::relative(track)}) {
        VideoRequest request = Request(track);
        request.output = overTrack;
        const VideoResult result = ExportVideo(request);
        EXPECT_FALSE(result.ok) << overTrack;
        EXPECT_NE(result.message.find("не записывается поверх трека"), std::string::npos) << result.message;
        EXPECT_EQ(ReadFileBytes(track), trackBytes) << overTrack;
    }
    EXPECT_TRUE(fs::is_symlink(Out() / "link.mp3"));
    EXPECT_EQ(CheckVideoTarget(track, Out() / "film.mp4"), "");
    EXPECT_EQ(WithVideoExtension("/v/film"), "/v/film.mp4");
    EXPECT_EQ(WithVideoExtension("/v/film.mp4"), "/v/film.mp4");
    EXPECT_EQ(WithVideoExtension("/v/notes.txt"), "/v/notes.txt");
    EXPECT_TRUE(VideoTargetExists(Out() / "link.mp3"));
    EXPECT_FALSE(VideoTargetExists(Out() / "film.mp4"));
    fs::remove(Out() / "link.mp3");
    fs::remove(Out() / "hard.wav");

    VideoModule missing{m_dir.Path() / kVideoModuleFile};
    const VideoResult unloaded = missing.Export(Request(track), {}, {});
    EXPECT_FALSE(unloaded.ok);
    EXPECT_NE(unloaded.message.find("Не удалось загрузить модуль записи видео"), std::string::npos) << unloaded.message;
    EXPECT_TRUE(OtherFiles(Out()).empty());

    EXPECT_EQ(ParseVideoSize("1920x1080"), (std::pair{1920, 1080}));
    EXPECT_EQ(ParseVideoSize("640X480"), (std::pair{640, 480}));
    for (const char* text : {"", "x", "1920", "1920x", "x1080", "19a0x1080", "1920x1080x2", "1920 x1080"})
        EXPECT_FALSE(ParseVideoSize(text).has_value()) << text;
    EXPECT_NE(CheckVideoFormat({-2, 4, 30}), "");
    EXPECT_EQ(CheckVideoFormat({1920, 1080, 30}), "");
}

TEST_F(VideoExportTest, CancelAndAFailedWriteLeaveNoFile)
{
    const fs::path track = Track(3.0);
    const VideoRequest request = Request(track);
    std::stop_source stop;
    const VideoResult cancelled = ExportVideo(request, stop.get_token(), [&](double) { stop.request_stop(); });
    EXPECT_FALSE(cancelled.ok);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_TRUE(OtherFiles(Out()).empty());

    // A full disk after the first few kilobytes, and one from the first byte on.
    for (const bool atOnce : {false, true}) {
        if (atOnce)
            FailWritesOf(request.output);
        else
            FailNextWriteAfter(4000);
        const VideoResult failed = ExportVideo(request);
        FailWritesOf(std::nullopt);
        EXPECT_FALSE(failed.ok);
        EXPECT_FALSE(failed.cancelled);
        EXPECT_NE(failed.message.find("Не удалось записать файл " + request.output.string()), std::string::npos)
            << failed.message;
        EXPECT_TRUE(OtherFiles(Out()).empty());
    }
    // The same request writes once nothing fails.
    EXPECT_TRUE(ExportVideo(request).ok);
}

TEST_F(VideoExportTest, TheMenuCommandSavesTheChosenTrackWithTheWindowsLook)
{
    /// Records the request instead of writing.
    struct Runner : app::VideoExportRunner {
        bool Run(VideoRequest request) override
        {
            requests.push_back(std::move(request));
            return !busy;
        }
        std::vector<VideoRequest> requests;
        bool busy{};
    } runner;
    testing::FakeServices fakes;
    Form form;
    form.ProgramDir = Program();
    app::SaveVideo command{form, fakes.services};
    command.SetRunner(&runner);

    command.ChooseFileAndSaveVideo(); // nothing selected, nothing playing
    EXPECT_EQ(fakes.dialogs.messages.size(), 1u);
    EXPECT_TRUE(runner.requests.empty());

    form.CurrentTrackName = "/music/playing.mp3";
    form.CurrentListBox.Add(playlists::MakeListItem("*/music/a.mp3*0*"));
    form.CurrentListBox.Add(playlists::MakeListItem("*/music/b.mp3*0*"));
    form.CurrentListBox.SetSelected(1, true);
    form.ModeNumber = 9;
    form.FigureType = 5;
    form.SmearingItem.checked = true;
    form.PictureDelayMs = 200;
    fakes.screen.width = 1280;
    fakes.screen.height = 720;
    fakes.screen.scalePercent = 150;
    fakes.dialogs.savedFiles.push_back(std::nullopt); // the save dialog cancelled
    fakes.dialogs.savedFiles.push_back(Out() / "b.mp4");
    command.ChooseFileAndSaveVideo();
    command.ChooseFileAndSaveVideo();
    ASSERT_EQ(runner.requests.size(), 1u);
    EXPECT_EQ(fakes.dialogs.savePrompts.back(), "b.mp4");
    const VideoRequest& request = runner.requests.front();
    EXPECT_EQ(request.track, "/music/b.mp3");
    EXPECT_EQ(request.output, Out() / "b.mp4");
    EXPECT_EQ(request.format.width, 1920);
    EXPECT_EQ(request.format.height, 1080);
    EXPECT_EQ(request.look.mode, 9);
    EXPECT_EQ(request.look.figureType, std::optional<std::uint8_t>{5});
    EXPECT_TRUE(request.look.smearing);
    EXPECT_EQ(request.look.pictureDelayMs, 200);
    // Stretched, as the window shows it full screen, unless another shape is picked.
    EXPECT_EQ(request.fit, VideoFit::Stretch);
    ASSERT_EQ(fakes.dialogs.offeredShapes.size(), 3u);
    EXPECT_EQ(fakes.dialogs.offeredShapes[0], "растянуть на весь кадр");
    fakes.dialogs.videoShape = 2;
    fakes.dialogs.savedFiles.push_back(Out() / "b.mp4");
    command.ChooseFileAndSaveVideo();
    ASSERT_EQ(runner.requests.size(), 2u);
    EXPECT_EQ(runner.requests.back().fit, VideoFit::Pad);
    runner.requests.pop_back();
    fakes.dialogs.videoShape = 0;

    // A name without an extension gets ".mp4"; the track itself is refused; any other
    // existing file is replaced only when the user says so.
    const fs::path track = Track(0.1, "b.mp3");
    form.CurrentListBox.Clear();
    form.CurrentListBox.Add(playlists::MakeListItem("*" + track.string() + "*0*"));
    form.CurrentListBox.SetSelected(0, true);
    ASSERT_TRUE(WriteFileAtomically(Out() / "notes.txt", "notes").ok);
    fakes.dialogs.savedFiles = {Out() / "film", m_dir.Path() / "." / "b.mp3", Out() / "notes.txt", Out() / "notes.txt"};
    fakes.dialogs.answers = {false, true};
    for (int i = 0; i < 4; ++i)
        command.ChooseFileAndSaveVideo();
    ASSERT_EQ(runner.requests.size(), 3u);
    EXPECT_EQ(runner.requests[1].output, Out() / "film.mp4");
    EXPECT_NE(fakes.dialogs.messages.back().find("не записывается поверх трека"), std::string::npos);
    ASSERT_EQ(fakes.dialogs.questions.size(), 2u);
    EXPECT_EQ(fakes.dialogs.questions[0],
        "Сохранить видео…|Файл " + (Out() / "notes.txt").string() + " уже есть. Заменить его видео?");
    EXPECT_EQ(runner.requests[2].output, Out() / "notes.txt");
    EXPECT_TRUE(FileHolds(Out() / "notes.txt", "notes"));
    fakes.dialogs.messages.pop_back();

    form.CurrentListBox.Clear();
    EXPECT_EQ(command.TrackToSave(), "/music/playing.mp3");
    runner.busy = true;
    fakes.dialogs.savedFiles.push_back(Out() / "c.mp4");
    command.ChooseFileAndSaveVideo();
    EXPECT_EQ(fakes.dialogs.messages.size(), 2u);

    command.Finished(Out() / "b.mp4", {.ok = false, .cancelled = true, .message = "прервана"});
    EXPECT_EQ(fakes.dialogs.messages.size(), 2u);
    command.Finished(Out() / "b.mp4", {.ok = false, .cancelled = false, .message = "диск полон"});
    EXPECT_EQ(fakes.dialogs.messages.back(), "диск полон");
}

} // namespace
} // namespace kalvotune::video
