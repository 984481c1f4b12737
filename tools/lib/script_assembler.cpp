#include "lib/script_assembler.h"

#include "lib/le_bytes.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <stdexcept>

namespace {

const SasmFunctionName k_function_names[] = {
    {"FUNCID_EVENT", 0},
    {"FUNCID_COLOR_B", 1},
    {"FUNCID_WAIT", 2},
    {"FUNCID_SET_IMAGES", 3},
    {"FUNCID_SET_ANIM", 4},
    {"FUNCID_MARK", 5},
    {"FUNCID_GOTO_ACTION", 6},
    {"FUNCID_COLOR_A", 7},
    {"FUNCID_JUMP", 8},
    {"FUNCID_PUSH", 9},
    {"FUNCID_SPAWN_XX", 10},
    {"FUNCID_SWITCH5", 11},
    {"FUNCID_SWITCH4", 12},
    {"FUNCID_SWITCH01", 13},
    {"FUNCID_SWITCH2", 14},
    {"FUNCID_NO_REACTION", 15},
    {"FUNCID_SWITCH1", 16},
    {"FUNCID_MOVE_SCALE", 17},
    {"FUNCID_SWITCH3", 18},
    {"FUNCID_NO_HIT", 19},
    {"FUNCID_OFFSET_Y", 20},
    {"FUNCID_DIR_OFFSET", 21},
    {"FUNCID_LAND_EVENT", 22},
    {"FUNCID_REG_ONGROUND", 23},
    {"FUNCID_BOOST_ADD", 24},
    {"FUNCID_ATTACK", 25},
    {"FUNCID_SWORD_TRAIL", 26},
    {"FUNCID_EFFECT", 27},
    {"FUNCID_DROP_ITEMS", 28},
    {"FUNCID_DROP_ITEMS_LONG", 29},
    {"FUNCID_REG_PREVACTION", 30},
    {"FUNCID_LOCAL_EQINT", 31},
    {"FUNCID_LOCAL_SETINT", 32},
    {"FUNCID_LOCAL_ADDINT", 33},
    {"FUNCID_LOCAL_MULINT", 34},
    {"FUNCID_SOUND", 35},
    {"FUNCID_FOOTSTEP", 36},
    {"FUNCID_SHOT", 37},
    {"FUNCID_RING_SET", 38},
    {"FUNCID_SCENE_MAPPOS", 39},
    {"FUNCID_MAP_OBJECTS", 40},
    {"FUNCID_MAP_EFFECTS", 41},
    {"FUNCID_MAP_FOG", 42},
    {"FUNCID_MAP_CAMERAS", 43},
    {"FUNCID_MAP_EXITS", 44},
    {"FUNCID_MAP_CAST", 45},
    {"FUNCID_MAP_SBE", 46},
    {"FUNCID_MAP_CLIP", 47},
    {"FUNCID_SCREEN_PLAYER_OVERLAY", 48},
    {"FUNCID_SCENE_NEXT", 49},
    {"FUNCID_REG_AIBYTE", 50},
    {"FUNCID_ACTOR_UNTOUCHABLE", 51},
    {"FUNCID_BGM_SET", 52},
    {"FUNCID_LIGHT_MAIN", 53},
    {"FUNCID_LIGHT_EXTRA", 54},
    {"FUNCID_SCRIPT_START", 55},
    {"FUNCID_SCENE_CHANGE", 56},
    {"FUNCID_EVENT_BEGIN", 57},
    {"FUNCID_EVENT_END", 58},
    {"FUNCID_BGM_PLAY", 60},
    {"FUNCID_BGM_STOP", 61},
    {"FUNCID_SOUND_PLAY", 62},
    {"FUNCID_SOUND_PLAY_AT", 63},
    {"FUNCID_SOUND_PLAY_ACTOR", 64},
    {"FUNCID_SOUND_GROUP_FADE", 65},
    {"FUNCID_BGM_FADE", 66},
    {"FUNCID_SOUND_GROUP_FADE_TO", 67},
    {"FUNCID_CAMERA_MOVE_TO", 68},
    {"FUNCID_CAMERA_MOVE_BACK", 69},
    {"FUNCID_FADE_SET", 70},
    {"FUNCID_FADE_TO", 71},
    {"FUNCID_FADE_COLORS", 72},
    {"FUNCID_FADE_LAYER", 73},
    {"FUNCID_FADE_SPEED", 74},
    {"FUNCID_SCREEN_AFTERIMAGE", 75},
    {"FUNCID_SCREEN_ZOOMBLUR", 76},
    {"FUNCID_CAMERA_SHAKE", 77},
    {"FUNCID_MESH_SPIN", 78},
    {"FUNCID_PICTURE_FULL", 79},
    {"FUNCID_WINDOW_RELEASE", 80},
    {"FUNCID_MESSAGE", 81},
    {"FUNCID_CHOICE", 82},
    {"FUNCID_MESSAGE_BOX", 83},
    {"FUNCID_DIALOG_OPEN", 84},
    {"FUNCID_DIALOG_ADD", 85},
    {"FUNCID_DIALOG_LAYOUT", 86},
    {"FUNCID_SHOP", 87},
    {"FUNCID_CAMP_MENU", 88},
    {"FUNCID_SAVE_MENU", 89},
    {"FUNCID_PICTURE_SHOW", 90},
    {"FUNCID_PICTURE_CLOSE", 91},
    {"FUNCID_PICTURE_MOVE", 92},
    {"FUNCID_PICTURE_COLOR", 93},
    {"FUNCID_PICTURE_MODE", 94},
    {"FUNCID_YIELD", 95},
    {"FUNCID_WAIT_FADE", 96},
    {"FUNCID_WAIT_TICKS", 97},
    {"FUNCID_WAIT_WINDOW", 98},
    {"FUNCID_WAIT_WINDOW_OPEN", 99},
    {"FUNCID_WAIT_NO_WINDOWS", 100},
    {"FUNCID_WAIT_ACTOR_NEAR", 101},
    {"FUNCID_WAIT_ACTOR_IN_CYLINDER", 102},
    {"FUNCID_WAIT_ACTOR_IN_BOX", 103},
    {"FUNCID_WAIT_SOUND_GROUP", 104},
    {"FUNCID_WAIT_SCRIPT_END", 105},
    {"FUNCID_WAIT_ACTOR_STOPPED", 106},
    {"FUNCID_WAIT_FLAG", 107},
    {"FUNCID_WAIT_BOSS_ANIM", 108},
    {"FUNCID_WAIT_BOSS_MOVE", 109},
    {"FUNCID_ACTOR_CREATE", 110},
    {"FUNCID_ACTOR_KILL", 111},
    {"FUNCID_ACTOR_FACE", 112},
    {"FUNCID_ACTOR_FACE_ACTOR", 113},
    {"FUNCID_ACTOR_TRACK_ACTOR", 114},
    {"FUNCID_ACTOR_TURN_TO_POINT", 115},
    {"FUNCID_ACTOR_TURN_TO", 116},
    {"FUNCID_REG_ACTOR_NEAR", 117},
    {"FUNCID_REG_ACTOR_IN_CYLINDER", 118},
    {"FUNCID_REG_ACTOR_IN_BOX", 119},
    {"FUNCID_REG_ACTOR_MOVING", 120},
    {"FUNCID_ACTOR_WALK_TO", 121},
    {"FUNCID_ACTOR_FLAG20", 122},
    {"FUNCID_ACTOR_SET_TALK", 123},
    {"FUNCID_ACTOR_FLAG10", 124},
    {"FUNCID_ACTOR_ACTION", 125},
    {"FUNCID_ACTOR_EMOTION", 126},
    {"FUNCID_ACTOR_FLAG40", 127},
    {"FUNCID_ACTOR_LOCALS", 128},
    {"FUNCID_ACTOR_JUMP", 129},
    {"FUNCID_ACTOR_PLACE", 130},
    {"FUNCID_ACTOR_SHOW", 131},
    {"FUNCID_ACTOR_BYTE", 132},
    {"FUNCID_PLAYER_TALK", 133},
    {"FUNCID_PLAYER_STATE", 134},
    {"FUNCID_EFFECT_LINE", 135},
    {"FUNCID_EFFECT_AT", 136},
    {"FUNCID_EFFECT_ON_ACTOR", 137},
    {"FUNCID_CAMERA_FORCE_REGION", 138},
    {"FUNCID_CAMERA_FREE_REGION", 139},
    {"FUNCID_MESH_REMOVE", 141},
    {"FUNCID_MESH_FADE", 142},
    {"FUNCID_MESH_OPACITY", 143},
    {"FUNCID_MESH_ANIM", 144},
    {"FUNCID_ACTOR_HOSTILE", 145},
    {"FUNCID_MESH_CULL", 146},
    {"FUNCID_MESH_NODE_EFFECT", 147},
    {"FUNCID_MESH_MOVE", 148},
    {"FUNCID_BOSS", 149},
    {"FUNCID_FLAG_EQINT", 150},
    {"FUNCID_FLAG_EQFLAG", 151},
    {"FUNCID_FLAG_CMPINT", 152},
    {"FUNCID_FLAG_CMPFLAG", 153},
    {"FUNCID_FLAG_CMPREG", 154},
    {"FUNCID_FLAG_SETINT", 155},
    {"FUNCID_FLAG_SETFLAG", 156},
    {"FUNCID_FLAG_SETREG", 157},
    {"FUNCID_FLAG_ADDINT", 158},
    {"FUNCID_FLAG_ADDFLAG", 159},
    {"FUNCID_FLAG_SUBINT", 160},
    {"FUNCID_FLAG_SUBFLAG", 161},
    {"FUNCID_FLAG_MULINT", 162},
    {"FUNCID_FLAG_MULFLAG", 163},
    {"FUNCID_FLAG_DIVINT", 164},
    {"FUNCID_FLAG_DIVFLAG", 165},
    {"FUNCID_FLAG_MODINT", 166},
    {"FUNCID_FLAG_MODFLAG", 167},
    {"FUNCID_FLAG_ANDINT", 168},
    {"FUNCID_FLAG_ANDFLAG", 169},
    {"FUNCID_FLAG_ORINT", 170},
    {"FUNCID_FLAG_ORFLAG", 171},
    {"FUNCID_FLAG_XORINT", 172},
    {"FUNCID_FLAG_XORFLAG", 173},
    {"FUNCID_FLAG_ANDSHIFT", 174},
    {"FUNCID_FLAG_ORSHIFT", 175},
    {"FUNCID_FLAG_XORSHIFT", 176},
    {"FUNCID_FLAG_CLEAR", 177},
    {"FUNCID_FLAG_NOT", 178},
    {"FUNCID_FLAG_NEG", 179},
    {"FUNCID_FLAG_SQUARE", 180},
    {"FUNCID_FLAG_SHIFT", 181},
    {"FUNCID_REG_TAFIRST", 182},
    {"FUNCID_REG_HASITEM", 183},
    {"FUNCID_REG_EQFLAG", 184},
    {"FUNCID_REG_CMPINT", 186},
    {"FUNCID_REG_CMPFLAG", 187},
    {"FUNCID_REG_SETINT", 188},
    {"FUNCID_REG_SETFLAG", 189},
    {"FUNCID_REG_ADDINT", 190},
    {"FUNCID_REG_ADDFLAG", 191},
    {"FUNCID_REG_SUBINT", 192},
    {"FUNCID_REG_SUBFLAG", 193},
    {"FUNCID_REG_MULINT", 194},
    {"FUNCID_REG_MULFLAG", 195},
    {"FUNCID_REG_DIVINT", 196},
    {"FUNCID_REG_DIVFLAG", 197},
    {"FUNCID_REG_MODINT", 198},
    {"FUNCID_REG_MODFLAG", 199},
    {"FUNCID_REG_ANDINT", 200},
    {"FUNCID_REG_ANDFLAG", 201},
    {"FUNCID_REG_ORINT", 202},
    {"FUNCID_REG_ORFLAG", 203},
    {"FUNCID_REG_XORINT", 204},
    {"FUNCID_REG_XORFLAG", 205},
    {"FUNCID_REG_ANDSHIFT", 206},
    {"FUNCID_REG_ORSHIFT", 207},
    {"FUNCID_REG_XORSHIFT", 208},
    {"FUNCID_REG_CLEAR", 209},
    {"FUNCID_REG_NOT", 210},
    {"FUNCID_REG_NEG", 211},
    {"FUNCID_REG_SQUARE", 212},
    {"FUNCID_REG_SHIFT", 213},
    {"FUNCID_REG_ANDFLAGS", 214},
    {"FUNCID_REG_ORFLAGS", 215},
    {"FUNCID_REG_BOTHEQ", 216},
    {"FUNCID_REG_EITHEREQ", 217},
    {"FUNCID_DIALOG_SELECT_LAST", 218},
    {"FUNCID_DIALOG_LAST_LABEL", 219},
    {"FUNCID_ACTOR_CREATE_DEFAULT", 220},
    {"FUNCID_WAIT_MESH_STOPPED", 221},
    {"FUNCID_MESH_ACTIVE", 222},
    {"FUNCID_ACTOR_FADE", 223},
    {"FUNCID_DIALOG_CANCEL", 224},
    {"FUNCID_SCREEN_TINT", 225},
    {"FUNCID_REG_PREV_SCENE", 226},
    {"FUNCID_LIGHT_POINT", 227},
    {"FUNCID_SCREEN_SCROLL", 228},
    {"FUNCID_MESH_DROP", 229},
    {"FUNCID_ACTOR_PATROL", 230},
    {"FUNCID_ACTOR_FLAG_PAIR", 231},
    {"FUNCID_PLAYER_HEAL", 232},
    {"FUNCID_PLAYER_AURAS", 233},
    {"FUNCID_ACTOR_SET_SPEED2", 234},
    {"FUNCID_ITEM_DROP", 235},
    {"FUNCID_ACTOR_MOVE_TO", 236},
    {"FUNCID_ACTOR_SHOT", 237},
    {"FUNCID_PICTURE_VALUE", 238},
    {"FUNCID_ACTOR_ATTACH_MODEL", 239},
    {"FUNCID_PLAYER_LEVEL", 240},
    {"FUNCID_EQUIP_LEVEL", 241},
    {"FUNCID_GOLD_ADD", 242},
    {"FUNCID_RING_SET_AT", 243},
    {"FUNCID_MESH_PLACE", 244},
    {"FUNCID_REG_SCENE_TEXT", 245},
    {"FUNCID_SCENE_CHANGE_TABLE", 246},
    {"FUNCID_DROP_SHOWER", 247},
    {"FUNCID_HAZARDS", 248},
    {"FUNCID_REG_CHANCE", 249},
    {"FUNCID_MOVER", 250},
    {"FUNCID_RIPPLE_FIELD", 251},
    {"FUNCID_SNAPSHOT_STORE", 252},
    {"FUNCID_MESH_ANIM2", 253},
    {"FUNCID_ACTOR_FLAG400", 254},
    {"FUNCID_ACTOR_SET_VALUE", 255},
    {"FUNCID_RIPPLE_LINE", 256},
    {"FUNCID_FLOOR_SHADOW", 257},
    {"FUNCID_MIRROR_FLOOR", 258},
    {"FUNCID_WAIT_CLOCK", 260},
    {"FUNCID_FOLLOWER", 261},
    {"FUNCID_REG_IN_MESH_BOX", 262},
    {"FUNCID_SOUND_RELOAD", 263},
    {"FUNCID_PLAYER_BOUNDS", 264},
    {"FUNCID_CAST_PRELOAD", 265},
    {"FUNCID_PAD_FORCE", 266},
    {"FUNCID_PICTURE_BIND", 267},
    {"FUNCID_SPRITE", 268},
    {"FUNCID_ACTOR_DISABLE", 269},
    {"FUNCID_REG_ACTOR_ALIVE", 270},
    {"FUNCID_REG_FLAG_GE_DIFF", 271},
    {"FUNCID_ITEM_SET", 272},
    {"FUNCID_ACTOR_TINT", 274},
    {"FUNCID_ACTOR_POPUP", 275},
    {"FUNCID_DAMAGE_SCALE", 276},
    {"FUNCID_ENEMIES_STOP", 279},
    {"FUNCID_WAIT_MESH_BROKEN", 280},
    {"FUNCID_SKY_LAYERS", 281},
    {"FUNCID_XX_PLAYER29", 282},
    {"FUNCID_SCRIPT_EFFECT", 283},
    {"FUNCID_XX_PLAYER30", 284},
    {"FUNCID_SCREEN_FLASH", 285},
    {"FUNCID_MESH_SET_HP", 286},
    {"FUNCID_WAIT_NEAR_MESH", 287},
    {"FUNCID_REG_NEAR_MESH", 288},
    {"FUNCID_ACTOR_FACE_CAMERA", 289},
    {"FUNCID_ITEMUSE_UNLOCK", 290},
    {"FUNCID_XX_PLAYER31", 291},
    {"FUNCID_XX_PLAYER32", 292},
    {"FUNCID_ICE_FLOOR", 293},
    {"FUNCID_GALLERY_UNLOCK", 294},
    {"FUNCID_ACTOR_SET_PARAMS", 295},
    {"FUNCID_TOPIC_KNOWN", 296},
    {"FUNCID_MESH_DROP_LONG", 297},
    {"FUNCID_EVENT_TASK", 298},
    {"FUNCID_ITEM_DROP2", 299},
};

struct OpcodeName {
    const char* name;
    std::uint32_t opcode;
    int operands; // -1: a call
};

const OpcodeName k_opcode_names[] = {
    {"SCRIPT_OP_NOP", 0, 0},     {"SCRIPT_OP_YIELD", 1, 0},   {"SCRIPT_OP_CALL", 2, -1},
    {"SCRIPT_OP_JUMP", 3, 1},    {"SCRIPT_OP_SKIP", 4, 1},    {"SCRIPT_OP_JLT", 5, 1},
    {"SCRIPT_OP_JEQ", 6, 1},     {"SCRIPT_OP_JLE", 7, 1},     {"SCRIPT_OP_JGT", 8, 1},
    {"SCRIPT_OP_JNE", 9, 1},     {"SCRIPT_OP_JGE", 10, 1},    {"SCRIPT_OP_JUMP2", 11, 1},
    {"SCRIPT_OP_CLEAR", 12, 0},  {"SCRIPT_OP_CLEAR2", 13, 0}, {"SCRIPT_OP_SETINT", 14, 1},
    {"SCRIPT_OP_ADDINT", 15, 1}, {"SCRIPT_OP_SUBINT", 16, 1}, {"SCRIPT_OP_ANDINT", 17, 1},
    {"SCRIPT_OP_ORINT", 18, 1},  {"SCRIPT_OP_XORINT", 19, 1},
};

const OpcodeName* find_opcode(std::string_view name)
{
    for (const OpcodeName& row : k_opcode_names)
        if (name == row.name) return &row;
    return nullptr;
}

std::uint32_t function_id_or_throw(std::string_view name)
{
    std::optional<std::uint32_t> id = sasm_function_id(name);
    if (!id) throw std::invalid_argument("unknown function \"" + std::string(name) + "\"");
    return *id;
}

} // namespace

std::span<const SasmFunctionName> sasm_function_names()
{
    return k_function_names;
}

std::optional<std::uint32_t> sasm_function_id(std::string_view name)
{
    for (const SasmFunctionName& row : k_function_names)
        if (name == row.name) return row.id;
    return std::nullopt;
}

std::optional<std::uint32_t> sasm_opcode_id(std::string_view name)
{
    const OpcodeName* row = find_opcode(name);
    return row ? std::optional<std::uint32_t>(row->opcode) : std::nullopt;
}

SasmArg sasm_float(float value)
{
    return SasmArg(std::bit_cast<std::uint32_t>(value));
}

SasmArg sasm_flag(std::int32_t index)
{
    if (index < 0 || index >= SASM_GAME_FLAG_COUNT)
        throw std::invalid_argument("game flag " + std::to_string(index) + " outside 0-511");
    return SasmArg(index);
}

SasmArg sasm_local(std::int32_t number)
{
    if (number < 0 || number >= SASM_LOCAL_COUNT)
        throw std::invalid_argument("local " + std::to_string(number) + " outside 0-15");
    return SasmArg(SASM_LOCAL_FIRST + number);
}

SasmArg sasm_label(std::string name)
{
    if (name.empty()) throw std::invalid_argument("empty label");
    SasmArg arg(0);
    arg.kind_ = SasmArg::Kind::label;
    arg.name_ = std::move(name);
    return arg;
}

SasmArg sasm_text(std::string text)
{
    SasmArg arg(0);
    arg.kind_ = SasmArg::Kind::text;
    arg.name_ = std::move(text);
    return arg;
}

ScriptActionBuilder& ScriptActionBuilder::op(std::uint32_t opcode)
{
    return word(sasm_op_word(opcode));
}

ScriptActionBuilder& ScriptActionBuilder::op(std::uint32_t opcode, const SasmArg& operand)
{
    return op(opcode).word(operand);
}

ScriptActionBuilder& ScriptActionBuilder::call(std::uint32_t function, std::span<const SasmArg> args)
{
    if (function > SASM_FIELD_MAX)
        throw std::invalid_argument("function " + std::to_string(function) + " above 4095");
    if (args.size() > SASM_FIELD_MAX) throw std::invalid_argument("more than 4095 arguments");
    word(sasm_call_word(function, static_cast<std::uint32_t>(args.size())));
    code_.insert(code_.end(), args.begin(), args.end());
    return *this;
}

ScriptActionBuilder& ScriptActionBuilder::call(std::uint32_t function, std::initializer_list<SasmArg> args)
{
    return call(function, std::span<const SasmArg>(args.begin(), args.size()));
}

ScriptActionBuilder& ScriptActionBuilder::call(std::string_view function, std::initializer_list<SasmArg> args)
{
    return call(function_id_or_throw(function), args);
}

ScriptActionBuilder& ScriptActionBuilder::label(std::string name)
{
    if (name.empty() || has_label(name)) throw std::invalid_argument("label \"" + name + "\" defined twice");
    labels_.emplace_back(std::move(name), static_cast<std::uint32_t>(code_.size()));
    return *this;
}

ScriptActionBuilder& ScriptActionBuilder::word(const SasmArg& raw)
{
    code_.push_back(raw);
    return *this;
}

ScriptActionBuilder& ScriptActionBuilder::string_count(std::uint32_t count)
{
    string_count_ = count;
    return *this;
}

ScriptActionBuilder& ScriptActionBuilder::string_word(std::uint32_t raw)
{
    string_words_.push_back(raw);
    return *this;
}

bool ScriptActionBuilder::has_label(std::string_view name) const
{
    return std::any_of(labels_.begin(), labels_.end(),
                       [&](const auto& label) { return label.first == name; });
}

std::vector<std::uint32_t> ScriptActionBuilder::words() const
{
    const std::vector<std::string> texts = strings();
    std::vector<std::uint32_t> out;
    out.reserve(code_.size());
    for (const SasmArg& arg : code_) {
        if (arg.is_text()) {
            out.push_back(static_cast<std::uint32_t>(std::find(texts.begin(), texts.end(), arg.name()) -
                                                     texts.begin()));
            continue;
        }
        if (!arg.is_label()) {
            out.push_back(arg.word());
            continue;
        }
        auto found = std::find_if(labels_.begin(), labels_.end(),
                                  [&](const auto& label) { return label.first == arg.name(); });
        if (found == labels_.end())
            throw std::invalid_argument("unknown label \"" + arg.name() + "\" in action " +
                                        std::to_string(id));
        out.push_back(found->second);
    }
    return out;
}

std::vector<std::string> ScriptActionBuilder::strings() const
{
    std::vector<std::string> texts;
    for (const SasmArg& arg : code_)
        if (arg.is_text() && std::find(texts.begin(), texts.end(), arg.name()) == texts.end())
            texts.push_back(arg.name());
    return texts;
}

std::uint32_t ScriptActionBuilder::table_count() const
{
    return string_count_.value_or(static_cast<std::uint32_t>(strings().size()));
}

std::vector<std::uint8_t> ScriptActionBuilder::string_area() const
{
    std::vector<std::uint8_t> area;
    std::vector<std::uint8_t> texts;
    for (const std::string& text : strings()) {
        le_put_u32(area, static_cast<std::uint32_t>(texts.size()));
        texts.insert(texts.end(), text.begin(), text.end());
        texts.push_back(0);
    }
    area.insert(area.end(), texts.begin(), texts.end());
    le_put_zeros(area, (4 - area.size() % 4) % 4);
    for (std::uint32_t raw : string_words_)
        le_put_u32(area, raw);
    return area;
}

ScriptActionBuilder& ScriptSetBuilder::action(std::int32_t id, std::uint32_t priority)
{
    return actions.emplace_back(id, priority);
}

std::vector<std::uint8_t> ScriptSetBuilder::bytes() const
{
    std::vector<std::uint8_t> out;
    le_put_u32(out, 0);
    le_put_u16(out, SASM_HEADER_SIZE);
    le_put_u16(out, 0);
    le_put_u32(out, static_cast<std::uint32_t>(actions.size()));
    le_put_u32(out, static_cast<std::uint32_t>(image_archive));
    std::vector<std::uint8_t> code;
    for (const ScriptActionBuilder& action : actions) {
        std::vector<std::uint32_t> words = action.words();
        le_put_u32(out, static_cast<std::uint32_t>(action.id));
        le_put_u32(out, action.priority);
        le_put_u32(out, static_cast<std::uint32_t>(code.size()));
        le_put_u32(out, static_cast<std::uint32_t>(words.size()));
        le_put_u32(out, action.table_count());
        for (std::uint32_t word : words)
            le_put_u32(code, word);
        const std::vector<std::uint8_t> area = action.string_area();
        code.insert(code.end(), area.begin(), area.end());
    }
    out.insert(out.end(), code.begin(), code.end());
    return out;
}

namespace {

class SyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The end of the quoted text that starts at `start`, past its closing quote; npos without one.
std::size_t quoted_end(std::string_view line, std::size_t start)
{
    const std::size_t close = line.find('"', start + 1);
    return close == std::string_view::npos ? close : close + 1;
}

// A quoted text is one token, blanks, commas and ';' included.
std::vector<std::string_view> split_tokens(std::string_view line)
{
    std::vector<std::string_view> tokens;
    auto is_gap = [](char c) { return c == ',' || std::isspace(static_cast<unsigned char>(c)); };
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_gap(line[i]))
            ++i;
        std::size_t start = i;
        if (i < line.size() && line[i] == '"') {
            i = std::min(quoted_end(line, i), line.size());
        } else {
            while (i < line.size() && !is_gap(line[i]))
                ++i;
        }
        if (i > start) tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

// A 32-bit word from a decimal or 0x hex integer, -2^31 to 2^32 - 1.
std::optional<std::uint32_t> parse_integer(std::string_view text)
{
    bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (negative ? value > 0x80000000ull : value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(negative ? 0 - value : value);
}

std::int32_t parse_int(std::string_view text, const char* what)
{
    std::optional<std::uint32_t> value = parse_integer(text);
    if (!value) throw SyntaxError(std::string("bad ") + what + " \"" + std::string(text) + "\"");
    return static_cast<std::int32_t>(*value);
}

std::optional<float> parse_float(std::string_view text)
{
    if (text.find_first_of(".eE") == std::string_view::npos) return std::nullopt;
    float value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

SasmArg parse_arg(std::string_view text)
{
    if (text.starts_with('"')) {
        if (text.size() < 2 || !text.ends_with('"')) throw SyntaxError("unterminated text");
        return sasm_text(std::string(text.substr(1, text.size() - 2)));
    }
    try {
        if (text.starts_with('@')) return sasm_label(std::string(text.substr(1)));
        if (text.starts_with("flag:")) return sasm_flag(parse_int(text.substr(5), "game flag"));
        if (text.starts_with("local:")) return sasm_local(parse_int(text.substr(6), "local"));
    } catch (const std::invalid_argument& error) {
        throw SyntaxError(error.what());
    }
    if (std::optional<std::uint32_t> value = parse_integer(text)) return SasmArg(*value);
    if (std::optional<float> value = parse_float(text)) return sasm_float(*value);
    throw SyntaxError("bad argument \"" + std::string(text) + "\"");
}

std::vector<SasmArg> parse_args(std::span<const std::string_view> tokens)
{
    std::vector<SasmArg> args;
    for (std::string_view token : tokens)
        args.push_back(parse_arg(token));
    return args;
}

bool is_label_definition(std::string_view token)
{
    return token.size() > 1 && token.back() == ':' && token.find(':') == token.size() - 1;
}

class TextAssembler {
public:
    void statement(std::span<const std::string_view> tokens, int line)
    {
        if (!tokens.empty() && is_label_definition(tokens.front())) {
            current("a label").label(std::string(tokens.front().substr(0, tokens.front().size() - 1)));
            tokens = tokens.subspan(1);
        }
        if (tokens.empty()) return;
        std::string_view head = tokens.front();
        std::span<const std::string_view> rest = tokens.subspan(1);
        if (head == "images")
            images(rest);
        else if (head == "action")
            action(rest);
        else if (head == "call" || head == "SCRIPT_OP_CALL")
            call(rest);
        else if (head == "op")
            numbered_op(rest);
        else if (head == "word")
            raw_words(rest);
        else if (head == "string_count")
            string_count(rest);
        else if (head == "string_words")
            string_words(rest);
        else if (const OpcodeName* opcode = find_opcode(head))
            named_op(*opcode, rest);
        else
            throw SyntaxError("unknown statement \"" + std::string(head) + "\"");
        note_labels(rest, line);
    }

    // Label uses are checked once their action is complete, against the line that used them.
    void check_labels() const
    {
        for (const LabelUse& use : label_uses_)
            if (!assembly_.set.actions[use.action].has_label(use.name))
                throw LineError{use.line, "unknown label \"" + use.name + "\""};
    }

    ScriptAssembly take() { return std::move(assembly_); }

    struct LineError {
        int line;
        std::string message;
    };

private:
    struct LabelUse {
        std::size_t action;
        std::string name;
        int line;
    };

    ScriptActionBuilder& current(const char* what)
    {
        if (assembly_.set.actions.empty()) throw SyntaxError(std::string(what) + " outside an action");
        return assembly_.set.actions.back();
    }

    void expect_count(std::span<const std::string_view> tokens, std::size_t low, std::size_t high)
    {
        if (tokens.size() < low || tokens.size() > high) throw SyntaxError("wrong number of operands");
    }

    void images(std::span<const std::string_view> rest)
    {
        expect_count(rest, 1, 1);
        if (images_given_) throw SyntaxError("a second images statement");
        images_given_ = true;
        assembly_.set.image_archive = parse_int(rest[0], "image archive");
    }

    void action(std::span<const std::string_view> rest)
    {
        expect_count(rest, 1, 2);
        std::int32_t id = parse_int(rest[0], "action id");
        std::uint32_t priority =
            rest.size() > 1 ? static_cast<std::uint32_t>(parse_int(rest[1], "priority")) : 0;
        assembly_.set.action(id, priority);
    }

    void call(std::span<const std::string_view> rest)
    {
        if (rest.empty()) throw SyntaxError("call without a function");
        std::optional<std::uint32_t> id = sasm_function_id(rest[0]);
        if (!id) id = parse_integer(rest[0]);
        if (!id) throw SyntaxError("unknown function \"" + std::string(rest[0]) + "\"");
        current("a call").call(*id, parse_args(rest.subspan(1)));
    }

    void numbered_op(std::span<const std::string_view> rest)
    {
        if (rest.empty()) throw SyntaxError("op without an opcode");
        std::int32_t opcode = parse_int(rest[0], "opcode");
        if (opcode < 0 || opcode > 255) throw SyntaxError("opcode outside 0-255");
        emit(static_cast<std::uint32_t>(opcode), rest.subspan(1));
    }

    void named_op(const OpcodeName& opcode, std::span<const std::string_view> rest)
    {
        auto count = static_cast<std::size_t>(opcode.operands);
        expect_count(rest, count, count);
        emit(opcode.opcode, rest);
    }

    void emit(std::uint32_t opcode, std::span<const std::string_view> operands)
    {
        ScriptActionBuilder& action = current("an opcode");
        action.op(opcode);
        for (const SasmArg& operand : parse_args(operands))
            action.word(operand);
    }

    void raw_words(std::span<const std::string_view> rest)
    {
        if (rest.empty()) throw SyntaxError("word without a value");
        ScriptActionBuilder& action = current("a word");
        for (const SasmArg& word : parse_args(rest))
            action.word(word);
    }

    void string_count(std::span<const std::string_view> rest)
    {
        expect_count(rest, 1, 1);
        current("a string count")
            .string_count(static_cast<std::uint32_t>(parse_int(rest[0], "string count")));
    }

    void string_words(std::span<const std::string_view> rest)
    {
        if (rest.empty()) throw SyntaxError("string_words without a value");
        ScriptActionBuilder& action = current("a string word");
        for (std::string_view token : rest)
            action.string_word(static_cast<std::uint32_t>(parse_int(token, "string word")));
    }

    void note_labels(std::span<const std::string_view> rest, int line)
    {
        for (std::string_view token : rest)
            if (token.starts_with('@'))
                label_uses_.push_back({assembly_.set.actions.size() - 1, std::string(token.substr(1)), line});
    }

    ScriptAssembly assembly_;
    bool images_given_ = false;
    std::vector<LabelUse> label_uses_;
};

ScriptAssembly assembly_error(int line, const std::string& message)
{
    ScriptAssembly assembly;
    assembly.error = "line " + std::to_string(line) + ": " + message;
    return assembly;
}

// A ';' inside a quoted text is part of the text.
std::string_view strip_comment(std::string_view line)
{
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ';') return line.substr(0, i);
        if (line[i] == '"') {
            i = quoted_end(line, i);
            if (i == std::string_view::npos) break;
            --i;
        }
    }
    return line;
}

} // namespace

ScriptAssembly sasm_assemble(std::string_view text)
{
    TextAssembler assembler;
    int line = 0;
    try {
        while (!text.empty()) {
            ++line;
            std::size_t newline = text.find('\n');
            std::vector<std::string_view> tokens = split_tokens(strip_comment(text.substr(0, newline)));
            text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
            assembler.statement(tokens, line);
        }
        assembler.check_labels();
    } catch (const std::exception& error) {
        return assembly_error(line, error.what());
    } catch (const TextAssembler::LineError& error) {
        return assembly_error(error.line, error.message);
    }
    return assembler.take();
}

std::vector<std::uint8_t> sasm_assemble_or_throw(std::string_view text)
{
    ScriptAssembly assembly = sasm_assemble(text);
    if (!assembly.ok()) throw std::logic_error("script: " + assembly.error + "\n" + std::string(text));
    return assembly.set.bytes();
}
