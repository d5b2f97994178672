#include "job/Mp3FileCheck.h"

#include "job/FrontEndTexts.h"
#include "job/JobErrors.h"
#include "job/Mp3FrameReader.h"

namespace quorvane {

std::string Mp3FileProblem(const std::string& FileName) {
    try {
        TMp3FrameReader Reader(FileName, true);
        if (Reader.Next().Type == TMp3FrameHeader::Kind::NotAFrame) {
            return "No MP3 audio was found in the file " + ShownFileName(FileName) + ".";
        }
        return {};
    } catch (const EJobFailure& Failure) {
        return Failure.what();
    }
}

}  // namespace quorvane
