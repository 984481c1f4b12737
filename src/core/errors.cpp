#include "core/errors.h"

#include "core/text.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

const char* const k_own_messages[] = {
    "Unknown format.",      "Unsupported format.", "Unmatched version.",   "Overflow.",
    "Underflow.",           "Broken data.",        "Undefined symbol.",    "Symbol not found.",
    "Couldn't open file.",  "Couldn't read file.", "Couldn't write file.", "Couldn't seek file.",
    "Procedure not found.", "DLL not found.",      "Object not found.",    "Need DirectX8.1.",
};

struct CodeName {
    HRESULT code;
    const char* name;
};

const CodeName k_code_names[] = {
    {S_OK, "S_OK"},
    {E_FAIL, "E_FAIL"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_ACCESSDENIED, "E_ACCESSDENIED"},
    {E_UNEXPECTED, "E_UNEXPECTED"},
    {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
    {D3DERR_CONFLICTINGRENDERSTATE, "D3DERR_CONFLICTINGRENDERSTATE"},
    {D3DERR_CONFLICTINGTEXTUREFILTER, "D3DERR_CONFLICTINGTEXTUREFILTER"},
    {D3DERR_CONFLICTINGTEXTUREPALETTE, "D3DERR_CONFLICTINGTEXTUREPALETTE"},
    {D3DERR_DEVICELOST, "D3DERR_DEVICELOST"},
    {D3DERR_DEVICENOTRESET, "D3DERR_DEVICENOTRESET"},
    {D3DERR_DRIVERINVALIDCALL, "D3DERR_DRIVERINVALIDCALL"},
    {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR"},
    {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL"},
    {D3DERR_INVALIDDEVICE, "D3DERR_INVALIDDEVICE"},
    {D3DERR_MOREDATA, "D3DERR_MOREDATA"},
    {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE"},
    {D3DERR_NOTFOUND, "D3DERR_NOTFOUND"},
    {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY"},
    {D3DERR_TOOMANYOPERATIONS, "D3DERR_TOOMANYOPERATIONS"},
    {D3DERR_UNSUPPORTEDALPHAARG, "D3DERR_UNSUPPORTEDALPHAARG"},
    {D3DERR_UNSUPPORTEDALPHAOPERATION, "D3DERR_UNSUPPORTEDALPHAOPERATION"},
    {D3DERR_UNSUPPORTEDCOLORARG, "D3DERR_UNSUPPORTEDCOLORARG"},
    {D3DERR_UNSUPPORTEDCOLOROPERATION, "D3DERR_UNSUPPORTEDCOLOROPERATION"},
    {D3DERR_UNSUPPORTEDFACTORVALUE, "D3DERR_UNSUPPORTEDFACTORVALUE"},
    {D3DERR_UNSUPPORTEDTEXTUREFILTER, "D3DERR_UNSUPPORTEDTEXTUREFILTER"},
    {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT"},
};
static_assert(std::size(k_own_messages) == 16 && std::size(k_code_names) == 31);

const char* code_name(HRESULT code)
{
    if (code == S_OK) return "ok.";
    auto bits = static_cast<std::uint32_t>(code);
    if ((bits >> 16) == 0x80FF && (bits & 0xFFFF) >= 1 && (bits & 0xFFFF) <= 16)
        return k_own_messages[(bits & 0xFFFF) - 1];
    for (const CodeName& row : k_code_names)
        if (row.code == code) return row.name;
    return "";
}

} // namespace

char* err_hresult_text(HRESULT code, const char* message, char* buffer, std::size_t size)
{
    if (size == 0) return buffer;
    // Texts longer than the work area are cut there; sites keep their details far shorter.
    char work[768];
    int length = std::snprintf(work, sizeof work, "%s(%08xh)", code_name(code), static_cast<unsigned>(code));
    if (message && length < static_cast<int>(sizeof work))
        std::snprintf(work + length, sizeof work - length, "\r\n->%s", message);
    return buffer + sys_copy_string(buffer, work, size);
}

void err_build_message(char* out, const char* file, unsigned line, const char* message)
{
    char work[RUNTIME_ERROR_SIZE * 2] = "";
    int length = 0;
    if (message) length = std::snprintf(work, sizeof work, "%s\n", message);
    if (file && length < static_cast<int>(sizeof work))
        std::snprintf(work + length, sizeof work - length, "%s(%u)\n", path_file_name(file), line);
    sys_copy_string(out, work, RUNTIME_ERROR_SIZE);
}

char* err_build_message_ret(const char* message, unsigned line, char* out, const char* file)
{
    err_build_message(out, file, line, message);
    return out;
}

void err_raise(const char* message, const char* file, unsigned line)
{
    RuntimeError error;
    err_build_message(error.text, file, line, message);
    throw error;
}

void err_raise_code(HRESULT code, const char* detail, const char* file, unsigned line)
{
    char text[ERR_DETAIL_SIZE];
    err_hresult_text(code, detail, text, sizeof text);
    err_raise(text, file, line);
}
