#include "support/GStreamerDecoding.h"

#include <stdexcept>
#include <string>

#include "support/Fixtures.h"
#include "support/Process.h"

namespace quorvane::test {

GStreamerOutput DecodeWithGStreamer(const std::filesystem::path& File,
                                    const std::filesystem::path& Folder, bool WithAudio) {
    const std::filesystem::path Video = Folder / "gstreamer.bgr";
    const std::filesystem::path Audio = Folder / "gstreamer.mp3";
    std::vector<std::string> Arguments = {"60",
                                          "gst-launch-1.0",
                                          "-q",
                                          "filesrc",
                                          "location=" + File.string(),
                                          "!",
                                          "flvdemux",
                                          "name=demuxer",
                                          "demuxer.video",
                                          "!",
                                          "queue",
                                          "!",
                                          "avdec_flashsv",
                                          "!",
                                          "videoconvert",
                                          "!",
                                          "video/x-raw,format=BGR",
                                          "!",
                                          "filesink",
                                          "location=" + Video.string()};
    if (WithAudio) {
        Arguments.insert(Arguments.end(), {"demuxer.audio", "!", "queue", "!", "filesink",
                                           "location=" + Audio.string()});
    }
    // A pipeline that stalls is ended rather than left to hang the suite.
    const TProcessResult Run = RunProcess("timeout", Arguments);
    if (Run.ExitStatus != 0) {
        throw std::runtime_error("gst-launch-1.0 failed (" + std::to_string(Run.ExitStatus) +
                                 "): " + Run.Output + Run.Errors);
    }
    GStreamerOutput Output;
    Output.Bgr = ReadFileBytes(Video);
    if (WithAudio) {
        Output.Audio = ReadFileBytes(Audio);
    }
    return Output;
}

}  // namespace quorvane::test
