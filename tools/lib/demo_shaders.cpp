#include "lib/demo_shaders.h"

#include "lib/skin_layout.h"
#include "lib/vs_assembler.h"

#include <stdexcept>

namespace {

// What a name asks of its program, and the input registers its declaration provides ("" when
// absent).
struct Recipe {
    bool skinned = false;
    int weights = 1;
    bool tween = false; // a second blend stream in v9-v13, mixed in by c2.w
    bool bump = false;  // the "sb" shaders: a tangent-space light vector as the diffuse colour
    bool lit = true;    // false for the plain base and the colour-only groups
    bool shadow = false;
    int lights = 0;
    bool cover = false, sphere = false, stealth = false, water = false, wind = false;
    std::string position = "v0", normal, diffuse, specular, uv, tangent;
};

constexpr const char* LANES[] = {"x", "y", "z", "w"};

[[noreturn]] void bad_name(std::string_view name)
{
    throw std::invalid_argument("no demo vertex shader for \"" + std::string(name) + "\"");
}

std::vector<std::string> split(std::string_view name)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = name.find('_', start)) != std::string_view::npos; start = end + 1)
        parts.emplace_back(name.substr(start, end - start));
    parts.emplace_back(name.substr(start));
    return parts;
}

void set_rigid_group(Recipe& recipe, const std::string& group, std::string_view name)
{
    // Inputs in declaration order: position, [normal], diffuse, [specular], [uv].
    bool normal = group.starts_with('n');
    std::string rest = normal ? group.substr(1) : group;
    if (rest != "d" && rest != "dt1" && rest != "dst1") bad_name(name);
    int reg = 1;
    auto next = [&reg] { return "v" + std::to_string(reg++); };
    if (normal) recipe.normal = next();
    recipe.diffuse = next();
    if (rest == "dst1") recipe.specular = next();
    if (rest != "d") recipe.uv = next();
    recipe.lit = normal;
}

void set_variant(Recipe& recipe, const std::string& part, std::string_view name)
{
    auto count = [&](char digit) {
        if (digit < '1' || digit > '4') bad_name(name);
        return digit - '0';
    };
    if (part == "base") return; // the named base, lit unless plain
    if (part == "cover")
        recipe.cover = true;
    else if (part == "sphere")
        recipe.sphere = true;
    else if (part == "stealth")
        recipe.stealth = true;
    else if (part == "water")
        recipe.water = true;
    else if (part == "wind")
        recipe.wind = true;
    else if (part.size() == 2 && part[0] == 'l')
        recipe.lights = count(part[1]);
    else if (part.size() == 2 && part[0] == 's') {
        recipe.lights = count(part[1]);
        recipe.shadow = true;
    } else if (recipe.skinned && part.size() == 2 && part[1] == 'w')
        recipe.weights = count(part[0]);
    else
        bad_name(name);
}

Recipe recipe_of(std::string_view name)
{
    std::vector<std::string> parts = split(name);
    Recipe recipe;
    const std::string& prefix = parts[0];
    std::size_t first_variant = 1;
    if (prefix == "b") {
        if (parts.size() < 2) bad_name(name);
        // "b__d": the group follows an empty field.
        std::size_t group = parts[1].empty() ? 2 : 1;
        if (parts.size() <= group) bad_name(name);
        set_rigid_group(recipe, parts[group], name);
        first_variant = group + 1;
    } else if (prefix == "s" || prefix == "sb" || prefix == "st" || prefix == "stb") {
        recipe.skinned = true;
        recipe.tween = prefix.starts_with("st");
        recipe.bump = prefix.ends_with('b');
        if (parts.size() > 1 && parts[1].empty()) { // "s__base": plain shading
            recipe.lit = false;
            first_variant = 2;
        }
        recipe.diffuse = "v1";
        recipe.specular = "v2";
        recipe.uv = "v3";
    } else {
        bad_name(name);
    }
    for (std::size_t i = first_variant; i < parts.size(); ++i)
        set_variant(recipe, parts[i], name);
    if ((recipe.skinned && !name.ends_with("w")) || (recipe.wind && recipe.normal.empty())) bad_name(name);
    return recipe;
}

std::string vreg(std::uint32_t number)
{
    return "v" + std::to_string(number);
}

class ProgramText {
public:
    explicit ProgramText(const Recipe& recipe) : m_recipe(recipe) {}

    std::string build()
    {
        m_text = "vs.1.1\n";
        if (m_recipe.skinned)
            skinned_position();
        else
            rigid_position();
        emit("mad oFog.x, r1.z, c1.x, c1.y");
        colours();
        texture_coordinates();
        return m_text;
    }

private:
    void emit(const std::string& line) { m_text += "    " + line + "\n"; }

    // r0 object position, r9 clip position, r1 view position; r3 the view normal, r2 the object
    // normal the directional light is taken against.
    void rigid_position()
    {
        emit("mov r0, " + m_recipe.position);
        if (m_recipe.wind) { // per-vertex sway weights in v5 and v6, the wind value in c32
            emit("mad r0.x, v5.x, c32.x, r0.x");
            emit("mad r0.z, v6.x, c32.x, r0.z");
        }
        emit("m4x4 r9, r0, c24");
        emit("mov oPos, r9");
        emit("m4x4 r1, r0, c28");
        if (m_recipe.normal.empty()) return;
        emit("mov r2, " + m_recipe.normal);
        emit("m3x3 r3.xyz, r2, c28");
        normalize_view_normal();
    }

    void normalize_view_normal()
    {
        emit("dp3 r3.w, r3, r3");
        emit("rsq r3.w, r3.w");
        emit("mul r3.xyz, r3, r3.w");
    }

    // A blend-stream register, mixed with the second stream by c2.w for the tweened shaders.
    std::string blend_source(SkinBlendRegister which, const char* temp)
    {
        std::string first = vreg(SKIN_FIRST_BLEND_REGISTER + which);
        if (!m_recipe.tween) return first;
        std::string second = vreg(SKIN_FIRST_BLEND_REGISTER + SKIN_BLEND_REGISTERS + which);
        emit(std::string("add ") + temp + ".xyz, " + second + ", -" + first);
        emit(std::string("mad ") + temp + ".xyz, " + temp + ", c2.w, " + first);
        emit(std::string("mov ") + temp + ".w, c0.z");
        return temp;
    }

    // The weights in the lanes of r0, the last one 1 minus the stored ones (a short weight
    // register reads 0 in its missing lanes, so dp3 sums the stored ones alone).
    void blend_weights()
    {
        int stored = m_recipe.weights - 1;
        if (stored == 0) return;
        static constexpr const char* masks[] = {"", "x", "xy", "xyz"};
        std::string last = std::string("r0.") + LANES[stored];
        emit(std::string("mov r0.") + masks[stored] + ", v0");
        emit("dp3 " + last + ", v0, c0.z");
        emit("add " + last + ", c0.z, -" + last);
    }

    // Position, normal (and tangent) through each bone's bind-to-view matrix, weighted.
    void skinned_position()
    {
        m_position = blend_source(SKIN_POSITION, "r5");
        m_normal = blend_source(SKIN_NORMAL, "r6");
        if (m_recipe.bump) m_tangent = blend_source(SKIN_TANGENT, "r7");
        blend_weights();
        std::string offsets = vreg(SKIN_FIRST_BLEND_REGISTER + SKIN_OFFSETS);
        std::string last_offset = vreg(SKIN_FIRST_BLEND_REGISTER + SKIN_LAST_OFFSET);
        std::string palette = "c[a0.x + " + std::to_string(SKIN_PALETTE_BASE) + "]";
        for (int bone = 0; bone < m_recipe.weights; ++bone) {
            emit("mov a0.x, " + (bone < 3 ? offsets + "." + LANES[bone] : last_offset + ".x"));
            skin_term("m4x3", m_position, "r1", bone, palette);
            skin_term("m3x3", m_normal, "r3", bone, palette);
            if (m_recipe.bump) skin_term("m3x3", m_tangent, "r11", bone, palette);
        }
        emit("mov r1.w, c0.z");
        emit("m4x4 r9, r1, c4");
        emit("mov oPos, r9");
        normalize_view_normal();
        emit("mov r2, " + m_normal);
    }

    void skin_term(const char* op, const std::string& source, const char* target, int bone,
                   const std::string& palette)
    {
        std::string t = target;
        if (m_recipe.weights == 1) {
            emit(std::string(op) + " " + t + ".xyz, " + source + ", " + palette);
            return;
        }
        emit(std::string(op) + " r8.xyz, " + source + ", " + palette);
        std::string weight = std::string("r0.") + LANES[bone];
        if (bone == 0)
            emit("mul " + t + ".xyz, r8, " + weight);
        else
            emit("mad " + t + ".xyz, r8, " + weight + ", " + t);
    }

    // r4: the light falling on the vertex: ambient, the sun and the sky on lit geometry (only
    // the ambient in shadow-lighting mode), 1 on pre-lit geometry, plus the point lights.
    void light_sum()
    {
        if (m_recipe.shadow) {
            emit("mov r4, c18");
        } else if (m_recipe.lit) {
            emit("dp3 r5.x, r2, c19");
            emit("max r5.x, r5.x, c0.x");
            emit("dp3 r5.y, r2, c22");
            emit("mad r5.y, r5.y, c0.y, c0.y");
            emit("mad r4, c20, r5.x, c18");
            emit("mad r4, c21, r5.y, r4");
        } else {
            emit("mov r4, c0.z");
        }
        for (int k = 0; k < m_recipe.lights; ++k)
            point_light(k);
    }

    // Light k: (c8[k] - c9[k] x squared distance), clamped at 0, in its colour; turned by the
    // view normal where there is one.
    void point_light(int k)
    {
        std::string lane = LANES[k];
        emit("add r5.xyz, c" + std::to_string(10 + 2 * k) + ", -r1");
        emit("dp3 r5.w, r5, r5");
        emit("mad r6.x, -r5.w, c9." + lane + ", c8." + lane);
        emit("max r6.x, r6.x, c0.x");
        if (has_normal()) {
            emit("max r5.w, r5.w, c1.z"); // never the inverse root of 0
            emit("rsq r6.y, r5.w");
            emit("mul r5.xyz, r5, r6.y");
            emit("dp3 r6.z, r3, r5");
            emit("max r6.z, r6.z, c0.x");
            emit("mul r6.x, r6.x, r6.z");
        }
        emit("mad r4.xyz, c" + std::to_string(11 + 2 * k) + ", r6.x, r4");
    }

    bool has_normal() const { return m_recipe.skinned || !m_recipe.normal.empty(); }

    void colours()
    {
        const std::string& diffuse = m_recipe.diffuse;
        if (m_recipe.bump) {
            bump_light_vector();
        } else if (!m_recipe.lit && !m_recipe.shadow && m_recipe.lights == 0) {
            emit("mov oD0, " + diffuse);
        } else {
            light_sum();
            emit("mul oD0.xyz, " + diffuse + ", r4");
            emit("mov oD0.w, " + diffuse + ".w");
        }
        // The glow colour rides on the specular colour, which is added after the stages.
        if (m_recipe.specular.empty())
            emit("mov oD1, c23");
        else
            emit("add oD1, " + m_recipe.specular + ", c23");
    }

    // The light direction in the tangent space of the bind pose, packed into 0-1 for the
    // dot-product stage of the bump texture.
    void bump_light_vector()
    {
        const std::string& t = m_tangent;
        emit("mul r5.xyz, r2.yzxw, " + t + ".zxyw");
        emit("mad r5.xyz, -r2.zxyw, " + t + ".yzxw, r5");
        emit("dp3 r10.x, " + t + ", c19");
        emit("dp3 r10.y, r5, c19");
        emit("dp3 r10.z, r2, c19");
        emit("mad oD0.xyz, r10, c0.y, c0.y");
        emit("mov oD0.w, " + m_recipe.diffuse + ".w");
    }

    void texture_coordinates()
    {
        const std::string& uv = m_recipe.uv;
        int next_stage = 0;
        auto stage = [&next_stage] { return "oT" + std::to_string(next_stage++); };
        if (m_recipe.stealth) {
            screen_coordinates(stage());
        } else if (m_recipe.water) {
            emit("add " + stage() + ".xy, " + uv + ", c32.x");
            emit("add " + stage() + ".xy, " + uv + ".yx, -c32.x");
        } else if (!uv.empty()) {
            emit("mov " + stage() + ".xy, " + uv);
        }
        if (m_recipe.bump || (m_recipe.stealth && !m_recipe.sphere)) emit("mov " + stage() + ".xy, " + uv);
        if (m_recipe.sphere) {
            std::string target = stage();
            emit("mad " + target + ".x, r3.x, c0.y, c0.y");
            emit("mad " + target + ".y, -r3.y, c0.y, c0.y");
        }
        if (m_recipe.cover) { // the cover texture scrolls over the world's ground plane
            emit("dp4 r7.x, r0, c36");
            emit("dp4 r7.y, r0, c38");
            emit("mad " + stage() + ".xy, r7, c1.z, c3");
        }
    }

    // The pre-pass image under the vertex: its clip position mapped to texture space.
    void screen_coordinates(const std::string& target)
    {
        emit("rcp r8.w, r9.w");
        emit("mul r8.xy, r9, r8.w");
        emit("mad " + target + ".x, r8.x, c0.y, c0.y");
        emit("mad " + target + ".y, -r8.y, c0.y, c0.y");
    }

    const Recipe& m_recipe;
    std::string m_text;
    std::string m_position, m_normal, m_tangent;
};

} // namespace

std::string demo_shader_text(std::string_view name)
{
    Recipe recipe = recipe_of(name);
    return ProgramText(recipe).build();
}

std::vector<std::uint32_t> demo_shader_program(std::string_view name)
{
    return vsasm_assemble_or_throw(demo_shader_text(name));
}
