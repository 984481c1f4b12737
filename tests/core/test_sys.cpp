#include "core/sys.h"

#include "archive_fixture.h"
#include "core/errors.h"
#include "platform/impl/test_seams.h"

#include <gtest/gtest.h>

#include <bitset>
#include <string>
#include <thread>
#include <vector>

namespace {

OSVERSIONINFOEXA version(DWORD platform, DWORD major, DWORD minor, DWORD build,
                         BYTE product = VER_NT_WORKSTATION, WORD suite = 0, const char* service_pack = "")
{
    OSVERSIONINFOEXA v{};
    v.dwOSVersionInfoSize = sizeof v;
    v.dwPlatformId = platform;
    v.dwMajorVersion = major;
    v.dwMinorVersion = minor;
    v.dwBuildNumber = build;
    v.wProductType = product;
    v.wSuiteMask = suite;
    std::snprintf(v.szCSDVersion, sizeof v.szCSDVersion, "%s", service_pack);
    return v;
}

constexpr DWORD k_9x = VER_PLATFORM_WIN32_WINDOWS;
constexpr DWORD k_nt = VER_PLATFORM_WIN32_NT;

// Restores the generation the running program decoded and the normal priority, whatever a
// test set.
class SysTest : public ::testing::Test {
protected:
    void SetUp() override { m_saved_generation = g_os_generation; }
    void TearDown() override
    {
        g_os_generation = m_saved_generation;
        SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
        seam_set_memory_status(0, 0);
        seam_log_enable(false);
        seam_log_clear();
    }

private:
    int m_saved_generation = 0;
};

} // namespace

TEST(OsVersion, DecodesEveryRowOfTheGenerationTable)
{
    struct Case {
        OSVERSIONINFOEXA record;
        int generation;
        const char* text;
    };
    const Case cases[] = {
        {version(VER_PLATFORM_WIN32s, 3, 11, 0), 1, "Microsoft Windows 3.11"},
        {version(k_9x, 4, 0, 0x04000000 | 1111), 4, "Microsoft Windows 95 OSR2 (4.00.1111)"},
        {version(k_9x, 4, 0, 0x04000000 | 1212), 5, "Microsoft Windows OSR2.1 (4.00.1212)"},
        {version(k_9x, 4, 10, 0x040A0000 | 2222), 9, "Microsoft Windows 98 Second Edition (4.10.2222)"},
        {version(k_9x, 4, 10, 0x040A0000 | 1998), 8, "Microsoft Windows 98 (4.10.1998)"},
        {version(k_9x, 4, 90, 0x045A0000 | 3000), 10, "Microsoft Windows Millennium Edition (4.90.3000)"},
        {version(k_9x, 4, 50, 0x04320000 | 1), 0, "Microsoft Windows  (4.50.1)"},
        {version(k_nt, 3, 51, 1057), 2, "Microsoft Windows NT 3.51 (3.51.1057)"},
        {version(k_nt, 4, 0, 1381), 7, "Microsoft Windows NT 4.0 (4.00.1381)"},
        {version(k_nt, 5, 0, 2195), 12, "Microsoft Windows 2000 Professional (5.00.2195)"},
        {version(k_nt, 5, 0, 2195, VER_NT_SERVER), 11, "Microsoft Windows 2000 Server (5.00.2195)"},
        {version(k_nt, 5, 1, 2600, VER_NT_WORKSTATION, VER_SUITE_PERSONAL), 14,
         "Microsoft Windows XP Home Edition (5.01.2600)"},
        {version(k_nt, 5, 1, 2600, VER_NT_WORKSTATION, 0, "Service Pack 3"), 15,
         "Microsoft Windows XP Professional Service Pack 3 (5.01.2600)"},
        {version(k_nt, 5, 1, 2600, VER_NT_SERVER), 13, "Microsoft Windows .Net (5.01.2600)"},
        {version(k_nt, 5, 2, 3790, VER_NT_SERVER), 16,
         "Microsoft Windows .Net Server 2003 Family (5.02.3790)"},
        {version(k_nt, 10, 3, 19045), 17, "Microsoft Windows  Unknown (10.03.19045)"},
        {version(7, 1, 0, 0), 0, "Microsoft Windows "},
    };
    for (const Case& c : cases) {
        char text[256];
        EXPECT_EQ(sys_decode_os_version(c.record, text, sizeof text), c.generation) << c.text;
        EXPECT_STREQ(text, c.text);
    }
}

TEST(OsVersion, RunningProgramDecodesAsAnXpProfessionalOfGenerationNt5OrLater)
{
    sys_os_version();
    EXPECT_GE(g_os_generation, OS_GENERATION_NT5);
    EXPECT_EQ(std::string(g_os_text).rfind("Microsoft Windows XP Professional ", 0), 0u) << g_os_text;
}

TEST(SysStartup, CommitsTheWorkBlockAndShutdownReleasesIt)
{
    sys_startup(0x10000);
    ASSERT_NE(g_work_block.memory, nullptr);
    EXPECT_EQ(g_work_block.capacity, 0x10000u);
    EXPECT_EQ(g_work_block.owner, nullptr);
    g_work_block.memory[0xFFFF] = 1;
    EXPECT_EQ(seam_timer_periods(), 1);
    timer_begin_period(); // a second begin does nothing
    EXPECT_EQ(seam_timer_periods(), 1);
    sys_release_work_block();
    timer_end_period();
    EXPECT_EQ(g_work_block.memory, nullptr);
    EXPECT_EQ(g_work_block.capacity, 0u);
    EXPECT_EQ(seam_timer_periods(), 0);
    sys_release_work_block(); // tolerates what was never created
    timer_end_period();
    EXPECT_EQ(seam_timer_periods(), 0);
}

TEST(SysStartup, NewHandlerThrowsOutOfMemoryWithItsText)
{
    try {
        sys_new_handler(1234);
        FAIL();
    } catch (const std::bad_alloc& error) {
        EXPECT_STREQ(error.what(), "nh:Cannot allocate memory[1234 byte]\n");
    }
}

namespace {

std::vector<std::string> g_ran;

HRESULT step_a(SysInitContext&)
{
    g_ran.push_back("a");
    return S_OK;
}
HRESULT step_b(SysInitContext& context)
{
    g_ran.push_back("b");
    context.subsystems &= ~SUBSYS_DSOUND;
    return S_OK;
}
HRESULT step_sound(SysInitContext&)
{
    g_ran.push_back("sound");
    return S_OK;
}
HRESULT step_fails(SysInitContext&)
{
    g_ran.push_back("fails");
    return E_FAIL;
}
HRESULT step_after(SysInitContext&)
{
    g_ran.push_back("after");
    return S_OK;
}

} // namespace

TEST(SysInitialize, ServesStepsInOrderAndStopsAtTheFirstFailureWithItsText)
{
    const SysInitStep steps[] = {
        {0, nullptr, step_a},
        {SUBSYS_D3D, "failed: Subsys D3D::Initialize", step_b},
        {SUBSYS_DSOUND, "failed: Subsys DSound::Initialize", step_sound},
        {SUBSYS_DINPUT, "failed: Subsys DInput::Initialize", step_a},
        {SUBSYS_RESRCMGR, "failed: Subsys ResrcMgr::Initialize", step_fails},
        {0, "never", step_after},
    };
    EngineParams params{};
    params.subsystems = SUBSYS_D3D | SUBSYS_DSOUND | SUBSYS_RESRCMGR;
    char text[40] = "";
    g_ran.clear();
    EXPECT_EQ(sys_run_init_steps(params, steps, text, sizeof text), E_FAIL);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"a", "b", "fails"}));
    EXPECT_STREQ(text, "failed: Subsys ResrcMgr::Initialize");
}

TEST_F(SysTest, PriorityClassIsSetOnlyWhereTheGenerationAllowsIt)
{
    enum Applied { Always, FromNt5, Never };
    struct Case {
        std::uint32_t priority_class;
        Applied applied;
    };
    const Case cases[] = {
        {HIGH_PRIORITY_CLASS, Always},
        {NORMAL_PRIORITY_CLASS, Always},
        {IDLE_PRIORITY_CLASS, Always},
        {REALTIME_PRIORITY_CLASS, Always},
        {ABOVE_NORMAL_PRIORITY_CLASS, FromNt5},
        {BELOW_NORMAL_PRIORITY_CLASS, FromNt5},
        {0x10, Never},
        {0x8040, Never},
        {0, Never},
    };
    for (int generation : {8, 10, OS_GENERATION_NT5, 17}) {
        g_os_generation = generation;
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << "generation " << generation << " class 0x" << std::hex << c.priority_class);
            // A class other than the one tried, so a class left alone shows.
            DWORD before =
                c.priority_class == HIGH_PRIORITY_CLASS ? NORMAL_PRIORITY_CLASS : HIGH_PRIORITY_CLASS;
            ASSERT_TRUE(SetPriorityClass(GetCurrentProcess(), before));
            EngineParams params{};
            params.priority_class = c.priority_class;
            SysInitContext context{params, 0, 0};
            EXPECT_EQ(sys_init_priority(context), S_OK);
            bool applied = c.applied == Always || (c.applied == FromNt5 && generation >= OS_GENERATION_NT5);
            EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), applied ? c.priority_class : before);
        }
    }
}

namespace {

// The affinity step on a thread of its own, so the thread's mask and the process's stay apart
// as the platform keeps them (on Linux the process's mask is the main thread's). Masks are
// patterns over the first four processors the test may use.
class SysAffinityTest : public SysTest {
protected:
    void SetUp() override
    {
        SysTest::SetUp();
        DWORD_PTR system_mask = 0;
        ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &m_saved_mask, &system_mask));
        for (unsigned cpu = 0; cpu < sizeof(DWORD_PTR) * 8 && m_cpus.size() < 4; ++cpu)
            if (m_saved_mask & (DWORD_PTR{1} << cpu)) m_cpus.push_back(DWORD_PTR{1} << cpu);
        if (m_cpus.size() < 4) GTEST_SKIP() << "needs four processors";
    }
    void TearDown() override
    {
        SetProcessAffinityMask(GetCurrentProcess(), m_saved_mask);
        SysTest::TearDown();
    }

    DWORD_PTR cpus(unsigned pattern) const
    {
        DWORD_PTR mask = 0;
        for (std::size_t i = 0; i < m_cpus.size(); ++i)
            if (pattern & (1u << i)) mask |= m_cpus[i];
        return mask;
    }

    struct Outcome {
        DWORD_PTR process;
        DWORD_PTR thread;
        DWORD_PTR audio;
    };
    Outcome run_step(const EngineParams& params, DWORD_PTR process_mask)
    {
        EXPECT_TRUE(SetProcessAffinityMask(GetCurrentProcess(), process_mask));
        Outcome outcome{};
        std::thread starter([&] {
            SysInitContext context{params, 0, 0};
            EXPECT_EQ(sys_init_affinity(context), S_OK);
            outcome.audio = context.audio_thread_affinity;
            // The call answers with the mask it replaces: what the step left on the thread.
            outcome.thread = SetThreadAffinityMask(GetCurrentThread(), process_mask);
        });
        starter.join();
        DWORD_PTR system_mask = 0;
        EXPECT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &outcome.process, &system_mask));
        return outcome;
    }

private:
    DWORD_PTR m_saved_mask = 0;
    std::vector<DWORD_PTR> m_cpus;
};

} // namespace

TEST_F(SysAffinityTest, MasksNarrowFromTheProcessOnlyFromNt5On)
{
    struct Case {
        int generation;
        unsigned start;                  // the process's mask before the step
        unsigned process, thread, audio; // the parameters
        unsigned expected_process, expected_thread, expected_audio;
    };
    const Case cases[] = {
        {15, 0b1111, 0b0110, 0b0011, 0b1100, 0b0110, 0b0010, 0b0100},
        {OS_GENERATION_NT5, 0b1111, 0b0110, 0b0011, 0b1100, 0b0110, 0b0010, 0b0100},
        // Below NT 5 the process's own mask is the base, whatever the parameter says.
        {10, 0b1111, 0b0110, 0b0011, 0b1100, 0b1111, 0b0011, 0b1100},
        {10, 0b0111, 0, 0b1001, 0b1110, 0b0111, 0b0001, 0b0110},
        // A zero process mask is never set; the base is zero all the same.
        {15, 0b1111, 0, 0b0011, 0b1100, 0b1111, 0b1111, 0},
        {15, 0b0011, 0b1100, 0b0011, 0b0011, 0b0011, 0b0011, 0},
        // Nothing left for the main thread leaves it as it was.
        {15, 0b1111, 0b0110, 0b1000, 0, 0b0110, 0b1111, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "generation " << c.generation << " process param 0b" << std::bitset<4>(c.process)
                     << " thread param 0b" << std::bitset<4>(c.thread));
        g_os_generation = c.generation;
        EngineParams params{};
        params.process_affinity = static_cast<std::uint32_t>(cpus(c.process));
        params.main_thread_affinity = static_cast<std::uint32_t>(cpus(c.thread));
        params.audio_thread_affinity = static_cast<std::uint32_t>(cpus(c.audio));
        Outcome outcome = run_step(params, cpus(c.start));
        EXPECT_EQ(outcome.process, cpus(c.expected_process));
        EXPECT_EQ(outcome.thread, cpus(c.expected_thread));
        EXPECT_EQ(outcome.audio, cpus(c.expected_audio));
    }
}

TEST_F(SysTest, TrimMemoryDoesNothingWhenMemoryIsScarce)
{
    seam_log_enable(true);
    seam_set_memory_status(3000u << 20, 900u << 20);
    g_os_generation = 15;
    sys_trim_memory();
    EXPECT_TRUE(seam_log().empty());
}

TEST_F(SysTest, TrimMemoryCompactsOnNt5AndProbesBelow)
{
    struct Case {
        int generation;
        SIZE_T total_mib;
        const char* expected;
    };
    const Case cases[] = {
        {15, 512, "HeapCompact"},
        {9, 512, "HeapCreate 33554432"}, // (512 - 32) / 4 MiB, capped at 32 MiB
        {9, 96, "HeapCreate 16777216"},  // (96 - 32) / 4 = 16 MiB
        {9, 16, "HeapCreate 33554432"},  // below 32 MiB the cap applies
    };
    seam_log_enable(true);
    for (const Case& c : cases) {
        seam_log_clear();
        g_os_generation = c.generation;
        seam_set_memory_status(c.total_mib << 20, c.total_mib << 20);
        sys_trim_memory();
        ASSERT_EQ(seam_log().size(), 1u);
        EXPECT_EQ(seam_log()[0], c.expected);
    }
}

class SysArchiveTest : public ArchiveTest {
protected:
    HRESULT initialize_with_archives(std::string& text)
    {
        std::string folder = archive_folder();
        EngineParams params{};
        params.archive_folder = folder.c_str();
        params.archive_mapped = 1;
        char buffer[64] = "";
        const SysInitStep steps[] = {{0, SYS_TEXT_ARCHIVE, sys_init_archive},
                                     {0, SYS_TEXT_ARCHIVE_OVERLAY, sys_init_archive_overlay}};
        HRESULT hr = sys_run_init_steps(params, steps, buffer, sizeof buffer);
        text = buffer;
        return hr;
    }
};

TEST_F(SysArchiveTest, OpensTheMainPairAndTheOverlay)
{
    const ArchiveSource main_files[] = {{"data\\misc\\a.dat", {1, 2, 3}}};
    const ArchiveSource overlay_files[] = {{"data\\misc\\b.dat", {4}}};
    ASSERT_TRUE(archive_write_set(m_folder.path(), main_files, overlay_files));
    std::string text;
    EXPECT_EQ(initialize_with_archives(text), S_OK);
    EXPECT_EQ(text, "");
    EXPECT_NE(vfs_find("data\\misc\\a.dat"), nullptr);
    EXPECT_NE(vfs_find("data\\misc\\b.dat"), nullptr);
}

TEST_F(SysArchiveTest, AMissingOverlayFailsWithItsText)
{
    const ArchiveSource main_files[] = {{"data\\misc\\a.dat", {1, 2, 3}}};
    ASSERT_TRUE(archive_write_pair(m_folder.path(), "data", archive_build(main_files)));
    std::string text;
    EXPECT_EQ(initialize_with_archives(text), E_FAIL);
    EXPECT_EQ(text, "failed: release\\data_us.? not found(3).");
}

TEST_F(SysArchiveTest, AMissingMainPairThrowsItsOwnError)
{
    std::string text;
    EXPECT_THROW(initialize_with_archives(text), RuntimeError);
    EXPECT_EQ(text, "");
}
