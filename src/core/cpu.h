// The processor's identity from the CPUID instruction, kept in one global record filled once
// at start-up; the settings program's system report shows it and the maths reads its SSE flag.
#pragma once

#include <cstdint>
#include <functional>

struct CpuInfo {
    std::uint32_t max_leaf;  // 0 when leaf 0 reports none
    char vendor[13];         // leaf 0: EBX, EDX, ECX
    std::uint16_t signature; // leaf 1 EAX bits 0-13
    std::uint8_t type;
    std::uint8_t family;
    std::uint8_t model;
    std::uint8_t stepping;
    std::uint8_t ext_family;
    std::uint8_t ext_model;
    std::uint8_t brand_index;
    std::uint32_t features; // leaf 1 EDX
    std::uint8_t logical_per_package;
    std::uint8_t physical_count;
    std::uint8_t cache_line_size; // bytes
    std::uint8_t apic_id;
    std::uint32_t max_ext_leaf;
    std::uint32_t ext_features; // leaf 0x80000001 EDX
    std::uint8_t mmx;
    std::uint8_t cmov;
    std::uint8_t tsc;
    std::uint8_t sse;
    std::uint8_t sse2;
    std::uint8_t amd_3dnow;
    std::uint8_t amd_3dnow_ext;
    std::uint8_t mmx2;
    std::uint16_t cache_l1_data; // KiB
    std::uint16_t cache_l1_inst;
    std::uint16_t cache_trace; // thousands of micro-operations
    std::uint16_t cache_l2;
    std::uint16_t cache_l3;
    char name[49];
};
extern CpuInfo g_cpu_info;

// Answers one CPUID leaf: EAX, EBX, ECX, EDX.
using CpuidQuery = std::function<void(std::uint32_t leaf, std::uint32_t registers[4])>;

// Fills the record from the answers of `query` and the system's processor count.
void cpu_decode(CpuInfo& info, const CpuidQuery& query, std::uint32_t system_processors);

// Fills g_cpu_info from the real processor; -1 (record left empty) when it has no CPUID.
int cpu_detect();
