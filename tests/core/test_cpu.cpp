#include "core/cpu.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <set>
#include <string>

namespace {

using Registers = std::array<std::uint32_t, 4>; // EAX, EBX, ECX, EDX

constexpr std::uint32_t TSC = 1u << 4, CMOV = 1u << 15, CLFLUSH = 1u << 19, MMX = 1u << 23, SSE = 1u << 25,
                        SSE2 = 1u << 26, HTT = 1u << 28;

std::uint32_t text_word(const char* four)
{
    std::uint32_t word;
    std::memcpy(&word, four, 4);
    return word;
}

// Leaf 0 as the processor answers it: the vendor text spread over EBX, EDX, ECX.
Registers vendor_leaf(std::uint32_t max_leaf, const char* vendor)
{
    return {max_leaf, text_word(vendor), text_word(vendor + 8), text_word(vendor + 4)};
}

// A processor that answers from a table (unknown leaves read as zeros) and records what was asked.
struct FakeCpu {
    std::map<std::uint32_t, Registers> leaves;
    std::set<std::uint32_t> asked;

    CpuInfo decode(std::uint32_t system_processors = 8)
    {
        CpuInfo info;
        std::memset(&info, 0xCD, sizeof info); // the decoder must clear what it does not fill
        cpu_decode(
            info,
            [this](std::uint32_t leaf, std::uint32_t registers[4]) {
                asked.insert(leaf);
                Registers r = leaves.count(leaf) ? leaves[leaf] : Registers{};
                std::memcpy(registers, r.data(), sizeof r);
            },
            system_processors);
        return info;
    }
};

// The 48 name bytes over leaves 0x80000002-0x80000004.
void set_name_leaves(FakeCpu& cpu, const char* name)
{
    char bytes[48] = {};
    std::memcpy(bytes, name, std::strlen(name));
    for (std::uint32_t i = 0; i < 3; ++i) {
        Registers r;
        std::memcpy(r.data(), bytes + 16 * i, 16);
        cpu.leaves[0x80000002 + i] = r;
    }
}

FakeCpu intel_cpu(std::uint32_t signature, std::uint8_t brand, Registers leaf2)
{
    FakeCpu cpu;
    cpu.leaves[0] = vendor_leaf(2, "GenuineIntel");
    cpu.leaves[1] = {signature, brand | (8u << 8), 0, TSC | CMOV | CLFLUSH | MMX | SSE | SSE2};
    cpu.leaves[2] = leaf2;
    cpu.leaves[0x80000000] = {0x80000004, 0, 0, 0};
    set_name_leaves(cpu, "Ignored for this vendor");
    return cpu;
}

FakeCpu amd_cpu(std::uint32_t signature, std::uint32_t max_ext_leaf)
{
    FakeCpu cpu;
    cpu.leaves[0] = vendor_leaf(1, "AuthenticAMD");
    cpu.leaves[1] = {signature, 0, 0, TSC | CMOV | MMX};
    cpu.leaves[0x80000000] = {max_ext_leaf, 0, 0, 0};
    cpu.leaves[0x80000001] = {0, 0, 0, (1u << 31) | (1u << 30) | (1u << 22)};
    cpu.leaves[0x80000005] = {0, 0, 64u << 24, 32u << 24};
    cpu.leaves[0x80000006] = {0, 0, 0x02008140, 0}; // 512 KiB; the top byte alone reads 2
    set_name_leaves(cpu, "AMD Athlon(tm) Processor");
    return cpu;
}

struct Caches {
    std::uint16_t l1_data, l1_inst, trace, l2, l3;
};

void expect_caches(const CpuInfo& info, const Caches& expected)
{
    EXPECT_EQ(info.cache_l1_data, expected.l1_data);
    EXPECT_EQ(info.cache_l1_inst, expected.l1_inst);
    EXPECT_EQ(info.cache_trace, expected.trace);
    EXPECT_EQ(info.cache_l2, expected.l2);
    EXPECT_EQ(info.cache_l3, expected.l3);
}

} // namespace

TEST(CpuDecode, ReadsTheIdentityAndCountsOfAnIntelProcessor)
{
    FakeCpu cpu = intel_cpu(0x000F129A, 9, {});
    cpu.leaves[1][1] |= (2u << 16) | (3u << 24); // two logical processors, APIC id 3
    cpu.leaves[1][3] |= HTT;
    CpuInfo info = cpu.decode(8);

    EXPECT_EQ(info.max_leaf, 2u);
    EXPECT_STREQ(info.vendor, "GenuineIntel");
    EXPECT_EQ(info.signature, 0x129A);
    EXPECT_EQ(info.type, 1);
    EXPECT_EQ(info.family, 2);
    EXPECT_EQ(info.model, 9);
    EXPECT_EQ(info.stepping, 0xA);
    EXPECT_EQ(info.ext_family, 0);
    EXPECT_EQ(info.ext_model, 0xF);
    EXPECT_EQ(info.brand_index, 9);
    EXPECT_EQ(info.logical_per_package, 2);
    EXPECT_EQ(info.physical_count, 4);
    EXPECT_EQ(info.cache_line_size, 64);
    EXPECT_EQ(info.apic_id, 3);
    EXPECT_EQ(info.max_ext_leaf, 0x80000004u);
    EXPECT_EQ(info.ext_features, 0u);
    EXPECT_EQ(info.mmx, 1);
    EXPECT_EQ(info.cmov, 1);
    EXPECT_EQ(info.tsc, 1);
    EXPECT_EQ(info.sse, 1);
    EXPECT_EQ(info.sse2, 1);
    EXPECT_EQ(info.mmx2, 1); // implied by SSE
    EXPECT_EQ(info.amd_3dnow, 0);
    EXPECT_STREQ(info.name, "Pentium 4"); // from the brand index, not the name leaves
}

TEST(CpuDecode, ExtendedSignatureFields)
{
    FakeCpu cpu = intel_cpu(0x00A6F0F1, 0, {});
    CpuInfo info = cpu.decode();
    EXPECT_EQ(info.signature, 0x30F1); // bits 0-13 only
    EXPECT_EQ(info.ext_family, 0x0A);
    EXPECT_EQ(info.ext_model, 6);
    EXPECT_EQ(info.family, 0);
    EXPECT_EQ(info.type, 3);
}

TEST(CpuDecode, WithoutHyperThreadingCountsEveryProcessorAsPhysical)
{
    FakeCpu cpu = intel_cpu(0x0683, 2, {});
    cpu.leaves[1][1] |= (4u << 16) | (5u << 24); // ignored without the HTT bit
    cpu.leaves[1][3] &= ~CLFLUSH;
    CpuInfo info = cpu.decode(6);
    EXPECT_EQ(info.logical_per_package, 1);
    EXPECT_EQ(info.physical_count, 6);
    EXPECT_EQ(info.apic_id, 0);
    EXPECT_EQ(info.cache_line_size, 0); // no line size without the CLFLUSH bit
}

TEST(CpuDecode, ALogicalCountOfZeroCountsAsOne)
{
    FakeCpu cpu = intel_cpu(0x0683, 2, {});
    cpu.leaves[1][3] |= HTT; // as some virtual machines report it: HTT with no count
    CpuInfo info = cpu.decode(4);
    EXPECT_EQ(info.logical_per_package, 1);
    EXPECT_EQ(info.physical_count, 4);
}

TEST(CpuDecode, IntelCacheDescriptors)
{
    struct Case {
        const char* what;
        std::uint32_t signature;
        Registers leaf2;
        Caches caches;
    };
    const Case cases[] = {
        {"each level; the repeat-count byte is skipped; lower bytes overwrite higher ones",
         0x0683,
         {0x0006680A, 0x00704400, 0x00000000, 0x43000000},
         {32, 8, 12, 1024, 0}},
        {"a register with bit 31 set holds no descriptors",
         0x0683,
         {0x00000001, 0x00000000, 0x80002200, 0x00007B00},
         {0, 0, 0, 512, 0}},
        {"0x40 clears the second level below family 15",
         0x0683,
         {0x00004001, 0x00007B00, 0x00000000, 0x22000000},
         {0, 0, 0, 0, 512}},
        {"0x40 clears the third level on family 15",
         0x0F29,
         {0x00004001, 0x00007B00, 0x00000000, 0x22000000},
         {0, 0, 0, 512, 0}},
        {"zero and unknown bytes leave every size at 0",
         0x0683,
         {0x00FF0001, 0x00000000, 0x01B0EE00, 0x0000FF01},
         {0, 0, 0, 0, 0}},
        {"trace cache and the largest sizes",
         0x0F29,
         {0x00727101, 0x008A0000, 0x0000001A, 0x00000000},
         {0, 0, 16, 96, 8192}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeCpu cpu = intel_cpu(c.signature, 0, c.leaf2);
        CpuInfo info = cpu.decode();
        expect_caches(info, c.caches);
        EXPECT_FALSE(cpu.asked.count(0x80000005)); // Intel sizes come from leaf 2 only
    }
}

TEST(CpuDecode, IntelNamesComeFromTheBrandIndex)
{
    struct Case {
        std::uint8_t brand;
        const char* name;
    };
    const Case cases[] = {
        {1, "Celeron"},
        {10, "Celeron"},
        {19, "Celeron"},
        {2, "Pentium III"},
        {4, "Pentium III"},
        {3, "Pentium III Xeon"},
        {6, "Mobile Pentium III-M"},
        {7, "Mobile Celeron"},
        {16, "Mobile Celeron"},
        {8, "Pentium 4"},
        {9, "Pentium 4"},
        {11, "Xeon"},
        {15, "Xeon"},
        {12, "Xeon MP"},
        {14, "Mobile Pentium 4-M"},
        {22, "Pentium M"},
        {0, ""},
        {5, ""},
        {23, ""},
    };
    for (const Case& c : cases) {
        FakeCpu cpu = intel_cpu(0x0683, c.brand, {});
        EXPECT_STREQ(cpu.decode().name, c.name) << int(c.brand);
    }
}

TEST(CpuDecode, OtherVendorsUseTheExtendedLeaves)
{
    FakeCpu cpu = amd_cpu(0x0642, 0x80000008);
    CpuInfo info = cpu.decode(2);
    EXPECT_STREQ(info.vendor, "AuthenticAMD");
    EXPECT_EQ(info.logical_per_package, 1);
    EXPECT_EQ(info.physical_count, 2);
    EXPECT_EQ(info.ext_features, (1u << 31) | (1u << 30) | (1u << 22));
    EXPECT_EQ(info.amd_3dnow, 1);
    EXPECT_EQ(info.amd_3dnow_ext, 1);
    EXPECT_EQ(info.mmx2, 1); // from the extended word, without SSE
    EXPECT_EQ(info.sse, 0);
    expect_caches(info, {64, 32, 0, 512, 0});
    EXPECT_STREQ(info.name, "AMD Athlon(tm) Processor");
    EXPECT_FALSE(cpu.asked.count(2));
}

TEST(CpuDecode, ExtendedCacheAndNameLeavesNeedTheirMaximum)
{
    struct Case {
        std::uint32_t max_ext_leaf;
        Caches caches;
        const char* name;
    };
    const Case cases[] = {
        {0x80000006, {64, 32, 0, 512, 0}, "AMD Athlon(tm) Processor"},
        {0x80000005, {64, 32, 0, 0, 0}, "AMD Athlon(tm) Processor"},
        {0x80000004, {0, 0, 0, 0, 0}, "AMD Athlon(tm) Processor"},
        {0x80000003, {0, 0, 0, 0, 0}, ""},
    };
    for (const Case& c : cases) {
        FakeCpu cpu = amd_cpu(0x0642, c.max_ext_leaf);
        CpuInfo info = cpu.decode();
        SCOPED_TRACE(c.max_ext_leaf);
        expect_caches(info, c.caches);
        EXPECT_STREQ(info.name, c.name);
    }
}

TEST(CpuDecode, ModelsThatReportTheirSecondLevelElsewhere)
{
    struct Case {
        const char* vendor;
        std::uint32_t signature;
        std::uint16_t l2;
    };
    const Case cases[] = {
        {"AuthenticAMD", 0x0630, 64},  // family 6 model 3 stepping 0
        {"AuthenticAMD", 0x0631, 512}, // another stepping: the usual field
        {"CentaurHauls", 0x0670, 2},   // family 6 model 7: bits 24-31
        {"CentaurHauls", 0x0681, 2},   // model 8
        {"CentaurHauls", 0x0690, 512}, // model 9: the usual field
        {"CyrixInstead", 0x0670, 512},
    };
    for (const Case& c : cases) {
        FakeCpu cpu = amd_cpu(c.signature, 0x80000006);
        cpu.leaves[0] = vendor_leaf(1, c.vendor);
        EXPECT_EQ(cpu.decode().cache_l2, c.l2) << c.vendor << " " << std::hex << c.signature;
    }
}

TEST(CpuDecode, WithoutExtendedLeavesNothingExtendedIsRead)
{
    FakeCpu cpu = amd_cpu(0x0642, 0x80000000); // the maximum must be above 0x80000000
    CpuInfo info = cpu.decode();
    EXPECT_EQ(info.max_ext_leaf, 0x80000000u);
    EXPECT_EQ(info.ext_features, 0u);
    EXPECT_EQ(info.amd_3dnow, 0);
    EXPECT_EQ(info.mmx2, 0);
    expect_caches(info, {0, 0, 0, 0, 0});
    EXPECT_STREQ(info.name, "");
    EXPECT_FALSE(cpu.asked.count(0x80000001));

    cpu.leaves.erase(0x80000000); // leaf answers zeros
    info = cpu.decode();
    EXPECT_EQ(info.max_ext_leaf, 0u);
    EXPECT_EQ(info.ext_features, 0u);
    EXPECT_STREQ(info.name, "");
}

TEST(CpuDecode, AMaximumLeafOfZeroStopsAfterTheVendor)
{
    FakeCpu cpu = amd_cpu(0x0642, 0x80000008);
    cpu.leaves[0] = vendor_leaf(0, "GenuineIntel");
    CpuInfo info = cpu.decode();
    EXPECT_STREQ(info.vendor, "GenuineIntel");
    EXPECT_EQ(info.max_leaf, 0u);
    EXPECT_EQ(info.features, 0u);
    EXPECT_EQ(info.max_ext_leaf, 0u);
    EXPECT_EQ(info.physical_count, 0);
    EXPECT_STREQ(info.name, "");
    EXPECT_EQ(cpu.asked, std::set<std::uint32_t>{0});
}

TEST(CpuDetect, ReadsTheRealProcessor)
{
    ASSERT_EQ(cpu_detect(), 0); // every x86-64 processor has CPUID
    EXPECT_EQ(std::strlen(g_cpu_info.vendor), 12u);
    EXPECT_GE(g_cpu_info.max_leaf, 1u);
    // The x86-64 baseline.
    EXPECT_EQ(g_cpu_info.mmx, 1);
    EXPECT_EQ(g_cpu_info.sse, 1);
    EXPECT_EQ(g_cpu_info.sse2, 1);
    EXPECT_EQ(g_cpu_info.tsc, 1);
    EXPECT_GE(g_cpu_info.logical_per_package, 1);
    EXPECT_LE(std::strlen(g_cpu_info.name), 48u);
}
