#include <gtest/gtest.h>

#include "platform/virtual/cable_faults.h"

namespace quill {
namespace {

using D = CableFault::Direction;
using K = CableFault::Kind;

CableFault at1(D direction, K kind, int bit = 0, std::vector<uint8_t> noise = {},
                CommEvent error = CommEvent::FramingError) {
    return {direction, 1, kind, bit, std::move(noise), error};
}

struct Case {
    const char* name;
    CableFault fault;
    uint8_t sent;
    std::vector<uint8_t> arrives;
    bool lineError;
};

TEST(CableFaults, EachFaultStrikesOnlyItsCharacterInItsDirection) {
    const Case cases[] = {
        {"flip", at1(D::ToHost, K::FlipBit, 2), ':', {'>'}, false},
        {"drop", at1(D::ToBoard, K::Drop), 'A', {}, false},
        {"double prompt", at1(D::ToHost, K::Double), '>', {'>', '>'}, false},
        {"noise prompt", at1(D::ToHost, K::Noise, 0, {'x', '>'}), 'Z', {'Z', 'x', '>'}, false},
        {"line error", at1(D::ToHost, K::LineError, 0, {}, CommEvent::ParityError), '>', {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CableFaults cable({c.fault});
        const D other = c.fault.direction == D::ToHost ? D::ToBoard : D::ToHost;
        // The other direction and the character before it pass untouched.
        EXPECT_EQ(cable.carry(other, c.sent).bytes, std::vector<uint8_t>{c.sent});
        EXPECT_EQ(cable.carry(other, c.sent).bytes, std::vector<uint8_t>{c.sent});
        EXPECT_EQ(cable.carry(c.fault.direction, c.sent).bytes, std::vector<uint8_t>{c.sent});
        const auto arrival = cable.carry(c.fault.direction, c.sent);
        EXPECT_EQ(arrival.bytes, c.arrives);
        EXPECT_EQ(arrival.lineError, c.lineError);
        if (c.lineError) {
            EXPECT_EQ(arrival.error, c.fault.error);
        }
        ASSERT_EQ(cable.struck().size(), 1u);
        EXPECT_EQ(cable.struck()[0].sent, c.sent);
        EXPECT_EQ(cable.carry(c.fault.direction, c.sent).bytes, std::vector<uint8_t>{c.sent});
    }
}

}  // namespace
}  // namespace quill
