#include "platform/media/DisplayFilter.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
}

namespace quorvane::platform {

namespace {

// The turn, as the ffmpeg tool makes it.
std::string RotationChain(int Rotation) {
    switch (Rotation) {
        case 90:
            return "transpose=clock";
        case 180:
            return "hflip,vflip";
        case 270:
            return "transpose=cclock";
        default:
            return {};
    }
}

const char* PrimariesName(AVColorPrimaries Primaries) {
    switch (Primaries) {
        case AVCOL_PRI_BT709:
            return "bt709";
        case AVCOL_PRI_SMPTE431:
            return "smpte431";
        case AVCOL_PRI_SMPTE432:
            return "smpte432";
        default:
            return "bt2020";  // what HDR video is made in
    }
}

const char* MatrixName(AVColorSpace Matrix) {
    switch (Matrix) {
        case AVCOL_SPC_BT709:
            return "bt709";
        case AVCOL_SPC_BT2020_CL:
            return "bt2020c";
        case AVCOL_SPC_RGB:
            return "gbr";
        default:
            return "bt2020nc";
    }
}

// Linear light at 100 nits for SDR white, the primaries of BT.709, Hable's
// curve without desaturation, then BT.709's transfer: the common recipe,
// which keeps mid-tones where an SDR display shows them.
std::string ToneMappingChain(const AVFrame& Picture) {
    const bool Pq = Picture.color_trc == AVCOL_TRC_SMPTE2084;
    return std::string("zscale=t=linear:npl=100:tin=") + (Pq ? "smpte2084" : "arib-std-b67") +
           ":pin=" + PrimariesName(Picture.color_primaries) +
           ":min=" + MatrixName(Picture.colorspace) +
           ":rin=" + (Picture.color_range == AVCOL_RANGE_JPEG ? "full" : "limited") +
           ",format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
           "zscale=t=bt709:m=bt709:r=tv,format=gbrp";
}

std::string LayoutOf(const AVFrame& Picture) {
    return std::to_string(Picture.width) + "x" + std::to_string(Picture.height) + ":" +
           std::to_string(Picture.format) + ":" + std::to_string(Picture.sample_aspect_ratio.num) +
           "/" + std::to_string(Picture.sample_aspect_ratio.den);
}

}  // namespace

bool IsHdr(const AVFrame& Picture) {
    return Picture.color_trc == AVCOL_TRC_SMPTE2084 || Picture.color_trc == AVCOL_TRC_ARIB_STD_B67;
}

TDisplayFilter::TDisplayFilter(int Degrees) : Rotation(Degrees) {}

TDisplayFilter::~TDisplayFilter() {
    avfilter_graph_free(&Graph);
    av_frame_free(&Filtered);
}

std::string TDisplayFilter::ChainFor(const AVFrame& Picture) const {
    std::string Chain = RotationChain(Rotation);
    if (IsHdr(Picture)) {
        if (!Chain.empty()) {
            Chain += ',';
        }
        Chain += ToneMappingChain(Picture);
    }
    return Chain;
}

const AVFrame* TDisplayFilter::Apply(const AVFrame& Picture) {
    const std::string Chain = ChainFor(Picture);
    if (Chain.empty()) {
        return &Picture;
    }
    const std::string Wanted = LayoutOf(Picture) + " " + Chain;
    if (Wanted != BuiltFor && !Build(Picture, Chain)) {
        return nullptr;
    }
    BuiltFor = Wanted;
    if (!Filtered && !(Filtered = av_frame_alloc())) {
        return nullptr;
    }
    av_frame_unref(Filtered);
    if (av_buffersrc_add_frame_flags(Source, const_cast<AVFrame*>(&Picture),
                                     AV_BUFFERSRC_FLAG_KEEP_REF) < 0 ||
        av_buffersink_get_frame(Sink, Filtered) < 0) {
        BuiltFor.clear();  // in an unknown state: built anew for the next picture
        return nullptr;
    }
    return Filtered;
}

bool TDisplayFilter::Build(const AVFrame& Picture, const std::string& Chain) {
    avfilter_graph_free(&Graph);
    BuiltFor.clear();
    Graph = avfilter_graph_alloc();
    if (!Graph) {
        return false;
    }
    const AVRational Aspect =
        Picture.sample_aspect_ratio.num > 0 && Picture.sample_aspect_ratio.den > 0
            ? Picture.sample_aspect_ratio
            : AVRational{1, 1};
    const std::string Arguments = "video_size=" + std::to_string(Picture.width) + "x" +
                                  std::to_string(Picture.height) +
                                  ":pix_fmt=" + std::to_string(Picture.format) +
                                  ":time_base=1/1:pixel_aspect=" + std::to_string(Aspect.num) +
                                  "/" + std::to_string(Aspect.den);
    if (avfilter_graph_create_filter(&Source, avfilter_get_by_name("buffer"), "in",
                                     Arguments.c_str(), nullptr, Graph) < 0 ||
        avfilter_graph_create_filter(&Sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                     nullptr, Graph) < 0) {
        return false;
    }
    AVFilterInOut* Outputs = avfilter_inout_alloc();
    AVFilterInOut* Inputs = avfilter_inout_alloc();
    bool Built = false;
    if (Outputs && Inputs) {
        Outputs->name = av_strdup("in");
        Outputs->filter_ctx = Source;
        Inputs->name = av_strdup("out");
        Inputs->filter_ctx = Sink;
        Built = avfilter_graph_parse_ptr(Graph, Chain.c_str(), &Inputs, &Outputs, nullptr) >= 0 &&
                avfilter_graph_config(Graph, nullptr) >= 0;
    }
    avfilter_inout_free(&Inputs);
    avfilter_inout_free(&Outputs);
    return Built;
}

}  // namespace quorvane::platform
