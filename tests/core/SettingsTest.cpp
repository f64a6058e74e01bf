#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "core/FilterMemory.h"
#include "core/FunSub.h"
#include "core/TreeStats.h"
#include "support/ScratchDisk.h"
#include "support/TempTree.h"

using namespace FunSub;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState();
        AppDir = m_tree.root();
    }
    void TearDown() override { ResetState(); }

    void Load(const std::string& content) {
        m_tree.file("work.ini", content);
        LoadSettings();
    }

    TempTree m_tree;
};

}  // namespace

TEST_F(SettingsTest, LineEndsAndMissingLines) {
    struct Case {
        std::string content, work, output;
    } cases[] = {
        {"", "", ""},
        {"/w", "/w", ""},
        {"/w\r\n", "/w", ""},
        {"/w\n/o\n", "/w", "/o"},
        {"/w\r\n/o\r\n/third\r\n", "/w", "/o"},
        {"/w\r\n\r\n", "/w", ""},
        {"\r\n/o\r\n", "", "/o"},
        {"/a\rb\r\n/o", "/ab", "/o"},          // a lone CR is dropped and the line goes on
        {"/w  \r\n /o \r\n", "/w  ", " /o "},  // nothing is trimmed
    };
    for (const auto& c : cases) {
        Load(c.content);
        EXPECT_EQ(WorkDir, c.work) << testing::PrintToString(c.content);
        EXPECT_EQ(OutputDir, c.output) << testing::PrintToString(c.content);
    }
}

TEST_F(SettingsTest, NoFileGivesEmptyDirectories) {
    WorkDir = "stale";
    OutputDir = "stale";
    LoadSettings();
    EXPECT_EQ(WorkDir, "");
    EXPECT_EQ(OutputDir, "");
}

#ifndef _WIN32  // Windows reads the ANSI code page: WindowsTest
TEST_F(SettingsTest, BytesAreKeptAsTheyStand) {
    std::string garbage;
    for (int i = 0; i < 256; ++i) {
        if (i != '\r' && i != '\n')
            garbage += static_cast<char>(i);
    }
    const std::string longLine(1 << 20, 'x');
    Load(garbage + "\r\n" + longLine + "\r\n");
    EXPECT_EQ(WorkDir, garbage);
    EXPECT_EQ(OutputDir, longLine);

    Load("/d\xff\xfe\xc3(\r\n/\xe4\xb8\xad\xe6\x96\x87\r\n");
    EXPECT_EQ(WorkDir, "/d\xff\xfe\xc3(");
    EXPECT_EQ(OutputDir, "/中文");
}
#endif

TEST_F(SettingsTest, SaveWritesTwoCrLfLinesAndReadsBack) {
    WorkDir = "/work dir ";
    OutputDir = "";
    SaveSettings();
    EXPECT_EQ(ReadFile(m_tree.path("work.ini")), "/work dir \r\n\r\n");

    m_tree.file("work.ini", "/a\r\n/b\r\n/third line\r\n");
    WorkDir = "/x";
    OutputDir = "/y";
    SaveSettings();
    EXPECT_EQ(ReadFile(m_tree.path("work.ini")), "/x\r\n/y\r\n");
    LoadSettings();
    EXPECT_EQ(WorkDir, "/x");
    EXPECT_EQ(OutputDir, "/y");
}

TEST_F(SettingsTest, SaveFailureRaisesAndKeepsTheOldFile) {
    m_tree.file("work.ini", "/old\r\n/older\r\n");
    AppDir = m_tree.path("missing");
    WorkDir = "/new";
    try {
        SaveSettings();
        FAIL() << "no error raised";
    } catch (const QuillError& e) {
#ifdef _WIN32
        EXPECT_STREQ(e.what(), "Invalid filename");  // ERROR_PATH_NOT_FOUND
#else
        EXPECT_STREQ(e.what(), "File not found");
#endif
    }
    AppDir = m_tree.root();
    EXPECT_EQ(ReadFile(m_tree.path("work.ini")), "/old\r\n/older\r\n");
}

#ifndef _WIN32
// Saving replaces the file whole, yet it must work wherever a plain write would: through a
// link to the real file (which stays a link), keeping the file's permissions, and in a
// directory the user may not write to that holds a work.ini they may.
TEST_F(SettingsTest, SaveWritesThroughALinkKeepsTheModeAndNeedsOnlyTheFile) {
    const std::string real = m_tree.file("real/settings.ini", "/old\r\n");
    chmod(real.c_str(), 0640);
    ASSERT_EQ(symlink(real.c_str(), m_tree.path("work.ini").c_str()), 0);
    WorkDir = "/x";
    SaveSettings();
    EXPECT_TRUE(std::filesystem::is_symlink(m_tree.path("work.ini")));
    EXPECT_EQ(ReadFile(real), "/x\r\n\r\n");
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    AppDir = m_tree.dir("locked");
    const std::string ini = m_tree.file("locked/work.ini", "/old\r\n");
    chmod(ini.c_str(), 0666);
    chmod(AppDir.c_str(), 0555);
    chmod(m_tree.root().c_str(), 0755);
    const std::string outcome = AsOrdinaryUser([] {
        try {
            SaveSettings();
            return std::string("saved");
        } catch (const QuillError& e) {
            return std::string(e.what());
        }
    });
    EXPECT_EQ(outcome, "saved");
    EXPECT_EQ(ReadFile(ini), "/x\r\n\r\n");
}
#endif

TEST_F(SettingsTest, UnreadableSettingsRaiseTheIoError) {
    // A directory in place of the file cannot be read as one.
    m_tree.dir("work.ini");
    EXPECT_NO_THROW(LoadSettings());  // not a file: treated as missing
    EXPECT_EQ(WorkDir, "");
    EXPECT_THROW(SaveSettings(), QuillError);
}

#ifndef _WIN32  // Windows keeps work.ini beside the program; its paths: WindowsTest
namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        set(value);
    }
    ~ScopedEnv() {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    void set(const std::string& value) { setenv(m_name, value.c_str(), 1); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

}  // namespace

TEST_F(SettingsTest, InstalledOrReadOnlyProgramsKeepSettingsInTheUsersConfigDirectory) {
    ScopedEnv xdg("XDG_CONFIG_HOME", m_tree.path("config"));
    ScopedEnv home("HOME", m_tree.path("home"));
    m_tree.dir("usr/share/quillmere");
    AppDir = m_tree.dir("usr/bin");
    WorkDir = "/w";
    OutputDir = "/o";
    SaveSettings();  // makes config/quillmere
    EXPECT_EQ(ReadFile(m_tree.path("config/quillmere/work.ini")), "/w\r\n/o\r\n");
    EXPECT_FALSE(std::filesystem::exists(m_tree.path("usr/bin/work.ini")));

    // A relative XDG_CONFIG_HOME is no configuration directory: ~/.config is.
    xdg.set("config");
    SaveSettings();
    EXPECT_EQ(ReadFile(m_tree.path("home/.config/quillmere/work.ini")), "/w\r\n/o\r\n");

    // Not installed, but in a directory the user may not write, beside a work.ini they may not
    // write either: the same place, and that work.ini is not read.
    AppDir = m_tree.dir("portable");
    chmod(m_tree.file("portable/work.ini", "/beside\r\n").c_str(), 0444);
    chmod(AppDir.c_str(), 0555);
    chmod(m_tree.root().c_str(), 0755);
    EXPECT_EQ(AsOrdinaryUser([] {
                  LoadSettings();
                  return WorkDir + "|" + OutputDir;
              }),
              "/w|/o");
}

// The last choice brings its rules back with its types; a program that knows no rules reads
// them as types no file has, and a rule field this one cannot read drops the line.
TEST_F(SettingsTest, TheLastChoiceKeepsItsRules) {
    const FilterChoice choice{
        FilterKind::KeepOnly,
        {".js", kNoExtension},
        {{"node_modules", "bin"}, {"*.min.js", "build*/", "a%\tb"}, 10485760}};
    ASSERT_TRUE(RememberFilterChoice("/w/proj", choice));
    const std::optional<FilterChoice> back = LastFilterChoice("/w/proj");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->mode, choice.mode);
    EXPECT_EQ(back->types, choice.types);
    EXPECT_EQ(back->rules, choice.rules);
    std::string text;
    ASSERT_EQ(Platform::ReadSmallFile(FilterMemoryPath(), text), 0);
    EXPECT_EQ(text, "keep-only\t/w/proj\t.js\t" + std::string(kNoExtension) +
                        "\t%00dir:node_modules\t%00dir:bin\t%00name:*.min.js\t%00name:build*/"
                        "\t%00name:a%25%09b\t%00size:10485760\r\n");

    const struct {
        const char* rule;
        bool reads;
    } fields[] = {{"%00size:12", true}, {"%00size:", false},  {"%00size:1e3", false},
                  {"%00dir:", false},   {"%00when:x", false}, {"%00name:[", true}};
    for (const auto& f : fields) {
        m_tree.file("filters.ini", std::string("exclude\t/w/other\t.o\t") + f.rule + "\r\n");
        EXPECT_EQ(LastFilterChoice("/w/other").has_value(), f.reads) << f.rule;
    }
}

TEST(AppDirTest, DirectoryOfTheExecutable) {
    EXPECT_EQ(DirectoryOfExecutable("/opt/tools/quillmere"), "/opt/tools");
    EXPECT_EQ(DirectoryOfExecutable("/quillmere"), "/");
    EXPECT_TRUE(IsDriveRoot(DirectoryOfExecutable("/quillmere")));
    EXPECT_FALSE(IsDriveRoot("/opt"));
    EXPECT_FALSE(IsDriveRoot("/ab"));  // three characters are a root on Windows only
}
#endif

TEST(StateTest, ResetGivesTheStartValues) {
    SourceChanged = true;
    TreeFileTotal = 7;
    SelectedTypes = {".c"};
    FilterMode = FilterKind::Exclude;
    ResetState();
    EXPECT_FALSE(SourceChanged);
    EXPECT_EQ(TreeFileTotal, 0);
    EXPECT_TRUE(SelectedTypes.empty());
    EXPECT_EQ(FilterMode, FilterKind::KeepOnly);
}

TEST(TextHelpersTest, ThousandsAndCommas) {
    const std::pair<std::string, std::string> cases[] = {{"", ""},
                                                         {"0", "0"},
                                                         {"999", "999"},
                                                         {"1000", "1,000"},
                                                         {"123456", "123,456"},
                                                         {"1234567", "1,234,567"},
                                                         {"3000000000", "3,000,000,000"}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(FormatThousands(in), out);
        EXPECT_EQ(StripCommas(out), in);
    }
    EXPECT_EQ(FormatThousands(INT64_MAX), "9,223,372,036,854,775,807");
#ifndef _WIN32
    EXPECT_EQ(LastPathComponent("/work/proj"), "proj");
    EXPECT_EQ(LastPathComponent("/work/"), "");
#endif
    EXPECT_EQ(LowerAscii("ÄBc.TXT"), "Äbc.txt");
}

#ifndef _WIN32  // Windows error numbers: WindowsTest
TEST(IoErrorTextTest, ErrorNumbersMapToTheTexts) {
    EXPECT_EQ(IoErrorText(ENOENT), "File not found");
    EXPECT_EQ(IoErrorText(ENOTDIR), "Invalid filename");
    EXPECT_EQ(IoErrorText(ENAMETOOLONG), "Invalid filename");
    EXPECT_EQ(IoErrorText(EMFILE), "Too many open files");
    EXPECT_EQ(IoErrorText(EACCES), "File access denied");
    EXPECT_EQ(IoErrorText(EPERM), "File access denied");
    EXPECT_EQ(IoErrorText(EIO), "I/O error " + std::to_string(EIO));
}
#endif
