#include "app/TransportRules.h"

#include <gtest/gtest.h>

namespace {

// A random source that replays a fixed sequence.
TransportRules::Random sequence(std::vector<uint32_t> values)
{
    auto shared = std::make_shared<std::vector<uint32_t>>(std::move(values));
    auto next = std::make_shared<size_t>(0);
    return [shared, next] { return (*shared)[(*next)++ % shared->size()]; };
}

const TransportRules::Random kNeverCalled = [] {
    ADD_FAILURE() << "random drawn outside shuffle";
    return 0u;
};

} // namespace

TEST(TransportRules, PlainAndRepeatAllFollowTheTableRepeatOneWinsShuffleDraws)
{
    const PlaybackModes none;
    PlaybackModes all;
    all.repeatAll = true;
    // {current, count, next(none), previous(none), next(all), previous(all)}
    const int rows[][6] = {
        {0, 1, 0, 0, 0, 0}, // one item: next and previous restart it
        {0, 3, 1, 0, 1, 0}, // first item: previous restarts, even with repeat all
        {1, 3, 2, 0, 2, 0},
        {2, 3, 2, 1, 0, 1}, // last item: next stays without repeat, wraps with it
    };
    for (const auto& r : rows) {
        EXPECT_EQ(TransportRules::nextIndex(r[0], r[1], none, kNeverCalled), r[2]) << r[0];
        EXPECT_EQ(TransportRules::previousIndex(r[0], r[1], none, kNeverCalled), r[3]) << r[0];
        EXPECT_EQ(TransportRules::nextIndex(r[0], r[1], all, kNeverCalled), r[4]) << r[0];
        EXPECT_EQ(TransportRules::previousIndex(r[0], r[1], all, kNeverCalled), r[5]) << r[0];
    }

    PlaybackModes modes;
    modes.shuffleOn = true;
    modes.repeatAll = true; // shuffle decides before repeat all
    const auto random = sequence({7, 0xFFFFFFFFu, 5});
    EXPECT_EQ(TransportRules::nextIndex(0, 5, modes, random), 2);
    EXPECT_EQ(TransportRules::previousIndex(0, 5, modes, random), int(0xFFFFFFFFu % 5));
    EXPECT_EQ(TransportRules::nextIndex(4, 1, modes, random), 0) << "one item always gives 0";

    modes.repeatOne = true;
    for (int current : {0, 3, 6}) {
        EXPECT_EQ(TransportRules::nextIndex(current, 7, modes, kNeverCalled), current);
        EXPECT_EQ(TransportRules::previousIndex(current, 7, modes, kNeverCalled), current);
    }
}
