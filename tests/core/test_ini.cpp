#include "core/ini.h"

#include "core/errors.h"
#include "lib/ini_writer.h"
#include "platform/impl/steam_api_seams.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// "section|key|value" for every entry, in order; a section without entries as "section|".
std::vector<std::string> flatten(const IniFile& ini)
{
    std::vector<std::string> lines;
    for (const IniSection& section : ini.Sections()) {
        if (section.entries.empty() && !section.name.empty()) lines.push_back(section.name + "|");
        for (const IniEntry& entry : section.entries)
            lines.push_back(section.name + "|" + entry.key + "|" + entry.value);
    }
    return lines;
}

class IniFileTest : public ::testing::Test {
protected:
    void TearDown() override { g_remote_storage = nullptr; }

    // Writes the text as "test.ini" in the temporary folder.
    void Put(const std::string& text, const char* name = "test.ini")
    {
        write_host_file(m_temp.path() / name, text);
    }
    std::string Folder() const { return m_temp.windows(); }
    std::string Saved(const char* name = "test.ini") const { return read_host_file(m_temp.path() / name); }

    IniFile Load(const std::string& text)
    {
        Put(text);
        IniFile ini("test.ini");
        EXPECT_EQ(ini.LoadFile(Folder().c_str()), S_OK);
        return ini;
    }

    TempFolder m_temp;
};

struct ParseCase {
    const char* what;
    std::string text;
    std::vector<std::string> entries;
};

TEST_F(IniFileTest, ParsesEveryLineKind)
{
    const ParseCase cases[] = {
        {"plain entry", "key=value", {"|key|value"}},
        {"blanks around equals", " key = v", {"| key |v"}},
        {"blanks and tabs after equals", "k=\t  v", {"|k|v"}},
        {"two tabs stay two blanks", "k=a\t\tb", {"|k|a  b"}},
        {"two blanks fold to one", "k=a  b", {"|k|a b"}},
        {"blank then tab", "k=a \tb", {"|k|a  b"}},
        {"tab then blank", "k=a\t b", {"|k|a b"}},
        {"CR inside a line is a blank", "k=a\rb", {"|k|a b"}},
        {"trailing blanks go", "k=v  \t", {"|k|v"}},
        {"double quotes keep everything", "k=\"a\t\t b  \"", {"|k|\"a\t\t b  \""}},
        {"escaped quote does not close", "k=\"a\\\"  b\"  c", {"|k|\"a\\\"  b\" c"}},
        {"single quotes keep everything", "k='a  b'  c", {"|k|'a  b' c"}},
        {"brackets keep everything", "k=[a  b]  c", {"|k|[a  b] c"}},
        {"value may hold equals", "k=a=b", {"|k|a=b"}},
        {"empty value", "k=", {"|k|"}},
        {"empty key is a comment entry", "=v", {"||v"}},
        {"comment kept whole", ";  note\t x  ", {"||;  note\t x  "}},
        {"blank before semicolon drops", "  ;x", {}},
        {"line without equals drops", "just words", {}},
        {"blank lines drop", "\n   \n\t\n", {}},
        {"header", "[kernel]\nk=1", {"kernel|k|1"}},
        {"header without bracket", "[open\nk=1", {"open|k|1"}},
        {"header ends at bracket", "[a b]  junk\nk=1", {"a b|k|1"}},
        {"headers match any case",
         "[Kernel]\na=1\n[game]\n[KERNEL]\nb=2",
         {"Kernel|a|1", "Kernel|b|2", "game|"}},
        {"empty header is the first section", "a=1\n[x]\n[]\nb=2", {"|a|1", "|b|2", "x|"}},
        {"duplicate keys kept", "d=1\nd=2", {"|d|1", "|d|2"}},
        {"CR LF lines", "a=1\r\nb=2\r\n", {"|a|1", "|b|2"}},
        {"line end CR is not data after a quote", "Don'tUseMutex=1\r\n", {"|Don'tUseMutex|1"}},
        {"only the line end CR goes", "k='a\r\r\n", {"|k|'a\r"}},
        {"text ends at a zero byte", std::string("a=1\nb=2\0c=3\n", 12), {"|a|1", "|b|2"}},
        {"double-byte trail bracket", "[\x83\x5d\x83\x5d]\nk=\x83\x5b  x", {"\x83\x5d\x83\x5d|k|\x83\x5b x"}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(flatten(Load(c.text)), c.entries);
    }
}

TEST_F(IniFileTest, KeysLongerThanTheLineLimitAreCutWhole)
{
    std::string key = std::string(1022, 'k') + "\x82\xa0" + "tail";
    IniFile ini = Load(key + "=v");
    ASSERT_EQ(ini.Sections()[0].entries.size(), 1u);
    EXPECT_EQ(ini.Sections()[0].entries[0].key, std::string(1022, 'k'));
    std::string long_value(3000, 'v');
    EXPECT_EQ(flatten(Load("k=" + long_value)), std::vector<std::string>{"|k|" + long_value});
}

TEST_F(IniFileTest, SectionsMatchAnyCaseKeysMatchExactly)
{
    IniFile ini = Load(IniWriter().Int("IniVersion", 1).Section("game").Int("SaveFileNo", 3).Text());
    std::int32_t value = -7;
    EXPECT_EQ(ini.FindSection("NoSuch"), nullptr);
    EXPECT_EQ(ini.GetInt("IniVersion", value), S_OK); // the current section stays the first
    EXPECT_EQ(value, 1);
    ASSERT_NE(ini.FindSection("GAME"), nullptr);
    EXPECT_EQ(ini.GetInt("savefileno", value), ERR_SYMBOL_NOT_FOUND);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(ini.GetInt("SaveFileNo", value), S_OK);
    EXPECT_EQ(value, 3);
    ASSERT_NE(ini.FindSection(""), nullptr);
    EXPECT_EQ(ini.GetInt("IniVersion", value), S_OK);

    IniSection& added = ini.SelectSection("Input");
    EXPECT_EQ(&added, &ini.SelectSection("INPUT"));
    EXPECT_EQ(ini.Sections().size(), 3u);
}

TEST_F(IniFileTest, GetIntReadsEveryRadixAndSaturates)
{
    struct Case {
        const char* value;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"259", 259},
        {"-12", -12},
        {"+4", 4},
        {"0x103", 259},
        {"0X1f", 31},
        {"0b101", 5},
        {"0B11", 3},
        {"0123", 123},
        {"12abc", 12},
        {"abc", 0},
        {"\"5\"", 0},
        {"0xffffffff", 0x7FFFFFFF},
        {"99999999999", 0x7FFFFFFF},
        {"-99999999999", INT32_MIN},
        {"0x-5", -5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        IniFile ini = Load(IniWriter().Entry("k", c.value).Text());
        std::int32_t value = 77;
        EXPECT_EQ(ini.GetInt("k", value), S_OK);
        EXPECT_EQ(value, c.expected);
    }
}

TEST_F(IniFileTest, SetIntWritesDecimalHexOrError)
{
    struct Case {
        std::int32_t value;
        int radix;
        const char* stored;
        std::int32_t read_back;
    };
    const Case cases[] = {
        {0x103, 16, "0x103", 259}, {-1, 16, "0xffffffff", 0x7FFFFFFF}, {-5, 10, "-5", -5}, {0, 10, "0", 0},
        {9, 8, "(error)", 0},
    };
    for (const Case& c : cases) {
        IniFile ini("t.ini");
        EXPECT_EQ(ini.SetInt("k", c.value, c.radix), S_OK);
        EXPECT_TRUE(ini.IsDirty());
        ASSERT_NE(ini.FindKey("k"), nullptr);
        EXPECT_EQ(ini.FindKey("k")->value, c.stored);
        std::int32_t value = 1234;
        ini.GetInt("k", value);
        EXPECT_EQ(value, c.read_back);
    }
}

TEST_F(IniFileTest, StringsEscapeAndUnescape)
{
    IniFile ini("t.ini");
    const char* text = "a\tb\r\nc\\d\"e\x01";
    ini.SetString("s", text, true);
    EXPECT_EQ(ini.FindKey("s")->value, "\"a\\tb\\r\\nc\\\\d\\\"e\"");
    char buffer[64];
    ASSERT_EQ(ini.GetString("s", buffer, sizeof buffer, true), S_OK);
    EXPECT_STREQ(buffer, "a\tb\r\nc\\d\"e");
    // Without unescaping the text stops at the first quote and escapes stay as written.
    ASSERT_EQ(ini.GetString("s", buffer, sizeof buffer, false), S_OK);
    EXPECT_STREQ(buffer, "a\\tb\\r\\nc\\\\d\\");

    ini.SetString("raw",
                  "a\tb\x1f"
                  "c",
                  false);
    EXPECT_EQ(ini.FindKey("raw")->value, "\"abc\"");

    // The same text written by the fixture writer reads back whole.
    IniFile loaded = Load(IniWriter().String("s", "tab\there \"q\" back\\").Text());
    ASSERT_EQ(loaded.GetString("s", buffer, sizeof buffer, true), S_OK);
    EXPECT_STREQ(buffer, "tab\there \"q\" back\\");
}

TEST_F(IniFileTest, GetStringCutsAtTheBufferWithoutSplittingCharacters)
{
    const std::string sjis_a = "\x82\xa0";
    const std::string so = "\x83\x5c"; // its trail byte is a backslash
    struct Case {
        const char* what;
        std::string value;
        std::size_t size;
        bool unescape;
        std::string expected;
    };
    const Case cases[] = {
        {"size 1 gives empty", "\"abc\"", 1, true, ""},
        {"room for two", "\"abc\"", 3, true, "ab"},
        {"double-byte needs three", "\"ab" + sjis_a + "\"", 4, true, "ab"},
        {"double-byte fits", "\"ab" + sjis_a + "\"", 5, true, "ab" + sjis_a},
        {"trail backslash is no escape", "\"" + so + "n\"", 16, true, so + "n"},
        {"unknown escape gives nothing", "\"a\\qb\"", 16, true, "ab"},
        {"escape at the buffer end", "\"ab\\n\"", 4, true, "ab\n"},
        {"unquoted value keeps its first letter", "Bram Valdrick", 32, false, "Bram Valdrick"},
        {"stops at the closing quote", "\"x\" tail", 16, false, "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IniFile ini("t.ini");
        ini.AddKey("s").value = c.value;
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        ASSERT_EQ(ini.GetString("s", buffer, c.size, c.unescape), S_OK);
        EXPECT_EQ(std::string(buffer), c.expected);
    }
    IniFile ini("t.ini");
    char untouched[4] = "old";
    EXPECT_EQ(ini.GetString("missing", untouched, sizeof untouched, true), ERR_SYMBOL_NOT_FOUND);
    EXPECT_STREQ(untouched, "old");
}

TEST_F(IniFileTest, DeviceIdentifierReadsTheGuidLayout)
{
    IniFile ini("t.ini");
    ini.SelectSection("renderer");
    ini.SetString("DeviceIdentifier", "<01234567-89AB-CDEF-0123-456789ABCDEF>", false);
    GUID guid{};
    ASSERT_EQ(ini.GetDeviceIdentifier(guid), S_OK);
    EXPECT_EQ(guid.Data1, 0x01234567u);
    EXPECT_EQ(guid.Data2, 0x89ABu);
    EXPECT_EQ(guid.Data3, 0xCDEFu);
    const std::uint8_t data4[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(std::memcmp(guid.Data4, data4, 8), 0);

    const GUID before = guid;
    for (const char* bad :
         {"<01234567-89AB-CDEF-0123-456789ABCDE>", "<0123456G-89AB-CDEF-0123-456789ABCDEF>"}) {
        SCOPED_TRACE(bad);
        ini.SetString("DeviceIdentifier", bad, false);
        EXPECT_EQ(ini.GetDeviceIdentifier(guid), E_FAIL);
        EXPECT_EQ(std::memcmp(&guid, &before, sizeof guid), 0);
    }
    ini.SelectSection("other");
    EXPECT_EQ(ini.GetDeviceIdentifier(guid), E_FAIL);
}

TEST_F(IniFileTest, AddKeyFindsOrAppendsWithoutMarkingChanged)
{
    IniFile ini("t.ini");
    IniEntry& first = ini.AddKey("x");
    EXPECT_EQ(&first, &ini.AddKey("x"));
    ini.AddKey(nullptr);
    ini.AddKey(nullptr);
    EXPECT_EQ(ini.Sections()[0].entries.size(), 3u);
    EXPECT_FALSE(ini.IsDirty());
    ini.SetGammaValue(0.5f);
    EXPECT_EQ(ini.FindKey("GammaValue")->value, "0.50000000");
    EXPECT_TRUE(ini.IsDirty());
}

TEST_F(IniFileTest, SavesCrLfInOrderWithComments)
{
    // The start-up's note for "common.ini", then settings into sections made on the way.
    IniFile ini("common.ini");
    ini.SetString("BaseDir", "", false);
    ini.SetString(nullptr, "", false);
    ini.SetString(nullptr, " Location of save data: 0=\"%userprofile%\\Application Data\" 1=EXE folder",
                  false);
    ini.SetInt("UserProfileHere", 0, 10);
    ini.SetString(nullptr, ";already a comment", false);
    ini.SelectSection("kernel");
    ini.SetInt("WindowPosX", 12, 10);
    ini.SelectSection("game");
    ini.SetString("PlayerName", "Bram Valdrick", false);
    ASSERT_EQ(ini.SaveFile(Folder().c_str()), S_OK);
    EXPECT_FALSE(ini.IsDirty());
    EXPECT_EQ(Saved("common.ini"),
              IniWriter()
                  .Entry("BaseDir", "\"\"")
                  .Blank()
                  .Comment(" Location of save data: 0=\"%userprofile%\\Application Data\" 1=EXE folder")
                  .Int("UserProfileHere", 0)
                  .Line(";already a comment")
                  .Blank()
                  .Section("kernel")
                  .Int("WindowPosX", 12)
                  .Blank()
                  .Section("game")
                  .Entry("PlayerName", "\"Bram Valdrick\"")
                  .Text());
}

// Every line kind, saved once. Loading that gives the same entries but for two: an empty line
// is written but not read back, and an entry without a key comes back as a comment. From then
// on saving after loading gives the same bytes.
TEST_F(IniFileTest, SaveReadsBackWithoutEmptyLinesThenStaysByteStable)
{
    const std::string fixture = IniWriter()
                                    .Comment(" made by hand\twith a tab")
                                    .Hex("IniVersion", 0x103)
                                    .Line("  spaced key  =  \t value  with   blanks\t\tand tabs  ")
                                    .Line("=keyless")
                                    .Line("=")
                                    .Line("not an entry")
                                    .Blank()
                                    .Line("[kernel")
                                    .Line("Don'tUseMutex=1")
                                    .Line("quoted=\"a\t\tb  c\\\"  d\"  tail\t\tend")
                                    .Line("single='x\ty'")
                                    .Line("k" + std::string(1100, 'k') + "=cut key")
                                    .Line("long=" + std::string(2000, 'v'))
                                    .Line("[KERNEL]")
                                    .Line("again=\x83\x5c\t\t\x83\x5d")
                                    .Section("game")
                                    .String("TextFilter_Delimiter", " \t")
                                    .Text("\n");
    IniFile first = Load(fixture);
    first.SelectSection("kernel");
    first.SetString(nullptr, "", false);
    first.SelectSection("game");
    first.SetInt("Touched", 1, 10);
    ASSERT_EQ(first.SaveFile(Folder().c_str()), S_OK);
    const std::string first_save = Saved();
    for (std::size_t at = first_save.find('\n'); at != std::string::npos;
         at = first_save.find('\n', at + 1)) {
        ASSERT_TRUE(at > 0 && first_save[at - 1] == '\r') << "bare LF at " << at;
    }

    std::vector<std::string> read_back = flatten(first);
    ASSERT_EQ(std::erase(read_back, "||"), 1u) << "the line \"=\"";
    ASSERT_EQ(std::erase(read_back, "kernel||"), 1u) << "the empty comment added to [kernel]";
    std::replace(read_back.begin(), read_back.end(), std::string("||keyless"), std::string("||;keyless"));
    std::string saved;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        IniFile again("test.ini");
        ASSERT_EQ(again.LoadFile(Folder().c_str()), S_OK);
        EXPECT_EQ(flatten(again), read_back);
        again.SelectSection("game");
        again.SetInt("Touched", 1, 10); // marks the file changed, same content
        ASSERT_EQ(again.SaveFile(Folder().c_str()), S_OK);
        if (round == 0) saved = Saved();
        EXPECT_EQ(Saved(), saved);
    }
    EXPECT_EQ(first_save.size() - saved.size(), 4u) << "two empty lines fewer";
}

// "[L", a lead byte, CR LF: the lead byte has no trail byte, so it ends the unclosed header's
// name; kept, it would pair with the "]" written after it and change the name on every save.
TEST_F(IniFileTest, HeaderNameEndingInALeadByteStaysTheSameThroughSaves)
{
    Put(IniWriter().Line("[L\xF6").Text());
    for (int save = 0; save < 2; ++save) {
        SCOPED_TRACE(save);
        IniFile ini("test.ini");
        ASSERT_EQ(ini.LoadFile(Folder().c_str()), S_OK);
        ASSERT_EQ(ini.Sections().size(), 2u);
        EXPECT_EQ(ini.Sections()[1].name, "L");
        EXPECT_EQ(&ini.SelectSection("L\xF6"), &ini.Sections()[1]);
        ini.SetInt("saved", 1, 10);
        ASSERT_EQ(ini.SaveFile(Folder().c_str()), S_OK);
        EXPECT_EQ(Saved(), IniWriter().Section("L").Int("saved", 1).Text());
    }
}

TEST_F(IniFileTest, SavingAFileThatWasOnlyLoadedWritesNothing)
{
    IniFile ini = Load(IniWriter().Int("a", 1).Text());
    std::filesystem::remove(m_temp.path() / "test.ini");
    EXPECT_EQ(ini.SaveFile(Folder().c_str()), S_OK);
    EXPECT_FALSE(std::filesystem::exists(m_temp.path() / "test.ini"));
}

TEST_F(IniFileTest, LoadingAppendsAndStartsAtTheFirstSection)
{
    Put(IniWriter().Int("a", 1).Section("s").Int("b", 2).Text(), "one.ini");
    IniFile ini("one.ini");
    ASSERT_EQ(ini.LoadFile(Folder().c_str()), S_OK);
    ASSERT_EQ(ini.LoadFile(Folder().c_str()), S_OK);
    EXPECT_EQ(flatten(ini), (std::vector<std::string>{"|a|1", "|a|1", "s|b|2", "s|b|2"}));
    std::int32_t value = 0;
    EXPECT_EQ(ini.GetInt("a", value), S_OK);
    // A folder with or without its final backslash names the same file.
    IniFile plain("one.ini");
    EXPECT_EQ(plain.LoadFile((Folder() + "\\").c_str()), S_OK);
    EXPECT_EQ(plain.Sections().size(), 2u);
}

TEST_F(IniFileTest, MissingOrUnwritableFilesAreReported)
{
    IniFile missing("absent.ini");
    EXPECT_EQ(missing.LoadFile(Folder().c_str()), ERR_OPEN_FILE);
    EXPECT_EQ(flatten(missing), std::vector<std::string>{});
    EXPECT_EQ(missing.Sections().size(), 1u);

    // A folder that is a plain file cannot be written into: the changes stay pending.
    Put("not a folder", "blocker");
    IniFile ini("x.ini");
    ini.SetInt("a", 1, 10);
    EXPECT_EQ(ini.SaveFile(m_temp.windows("blocker").c_str()), ERR_OPEN_FILE);
    EXPECT_TRUE(ini.IsDirty());
    EXPECT_EQ(ini.SaveFile(Folder().c_str()), S_OK);
    EXPECT_FALSE(ini.IsDirty());
    EXPECT_EQ(Saved("x.ini"), "a=1\r\n");
}

class IniRemoteTest : public IniFileTest {
protected:
    void SetUp() override
    {
        seam_set_store_folder(m_store.host());
        ASSERT_TRUE(SteamAPI_Init());
        g_remote_storage = SteamRemoteStorage();
    }
    void TearDown() override
    {
        IniFileTest::TearDown();
        SteamAPI_Shutdown();
        seam_set_store_folder("");
    }
    void CloudOn(bool account, bool app)
    {
        ASSERT_TRUE(seam_set_cloud_enabled_for_account(account));
        g_remote_storage->SetCloudEnabledForApp(app);
    }

    TempFolder m_store;
};

TEST_F(IniRemoteTest, TheCloudSwitchesDecideWhetherRemoteStorageIsUsed)
{
    struct Case {
        bool account;
        bool app;
        bool available;
    };
    const Case cases[] = {
        {false, false, false}, {true, false, false}, {false, true, false}, {true, true, true}};
    ASSERT_TRUE(g_remote_storage->FileWrite("kro_win.ini", "IniVersion=0x103\r\n", 18));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.account << c.app);
        CloudOn(c.account, c.app);
        IniFile loaded("kro_win.ini");
        EXPECT_EQ(loaded.LoadRemote(), c.available ? S_OK : ERR_OPEN_FILE);
        EXPECT_EQ(flatten(loaded).size(), c.available ? 1u : 0u);

        IniFile changed("other.ini");
        changed.SetInt("a", 1, 10);
        EXPECT_EQ(changed.SaveRemote(), c.available ? S_OK : ERR_OPEN_FILE);
        EXPECT_EQ(changed.IsDirty(), !c.available);
        EXPECT_EQ(g_remote_storage->FileExists("other.ini"), c.available);
    }
    g_remote_storage = nullptr;
    IniFile none("kro_win.ini");
    EXPECT_EQ(none.LoadRemote(), ERR_OPEN_FILE);
}

TEST_F(IniRemoteTest, EmptyFirstSectionStartsLocalTextWithAHeaderRemoteWithABlankLine)
{
    CloudOn(true, true);
    IniFile ini("kro_win.ini");
    ini.SelectSection("kernel");
    ini.SetInt("Don'tUseMutex", 1, 10);
    ini.SelectSection("audio");
    ini.SetInt("BgmVolume", 512, 10);
    IniFile remote_copy = ini;
    ASSERT_EQ(ini.SaveFile(Folder().c_str()), S_OK);
    ASSERT_EQ(remote_copy.SaveRemote(), S_OK);
    IniWriter body;
    body.Section("kernel").Int("Don'tUseMutex", 1).Blank().Section("audio").Int("BgmVolume", 512);
    EXPECT_EQ(Saved("kro_win.ini"), body.Text());
    EXPECT_EQ(read_host_file(m_store.path() / "remote/kro_win.ini"), "\r\n" + body.Text());
}

TEST_F(IniRemoteTest, RemoteRoundTripIsByteStable)
{
    CloudOn(true, true);
    IniFile ini("kro_win.ini");
    EXPECT_EQ(ini.LoadRemote(), ERR_OPEN_FILE); // not there yet
    ini.SetInt("IniVersion", 0x103, 16);
    ini.SelectSection("game");
    ini.SetString("TextFilter_Delimiter", " \t", true);
    ini.SetString("PlayerName", "a  b", false);
    EXPECT_EQ(ini.SaveRemote(), S_OK);
    EXPECT_EQ(ini.SaveRemote(), S_OK); // nothing changed: nothing written
    const std::string saved = read_host_file(m_store.path() / "remote/kro_win.ini");

    IniFile again("kro_win.ini");
    ASSERT_EQ(again.LoadRemote(), S_OK);
    EXPECT_EQ(flatten(again), flatten(ini));
    again.SetInt("IniVersion", 0x103, 16);
    ASSERT_EQ(again.SaveRemote(), S_OK);
    EXPECT_EQ(read_host_file(m_store.path() / "remote/kro_win.ini"), saved);
}

// Remote storage that fails on demand.
class FaultyRemote final : public ISteamRemoteStorage {
public:
    bool FileWrite(const char*, const void*, std::int32_t) override { return false; }
    std::int32_t FileRead(const char*, void* data, std::int32_t size) override
    {
        std::int32_t count = std::min(size, read_count);
        std::memcpy(data, "a=1\r\nb=2\r\n", static_cast<std::size_t>(count));
        return count;
    }
    bool FileExists(const char*) override { return true; }
    std::int32_t GetFileSize(const char*) override { return 10; }
    bool FileDelete(const char*) override { return false; }
    bool IsCloudEnabledForAccount() override { return true; }
    bool IsCloudEnabledForApp() override { return true; }
    void SetCloudEnabledForApp(bool) override {}

    std::int32_t read_count = 10;
};

TEST_F(IniFileTest, FailedRemoteReadsAndWritesAreReported)
{
    FaultyRemote remote;
    g_remote_storage = &remote;
    for (std::int32_t count : {0, 4, 9}) {
        SCOPED_TRACE(count);
        remote.read_count = count;
        IniFile ini("kro_win.ini");
        EXPECT_EQ(ini.LoadRemote(), ERR_READ_FILE);
        EXPECT_EQ(flatten(ini), std::vector<std::string>{}); // nothing half-read is parsed
    }
    remote.read_count = 10;
    IniFile ini("kro_win.ini");
    ASSERT_EQ(ini.LoadRemote(), S_OK);
    EXPECT_EQ(flatten(ini), (std::vector<std::string>{"|a|1", "|b|2"}));

    ini.SetInt("a", 2, 10);
    EXPECT_EQ(ini.SaveRemote(), ERR_WRITE_FILE);
    EXPECT_TRUE(ini.IsDirty());
    EXPECT_EQ(ini.SaveFile(Folder().c_str()), S_OK); // the caller's fall-back
    EXPECT_EQ(Saved("kro_win.ini"), "a=2\r\nb=2\r\n");
}

} // namespace
