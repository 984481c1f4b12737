// Basic types and result codes of the Windows platform surface the game was written against.
// Only what the game uses is declared; numbering follows the platform's public values,
// since stored data and comparisons depend on them.
#pragma once

#include <cstdint>
#include <cstring>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using DWORD_PTR = std::uintptr_t;
using SIZE_T = std::size_t;

using HANDLE = void*;
using HINSTANCE = struct InstanceTag*;
using HMODULE = HINSTANCE;
using HWND = struct WindowTag*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr DWORD INFINITE = 0xFFFFFFFF;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}

constexpr HRESULT make_hresult(std::uint32_t bits)
{
    return static_cast<HRESULT>(bits);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = make_hresult(0x80004005);
constexpr HRESULT E_INVALIDARG = make_hresult(0x80070057);
constexpr HRESULT E_NOINTERFACE = make_hresult(0x80004002);
constexpr HRESULT E_OUTOFMEMORY = make_hresult(0x8007000E);
constexpr HRESULT E_NOTIMPL = make_hresult(0x80004001);
constexpr HRESULT E_ACCESSDENIED = make_hresult(0x80070005);
constexpr HRESULT E_UNEXPECTED = make_hresult(0x8000FFFF);
constexpr HRESULT CLASS_E_NOAGGREGATION = make_hresult(0x80040110);
constexpr HRESULT REGDB_E_CLASSNOTREG = make_hresult(0x80040154);

constexpr DWORD MAX_PATH = 260;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
inline BOOL IsEqualGUID(const GUID& a, const GUID& b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
