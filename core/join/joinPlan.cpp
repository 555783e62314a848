#include "join/joinPlan.h"

#include "format/exifWriter.h"
#include "format/jpegSegments.h"
#include "format/mpWriter.h"

#include <array>

namespace twinframe {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::array<std::uint8_t, 2> kStartOfImage = {kMarkerByte, kStartOfImageMarker};

// The plan's pieces and made bytes, appended in the order of the file.
class PlanBuilder {
  public:
    explicit PlanBuilder(JoinPlan& plan) : plan_(plan) {}

    void made(std::span<const std::uint8_t> bytes) {
        const auto first = static_cast<std::uint64_t>(plan_.made.size());
        plan_.made.insert(plan_.made.end(), bytes.begin(), bytes.end());
        add(JoinSource::made, {first, first + bytes.size()});
    }
    void add(JoinSource source, ByteRange range) {
        if (range.size() > 0)
            plan_.pieces.push_back({source, range});
    }

  private:
    JoinPlan& plan_;
};

std::uint64_t keptSize(const JoinInput& input) {
    std::uint64_t size = 0;
    for (const ByteRange& range : input.kept)
        size += range.size();
    return size;
}

// A picture without Exif gets a minimal one, so that each image begins FF D8 FF E1 as MPO
// readers (and our own split) expect.
Bytes madeExif(const JoinInput& input) {
    return input.exif ? Bytes() : minimalExifSegment(input.width, input.height);
}

std::uint64_t exifSize(const JoinInput& input, const Bytes& made) {
    return input.exif ? input.exif->size() : made.size();
}

// One image: SOI, its Exif (its own or a made one), its MP segment, then the rest it keeps.
void addImage(PlanBuilder& builder, JoinSource source, const JoinInput& input, const Bytes& exif,
              const Bytes& mpSegment) {
    builder.made(kStartOfImage);
    if (input.exif)
        builder.add(source, *input.exif);
    else
        builder.made(exif);
    builder.made(mpSegment);
    for (const ByteRange& range : input.kept)
        builder.add(source, range);
}

} // namespace

JoinPlan planJoin(const JoinInput& left, const JoinInput& right) {
    JoinPlan plan;
    if (left.width != right.width || left.height != right.height) {
        plan.refusal = JoinRefusal::sizesDiffer;
        return plan;
    }
    const Bytes leftExif = madeExif(left);
    const Bytes rightExif = madeExif(right);
    const std::uint64_t leftAfterEnd = left.size - left.imageEnd;

    plan.mpHeaderOffset = kStartOfImage.size() + exifSize(left, leftExif) + kMpHeaderInSegment;
    plan.firstSize =
        kStartOfImage.size() + exifSize(left, leftExif) + kFirstMpSegmentSize + keptSize(left);
    // Whatever the left had past its EOI (a camera's padding) stays between the two images.
    plan.secondStart = plan.firstSize + leftAfterEnd;
    plan.secondSize =
        kStartOfImage.size() + exifSize(right, rightExif) + kSecondMpSegmentSize + keptSize(right);
    plan.totalSize = plan.secondStart + plan.secondSize + (right.size - right.imageEnd);
    if (plan.secondStart + plan.secondSize > kLargestMpo) {
        plan.refusal = JoinRefusal::tooLarge;
        return plan;
    }
    // A half split from a camera MPO carries what the camera measured; the right's would be the
    // same figures, so the left's serve both images, as cameras write them.
    const MpAttributes attributes = left.mpAttributes.value_or(MpAttributes{});
    const Bytes firstMp = firstImageMpSegment(
        static_cast<std::uint32_t>(plan.firstSize), static_cast<std::uint32_t>(plan.secondSize),
        static_cast<std::uint32_t>(plan.secondStart - plan.mpHeaderOffset), attributes);
    const Bytes secondMp = secondImageMpSegment(attributes);

    PlanBuilder builder(plan);
    addImage(builder, JoinSource::left, left, leftExif, firstMp);
    builder.add(JoinSource::left, {left.imageEnd, left.size});
    addImage(builder, JoinSource::right, right, rightExif, secondMp);
    builder.add(JoinSource::right, {right.imageEnd, right.size});
    return plan;
}

Bytes joinedBytes(const JoinPlan& plan, std::span<const std::uint8_t> left,
                  std::span<const std::uint8_t> right) {
    Bytes out;
    out.reserve(static_cast<std::size_t>(plan.totalSize)); // a plan in memory fits in memory
    for (const JoinPiece& piece : plan.pieces) {
        const std::span<const std::uint8_t> from = piece.source == JoinSource::made   ? plan.made
                                                   : piece.source == JoinSource::left ? left
                                                                                      : right;
        const auto bytes = from.subspan(static_cast<std::size_t>(piece.range.first),
                                        static_cast<std::size_t>(piece.range.size()));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

} // namespace twinframe
