#include "platform/linux/disk_numbers.h"

#include <gtest/gtest.h>

namespace {

using platform::linuxos::DiskIdentity;
using platform::linuxos::DiskNumbers;

TEST(DiskNumbers, StayWithTheirDisksWhileOthersComeAndGo) {
    DiskNumbers numbers(3);
    numbers.Update({{"loop0", 1}, {"loop1", 2}, {"sda", 3}});
    EXPECT_EQ(numbers.NameOf(0), "loop0");
    EXPECT_EQ(numbers.NameOf(2), "sda");

    // loop0 goes and a new sdb comes in the same look: sda keeps 2, sdb may not take 0 yet.
    numbers.Update({{"loop1", 2}, {"sda", 3}, {"sdb", 4}});
    EXPECT_EQ(numbers.NameOf(0), "");
    EXPECT_EQ(numbers.NameOf(1), "loop1");
    EXPECT_EQ(numbers.NumberOf("sda"), 2);
    EXPECT_EQ(numbers.NumberOf("sdb"), std::nullopt);  // no number free before this look

    numbers.Update({{"loop1", 2}, {"sda", 3}, {"sdb", 4}});
    EXPECT_EQ(numbers.NumberOf("sdb"), 0);

    // The same name attached anew is another disk with another number.
    numbers.Update({{"loop1", 9}, {"sda", 3}, {"sdb", 4}});
    EXPECT_EQ(numbers.NameOf(1), "");
    numbers.Update({{"loop1", 9}, {"sda", 3}, {"sdb", 4}});
    EXPECT_EQ(numbers.IdentityOf(1), (DiskIdentity{"loop1", 9}));
    EXPECT_EQ(numbers.IdentityOf(7), std::nullopt);
}

}  // namespace
