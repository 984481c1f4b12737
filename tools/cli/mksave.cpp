// mksave OUTPUT [FIELD=VALUE]...
// Writes one save slot of a small game in progress. Fields: level=N, hp=N or hp=N/MAX,
// gold=N, difficulty=0|1|2 (Normal, Hard, Nightmare), easy=0|1, very_easy=0|1, inferno=0|1,
// play_time=H:MM:SS, scene=ID, location=TEXT, and the stamp date=MM/DD/YYYY and time=HH:MM:SS
// (the current local time when not given). Missing fields keep the defaults of
// SaveSlotDescription; missing folders of OUTPUT are made.
#include "lib/archive_writer.h"
#include "lib/save_writer.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: mksave OUTPUT [level=N] [hp=N[/MAX]] [gold=N] [difficulty=0|1|2] [easy=0|1] "
                         "[very_easy=0|1] [inferno=0|1] [play_time=H:MM:SS] [scene=ID] [location=TEXT] "
                         "[date=MM/DD/YYYY] [time=HH:MM:SS]\n");
    return 2;
}

bool whole(const std::string& text, std::int32_t& out)
{
    char rest = 0;
    return std::sscanf(text.c_str(), "%d%c", &out, &rest) == 1;
}

bool switch_value(const std::string& text, bool& out)
{
    if (text != "0" && text != "1") return false;
    out = text == "1";
    return true;
}

bool hit_points(const std::string& text, SaveSlotDescription& slot)
{
    char rest = 0;
    const int read = std::sscanf(text.c_str(), "%f/%f%c", &slot.hp, &slot.max_hp, &rest);
    if (read == 1) slot.max_hp = slot.hp;
    return (read == 1 || read == 2) && slot.hp >= 0.0f && slot.max_hp >= slot.hp;
}

bool play_time(const std::string& text, std::int32_t& ticks)
{
    int hours = 0, minutes = 0, seconds = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%d%c", &hours, &minutes, &seconds, &rest) != 3 || hours < 0 ||
        hours > 9000 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59)
        return false;
    ticks = ((hours * 60 + minutes) * 60 + seconds) * 60;
    return true;
}

bool set_field(std::string_view key, const std::string& value, SaveSlotDescription& slot,
               SaveSlotStamp& stamp)
{
    if (key == "level") return whole(value, slot.level);
    if (key == "hp") return hit_points(value, slot);
    if (key == "gold") return whole(value, slot.gold);
    if (key == "difficulty")
        return whole(value, slot.difficulty) && slot.difficulty >= 0 && slot.difficulty <= 2;
    if (key == "easy") return switch_value(value, slot.easy);
    if (key == "very_easy") return switch_value(value, slot.very_easy);
    if (key == "inferno") return switch_value(value, slot.inferno);
    if (key == "play_time") return play_time(value, slot.play_ticks);
    if (key == "scene") return whole(value, slot.scene_id) && slot.scene_id > 0;
    if (key == "location")
        stamp.location = value;
    else if (key == "date")
        stamp.date = value;
    else if (key == "time")
        stamp.time = value;
    else
        return false;
    return true;
}

void stamp_now(SaveSlotStamp& stamp)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%m/%d/%Y", &local);
    stamp.date = text;
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    stamp.time = text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    SaveSlotDescription slot;
    SaveSlotStamp stamp;
    stamp_now(stamp);
    for (int i = 2; i < argc; ++i) {
        const std::string_view field = argv[i];
        const std::size_t equals = field.find('=');
        if (equals == std::string_view::npos ||
            !set_field(field.substr(0, equals), std::string(field.substr(equals + 1)), slot, stamp)) {
            std::fprintf(stderr, "mksave: bad field: %s\n", argv[i]);
            return usage();
        }
    }
    const std::filesystem::path output = argv[1];
    std::error_code ignored; // a folder that cannot be made fails the write below
    if (output.has_parent_path()) std::filesystem::create_directories(output.parent_path(), ignored);
    if (!tools_write_file(output, save_slot_bytes(save_play_state_image(slot), stamp))) {
        std::fprintf(stderr, "mksave: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
