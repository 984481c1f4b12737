#include "game/g_ta.h"

#include "core/ini.h"
#include "core/userdir.h"
#include "lib/le_bytes.h"
#include "lib/ta_writer.h"
#include "platform/impl/steam_api_seams.h"
#include "platform/steam_api.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t k_records_size = 616;
constexpr std::size_t k_story_size = 88;

std::string as_text(const std::vector<std::uint8_t>& bytes)
{
    return {bytes.begin(), bytes.end()};
}

std::uint32_t u32_at(const std::string& bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

// Records in the user folder under a temporary working folder, and a store of their own
// whose cloud storage is off until a test switches it on.
class TimeAttack : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::current_path(m_temp.path());
        m_saved_profile_here = g_user_profile_here;
        g_user_profile_here = 1;
        seam_set_store_folder(m_temp.host("store"));
        ASSERT_TRUE(SteamAPI_Init());
        g_remote_storage = SteamRemoteStorage();
        FillWithJunk();
    }
    void TearDown() override
    {
        g_remote_storage = nullptr;
        SteamAPI_Shutdown();
        seam_set_store_folder("");
        g_user_profile_here = m_saved_profile_here;
    }

    void CloudOn()
    {
        ASSERT_TRUE(seam_set_cloud_enabled_for_account(true));
        g_remote_storage->SetCloudEnabledForApp(true);
    }
    // Values no read leaves behind, so the defaults and every copied byte show.
    static void FillWithJunk()
    {
        std::memset(&g_ta_records, 0x5A, sizeof g_ta_records);
        std::memset(&g_ta_story_times, 0x5A, sizeof g_ta_story_times);
    }
    fs::path Local(const char* name) const
    {
        char folder[MAX_PATH];
        sys_user_folder(folder);
        std::string relative(folder);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        return m_temp.path() / relative / name;
    }
    void PutLocal(const char* name, const std::vector<std::uint8_t>& bytes) const
    {
        fs::create_directories(Local(name).parent_path());
        write_host_file(Local(name), as_text(bytes));
    }
    static std::string Remote(const char* name)
    {
        std::string bytes(static_cast<std::size_t>(g_remote_storage->GetFileSize(name)), '\0');
        g_remote_storage->FileRead(name, bytes.data(), static_cast<std::int32_t>(bytes.size()));
        return bytes;
    }
    static void PutRemote(const char* name, const std::vector<std::uint8_t>& bytes)
    {
        ASSERT_TRUE(g_remote_storage->FileWrite(name, bytes.data(), static_cast<std::int32_t>(bytes.size())));
    }

    static void ExpectRecordDefaults()
    {
        for (const TimeAttackEntry& entry : g_ta_records.entries) {
            EXPECT_EQ(entry.best_ms, 0u);
            EXPECT_EQ(entry.reserved_word, -1);
            EXPECT_EQ(entry.reserved_byte, 0xFF);
            EXPECT_EQ(entry.new_record, 0);
        }
    }
    static void ExpectNoNewRecordFlag()
    {
        for (const TimeAttackEntry& entry : g_ta_records.entries)
            EXPECT_EQ(entry.new_record, 0);
    }

    TempFolder m_temp;
    WorkingDirectoryGuard m_working_directory;
    std::uint8_t m_saved_profile_here = 0;
};

// A time-attack table with a boss-rush time marked new and a last-stage time.
std::vector<std::uint8_t> sample_time_table()
{
    std::vector<std::uint8_t> table = record_time_table();
    record_put_time(table, ta_index(0, 0), 754321, 1);
    record_put_time(table, ta_index(2, 15), 61234, 0);
    return table;
}

void expect_sample_times()
{
    EXPECT_EQ(g_ta_records.entries[ta_index(0, 0)].best_ms, 754321u);
    EXPECT_EQ(g_ta_records.entries[ta_index(2, 15)].best_ms, 61234u);
    EXPECT_EQ(g_ta_records.entries[ta_index(1, 7)].best_ms, 0u);
    EXPECT_EQ(g_ta_records.entries[ta_index(1, 7)].reserved_word, -1);
}

class TimeAttackStorage : public TimeAttack, public ::testing::WithParamInterface<bool> {
protected:
    bool RemoteCase() const { return GetParam(); }
    // The bytes as stored, checking they are where they belong and nowhere else.
    std::string Stored(const char* name) const
    {
        EXPECT_EQ(g_remote_storage->FileExists(name), RemoteCase()) << name;
        EXPECT_EQ(fs::exists(Local(name)), !RemoteCase()) << name;
        return RemoteCase() ? Remote(name) : read_host_file(Local(name));
    }
};

TEST_P(TimeAttackStorage, BothFilesRoundTripAndKeepTheirReservedBytes)
{
    if (RemoteCase()) CloudOn();
    ta_read_records(); // nothing there yet
    ExpectRecordDefaults();
    for (int i = 0; i < TA_ENTRY_COUNT; ++i) {
        g_ta_records.entries[i].best_ms = 1000u + 7u * static_cast<std::uint32_t>(i);
        g_ta_records.entries[i].unused_9 = static_cast<std::uint8_t>(i);
        g_ta_records.entries[i].new_record = i % 2 ? 1 : 0;
    }
    for (int i = 0; i < TA_STORY_COUNT; ++i)
        g_ta_story_times.entries[i] = {300000u + static_cast<std::uint32_t>(i), 0xC0DE0000u + i};
    TimeAttackTable written = g_ta_records;
    const StoryTimeTable written_story = g_ta_story_times;

    ta_write_records();
    ta_write_records2();
    FillWithJunk();
    ta_read_records();
    ta_read_records2();

    for (TimeAttackEntry& entry : written.entries)
        entry.new_record = 0;
    EXPECT_EQ(std::memcmp(&g_ta_records, &written, sizeof written), 0);
    EXPECT_EQ(std::memcmp(&g_ta_story_times, &written_story, sizeof written_story), 0);

    const std::string records = Stored("record.ta");
    const std::string story = Stored("record.ta2");
    ASSERT_EQ(records.size(), k_records_size);
    ASSERT_EQ(story.size(), k_story_size);
    for (const std::string& file : {records, story}) {
        EXPECT_EQ(file.substr(0, 4), std::string("Kro\0", 4));
        EXPECT_EQ(u32_at(file, 4), 13u);
        EXPECT_LT(u32_at(file, 8), 4096u);
        EXPECT_EQ(u32_at(file, 12) & 0x000F000Fu, 0u);
        EXPECT_EQ(file.substr(16, 16), "KRO-TIMEATTACK-1")
            << "the signature is restored before it is written";
        EXPECT_NE(u32_at(file, 32), 0u);
    }
    EXPECT_NE(u32_at(records, 40), written.entries[0].best_ms) << "the table is scrambled";
}

INSTANTIATE_TEST_SUITE_P(TimeAttack, TimeAttackStorage, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "RemoteStorage" : "UserFolder";
                         });

TEST_F(TimeAttack, ARecordFileCountsOnlyWhenWholeAndItsCrcHolds)
{
    constexpr std::uint32_t k_seed = 0x2468ACE1;
    struct Case {
        const char* name;
        std::uint32_t seed;
        std::function<void(std::vector<std::uint8_t>&)> change;
        bool read;
    };
    // Plain files (seed 0) end in zero bytes, so a zero-filled short read would pass the CRC.
    const std::vector<Case> cases = {
        {"unchanged", k_seed, [](auto&) {}, true},
        {"not scrambled", 0, [](auto&) {}, true},
        {"another magic and version", k_seed,
         [](auto& file) {
             le_patch_u32(file, 0, 0x11223344);
             le_patch_u32(file, 4, 99);
         },
         true},
        {"a byte past the record", k_seed, [](auto& file) { file.push_back(0); }, true},
        {"one table byte changed", k_seed, [](auto& file) { file.at(40 + 12 * 20 + 5) ^= 0x01; }, false},
        {"CRC changed", k_seed, [](auto& file) { file.at(37) ^= 0x80; }, false},
        {"one byte short", 0, [](auto& file) { file.pop_back(); }, false},
        {"empty", k_seed, [](auto& file) { file.clear(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> file = record_file_bytes(sample_time_table(), c.seed);
        c.change(file);
        PutLocal("record.ta", file);
        FillWithJunk();
        ta_read_records();
        if (c.read)
            expect_sample_times();
        else
            ExpectRecordDefaults();
        ExpectNoNewRecordFlag();
    }

    fs::remove(Local("record.ta"));
    FillWithJunk();
    ta_read_records();
    ExpectRecordDefaults();
}

TEST_F(TimeAttack, StoryDefaultsClearTheTimesAndKeepTheSecondWords)
{
    std::array<std::uint32_t, 12> words{};
    for (std::size_t i = 0; i < RECORD_STORY_ENTRY_COUNT; ++i) {
        words[2 * i] = 500000u + static_cast<std::uint32_t>(i);
        words[2 * i + 1] = 0xBEEF00u + static_cast<std::uint32_t>(i);
    }
    std::vector<std::uint8_t> file = record_file_bytes(record_story_table(words), 0x13572468);
    PutLocal("record.ta2", file);
    ta_read_records2();
    for (std::size_t i = 0; i < RECORD_STORY_ENTRY_COUNT; ++i) {
        EXPECT_EQ(g_ta_story_times.entries[i].best_ms, words[2 * i]);
        EXPECT_EQ(g_ta_story_times.entries[i].kept, words[2 * i + 1]);
    }

    file.at(k_story_size - 1) ^= 0x10;
    PutLocal("record.ta2", file);
    for (std::size_t i = 0; i < RECORD_STORY_ENTRY_COUNT; ++i)
        g_ta_story_times.entries[i] = {1234, 0x700u + static_cast<std::uint32_t>(i)};
    ta_read_records2();
    for (std::size_t i = 0; i < RECORD_STORY_ENTRY_COUNT; ++i) {
        EXPECT_EQ(g_ta_story_times.entries[i].best_ms, 0u);
        EXPECT_EQ(g_ta_story_times.entries[i].kept, 0x700u + i);
    }
}

TEST_F(TimeAttack, ARemoteFileOfAnotherSizeIsDeletedThereAndTheDefaultsUsed)
{
    CloudOn();
    std::vector<std::uint8_t> good = record_file_bytes(sample_time_table(), 0x2468ACE1);
    PutLocal("record.ta", good); // not consulted while the remote copy exists
    std::vector<std::uint8_t> short_copy(good.begin(), good.end() - 1);
    PutRemote("record.ta", short_copy);
    ta_read_records();
    ExpectRecordDefaults();
    EXPECT_FALSE(g_remote_storage->FileExists("record.ta"));
    EXPECT_EQ(read_host_file(Local("record.ta")), as_text(good));

    PutRemote("record.ta2", good); // the other file's size
    ta_read_records2();
    EXPECT_EQ(g_ta_story_times.entries[0].best_ms, 0u);
    EXPECT_FALSE(g_remote_storage->FileExists("record.ta2"));
}

TEST_F(TimeAttack, WithoutARemoteCopyTheUserFolderIsRead)
{
    CloudOn();
    PutLocal("record.ta", record_file_bytes(sample_time_table(), 0x2468ACE1));
    ta_read_records();
    expect_sample_times();
}

TEST_F(TimeAttack, AFailedWriteLeavesTheGoodFileAndReportsNothing)
{
    ta_read_records();
    g_ta_records.entries[3].best_ms = 4321;
    ta_write_records();
    const std::string good = read_host_file(Local("record.ta"));
    ASSERT_EQ(good.size(), k_records_size);

    g_ta_records.entries[3].best_ms = 1111;
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto saved_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &small);
    ta_write_records();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, saved_handler);

    EXPECT_EQ(read_host_file(Local("record.ta")), good);
    EXPECT_EQ(folder_names(Local("record.ta").parent_path()), std::vector<std::string>{"record.ta"});
    FillWithJunk();
    ta_read_records();
    EXPECT_EQ(g_ta_records.entries[3].best_ms, 4321u);
}

TEST_F(TimeAttack, AWriteWhoseFolderCannotBeMadeWritesNothing)
{
    write_host_file(m_temp.path() / "user", "a file where the folder belongs");
    ta_read_records2();
    ta_write_records2();
    EXPECT_EQ(folder_names(m_temp.path()), (std::vector<std::string>{"store", "user"}));
}

TEST(TimeAttackTime, AStageTimeIsItsFramesInMillisecondsWithoutOverflow)
{
    const struct {
        std::uint64_t frames;
        std::uint32_t ms;
    } cases[] = {{0, 0}, {1, 16}, {59, 983}, {60, 1000}, {5'000'000, 83'333'333}};
    for (const auto& c : cases)
        EXPECT_EQ(ta_stage_time_ms(c.frames), c.ms) << c.frames;
}

TEST(TimeAttackTime, ATimeIsKeptWhenThereIsNoneYetOrItIsSmaller)
{
    const struct {
        std::uint32_t best;
        std::uint32_t time;
        bool kept;
        std::uint32_t after;
    } cases[] = {{0, 5000, true, 5000},
                 {6000, 5000, true, 5000},
                 {5000, 5000, false, 5000},
                 {4000, 5000, false, 4000},
                 {0, 0, true, 0}};
    for (const auto& c : cases) {
        std::uint32_t best = c.best;
        EXPECT_EQ(ta_keep_time(best, c.time), c.kept) << c.best << " " << c.time;
        EXPECT_EQ(best, c.after);
    }
}

} // namespace
