#include "doubles/script_harness.h"

#include "lib/packed_writer.h"
#include "lib/script_assembler.h"

ArchiveSource harness_script_file(const std::string& body)
{
    return {std::string(HARNESS_SCRIPT_PATH) + ".z",
            packed_build(sasm_assemble_or_throw("action 0\n" + body))};
}

std::string script_call(std::int32_t id, const std::string& words)
{
    return "call " + std::to_string(id) + " " + words + "\n";
}

bool script_ended(const GoScript& script)
{
    return (script.flags & GO_FLAG_DEAD) != 0;
}
