// Result codes, their texts and the program's one exception, RuntimeError.
// Operations return result codes (negative = failure, callers test only the sign); what
// cannot be recovered from is thrown as a RuntimeError and caught only by the program body.
#pragma once

#include "platform/d3d8_errors.h"
#include "platform/win_types.h"

#include <cstddef>

constexpr HRESULT ERR_UNKNOWN_FORMAT = make_hresult(0x80FF0001);     // a file's magic is wrong
constexpr HRESULT ERR_UNSUPPORTED_FORMAT = make_hresult(0x80FF0002); // record size or layout
constexpr HRESULT ERR_UNMATCHED_VERSION = make_hresult(0x80FF0003);
constexpr HRESULT ERR_OVERFLOW = make_hresult(0x80FF0004);
constexpr HRESULT ERR_UNDERFLOW = make_hresult(0x80FF0005);
constexpr HRESULT ERR_BROKEN_DATA = make_hresult(0x80FF0006); // a checksum does not match
constexpr HRESULT ERR_UNDEFINED_SYMBOL = make_hresult(0x80FF0007);
constexpr HRESULT ERR_SYMBOL_NOT_FOUND = make_hresult(0x80FF0008);
constexpr HRESULT ERR_OPEN_FILE = make_hresult(0x80FF0009);
constexpr HRESULT ERR_READ_FILE = make_hresult(0x80FF000A);
constexpr HRESULT ERR_WRITE_FILE = make_hresult(0x80FF000B);
constexpr HRESULT ERR_SEEK_FILE = make_hresult(0x80FF000C);
constexpr HRESULT ERR_PROC_NOT_FOUND = make_hresult(0x80FF000D);
constexpr HRESULT ERR_DLL_NOT_FOUND = make_hresult(0x80FF000E);
constexpr HRESULT ERR_OBJECT_NOT_FOUND = make_hresult(0x80FF000F);
constexpr HRESULT ERR_NEED_DX81 = make_hresult(0x80FF0010);
constexpr HRESULT ERR_D3D_CREATE = make_hresult(0x80FF0011); // has no message

constexpr std::size_t RUNTIME_ERROR_SIZE = 512;
constexpr std::size_t ERR_DETAIL_SIZE = 300;

// A plain record thrown and caught by value: the message line, then the throwing source's
// name with the line number.
struct RuntimeError {
    char text[RUNTIME_ERROR_SIZE];
};

// Writes "<name>(%08xh)" and, with a message, "\r\n-><message>" into the buffer, cut to the
// size without splitting a double-byte character. Returns the written terminator (the buffer
// itself when size is 0).
char* err_hresult_text(HRESULT code, const char* message, char* buffer, std::size_t size);

// Writes "<message>\n<file name>(<line>)\n" into a RUNTIME_ERROR_SIZE buffer; either part may be null.
void err_build_message(char* out, const char* file, unsigned line, const char* message);
char* err_build_message_ret(const char* message, unsigned line, char* out, const char* file);

// Builds the text of a fatal error and throws it.
[[noreturn]] void err_raise(const char* message, const char* file, unsigned line);
// The same for a result code with a detail naming what failed (a file, "Bgm_Play" ...).
[[noreturn]] void err_raise_code(HRESULT code, const char* detail, const char* file, unsigned line);

#define ERR_HERE __FILE__, __LINE__
