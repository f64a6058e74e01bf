// What holds on Windows only: drive roots, backslashes, the Windows error numbers, file
// attributes and sharing, names outside the ANSI code page and the settings file in it.
// Under Wine, drive C: is the prefix's drive_c and Z: the Linux root.

#ifdef _WIN32

#include "core/platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "core/DirTree.h"
#include "core/DrivePicker.h"
#include "core/FileCopyPlatform.h"
#include "core/FilterCopy.h"
#include "core/FilterMemory.h"
#include "core/FunSub.h"
#include "core/TreeStats.h"
#include "core/platform/win32/Win32Text.h"
#include "support/CopyFileWhole.h"
#include "support/TempTree.h"

using namespace FunSub;

namespace {

// "😀": outside every ANSI code page.
const std::string kEmoji = "\xF0\x9F\x98\x80";
const wchar_t* const kEmojiWide = L"\xD83D\xDE00";

std::vector<std::string> Names(const std::vector<Platform::Entry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.name);
    std::sort(out.begin(), out.end());
    return out;
}

std::string ErrorTextOf(const std::string& dir) {
    try {
        FunSub::CheckEnterable(dir);
    } catch (const QuillError& e) {
        return e.what();
    }
    return "no error";
}

DWORD AttributesOf(const std::string& path) {
    return GetFileAttributesW(Win32::Widen(path).c_str());
}

// The drive of the temporary directory, such as "C:".
std::string DriveOf(const TempTree& t) {
    return t.root().substr(0, 2);
}

class RecordingProgress : public CopyProgress {
public:
    void SetMax(std::int64_t) override {}
    void SetStep(std::int64_t) override {}
    void StepIt() override {}
    void SetFromText(const std::string& text) override { from.push_back(text); }
    void SetToText(const std::string& text) override { to.push_back(text); }
    std::vector<std::string> from, to;
};

}  // namespace

TEST(WindowsPathsTest, ThreeCharacterRootsAndBackslashes) {
    EXPECT_TRUE(IsDriveRoot("C:\\"));
    EXPECT_FALSE(IsDriveRoot("C:"));
    EXPECT_FALSE(IsDriveRoot("D:\\ab"));
    EXPECT_EQ(DirectoryOfExecutable("D:\\tool.exe"), "D:\\");
    EXPECT_TRUE(IsDriveRoot(DirectoryOfExecutable("D:\\tool.exe")));  // start-up refuses it
    EXPECT_EQ(DirectoryOfExecutable("D:\\tools\\q.exe"), "D:\\tools");
    EXPECT_EQ(LastPathComponent("D:\\work\\Proj"), "Proj");
    EXPECT_EQ(LastPathComponent("D:\\work\\"), "");
    EXPECT_EQ(JoinPath("D:\\work", "a"), "D:\\work\\a");

    EXPECT_EQ(RootLabelFor("C:\\", RootLabel::ShortenDriveRoot), "C:<目录树根>");
    EXPECT_EQ(RootLabelFor("C:\\", RootLabel::AsGiven), "C:\\<目录树根>");
    EXPECT_EQ(RootLabelFor("D:\\work\\src", RootLabel::ShortenDriveRoot),
              "D:\\work\\src<目录树根>");

    const DirTree mainTree{{{"C:<目录树根>", -1, 0}, {"x", 0, 1}, {"y", 1, 2}}};
    EXPECT_EQ(NodePath(mainTree, 0), "C:");
    EXPECT_EQ(NodePath(mainTree, 1), "C:\\x");
    EXPECT_EQ(NodePath(mainTree, 2), "C:\\x\\y");
    const DirTree workTree{{{"C:\\<目录树根>", -1, 0}, {"x", 0, 1}}};
    EXPECT_EQ(NodePath(workTree, 0), "C:\\");
    EXPECT_EQ(NodePath(workTree, 1), "C:\\\\x");
    EXPECT_EQ(AllNodePaths(workTree), (std::vector<std::string>{"C:\\", "C:\\\\x"}));
}

TEST(WindowsPathsTest, RootPathsOnARealDrive) {
    TempTree t;
    t.dir("seen");
    const std::string drive = DriveOf(t);  // "C:" under Wine

    // The main trees hand over a root as "C:": that is the root, not the drive's current
    // directory.
    std::vector<Platform::Entry> bare, full;
    ASSERT_EQ(Platform::ListDirectory(drive, Platform::Detail::Kinds, bare), 0);
    ASSERT_EQ(Platform::ListDirectory(drive + "\\", Platform::Detail::Kinds, full), 0);
    EXPECT_EQ(Names(bare), Names(full));
    EXPECT_FALSE(bare.empty());
    EXPECT_EQ(ErrorTextOf(drive + "\\"), "no error");

    // The temporary directory reached from a root node, and through the doubled separator
    // that a work tree rooted in a drive gives its children.
    DirTree tree{{{drive + "<目录树根>", -1, 0}}};
    int parent = 0;
    const std::string below = t.path("seen").substr(3);
    for (std::size_t start = 0; start <= below.size();) {
        const std::size_t end = std::min(below.find('\\', start), below.size());
        tree.nodes.push_back(DirNode{below.substr(start, end - start), parent, parent + 1});
        parent = tree.size() - 1;
        start = end + 1;
    }
    EXPECT_EQ(NodePath(tree, parent), t.path("seen"));
    EXPECT_TRUE(DirExists(drive + "\\\\" + below));
    std::vector<Platform::Entry> doubled;
    EXPECT_EQ(Platform::ListDirectory(drive + "\\\\" + t.root().substr(3), Platform::Detail::Kinds,
                                      doubled),
              0);
    EXPECT_EQ(Names(doubled), (std::vector<std::string>{"seen"}));
}

TEST(WindowsPathsTest, ExecutableDirectory) {
    const std::string exe = Platform::ExecutablePath();
    ASSERT_GT(exe.size(), 3u);
    EXPECT_EQ(exe[1], ':');
    EXPECT_TRUE(Platform::IsFile(exe));
    EXPECT_TRUE(DirExists(DirectoryOfExecutable(exe)));
    EXPECT_EQ(JoinPath(DirectoryOfExecutable(exe), LastPathComponent(exe)), exe);
}

TEST(WindowsErrorsTest, ErrorNumbersAreTheWindowsOnes) {
    EXPECT_EQ(IoErrorText(ERROR_FILE_NOT_FOUND), "File not found");
    EXPECT_EQ(IoErrorText(ERROR_PATH_NOT_FOUND), "Invalid filename");
    EXPECT_EQ(IoErrorText(ERROR_TOO_MANY_OPEN_FILES), "Too many open files");
    EXPECT_EQ(IoErrorText(ERROR_ACCESS_DENIED), "File access denied");
    EXPECT_EQ(IoErrorText(ERROR_SHARING_VIOLATION), "I/O error 32");

    TempTree t;
    t.file("plain");
    EXPECT_EQ(ErrorTextOf(t.path("missing")), "File not found");
    EXPECT_EQ(ErrorTextOf(t.path("missing\\deeper")), "Invalid filename");
    EXPECT_EQ(ErrorTextOf(t.path("plain")), "I/O error 267");
    EXPECT_EQ(ErrorTextOf(t.root()), "no error");
}

TEST(WindowsAttributesTest, HiddenSystemAndReadOnlyAreListedAndCopiedAsPlainFiles) {
    TempTree t;
    const DWORD kinds[] = {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_READONLY,
                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY};
    std::vector<std::string> sources;
    for (DWORD kind : kinds) {
        const std::string name = "f" + std::to_string(kind) + ".txt";
        sources.push_back(t.file("src/" + name, "content of " + name));
        ASSERT_TRUE(SetFileAttributesW(Win32::Widen(sources.back()).c_str(), kind));
    }
    t.dir("src/hiddendir");
    ASSERT_TRUE(SetFileAttributesW(Win32::Widen(t.path("src/hiddendir")).c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));

    const FileListing listing = ListDirFiles(t.path("src"));
    EXPECT_EQ(listing.files.size(), 4u);
    const DirTree tree = BuildDirTree(t.path("src"), RootLabel::ShortenDriveRoot);
    EXPECT_EQ(tree.size(), 2);  // the hidden system directory is part of the tree

    t.dir("out");
    for (const std::string& source : sources) {
        const std::string copy = t.path("out\\") + LastPathComponent(source);
        EXPECT_EQ(CopyFileWhole(source, copy), static_cast<std::int64_t>(ReadFile(source).size()));
        EXPECT_EQ(ReadFile(copy), ReadFile(source));
        const DWORD a = AttributesOf(copy);
        EXPECT_EQ(a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY), 0u)
            << copy;
    }
}

TEST(WindowsSharingTest, SourceOpenForWritingCannotBeOpened) {
    TempTree t;
    const std::string source = t.file("src/busy.log", "being written");
    const std::string destination = t.dir("out") + "\\busy.log";
    HANDLE writer =
        CreateFileW(Win32::Widen(source).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    try {
        CopyFileWhole(source, destination);
        ADD_FAILURE() << "no error raised";
    } catch (const QuillError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + source);
    }
    CloseHandle(writer);
    EXPECT_FALSE(Platform::PathExists(destination));

    // Another reader does not stand in the way.
    HANDLE reader = CreateFileW(Win32::Widen(source).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_NO_THROW(CopyFileWhole(source, destination));
    CloseHandle(reader);
    EXPECT_EQ(ReadFile(destination), "being written");
}

// Nothing that exists is replaced; a large file is written under a hidden name and appears
// under its own only when whole: while its content is being copied, no file has its name.
TEST(WindowsCopyTest, NeverReplacesAndLargeFilesAppearWhole) {
    TempTree t;
    const std::string big = t.file("src/big.bin", std::string(5 << 20, 'b'));
    const std::string kept = t.file("out/kept.bin", "older");
    try {
        CopyFileWhole(big, kept);
        ADD_FAILURE() << "replaced " << kept;
    } catch (const QuillError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + kept);
    }
    EXPECT_EQ(ReadFile(kept), "older");

    struct Watch : Platform::CopyListener {
        std::string name;
        int calls = 0, seen = 0;
        void Copied(std::int64_t) override {
            ++calls;
            seen += Platform::PathExists(name);
        }
    } watch;
    watch.name = t.path("out/big.bin");
    EXPECT_EQ(Platform::CopyFileContent(big, watch.name, &watch).bytes, 5 << 20);
    EXPECT_GT(watch.calls, 1);
    EXPECT_EQ(watch.seen, 0) << "the name was there before the file was whole";
    EXPECT_EQ(ReadFile(t.path("out/big.bin")), ReadFile(big));
    EXPECT_EQ(AttributesOf(t.path("out/big.bin")) & FILE_ATTRIBUTE_HIDDEN, 0u);
    std::vector<Platform::Entry> entries;
    ASSERT_EQ(Platform::ListDirectory(t.path("out"), Platform::Detail::Kinds, entries), 0);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"big.bin", "kept.bin"}));
}

// A process with no fiber-local slot left still copies with one buffer per file, freed with
// it. Run in a process of its own, where no copy has taken the slot yet.
TEST(WindowsCopyTest, WithoutASlotForTheBufferNothingLeaks) {
    if (!std::getenv("QUILLMERE_NO_FLS_SLOTS")) {
        _putenv("QUILLMERE_NO_FLS_SLOTS=1");
        const std::string self = Platform::ExecutablePath();
        const int status = std::system(
            ("\"\"" + self +
             "\" --gtest_filter=WindowsCopyTest.WithoutASlotForTheBufferNothingLeaks >NUL\"")
                .c_str());
        _putenv("QUILLMERE_NO_FLS_SLOTS=");
        EXPECT_EQ(status, 0);
        return;
    }
    while (FlsAlloc(nullptr) != FLS_OUT_OF_INDEXES) {
    }
    TempTree t;
    const std::string source = t.file("a.txt", "a");
    auto privateBytes = [] {  // committed memory (Wine leaves PrivateUsage at 0)
        PROCESS_MEMORY_COUNTERS counters{};
        K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
        return static_cast<std::int64_t>(counters.PagefileUsage);
    };
    const std::int64_t before = privateBytes();
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(CopyFileWhole(source, t.path("c" + std::to_string(i))), 1);
    EXPECT_LT(privateBytes() - before, std::int64_t{16} << 20) << "a buffer a file was kept";
}

// The window copies on a new thread each time; the end of each must leave the heap sound.
TEST(WindowsCopyTest, ThreadsThatCopiedEndCleanly) {
    TempTree t;
    const std::string source = t.file("a.txt", "alpha");
    for (int i = 0; i < 4; ++i) {
        const std::string copy = t.path("copy" + std::to_string(i));
        std::thread([&] { EXPECT_EQ(Platform::CopyFileContent(source, copy).bytes, 5); }).join();
    }
    HANDLE heaps[256];
    const DWORD count = std::min<DWORD>(GetProcessHeaps(256, heaps), 256);
    for (DWORD i = 0; i < count; ++i) EXPECT_TRUE(HeapValidate(heaps[i], 0, nullptr)) << i;
}

TEST(WindowsNamesTest, NamesOutsideTheAnsiCodePageAreListedCountedAndCopied) {
    TempTree t;
    t.dir("work");
    // Made with the wide API directly, so that the name does not depend on our conversion.
    const std::wstring wideDir = Win32::Widen(t.path("work")) + L"\\src" + kEmojiWide;
    ASSERT_TRUE(CreateDirectoryW(wideDir.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((wideDir + L"\\sub\x4E2D").c_str(), nullptr));
    HANDLE h = CreateFileW((wideDir + L"\\sub\x4E2D\\photo" + kEmojiWide + L".JPG").c_str(),
                           GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "12345", 5, &written, nullptr);
    CloseHandle(h);

    const std::string source = t.path("work\\src") + kEmoji;
    const DirTree tree = BuildDirTree(source, RootLabel::ShortenDriveRoot);
    ASSERT_EQ(tree.size(), 2);
    EXPECT_EQ(tree.nodes[1].label, "sub中");
    const FileListing listing = ListDirFiles(NodePath(tree, 1));
    ASSERT_EQ(listing.files.size(), 1u);
    EXPECT_EQ(listing.files[0].name, "photo" + kEmoji + ".JPG");
    const TreeStats stats = CollectTreeStats(tree);
    ASSERT_EQ(stats.TypeStats.size(), 1u);
    EXPECT_EQ(stats.TypeStats[0].TypeKey, ".jpg");
    EXPECT_EQ(stats.byteTotal, 5);

    ResetState();
    WorkDir = t.path("work");
    OutputDir = t.dir("out");
    SourceDir = source;
    TargetName = "src" + kEmoji + "-01";
    TreeFileTotal = stats.fileTotal;
    FilterMode = FilterKind::Exclude;
    RecordingProgress progress;
    const CopySummary summary = RunFilterCopy(CurrentCopyJob(), tree, progress);
    EXPECT_EQ(summary.copied, 1);
    EXPECT_EQ(progress.from, (std::vector<std::string>{"from: src" + kEmoji + "\\sub中\\photo" +
                                                       kEmoji + ".JPG"}));
    EXPECT_EQ(progress.to, (std::vector<std::string>{"to: src" + kEmoji + "-01\\sub中\\photo" +
                                                     kEmoji + ".JPG"}));
    const std::wstring copy = Win32::Widen(t.path("out")) + L"\\src" + kEmojiWide +
                              L"-01\\sub\x4E2D\\photo" + kEmojiWide + L".JPG";
    EXPECT_NE(GetFileAttributesW(copy.c_str()), INVALID_FILE_ATTRIBUTES);
    ResetState();
}

TEST(WindowsNamesTest, PathsLongerThanMaxPath) {
    TempTree t;
    std::string deep = t.path("deep");
    for (int i = 0; i < 30; ++i) deep += "\\directory-level-" + std::to_string(i);
    ASSERT_GT(deep.size(), static_cast<std::size_t>(MAX_PATH) + 100);
    ASSERT_EQ(Platform::CreateDirectories(deep), 0);
    ASSERT_TRUE(DirExists(deep));
    const std::string target = t.path("copy.bin");
    const std::string source = deep + "\\bottom.bin";
    {
        t.file("top.bin", "bottom of the tree");
        EXPECT_EQ(CopyFileWhole(t.path("top.bin"), source), 18);
    }
    const DirTree tree = BuildDirTree(t.path("deep"), RootLabel::ShortenDriveRoot);
    EXPECT_EQ(tree.size(), 31);
    EXPECT_EQ(CollectTreeStats(tree).fileTotal, 1);
    EXPECT_EQ(CopyFileWhole(source, target), 18);
    EXPECT_EQ(ReadFile(target), "bottom of the tree");
}

TEST(WindowsNamesTest, ConversionKeepsEveryWideName) {
    EXPECT_EQ(Win32::Narrow(std::wstring(kEmojiWide)), kEmoji);
    EXPECT_EQ(Win32::Widen(kEmoji), std::wstring(kEmojiWide));
    // NTFS accepts a lone surrogate in a name; it must survive the trip through UTF-8.
    const std::wstring lone = L"a\xD800z\xDC01";
    EXPECT_EQ(Win32::Widen(Win32::Narrow(lone)), lone);
    EXPECT_EQ(Win32::Widen("bad\xFF"), std::wstring(L"bad\xFFFD"));
}

TEST(WindowsLinksTest, DirectoryLinkBackOntoThePathIsNotEntered) {
    TempTree t;
    t.dir("r/a/b");
    t.dir("elsewhere/inner");
    const std::wstring loop = Win32::Widen(t.path("r/a/b/loop"));
    const std::wstring away = Win32::Widen(t.path("r/a/away"));
    const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2;  // unprivileged creation allowed
    // Making links needs a privilege or developer mode, and Wine only pretends to make them;
    // there is nothing to walk then. (Under Wine, loops are Linux links, which
    // scripts/test-windows has the command line walk.)
    CreateSymbolicLinkW(loop.c_str(), Win32::Widen(t.path("r")).c_str(), flags);
    CreateSymbolicLinkW(away.c_str(), Win32::Widen(t.path("elsewhere")).c_str(), flags);
    const DWORD loopAttributes = GetFileAttributesW(loop.c_str());
    if (loopAttributes == INVALID_FILE_ATTRIBUTES ||
        !(loopAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        GetFileAttributesW(away.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    const DirTree tree = BuildDirTree(t.path("r"), RootLabel::ShortenDriveRoot);
    std::vector<std::string> labels;
    for (const auto& n : tree.nodes) labels.push_back(n.label);
    // root, a, b, loop (shown, not entered), away and its inner directory, in some order.
    EXPECT_EQ(tree.size(), 6);
    EXPECT_NE(std::find(labels.begin(), labels.end(), "loop"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "inner"), labels.end());
}

TEST(WindowsSettingsTest, AnsiCodePageFileReadsAndWritesBackByteForByte) {
    ResetState();
    TempTree t;
    AppDir = t.root();
    // A path in whatever the ANSI code page is here, made by the system's own conversion.
    const UINT acp = GetACP();
    const std::wstring work = acp == 936 ? L"D:\\\x5DE5\x4F5C\\\x6E90" : L"D:\\Caf\xE9";
    char bytes[64];
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, work.c_str(), static_cast<int>(work.size()), bytes,
                                      sizeof bytes, nullptr, &lossy);
    ASSERT_GT(n, 0);
    if (lossy)
        GTEST_SKIP() << "code page " << acp << " has no form for the sample path";
    const std::string fileBytes =
        std::string(bytes, static_cast<std::size_t>(n)) + "\r\nE:\\out\r\n";
    if (acp == 936) {
        // The settings of the Chinese original: 工作 and 源 in GBK.
        EXPECT_EQ(fileBytes, "D:\\\xB9\xA4\xD7\xF7\\\xD4\xB4\r\nE:\\out\r\n");
    }
    t.file("work.ini", fileBytes);

    LoadSettings();
    EXPECT_EQ(WorkDir, Win32::Narrow(work));
    EXPECT_EQ(OutputDir, "E:\\out");
    SaveSettings();
    EXPECT_EQ(ReadFile(t.path("work.ini")), fileBytes);

    // A path that the code page cannot hold is not turned into question marks.
    WorkDir = "D:\\photos" + kEmoji;
    SaveSettings();
    LoadSettings();
    EXPECT_EQ(WorkDir, "D:\\photos" + kEmoji);
    EXPECT_EQ(OutputDir, "E:\\out");
    ResetState();
}

TEST(WindowsSettingsTest, FiltersFileIsWrittenLikeWorkIniAndNamesASourceInAnyCase) {
    ResetState();
    TempTree t;
    AppDir = t.root();
    ASSERT_TRUE(RememberFilterChoice("D:\\Work\\a\tb", {FilterKind::Exclude, {".o", ""}, {}}));
    EXPECT_EQ(ReadFile(t.path("filters.ini")), "exclude\tD:\\Work\\a%09b\t.o\t\r\n");
    // Text the code page cannot hold is kept whole all the same.
    const std::string source = "D:\\photos" + kEmoji;
    ASSERT_TRUE(RememberFilterChoice(source, {FilterKind::KeepOnly, {".jpg", kNoExtension}, {}}));
    for (const std::string& asked : {source, std::string("d:\\PHOTOS") + kEmoji}) {
        const std::optional<FilterChoice> back = LastFilterChoice(asked);
        ASSERT_TRUE(back.has_value()) << asked;
        EXPECT_EQ(back->mode, FilterKind::KeepOnly);
        EXPECT_EQ(back->types, (std::vector<std::string>{".jpg", kNoExtension}));
    }
    EXPECT_EQ(LastFilterChoice("d:\\work\\A\tB")->types, (std::vector<std::string>{".o", ""}));
    ResetState();
}

TEST(WindowsListsTest, TimesAndRowOrderFollowTheLocale) {
    // 2003-09-26 10:20:31 local: the packed file date shows the even second below.
    SYSTEMTIME local{2003, 9, 5, 26, 10, 20, 31, 0}, utc{};
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &ft));
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    const std::int64_t seconds = (ticks - 116444736000000000LL) / 10000000;

    SYSTEMTIME shown = local;
    shown.wSecond = 30;
    wchar_t date[80], time[80];
    ASSERT_GT(GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &shown, nullptr, date, 80,
                              nullptr),
              0);
    ASSERT_GT(GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &shown, nullptr, time, 80), 0);
    EXPECT_EQ(Platform::LocalDateTimeText(seconds),
              Win32::Narrow(std::wstring(date) + L" " + time));
    EXPECT_EQ(Platform::IsoLocalTime(seconds), "2003-09-26T10:20:31");
    // One second past midnight is shown as midnight: the date alone.
    const std::int64_t midnight = seconds - (10 * 3600 + 20 * 60 + 31);
    EXPECT_EQ(Platform::LocalDateTimeText(midnight + 1), Win32::Narrow(date));

    // Rows are ordered as the locale orders words, not by byte value.
    FileListing listing;
    for (const char* name : {"c.txt", "B.txt", "a.txt"})
        listing.files.push_back(FileRow{name, 1, seconds});
    const auto rows = FileListRows(listing);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].caption, "a.txt");
    EXPECT_EQ(rows[2].caption, "B.txt");
    EXPECT_EQ(rows[3].caption, "c.txt");
}

TEST(WindowsDrivesTest, FixedDisksWithLowerCasedLetters) {
    const auto disks = Platform::LocalDisks();
    ASSERT_FALSE(disks.empty());
    for (const auto& d : disks) {
        ASSERT_EQ(d.root.size(), 3u);
        EXPECT_EQ(d.root.substr(1), ":\\");
        EXPECT_EQ(GetDriveTypeW(Win32::Widen(d.root).c_str()), static_cast<UINT>(DRIVE_FIXED));
    }
    const DriveItem item = MakeDriveItem(Platform::Volume{"C:\\", "System"});
    EXPECT_EQ(item.text, "c: [system]");
    EXPECT_EQ(item.root, "c:\\");
}

#endif  // _WIN32
