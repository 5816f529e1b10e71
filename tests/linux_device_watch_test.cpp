// Which kernel uevents make the drive list look again.
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/device_watch.h"

namespace {

using namespace std::string_literals;
using platform::linuxos::ChangesDriveList;

// A message as the kernel sends it: the header, then the fields, each ended by NUL.
std::string Uevent(const std::string& action, const std::string& subsystem,
                   const std::string& extra = "") {
    std::string message = action + "@/devices/virtual/block/loop7";
    for (const std::string& field : {"ACTION=" + action, "DEVPATH=/devices/virtual/block/loop7"s,
                                     "SUBSYSTEM=" + subsystem, "DEVNAME=loop7"s, "DEVTYPE=disk"s})
        message += '\0' + field;
    if (!extra.empty()) message += '\0' + extra;
    return message + '\0';
}

TEST(UeventFilter, DisksComingGoingOrChangingMediumCount) {
    EXPECT_TRUE(ChangesDriveList(Uevent("add", "block")));
    EXPECT_TRUE(ChangesDriveList(Uevent("remove", "block")));
    EXPECT_TRUE(ChangesDriveList(Uevent("change", "block", "DISK_MEDIA_CHANGE=1")));
}

TEST(UeventFilter, WritesProbesAndOtherSubsystemsDoNot) {
    // A disk closed after writing, a partition table read again, a resize.
    EXPECT_FALSE(ChangesDriveList(Uevent("change", "block")));
    EXPECT_FALSE(ChangesDriveList(Uevent("change", "block", "RESIZE=1")));
    EXPECT_FALSE(ChangesDriveList(Uevent("change", "block", "DISK_MEDIA_CHANGE=0")));
    EXPECT_FALSE(ChangesDriveList(Uevent("add", "usb")));
    EXPECT_FALSE(ChangesDriveList(Uevent("change", "usb", "DISK_MEDIA_CHANGE=1")));
    EXPECT_FALSE(ChangesDriveList(Uevent("bind", "block")));
    // A field only counts whole: not as part of another one.
    EXPECT_FALSE(ChangesDriveList(Uevent("change", "block", "XDISK_MEDIA_CHANGE=1")));
    EXPECT_FALSE(ChangesDriveList("add@/x\0ACTION=add\0SUBSYSTEM=blockx"s));
    EXPECT_FALSE(ChangesDriveList(""));
}

}  // namespace
