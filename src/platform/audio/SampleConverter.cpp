#include "platform/audio/SampleConverter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace quorvane::platform {

void TSampleConverter::Deleter::operator()(SwrContext* Context) const {
    swr_free(&Context);
}

bool TSampleConverter::Open(AVSampleFormat InFormat, int InChannels, int InRate, int OutputChannels,
                            int OutRate) {
    if (InChannels <= 0 || OutputChannels <= 0 || InRate <= 0 || OutRate <= 0) {
        return false;
    }
    AVChannelLayout InLayout;
    AVChannelLayout OutLayout;
    av_channel_layout_default(&InLayout, InChannels);
    av_channel_layout_default(&OutLayout, OutputChannels);
    SwrContext* Opened = nullptr;
    const bool Done = swr_alloc_set_opts2(&Opened, &OutLayout, AV_SAMPLE_FMT_S16, OutRate,
                                          &InLayout, InFormat, InRate, 0, nullptr) == 0 &&
                      swr_init(Opened) == 0;
    av_channel_layout_uninit(&InLayout);
    av_channel_layout_uninit(&OutLayout);
    Context.reset(Opened);
    if (!Done) {
        Context.reset();
        return false;
    }
    OutChannels = OutputChannels;
    return true;
}

bool TSampleConverter::Convert(const uint8_t* const* Planes, int Samples,
                               std::vector<uint8_t>& Output) {
    const int Room = swr_get_out_samples(Context.get(), Samples);
    if (Room < 0) {
        return false;
    }
    const size_t FrameBytes = static_cast<size_t>(OutChannels) * 2;
    const size_t Before = Output.size();
    Output.resize(Before + static_cast<size_t>(Room) * FrameBytes);
    uint8_t* Destination = Output.data() + Before;
    const int Made = swr_convert(Context.get(), &Destination, Room,
                                 const_cast<const uint8_t**>(Planes), Samples);
    Output.resize(Before + static_cast<size_t>(Made < 0 ? 0 : Made) * FrameBytes);
    return Made >= 0;
}

bool TSampleConverter::Flush(std::vector<uint8_t>& Output) {
    return Convert(nullptr, 0, Output);
}

}  // namespace quorvane::platform
