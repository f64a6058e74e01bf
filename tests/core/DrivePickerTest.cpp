#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "core/DrivePicker.h"
#include "core/FunSub.h"
#include "core/Platform.h"
#include "support/TempTree.h"

using namespace FunSub;
using Strings = std::vector<std::string>;

TEST(ListSubdirsTest, ShowsVisibleDirectoriesInBracketsSortedIgnoringCaseWithTheDotEntries) {
    TempTree t;
    for (const char* d : {"beta", "Alpha", "gamma", "alpha2", ".git", "Zeta/.inner"}) t.dir(d);
    t.file("afile.txt", "x");
    t.file(".hiddenfile");
    ASSERT_EQ(symlink(t.path("beta").c_str(), t.path("link-to-beta").c_str()), 0);

    EXPECT_EQ(ListSubdirs(t.root()), (Strings{"[.]", "[..]", "[Alpha]", "[alpha2]", "[beta]",
                                              "[gamma]", "[link-to-beta]", "[Zeta]"}));
    EXPECT_EQ(ListedNames(ListSubdirs(t.root())),
              (Strings{"Alpha", "alpha2", "beta", "gamma", "link-to-beta", "Zeta"}));
    // Read afresh every time.
    t.dir("delta");
    EXPECT_EQ(ListedNames(ListSubdirs(t.root())).size(), 7u);
}

TEST(ListSubdirsTest, TheRootHasNoDotEntriesAndAnUnreadableDirectoryRaises) {
    const Strings root = ListSubdirs("/");
    ASSERT_FALSE(root.empty());
    EXPECT_NE(root.front(), "[.]");
    EXPECT_EQ(std::count(root.begin(), root.end(), "[..]"), 0);

    TempTree t;
    EXPECT_THROW(
        {
            try {
                ListSubdirs(t.path("gone"));
            } catch (const QuillError& e) {
                EXPECT_STREQ(e.what(), "File not found");
                throw;
            }
        },
        QuillError);
    EXPECT_THROW(ListSubdirs(t.file("plain")), QuillError);
}

// The directory whose listing the hook below removes just before it is read.
std::string g_vanishing;

void RemoveTheVanishing(const std::string& dir) {
    if (dir == g_vanishing)
        std::filesystem::remove_all(dir);
}

// Opening a node gives an expander to each child that holds a directory the picker shows.
TEST(ListSubdirsTest, ExpanderOnlyForDirectoriesWithVisibleSubdirectories) {
    TempTree t;
    t.dir("onlyhidden/.git/objects");
    t.file("onlyfiles/readme");
    t.dir("nested/child");
    t.dir("empty");
    // Nothing to show in a directory that cannot be read, here gone once its parent was
    // listed, and no error for it.
    t.dir("vanished/child");
    g_vanishing = t.path("vanished");
    Platform::SetListingHook(RemoveTheVanishing);
    const PickerOpening opening = OpenPickerNode(t.root(), {});
    Platform::SetListingHook(nullptr);

    std::map<std::string, bool> expanders;
    for (const PickerChild& child : opening.children) expanders[child.name] = child.hasChildren;
    EXPECT_EQ(expanders, (std::map<std::string, bool>{{"empty", false},
                                                      {"nested", true},
                                                      {"onlyfiles", false},
                                                      {"onlyhidden", false},
                                                      {"vanished", false}}));
    // A drive root lists no "[.]" and "[..]", and still has its directories to show.
    EXPECT_FALSE(OpenPickerNode("/", {}).children.empty());
}

TEST(PickerPathTest, ChildPathsNeverDoubleTheSeparator) {
    EXPECT_EQ(PickerChildPath("/", "a"), "/a");
    EXPECT_EQ(PickerChildPath("/data", "x"), "/data/x");
    EXPECT_EQ(PickerChildPath(PickerChildPath("/data", "x"), "y"), "/data/x/y");
}

TEST(DriveItemTest, TextIsMountPointAndLowerCasedLabel) {
    EXPECT_EQ(MakeDriveItem({"/", "ROOTFS"}).text, "/ [rootfs]");
    EXPECT_EQ(MakeDriveItem({"/", "ROOTFS"}).root, "/");
    EXPECT_EQ(MakeDriveItem({"/mnt/My Disk", "Data ÄB"}).text, "/mnt/My Disk [data Äb]");
    EXPECT_EQ(MakeDriveItem({"/mnt/My Disk", "Data"}).root, "/mnt/My Disk");
    EXPECT_EQ(MakeDriveItem({"/srv", ""}).text, "/srv");
}

TEST(DriveItemTest, TheSystemsDrivesBeginWithTheRoot) {
    const std::vector<DriveItem> items = ReadDriveItems();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.front().root, "/");
    for (const DriveItem& item : items) {
        if (item.text == item.root)
            continue;  // no label
        EXPECT_EQ(item.text.rfind(item.root + " [", 0), 0u) << item.text;
        EXPECT_EQ(item.text.back(), ']') << item.text;
    }
}

TEST(MountTableTest, KeepsWholeLocalDiskFileSystemsOnly) {
    const std::string mountinfo =
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
        "23 27 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
        "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard\n"
        "30 27 0:27 / /dev/shm rw,relatime - tmpfs tmpfs rw\n"
        "31 27 8:17 / /mnt/My\\040Disk rw shared:5 master:2 - vfat /dev/sdb1 rw\n"
        "32 27 8:2 / /home rw,relatime shared:3 - xfs /dev/sda2 rw\n"
        "33 27 8:2 /containers/hosts /etc/hosts rw - xfs /dev/sda2 rw\n"
        "34 27 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
        "35 27 0:40 / /var/lib/x rw - overlay overlay rw\n"
        "36 27 8:3 / /data rw - ext4 /dev/sda3 rw\n"
        "37 27 0:41 / /data rw - tmpfs tmpfs rw\n"
        "38 27 253:1 / /srv rw - ext4 /dev/mapper/vg-srv rw\n"
        "garbage line\n";
    const std::vector<Platform::MountEntry> mounts = Platform::ParseMountInfo(mountinfo);
    ASSERT_EQ(mounts.size(), 12u);
    EXPECT_EQ(mounts[4].mountPoint, "/mnt/My Disk");
    EXPECT_EQ(mounts[4].fsType, "vfat");
    EXPECT_EQ(mounts[4].source, "/dev/sdb1");
    EXPECT_EQ(mounts[6].root, "/containers/hosts");

    const std::map<std::string, std::string> labels = {{"/dev/sdb1", "USBSTICK"},
                                                       {"/dev/vda", "cloudimg-rootfs"}};
    auto isBlock = [](const std::string& s) { return s.rfind("/dev/", 0) == 0; };
    auto labelOf = [&](const std::string& s) {
        const auto it = labels.find(s);
        return it == labels.end() ? std::string() : it->second;
    };
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& v : Platform::SelectLocalDisks(mounts, isBlock, labelOf)) {
        got.emplace_back(v.root, v.label);
    }
    // /data is covered by a later tmpfs; /etc/hosts is only part of a file system.
    EXPECT_EQ(
        got,
        (std::vector<std::pair<std::string, std::string>>{
            {"/", "cloudimg-rootfs"}, {"/home", ""}, {"/mnt/My Disk", "USBSTICK"}, {"/srv", ""}}));
}

TEST(MountTableTest, RootComesFirstEvenWhenItIsNoDisk) {
    const auto mounts = Platform::ParseMountInfo(
        "1 0 0:50 / / rw - overlay overlay rw\n"
        "2 1 8:1 / /work rw - ext4 /dev/sda1 rw\n");
    const auto disks = Platform::SelectLocalDisks(
        mounts, [](const std::string& s) { return s == "/dev/sda1"; },
        [](const std::string&) { return std::string("WORK"); });
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].root, "/");
    EXPECT_EQ(disks[0].label, "");
    EXPECT_EQ(disks[1].root, "/work");
}

TEST(MountTableTest, LabelNamesDecodeTheirEscapes) {
    EXPECT_EQ(Platform::DecodeLabelName("My\\x20Data"), "My Data");
    EXPECT_EQ(Platform::DecodeLabelName("a\\x2fb"), "a/b");
    EXPECT_EQ(Platform::DecodeLabelName("plain\\x2"), "plain\\x2");
}
