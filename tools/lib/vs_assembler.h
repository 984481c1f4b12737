// Assembler of vs.1.0/1.1 vertex-shader text into the token stream of a ".vso" file.
// One statement a line: the version ("vs.1.1"), then instructions "op dst, src, ..." with the
// registers r0-r11, v0-v15, c0-c95, a0, oPos, oFog, oPts, oD0-oD1, oT0-oT7; write masks
// ("r0.xz"), swizzles ("v1.zxyw", fewer letters repeat the last), negation ("-r0") and relative
// constants ("c[a0.x + 24]"). Comments run from ';' or "//" to the end of the line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct VsAssembly {
    std::vector<std::uint32_t> tokens; // version .. end token; empty on error
    std::string error;                 // "line N: ..." on error
    bool ok() const { return error.empty(); }
};

VsAssembly vsasm_assemble(std::string_view text);
// The tokens of text that must assemble (the project's own programs); throws std::logic_error
// with the error and the text otherwise.
std::vector<std::uint32_t> vsasm_assemble_or_throw(std::string_view text);
