#include "object/go_script.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/text.h"
#include "game/g_achievements.h"
#include "game/g_fade.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_region.h"
#include "game/g_scene.h"
#include "game/g_scene_map.h"
#include "game/g_settings.h"
#include "game/g_tick.h"
#include "gfx/ani_dat.h"
#include "gfx/ani_script.h"
#include "object/actor/go_actor.h"
#include "object/go_script_cmd_flow.h"
#include "object/go_script_cmd_map.h"
#include "object/go_script_cmd_player.h"
#include "object/go_script_cmd_screen.h"
#include "object/go_script_cmd_window.h"
#include "object/go_skybox.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddialog.h"
#include "object/wnd/go_wndtext.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

std::int32_t g_event_lock_count[EVENT_LOCK_MODES] = {};

bool script_event_running()
{
    return g_event_lock_count[EVENT_LOCK_EVENT] > 0 || g_event_lock_count[EVENT_LOCK_EVENT_NO_AI] > 0;
}

namespace {

constexpr const char* k_source = "go_script";
constexpr unsigned k_line_load = 76;
constexpr unsigned k_line_arguments = 80;
constexpr unsigned k_line_command = 1758;
constexpr unsigned k_line_opcode = 1870;
constexpr unsigned k_division_lines[SCRIPT_DIVISION_ERRORS] = {746, 755, 764, 773, 898, 907, 916, 925};
constexpr std::uint32_t k_op_end = 1; // the animation scripts' yield
constexpr std::size_t k_word = sizeof(ScriptWord);

ScriptCommand g_script_commands[SCRIPT_COMMAND_COUNT] = {};

// ---- Errors ---------------------------------------------------------------------------------------
// "<what> <value> (script <name>)"
[[noreturn]] void fail(const GoScript& script, HRESULT code, unsigned line, const char* what,
                       std::int64_t value)
{
    char detail[ERR_DETAIL_SIZE];
    std::snprintf(detail, sizeof detail, "%s %lld (script %s)", what, static_cast<long long>(value),
                  script.name);
    err_raise_code(code, detail, k_source, line);
}

// The number of an opcode or command id, then the script's name without a separator.
[[noreturn]] void fail_undefined(const GoScript& script, HRESULT code, unsigned line, std::uint32_t number)
{
    char detail[ERR_DETAIL_SIZE];
    std::snprintf(detail, sizeof detail, "Undefined instruction [%d]%s", static_cast<int>(number),
                  script.name);
    err_raise_code(code, detail, k_source, line);
}

// ---- Loading ------------------------------------------------------------------------------------------
// The table of `count` offsets at byte `area` of the file, and every text it points at, lie inside
// the file, each text with its terminator.
bool string_table_fits(std::span<const std::uint8_t> file, std::uint64_t area, std::uint32_t count)
{
    const std::uint64_t texts = area + std::uint64_t{count} * k_word;
    if (texts > file.size()) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t offset = 0;
        bytes_get_u32(file, area + std::uint64_t{i} * k_word, offset);
        const std::uint64_t text = texts + offset;
        if (text >= file.size() || !std::memchr(file.data() + text, 0, file.size() - text)) return false;
    }
    return true;
}

// The loader has checked the actions' code; their string areas follow it.
HRESULT check_string_tables(const AniScriptSet& set)
{
    const std::span<const std::uint8_t> file{set.file.get(), set.file_size};
    const auto code_start =
        static_cast<std::uint64_t>(reinterpret_cast<const std::uint8_t*>(set.code) - file.data());
    for (const AniAction& action : std::span(set.actions, set.header->action_count)) {
        const std::uint64_t area = code_start + action.code_offset + std::uint64_t{action.length} * k_word;
        if (!string_table_fits(file, area, action.string_count)) return ERR_BROKEN_DATA;
    }
    return S_OK;
}

// ---- Words ------------------------------------------------------------------------------------------
// The counter moves past the argument words before the command runs; words past the code are
// left out of the call.
ScriptFlow run_command(GoScript& script, ScriptWord word, std::span<const ScriptWord> code)
{
    const std::uint32_t argc = script_word_argc(word);
    const std::size_t held = std::min<std::size_t>(argc, code.size() - script.pc);
    ScriptCall call{script, code.subspan(script.pc, held), argc};
    script.pc += argc;
    const std::int32_t id = script_word_function(word);
    const ScriptCommand command = id < SCRIPT_COMMAND_COUNT ? g_script_commands[id] : nullptr;
    if (!command)
        fail_undefined(script, ERR_SYMBOL_NOT_FOUND, k_line_command, static_cast<std::uint32_t>(id));
    return command(call);
}

ScriptFlow run_word(GoScript& script, std::span<const ScriptWord> code)
{
    const ScriptWord word = code[script.pc++];
    const std::uint32_t opcode = script_word_opcode(word);
    if (opcode == SCRIPT_OP_NOP) return SCRIPT_NEXT;
    if (opcode == k_op_end) return SCRIPT_END;
    if (opcode == SCRIPT_OP_CALL) return run_command(script, word, code);
    if (opcode == SCRIPT_OP_CLEAR2 || opcode >= SCRIPT_OP_COUNT)
        fail_undefined(script, E_FAIL, k_line_opcode, opcode);
    script_run_plain_opcode(opcode, code, script.pc, script.accumulator);
    return SCRIPT_NEXT;
}

// ---- Locks ------------------------------------------------------------------------------------------
void write_event_running()
{
    g_play_state.game_flags[GF_EVENT_RUNNING] = script_event_running();
}

void stop_player(GoActor& player)
{
    player.rotation._41 = player.rotation._42 = player.rotation._43 = 0.0f; // the velocity
    player.push_velocity = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    player.target_facing = player.facing;
}

// ---- Commands -----------------------------------------------------------------------------------------
ScriptFlow wait_unless(bool condition)
{
    return condition ? SCRIPT_NEXT : SCRIPT_WAIT;
}

ScriptFlow cmd_event_begin(ScriptCall& call)
{
    call.script.BeginEvent(call.arg(0));
    return SCRIPT_NEXT;
}

ScriptFlow cmd_event_end(ScriptCall& call)
{
    call.script.EndEvent();
    return SCRIPT_NEXT;
}

ScriptFlow cmd_yield(ScriptCall&)
{
    return SCRIPT_STOP;
}

ScriptFlow cmd_wait_fade(ScriptCall&)
{
    return wait_unless(script_fade_done());
}

// n - 1 ticks are skipped, so 0, 1 and 2 all resume on the next whole tick.
ScriptFlow cmd_wait_ticks(ScriptCall& call)
{
    const std::int32_t n = call.arg(0);
    call.script.wait = n < 1 ? 0 : n - 1;
    return SCRIPT_STOP;
}

ScriptFlow cmd_wait_script_end(ScriptCall& call)
{
    return wait_unless(!script_find_running(call.text(0)));
}

ScriptFlow cmd_wait_flag(ScriptCall& call)
{
    return wait_unless(call.var(0) == call.arg(1));
}

ScriptFlow cmd_none(ScriptCall&)
{
    return SCRIPT_NEXT;
}

std::int32_t* variable_of(std::int32_t index, void* script)
{
    return script_var_address(*static_cast<GoScript*>(script), index);
}

// FUNCID_REG_TAFIRST: the title's time-attack choice is the first stage.
void reg_ta_first(std::span<const ScriptWord>, void* script)
{
    static_cast<GoScript*>(script)->accumulator = g_title_time_attack_index == 0 ? 1 : 0;
}

template <std::int32_t Id> ScriptFlow cmd_shared(ScriptCall& call)
{
    ScriptOpsContext context{call.script.accumulator, &variable_of, &call.script, k_source,
                             k_division_lines,        &reg_ta_first};
    script_ops_run(Id, call.args, context);
    return SCRIPT_NEXT;
}

constexpr ScriptCommandRow k_own_rows[] = {
    {57, &cmd_event_begin}, {58, &cmd_event_end},  {95, &cmd_yield},
    {96, &cmd_wait_fade},   {97, &cmd_wait_ticks}, {105, &cmd_wait_script_end},
    {107, &cmd_wait_flag},  {59, &cmd_none},       {140, &cmd_none},
    {259, &cmd_none},       {273, &cmd_none},      {277, &cmd_none},
    {278, &cmd_none},
};

template <std::size_t... I>
constexpr std::array<ScriptCommandRow, std::size(k_own_rows) + sizeof...(I)>
flow_rows(std::index_sequence<I...>)
{
    std::array<ScriptCommandRow, std::size(k_own_rows) + sizeof...(I)> rows{};
    const ScriptCommandRow shared[] = {{SCRIPT_OPS_FIRST + static_cast<std::int32_t>(I),
                                        &cmd_shared<SCRIPT_OPS_FIRST + static_cast<std::int32_t>(I)>}...};
    std::copy(std::begin(k_own_rows), std::end(k_own_rows), rows.begin());
    std::copy(std::begin(shared), std::end(shared), rows.begin() + std::size(k_own_rows));
    return rows;
}

constexpr auto k_flow_rows = flow_rows(std::make_index_sequence<SCRIPT_OPS_LAST - SCRIPT_OPS_FIRST + 1>{});

// Ids 1-37 and 50 are the animation scripts' own.
bool command_definable(std::int32_t id)
{
    return id >= 0 && id < SCRIPT_COMMAND_COUNT && (id == 0 || id > 37) && id != 50;
}

} // namespace

// ---- GoScript -----------------------------------------------------------------------------------------
GoScript::GoScript() : GoBase(go_next_object_id(GO_CLASS_SCRIPT), GO_CLASS_SCRIPT) {}

GoScript::~GoScript()
{
    EndEvent();
}

void GoScript::Load(const char* path, const char* script_name, std::span<const std::int32_t> args)
{
    if (std::strlen(script_name) >= SCRIPT_NAME_SIZE) {
        char detail[ERR_DETAIL_SIZE];
        std::snprintf(detail, sizeof detail, "Script name of 80 bytes or more: %s", script_name);
        err_raise_code(E_FAIL, detail, k_source, __LINE__);
    }
    sys_copy_string(name, script_name, sizeof name);
    code_set = std::make_unique<AniScriptSet>();
    HRESULT hr = ani_dat_load_script_file(path, *code_set);
    if (SUCCEEDED(hr)) hr = check_string_tables(*code_set);
    if (FAILED(hr)) err_raise_code(hr, path, k_source, k_line_load);
    if (args.size() > SCRIPT_LOCALS) err_raise_code(E_FAIL, path, k_source, k_line_arguments);
    std::fill(std::begin(locals), std::end(locals), 0);
    std::copy(args.begin(), args.end(), locals);
}

void GoScript::Update()
{
    if (!g_paused && g_whole_tick) Run();
}

void GoScript::Run()
{
    if (g_scene_change_busy) return;
    if (wait != 0 && --wait != 0) return;
    const AniAction* action = code_set ? ani_find_action(*code_set, 0) : nullptr;
    if (!action) return;
    const std::span<const ScriptWord> code(code_set->code + action->code_offset / k_word, action->length);

    for (std::uint32_t executed = 0; pc < code.size(); ++executed) {
        if (executed == SCRIPT_RUN_LIMIT)
            fail(*this, E_FAIL, __LINE__, "Words run without giving control back:", executed);
        const std::uint32_t call_pc = pc;
        const ScriptFlow flow = run_word(*this, code);
        if (flow == SCRIPT_WAIT) pc = call_pc;
        if (flow == SCRIPT_WAIT || flow == SCRIPT_STOP) return;
        if (flow == SCRIPT_END) break;
    }
    End();
}

void GoScript::End()
{
    EndEvent();
    const GoBase* window = AwaitedWindow();
    if (window && window->GetClassCode() == GO_CLASS_WNDDIALOG) ReleaseWindow();
    go_kill(*this);
}

// The loader has checked every offset and text of the table.
const char* GoScript::StringOperand(std::int32_t index) const
{
    if (index == -1) return nullptr;
    const AniAction* action = code_set ? ani_find_action(*code_set, 0) : nullptr;
    if (!action || index < 0 || static_cast<std::uint32_t>(index) >= action->string_count)
        fail(*this, ERR_BROKEN_DATA, __LINE__, "String operand past the table:", index);
    const std::uint32_t* area = code_set->code + action->code_offset / k_word + action->length;
    return reinterpret_cast<const char*>(area + action->string_count) + area[index];
}

void GoScript::BeginEvent(std::int32_t mode)
{
    if (mode < EVENT_LOCK_EVENT || mode >= EVENT_LOCK_MODES)
        fail(*this, E_FAIL, __LINE__, "Event lock mode", mode);
    EndEvent();
    event_lock = static_cast<EventLock>(mode);
    const std::int32_t count = ++g_event_lock_count[mode];
    if (g_player) {
        if (count == 1) stop_player(*g_player);
        player_ailment_auras_detach();
        player_powerup_auras_detach();
        g_play_state.magic_charge = 0.0f;
        g_play_state.charge_level = 0;
    }
    write_event_running();
}

// A counter already at 0 stays there: the drops share the mode-2 counter.
void GoScript::EndEvent()
{
    if (event_lock == EVENT_LOCK_NONE) return;
    std::int32_t& count = g_event_lock_count[event_lock];
    if (count >= 1 && --count == 0 && g_player) {
        player_ailment_auras_attach();
        player_powerup_auras_attach();
    }
    g_play_state.game_flags[GF_ACTOR_SOUND_PULL] = 0;
    write_event_running();
    event_lock = EVENT_LOCK_NONE;
}

void GoScript::ReleaseWindow()
{
    GoBase* window = AwaitedWindow();
    if (window && window->GetClassCode() == GO_CLASS_WNDDIALOG)
        static_cast<GoWndDialog*>(window)->close_request = 1;
    else if (window && window->GetClassCode() == GO_CLASS_WNDTEXT)
        static_cast<GoWndText*>(window)->close_request = 1;
    awaited_window = {};
}

GoBase* GoScript::AwaitedWindow()
{
    GoBase* window = awaited_window.get();
    if (!window) awaited_window = {};
    return window;
}

// ---- Variables and commands -----------------------------------------------------------------------
// The comparison is unsigned, so a negative index is out of range like one past the locals.
std::int32_t* script_var_address(GoScript& script, std::int32_t index)
{
    const auto i = static_cast<std::uint32_t>(index);
    if (i < static_cast<std::uint32_t>(SCRIPT_VAR_LOCAL_FIRST)) return &g_play_state.game_flags[i];
    if (i < static_cast<std::uint32_t>(SCRIPT_VAR_COUNT)) return &script.locals[i - SCRIPT_VAR_LOCAL_FIRST];
    fail(script, E_FAIL, __LINE__, "Variable index out of range:", index);
}

GoScript* script_find_running(const char* name)
{
    if (!name) return nullptr;
    for (std::int32_t i = 0; i < g_pool_script.count; ++i) {
        auto* script = static_cast<GoScript*>(g_pool_script.active[i]);
        if (!(script->flags & GO_FLAG_DEAD) && sys_names_equal(script->name, name)) return script;
    }
    return nullptr;
}

float ScriptCall::arg_float(std::size_t i) const
{
    return std::bit_cast<float>(arg(i));
}

std::int32_t& ScriptCall::var(std::size_t i) const
{
    return *script_var_address(script, arg(i));
}

const char* ScriptCall::text(std::size_t i) const
{
    return script.StringOperand(arg(i));
}

std::span<const ScriptCommandRow> script_flow_commands()
{
    return k_flow_rows;
}

void script_install_commands()
{
    const std::span<const ScriptCommandRow> modules[] = {
        script_flow_commands(),    fade_script_commands(),       region_camera_script_commands(),
        scene_script_commands(),   scene_map_script_commands(),  skybox_script_commands(),
        achv_script_commands(),    script_cmd_flow_commands(),   script_cmd_screen_commands(),
        script_cmd_map_commands(), script_cmd_player_commands(), script_cmd_window_commands()};
    script_install_command_rows(modules);
}

void script_install_command_rows(std::span<const std::span<const ScriptCommandRow>> modules)
{
    std::fill(std::begin(g_script_commands), std::end(g_script_commands), nullptr);
    for (const std::span<const ScriptCommandRow> rows : modules)
        for (const ScriptCommandRow& row : rows) {
            if (!command_definable(row.id)) {
                char detail[ERR_DETAIL_SIZE];
                std::snprintf(detail, sizeof detail, "Script command id %d cannot be defined", row.id);
                err_raise_code(E_FAIL, detail, k_source, __LINE__);
            }
            g_script_commands[row.id] = row.command;
        }
}
