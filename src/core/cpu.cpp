#include "core/cpu.h"

#include "platform/win_kernel.h"

#include <algorithm>
#include <cstring>

CpuInfo g_cpu_info{};

namespace {

constexpr std::uint32_t FEATURE_TSC = 1u << 4;
constexpr std::uint32_t FEATURE_CMOV = 1u << 15;
constexpr std::uint32_t FEATURE_CLFLUSH = 1u << 19;
constexpr std::uint32_t FEATURE_MMX = 1u << 23;
constexpr std::uint32_t FEATURE_SSE = 1u << 25;
constexpr std::uint32_t FEATURE_SSE2 = 1u << 26;
constexpr std::uint32_t FEATURE_HTT = 1u << 28;
constexpr std::uint32_t EXT_FEATURE_MMX2 = 1u << 22;
constexpr std::uint32_t EXT_FEATURE_3DNOW_EXT = 1u << 30;
constexpr std::uint32_t EXT_FEATURE_3DNOW = 1u << 31;

constexpr std::uint32_t LEAF_EXT_MAX = 0x80000000;
constexpr std::uint32_t LEAF_EXT_FEATURES = 0x80000001;
constexpr std::uint32_t LEAF_EXT_NAME = 0x80000002;
constexpr std::uint32_t LEAF_EXT_NAME_LAST = 0x80000004;
constexpr std::uint32_t LEAF_EXT_L1 = 0x80000005;
constexpr std::uint32_t LEAF_EXT_L2 = 0x80000006;

struct CacheDescriptor {
    std::uint8_t code;
    std::uint16_t CpuInfo::*slot;
    std::uint16_t size;
};

constexpr CacheDescriptor k_cache_descriptors[] = {
    {0x06, &CpuInfo::cache_l1_inst, 8},  {0x08, &CpuInfo::cache_l1_inst, 16},
    {0x15, &CpuInfo::cache_l1_inst, 16}, {0x77, &CpuInfo::cache_l1_inst, 16},
    {0x0A, &CpuInfo::cache_l1_data, 8},  {0x66, &CpuInfo::cache_l1_data, 8},
    {0x0C, &CpuInfo::cache_l1_data, 16}, {0x10, &CpuInfo::cache_l1_data, 16},
    {0x67, &CpuInfo::cache_l1_data, 16}, {0x68, &CpuInfo::cache_l1_data, 32},
    {0x70, &CpuInfo::cache_trace, 12},   {0x71, &CpuInfo::cache_trace, 16},
    {0x72, &CpuInfo::cache_trace, 32},   {0x1A, &CpuInfo::cache_l2, 96},
    {0x39, &CpuInfo::cache_l2, 128},     {0x3B, &CpuInfo::cache_l2, 128},
    {0x41, &CpuInfo::cache_l2, 128},     {0x79, &CpuInfo::cache_l2, 128},
    {0x81, &CpuInfo::cache_l2, 128},     {0x3C, &CpuInfo::cache_l2, 256},
    {0x42, &CpuInfo::cache_l2, 256},     {0x7A, &CpuInfo::cache_l2, 256},
    {0x7E, &CpuInfo::cache_l2, 256},     {0x82, &CpuInfo::cache_l2, 256},
    {0x43, &CpuInfo::cache_l2, 512},     {0x7B, &CpuInfo::cache_l2, 512},
    {0x83, &CpuInfo::cache_l2, 512},     {0x86, &CpuInfo::cache_l2, 512},
    {0x44, &CpuInfo::cache_l2, 1024},    {0x7C, &CpuInfo::cache_l2, 1024},
    {0x84, &CpuInfo::cache_l2, 1024},    {0x87, &CpuInfo::cache_l2, 1024},
    {0x45, &CpuInfo::cache_l2, 2048},    {0x85, &CpuInfo::cache_l2, 2048},
    {0x22, &CpuInfo::cache_l3, 512},     {0x23, &CpuInfo::cache_l3, 1024},
    {0x25, &CpuInfo::cache_l3, 2048},    {0x88, &CpuInfo::cache_l3, 2048},
    {0x8D, &CpuInfo::cache_l3, 3072},    {0x29, &CpuInfo::cache_l3, 4096},
    {0x89, &CpuInfo::cache_l3, 4096},    {0x8A, &CpuInfo::cache_l3, 8192},
};

// The descriptor that means "no second-level (or, on family 15, third-level) cache".
constexpr std::uint8_t DESCRIPTOR_NO_CACHE = 0x40;
constexpr std::uint8_t FAMILY_NETBURST = 15;

struct BrandName {
    std::uint8_t index;
    const char* name;
};

constexpr BrandName k_intel_brand_names[] = {
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
};

std::uint8_t byte_at(std::uint32_t value, int shift)
{
    return static_cast<std::uint8_t>(value >> shift);
}

bool is_vendor(const CpuInfo& info, const char* vendor)
{
    return std::strcmp(info.vendor, vendor) == 0;
}

void apply_cache_descriptor(CpuInfo& info, std::uint8_t code)
{
    if (code == DESCRIPTOR_NO_CACHE) {
        (info.family == FAMILY_NETBURST ? info.cache_l3 : info.cache_l2) = 0;
        return;
    }
    for (const CacheDescriptor& descriptor : k_cache_descriptors) {
        if (descriptor.code == code) {
            info.*descriptor.slot = descriptor.size;
            return;
        }
    }
}

// Leaf 2 is read once; its lowest byte is a repeat count, not a descriptor. A register with
// bit 31 set holds no descriptors.
void decode_intel_caches(CpuInfo& info, const CpuidQuery& query)
{
    std::uint32_t registers[4];
    query(2, registers);
    for (int byte = 15; byte >= 1; --byte) {
        std::uint32_t reg = registers[byte / 4];
        if (reg & 0x80000000u) continue;
        apply_cache_descriptor(info, byte_at(reg, (byte % 4) * 8));
    }
}

void decode_extended_caches(CpuInfo& info, const CpuidQuery& query)
{
    std::uint32_t registers[4];
    if (info.max_ext_leaf >= LEAF_EXT_L1) {
        query(LEAF_EXT_L1, registers);
        info.cache_l1_data = byte_at(registers[2], 24);
        info.cache_l1_inst = byte_at(registers[3], 24);
    }
    if (info.max_ext_leaf >= LEAF_EXT_L2) {
        query(LEAF_EXT_L2, registers);
        // These two models report their second-level size in a different field.
        if (is_vendor(info, "CentaurHauls") && info.family == 6 && (info.model == 7 || info.model == 8))
            info.cache_l2 = byte_at(registers[2], 24);
        else if (is_vendor(info, "AuthenticAMD") && info.family == 6 && info.model == 3 && info.stepping == 0)
            info.cache_l2 = 64;
        else
            info.cache_l2 = static_cast<std::uint16_t>(registers[2] >> 16);
    }
}

void decode_intel_name(CpuInfo& info)
{
    for (const BrandName& brand : k_intel_brand_names) {
        if (brand.index == info.brand_index) {
            std::strcpy(info.name, brand.name);
            return;
        }
    }
}

void decode_extended_name(CpuInfo& info, const CpuidQuery& query)
{
    if (info.max_ext_leaf < LEAF_EXT_NAME_LAST) return;
    char* out = info.name;
    for (std::uint32_t leaf = LEAF_EXT_NAME; leaf <= LEAF_EXT_NAME_LAST; ++leaf) {
        std::uint32_t registers[4];
        query(leaf, registers);
        std::memcpy(out, registers, sizeof registers);
        out += sizeof registers;
    }
    info.name[48] = '\0';
}

void decode_leaf1(CpuInfo& info, const CpuidQuery& query, std::uint32_t system_processors)
{
    std::uint32_t r[4];
    query(1, r);
    const std::uint32_t eax = r[0], ebx = r[1], edx = r[3];
    info.signature = static_cast<std::uint16_t>(eax & 0x3FFF);
    info.type = (eax >> 12) & 0x3;
    info.family = (eax >> 8) & 0xF;
    info.model = (eax >> 4) & 0xF;
    info.stepping = eax & 0xF;
    info.ext_family = byte_at(eax, 20);
    info.ext_model = (eax >> 16) & 0xF;
    info.brand_index = byte_at(ebx, 0);
    info.features = edx;

    info.logical_per_package = 1;
    std::uint32_t physical = system_processors;
    if (edx & FEATURE_HTT) {
        // Some virtual machines report hyper-threading with a logical count of 0.
        info.logical_per_package = std::max<std::uint8_t>(byte_at(ebx, 16), 1);
        info.apic_id = byte_at(ebx, 24);
        physical /= info.logical_per_package;
    }
    info.physical_count = static_cast<std::uint8_t>(std::min<std::uint32_t>(physical, 255));
    if (edx & FEATURE_CLFLUSH) info.cache_line_size = static_cast<std::uint8_t>(byte_at(ebx, 8) * 8);
}

void decode_flags(CpuInfo& info)
{
    auto flag = [](std::uint32_t word, std::uint32_t bit) -> std::uint8_t { return (word & bit) ? 1 : 0; };
    info.mmx = flag(info.features, FEATURE_MMX);
    info.cmov = flag(info.features, FEATURE_CMOV);
    info.tsc = flag(info.features, FEATURE_TSC);
    info.sse = flag(info.features, FEATURE_SSE);
    info.sse2 = flag(info.features, FEATURE_SSE2);
    info.amd_3dnow = flag(info.ext_features, EXT_FEATURE_3DNOW);
    info.amd_3dnow_ext = flag(info.ext_features, EXT_FEATURE_3DNOW_EXT);
    info.mmx2 = info.sse | flag(info.ext_features, EXT_FEATURE_MMX2);
}

} // namespace

void cpu_decode(CpuInfo& info, const CpuidQuery& query, std::uint32_t system_processors)
{
    info = CpuInfo{};
    std::uint32_t r[4];
    query(0, r);
    info.max_leaf = r[0];
    std::memcpy(info.vendor, &r[1], 4);
    std::memcpy(info.vendor + 4, &r[3], 4);
    std::memcpy(info.vendor + 8, &r[2], 4);
    if (info.max_leaf == 0) return;

    decode_leaf1(info, query, system_processors);

    query(LEAF_EXT_MAX, r);
    info.max_ext_leaf = r[0];
    if (info.max_ext_leaf > LEAF_EXT_MAX) {
        query(LEAF_EXT_FEATURES, r);
        info.ext_features = r[3];
    }
    decode_flags(info);

    if (is_vendor(info, "GenuineIntel")) {
        decode_intel_caches(info, query);
        decode_intel_name(info);
    } else {
        decode_extended_caches(info, query);
        decode_extended_name(info, query);
    }
}

int cpu_detect()
{
    g_cpu_info = CpuInfo{};
    if (!cpuid_available()) return -1;
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    cpu_decode(g_cpu_info, cpuid_query, system.dwNumberOfProcessors);
    return 0;
}
