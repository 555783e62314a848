#include "format/mpWriter.h"

#include "format/jpegSegments.h"
#include "format/tiffWriter.h"

#include <cassert>

namespace twinframe {

namespace {

using tiff::Bytes;

// MPIndividualNum, then what the camera measured: BaseViewpointNum, the convergence angle and
// the baseline (all ones where unknown).
std::vector<tiff::Entry> attributeEntries(std::uint32_t individualNumber,
                                          const MpAttributes& attributes) {
    return {tiff::long1(kMpIndividualNum, individualNumber),
            tiff::long1(kBaseViewpointNum, attributes.baseViewpoint),
            tiff::rational1(kConvergenceAngle, TiffType::srational, attributes.convergenceNumerator,
                            attributes.convergenceDenominator),
            tiff::rational1(kBaselineLength, TiffType::rational, attributes.baselineNumerator,
                            attributes.baselineDenominator)};
}

} // namespace

Bytes firstImageMpSegment(std::uint32_t firstSize, std::uint32_t secondSize,
                          std::uint32_t secondOffset, const MpAttributes& attributes) {
    Bytes entries;
    tiff::put32(entries, kRepresentativeImage | kDisparityType);
    tiff::put32(entries, firstSize);
    tiff::put32(entries, 0); // the first image's offset is 0: it begins the file
    tiff::put32(entries, 0); // no dependent images
    tiff::put32(entries, kDisparityType);
    tiff::put32(entries, secondSize);
    tiff::put32(entries, secondOffset);
    tiff::put32(entries, 0);

    Bytes tiff = tiff::tiffHeader();
    const std::size_t next = tiff::appendIfd(
        tiff,
        {tiff::text4(kMpfVersion, kMpVersion),
         tiff::long1(kNumberOfImages, 2),
         {kMpEntry, TiffType::undefined, static_cast<std::uint32_t>(entries.size()), entries}});
    tiff::set32(tiff, next, static_cast<std::uint32_t>(tiff.size()));
    tiff::appendIfd(tiff, attributeEntries(1, attributes));
    Bytes out = tiff::segment(kApp2Marker, kMpIdentifier, tiff);
    assert(out.size() == kFirstMpSegmentSize);
    return out;
}

Bytes secondImageMpSegment(const MpAttributes& attributes) {
    Bytes tiff = tiff::tiffHeader();
    std::vector<tiff::Entry> entries = attributeEntries(2, attributes);
    entries.insert(entries.begin(), tiff::text4(kMpfVersion, kMpVersion));
    tiff::appendIfd(tiff, entries);
    Bytes out = tiff::segment(kApp2Marker, kMpIdentifier, tiff);
    assert(out.size() == kSecondMpSegmentSize);
    return out;
}

} // namespace twinframe
