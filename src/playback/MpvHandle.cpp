#include "playback/MpvHandle.hpp"

#include <mpv/client.h>

#include <clocale>
#include <cstring>
#include <utility>

namespace kalvotune::playback {

void MpvTerminate::operator()(mpv_handle* handle) const
{
    mpv_terminate_destroy(handle);
}

MpvHandlePtr CreateAudioHandle(AudioOutput output, std::string& error)
{
    // mpv refuses to start under a locale that writes numbers with a decimal comma. The
    // program sets "C" before any core starts; asking first keeps a core started on a
    // worker thread from changing the locale under the window's thread.
    if (const char* numeric = std::setlocale(LC_NUMERIC, nullptr); numeric == nullptr || std::strcmp(numeric, "C") != 0)
        std::setlocale(LC_NUMERIC, "C");

    MpvHandlePtr handle{mpv_create()};
    if (!handle) {
        error = "mpv could not be created";
        return {};
    }
    const std::pair<const char*, const char*> options[]{
        {"config", "no"},
        {"terminal", "no"},
        {"input-default-bindings", "no"},
        {"vid", "no"},
        {"vo", "null"},
        {"audio-display", "no"},
        {"idle", "yes"},
        {"keep-open", "no"},
        {mpvname::kPause, "yes"},
        {"resume-playback", "no"},
        {"hr-seek", "yes"},
        {"audio-client-name", "Kalvotune"},
    };
    for (const auto& [name, value] : options)
        mpv_set_option_string(handle.get(), name, value); // an option this mpv lacks is no reason to stop
    if (output == AudioOutput::Null)
        mpv_set_option_string(handle.get(), mpvname::kAo, mpvname::kNullAo);

    if (int status = mpv_initialize(handle.get()); status < 0) {
        error = std::string{"mpv could not start: "} + mpv_error_string(status);
        return {};
    }
    return handle;
}

bool FallBackToNullOutput(mpv_handle* handle)
{
    char* current = mpv_get_property_string(handle, mpvname::kAo);
    bool onNull = current != nullptr && std::strcmp(current, mpvname::kNullAo) == 0;
    mpv_free(current);
    if (onNull)
        return false;
    return mpv_set_property_string(handle, mpvname::kAo, mpvname::kNullAo) >= 0;
}

long long LoadFile(mpv_handle* handle, const std::string& file, const std::string& options)
{
    const char* args[]{
        mpvname::kLoadFile, file.c_str(), mpvname::kReplace, options.empty() ? nullptr : options.c_str(), nullptr};
    mpv_node result{};
    if (int status = mpv_command_ret(handle, args, &result); status < 0)
        return status;
    long long id{MPV_ERROR_GENERIC};
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (std::strcmp(result.u.list->keys[i], mpvname::kPlaylistEntryId) == 0
                && result.u.list->values[i].format == MPV_FORMAT_INT64)
                id = result.u.list->values[i].u.int64;
        }
    }
    mpv_free_node_contents(&result);
    return id;
}

} // namespace kalvotune::playback
