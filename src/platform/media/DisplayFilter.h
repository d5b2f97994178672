// What a decoded picture needs before it is shown as an SDR picture the
// right way up: the rotation its stream asks for, and for HDR pictures (PQ
// or HLG) a tone mapping to BT.709. Both are libavfilter's filters, the
// ones the ffmpeg tool uses; a picture that needs neither passes untouched.
#pragma once

#include <memory>
#include <string>

struct AVFilterGraph;
struct AVFilterContext;
struct AVFrame;

namespace quorvane::platform {

// Whether the picture is HDR: a PQ or HLG transfer.
bool IsHdr(const AVFrame& Picture);

class TDisplayFilter {
public:
    // Rotation: degrees clockwise, a multiple of 90.
    explicit TDisplayFilter(int Rotation);
    ~TDisplayFilter();
    TDisplayFilter(const TDisplayFilter&) = delete;
    TDisplayFilter& operator=(const TDisplayFilter&) = delete;

    // Picture itself when it needs nothing, else the filtered picture, valid
    // until the next call; null when filtering fails.
    const AVFrame* Apply(const AVFrame& Picture);

private:
    std::string ChainFor(const AVFrame& Picture) const;
    bool Build(const AVFrame& Picture, const std::string& Chain);

    const int Rotation;
    AVFilterGraph* Graph = nullptr;
    AVFilterContext* Source = nullptr;
    AVFilterContext* Sink = nullptr;
    std::string BuiltFor;  // the picture's layout and the chain of Graph
    AVFrame* Filtered = nullptr;
};

}  // namespace quorvane::platform
