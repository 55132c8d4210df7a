// fuzz/fuzz_find_circular.cpp: the circular edge finder with any centre, radii
// (negative, reversed, far beyond the picture), angles, gap, direction and
// strength. On runs with few spokes near the picture the spokes, hits, votes,
// the chosen circle and every mark must equal the literal tool's.
#include "FindCircularEdgeReference.h"
#include "Find_circular_edgeCount.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    FuzzPicture picture = TakePicture(in, 300);
    const auto threshold = in.ConsumeIntegral<std::uint8_t>();
    const int gap = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 100) : AnyInt(in, 10);
    const int direction = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 1) : AnyInt(in, 1);
    const int start = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 360) : AnyInt(in, 0);
    const int end = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 360) : AnyInt(in, 360);
    const int cx = AnyInt(in, picture.width / 2), cy = AnyInt(in, picture.height / 2);
    const int inside = AnyInt(in, 10), outside = AnyInt(in, 100);
    FillPicture(in, picture);
    const int w = picture.width, h = picture.height;

    GrayImage image = CopyOf(picture);
    const int votes = FindCircularEdge(image, threshold, gap, direction, start, end, cx, cy,
                                       inside, outside, w, h);
    FUZZ_CHECK(votes >= 0);
    // Out to 5000, so that hits lie on both sides of 4096 pixels from the
    // centre, where the vote's rows leave double precision for integers.
    const auto far = [](int v) { return v < -5000 || v > 5000; };
    if (!picture.image || far(cx) || far(cy) || far(inside) || far(outside) || far(start) ||
        far(end) || gap < 1 || (end - start) / gap > 72 || (start - end) / gap > 72)
        return 0;
    GrayImage literal = CopyOf(picture);
    const ReferenceCircularResult expected = ReferenceFindCircularEdge(
        literal, threshold, gap, direction, start, end, cx, cy, inside, outside, w, h);
    FUZZ_CHECK(votes == expected.result);
    FUZZ_CHECK(Spokes().size() == expected.spokes.size());
    const std::vector<CircleVote> table = CircleVotes();
    if (SpokeHits().size() >= 3) {
        FUZZ_CHECK(table.size() == expected.votes.size());
        for (std::size_t i = 0; i < table.size(); ++i)
            FUZZ_CHECK(table[i].centreX == expected.votes[i].centreX &&
                       table[i].centreY == expected.votes[i].centreY &&
                       table[i].radius == expected.votes[i].radius &&
                       table[i].votes == expected.votes[i].votes);
    }
    FUZZ_CHECK(Same(image, literal, w, h));
    // The partitions give the literal table whether or not they first gather
    // repeated circles, whichever way the vote itself went.
    std::vector<circular_edge::RelativePoint> p;
    for (const SpokeHit& hit : SpokeHits())
        if (hit.found == 1) {
            const std::int64_t x = hit.x - static_cast<std::int64_t>(cx);
            const std::int64_t y = hit.y - static_cast<std::int64_t>(cy);
            p.push_back({x, y, -(x * x + y * y)});
        }
    if (p.size() >= 3)
        for (bool repeats : {false, true}) {
            circular_edge::CircleCount count;
            count.Count(circular_edge::Centre{cx, cy}, p, circular_edge::MakePairTerms(p), repeats);
            const std::vector<CircleVote> entries = count.Entries();
            FUZZ_CHECK(count.Distinct() == expected.votes.size() &&
                       entries.size() == expected.votes.size());
            for (std::size_t i = 0; i < entries.size(); ++i)
                FUZZ_CHECK(entries[i].centreX == expected.votes[i].centreX &&
                           entries[i].centreY == expected.votes[i].centreY &&
                           entries[i].radius == expected.votes[i].radius &&
                           entries[i].votes == expected.votes[i].votes);
        }
    return 0;
}
