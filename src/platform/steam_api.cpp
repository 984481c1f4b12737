#include "platform/steam_api.h"

#include "platform/impl/host_folders.h"
#include "platform/impl/sjis.h"
#include "platform/impl/steam_api_seams.h"
#include "platform/impl/steam_api_store.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <iterator>
#include <map>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

struct FinishedCall {
    SteamAPICall_t call;
    int callback_id;
    std::vector<std::uint8_t> result;
    bool io_failure;
    std::int32_t dispatches_held; // dispatches that pass it by before one delivers it
};

struct CallRegistration {
    CCallbackBase* handler;
    SteamAPICall_t call;
};

class StoreRemoteStorage final : public ISteamRemoteStorage {
public:
    bool FileWrite(const char* file, const void* data, std::int32_t size) override;
    std::int32_t FileRead(const char* file, void* data, std::int32_t size) override;
    bool FileExists(const char* file) override;
    std::int32_t GetFileSize(const char* file) override;
    bool FileDelete(const char* file) override;
    bool IsCloudEnabledForAccount() override;
    bool IsCloudEnabledForApp() override;
    void SetCloudEnabledForApp(bool enabled) override;
};

// Stat or achievement values by name; an achievement is 0 (locked) or 1.
using StoreValues = std::map<std::string, std::int32_t, std::less<>>;

constexpr const char* k_store_name = "kro_store";
constexpr std::string_view k_account_switch = "CloudEnabledForAccount";
constexpr std::string_view k_app_switch = "CloudEnabledForApp";
constexpr off_t k_store_file_max = 16 * 1024 * 1024;

std::string g_store_seam_folder;
std::string g_store_folder; // empty while the store is closed
bool g_store_cloud_account = false;
bool g_store_cloud_app = false;
StoreRemoteStorage g_store_remote;
StoreUserStats g_store_user_stats;

std::deque<FinishedCall> g_store_finished; // call results and callbacks, in finishing order
std::vector<CallRegistration> g_store_registrations;
std::vector<CCallbackBase*> g_store_callbacks;
SteamAPICall_t g_store_next_call = 1;
std::int32_t g_store_stats_stored = 0; // StoreStats calls the open store took
StoreValues g_store_stats;             // while the store is open
StoreValues g_store_achievements;      // while the store is open
bool g_store_values_unstored = false;  // memory holds values the files do not
bool g_store_writes_fail = false;
std::vector<StoreStatsCall> g_store_stats_calls;
// Seams of the open store's calls, cleared when it closes.
std::vector<int> g_store_failing_calls;                            // callback ids
std::map<int, std::vector<std::uint8_t>> g_store_scripted_results; // by callback id
std::int32_t g_store_results_held = 0;
bool g_store_remote_deletes_fail = false;
std::int32_t g_store_remote_read_limit = -1; // negative: none

bool store_make_folder(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) == 0) return true;
    struct stat info {};
    return errno == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Creates the folder and every missing one above it.
bool store_make_folders(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        if (!store_make_folder(path.substr(0, slash))) return false;
    }
    return store_make_folder(path);
}

bool store_write_all(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Reads until `size` bytes, the end of the file or an error; the count read.
std::size_t store_read_up_to(int fd, std::uint8_t* out, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        ssize_t count = read(fd, out + done, size - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        done += static_cast<std::size_t>(count);
    }
    return done;
}

// The host file of a remote file name. Names compare without regard to ASCII case, as on
// the platform's own file systems; a name that is empty, too long or names a folder has none.
std::optional<std::string> store_remote_path(const char* file)
{
    if (!store_is_open() || !file || file[0] == '\0') return std::nullopt;
    std::size_t length = std::strlen(file);
    if (length >= static_cast<std::size_t>(k_cchFilenameMax)) return std::nullopt;
    // UTF-8 never puts an ASCII byte inside a multi-byte character, so folding after the
    // conversion cannot touch a Shift-JIS trail byte.
    std::string name = sjis_to_utf8(std::string_view(file, length));
    for (char& c : name) {
        if (c == '/' || c == '\\') return std::nullopt;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (name == "." || name == "..") return std::nullopt;
    return g_store_folder + "/remote/" + name;
}

std::optional<std::int64_t> store_file_size(const char* file)
{
    std::optional<std::string> path = store_remote_path(file);
    struct stat info {};
    if (!path || stat(path->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<std::int64_t>(info.st_size);
}

std::string store_settings_path()
{
    return g_store_folder + "/settings";
}

// The settings file holds "<switch>=<0 or 1>" lines; a missing file or line is off.
void store_load_settings()
{
    g_store_cloud_account = false;
    g_store_cloud_app = false;
    int fd = open(store_settings_path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char buffer[256];
    ssize_t count = read(fd, buffer, sizeof buffer);
    close(fd);
    std::string_view text(buffer, count > 0 ? static_cast<std::size_t>(count) : 0);
    while (!text.empty()) {
        std::string_view line = text.substr(0, text.find('\n'));
        text.remove_prefix(std::min(text.size(), line.size() + 1));
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        bool on = line.substr(equals + 1) == "1";
        if (line.substr(0, equals) == k_account_switch) g_store_cloud_account = on;
        if (line.substr(0, equals) == k_app_switch) g_store_cloud_app = on;
    }
}

bool store_save_settings()
{
    std::string text;
    text.append(k_account_switch).append(g_store_cloud_account ? "=1\n" : "=0\n");
    text.append(k_app_switch).append(g_store_cloud_app ? "=1\n" : "=0\n");
    return store_write_whole(store_settings_path(), text.data(), text.size());
}

// A callback answers no handle: it waits for the dispatch like a call result, under no call.
template <class P> void store_post_callback(const P& record)
{
    std::span<const std::uint8_t> bytes = store_record_bytes(record);
    if (store_is_open())
        g_store_finished.push_back(
            {k_uAPICallInvalid, P::k_iCallback, {bytes.begin(), bytes.end()}, false, g_store_results_held});
}

void store_deliver_call_result(FinishedCall& done)
{
    // Looked up at delivery, so a handler may unregister another during the dispatch.
    auto registration = std::find_if(
        g_store_registrations.begin(), g_store_registrations.end(), [&](const CallRegistration& entry) {
            return entry.call == done.call && entry.handler->m_iCallback == done.callback_id;
        });
    if (registration == g_store_registrations.end()) return;
    CCallbackBase* handler = registration->handler;
    g_store_registrations.erase(registration);
    handler->Run(done.result.data(), done.io_failure, done.call);
}

void store_deliver_callback(FinishedCall& done)
{
    // Each listener is checked again before its turn, so a handler may unregister another.
    std::vector<CCallbackBase*> listeners = g_store_callbacks;
    for (CCallbackBase* handler : listeners) {
        bool registered =
            std::find(g_store_callbacks.begin(), g_store_callbacks.end(), handler) != g_store_callbacks.end();
        if (registered && handler->m_iCallback == done.callback_id)
            handler->Run(done.result.data(), false, k_uAPICallInvalid);
    }
}

std::string store_stats_path()
{
    return g_store_folder + "/stats";
}

std::string store_achievements_path()
{
    return g_store_folder + "/achievements";
}

// A name the files can keep: not empty, no tab, no line end.
bool store_valid_value_name(const char* name)
{
    return name && name[0] != '\0' && std::strpbrk(name, "\t\r\n") == nullptr;
}

std::optional<std::int32_t> store_parse_value(std::string_view text)
{
    std::int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Lines "name<TAB>value"; a line that cannot be read (no tab, no name, a value that is no
// number or out of `lowest`..`highest`) is skipped. A missing file holds nothing.
StoreValues store_load_values(const std::string& path, std::int32_t lowest, std::int32_t highest)
{
    StoreValues values;
    std::optional<std::vector<std::uint8_t>> bytes = store_read_whole(path);
    if (!bytes) return values;
    std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    while (!text.empty()) {
        std::string_view line = text.substr(0, text.find('\n'));
        text.remove_prefix(std::min(text.size(), line.size() + 1));
        std::size_t tab = line.find('\t');
        if (tab == 0 || tab == std::string_view::npos) continue;
        std::optional<std::int32_t> value = store_parse_value(line.substr(tab + 1));
        if (value && *value >= lowest && *value <= highest) values[std::string(line.substr(0, tab))] = *value;
    }
    return values;
}

bool store_save_values(const std::string& path, const StoreValues& values)
{
    std::string text;
    for (const auto& [name, value] : values)
        text.append(name).append("\t").append(std::to_string(value)).append("\n");
    return store_write_whole(path, text.data(), text.size());
}

void store_load_stats()
{
    g_store_stats = store_load_values(store_stats_path(), INT32_MIN, INT32_MAX);
    g_store_achievements = store_load_values(store_achievements_path(), 0, 1);
    g_store_values_unstored = false;
}

bool store_save_stats()
{
    bool ok = store_save_values(store_stats_path(), g_store_stats) &&
              store_save_values(store_achievements_path(), g_store_achievements);
    if (ok) g_store_values_unstored = false;
    return ok;
}

// A value of a name never set is 0.
std::int32_t store_value(const StoreValues& values, const char* name)
{
    auto found = values.find(std::string_view(name));
    return found == values.end() ? 0 : found->second;
}

void store_log_stats_call(const char* operation, const char* name, std::int64_t value, std::int64_t max = 0)
{
    g_store_stats_calls.push_back({operation, name ? name : "", value, max});
}

// Deletes a values file; a missing one is already clear.
bool store_delete_values(const std::string& path)
{
    return unlink(path.c_str()) == 0 || errno == ENOENT;
}

} // namespace

bool store_is_open()
{
    return !g_store_folder.empty();
}

// The host account is the stable identity a local store has; account 0 is no account.
std::uint64_t store_local_user()
{
    auto account = static_cast<std::uint32_t>(getuid()) + 1;
    return CSteamID(account, k_unSteamUserDesktopInstance, k_EUniversePublic, k_EAccountTypeIndividual)
        .ConvertToUint64();
}

// Writes a temporary file in the store's own "tmp/" folder and renames it onto the target,
// so a reader sees the old file or the new one, never a part.
bool store_write_whole(const std::string& target, const void* data, std::size_t size)
{
    if (g_store_writes_fail) return false;
    std::string temp = g_store_folder + "/tmp/write.XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = store_write_all(fd, static_cast<const std::uint8_t*>(data), size) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

std::optional<std::vector<std::uint8_t>> store_read_whole(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> bytes;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= k_store_file_max) {
        bytes.emplace(static_cast<std::size_t>(info.st_size));
        if (store_read_up_to(fd, bytes->data(), bytes->size()) != bytes->size()) bytes.reset();
    }
    close(fd);
    return bytes;
}

SteamAPICall_t store_finish_interface_call(int callback_id, std::span<const std::uint8_t> record,
                                           bool io_failure)
{
    auto scripted = g_store_scripted_results.find(callback_id);
    if (scripted == g_store_scripted_results.end()) return store_finish_call(callback_id, record, io_failure);
    std::vector<std::uint8_t> bytes = std::move(scripted->second);
    g_store_scripted_results.erase(scripted);
    // The handler reads a whole record, so one of another size cannot stand in.
    if (bytes.size() != record.size()) return store_finish_call(callback_id, record, io_failure);
    return store_finish_call(callback_id, bytes, io_failure);
}

bool store_call_fails(int callback_id)
{
    return std::ranges::find(g_store_failing_calls, callback_id) != g_store_failing_calls.end();
}

const std::string& store_folder()
{
    return g_store_folder;
}

bool StoreRemoteStorage::FileWrite(const char* file, const void* data, std::int32_t size)
{
    std::optional<std::string> path = store_remote_path(file);
    if (!path || size < 0 || size > k_unMaxCloudFileChunkSize || (!data && size > 0)) return false;
    return store_write_whole(*path, data, static_cast<std::size_t>(size));
}

std::int32_t StoreRemoteStorage::FileRead(const char* file, void* data, std::int32_t size)
{
    std::optional<std::string> path = store_remote_path(file);
    if (!path || !data || size <= 0) return 0;
    int fd = open(path->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    if (g_store_remote_read_limit >= 0) size = std::min(size, g_store_remote_read_limit);
    std::size_t done = store_read_up_to(fd, static_cast<std::uint8_t*>(data), static_cast<std::size_t>(size));
    close(fd);
    return static_cast<std::int32_t>(done);
}

bool StoreRemoteStorage::FileExists(const char* file)
{
    return store_file_size(file).has_value();
}

std::int32_t StoreRemoteStorage::GetFileSize(const char* file)
{
    std::optional<std::int64_t> size = store_file_size(file);
    if (!size) return 0;
    return static_cast<std::int32_t>(std::min<std::int64_t>(*size, INT32_MAX));
}

bool StoreRemoteStorage::FileDelete(const char* file)
{
    std::optional<std::string> path = store_remote_path(file);
    return path && !g_store_remote_deletes_fail && unlink(path->c_str()) == 0;
}

bool StoreRemoteStorage::IsCloudEnabledForAccount()
{
    return g_store_cloud_account;
}

bool StoreRemoteStorage::IsCloudEnabledForApp()
{
    return g_store_cloud_app;
}

void StoreRemoteStorage::SetCloudEnabledForApp(bool enabled)
{
    g_store_cloud_app = enabled;
    store_save_settings();
}

bool SteamAPI_Init()
{
    if (store_is_open()) return true;
    std::string folder = g_store_seam_folder;
    if (folder.empty()) {
        auto data_home = host_data_home();
        if (!data_home) return false;
        folder = *data_home + "/" + k_store_name;
    }
    if (!store_make_folders(folder + "/remote") || !store_make_folder(folder + "/tmp") ||
        !store_make_folder(folder + "/boards")) {
        return false;
    }
    g_store_folder = folder;
    store_load_settings();
    store_load_stats();
    g_store_stats_calls.clear();
    return true;
}

void SteamAPI_Shutdown()
{
    if (store_is_open() && g_store_values_unstored) store_save_stats();
    g_store_stats.clear();
    g_store_achievements.clear();
    g_store_values_unstored = false;
    g_store_folder.clear();
    g_store_cloud_account = false;
    g_store_cloud_app = false;
    g_store_finished.clear();
    g_store_registrations.clear();
    g_store_callbacks.clear();
    store_forget_boards();
    g_store_failing_calls.clear();
    g_store_scripted_results.clear();
    g_store_results_held = 0;
    g_store_remote_deletes_fail = false;
    g_store_remote_read_limit = -1;
}

void SteamAPI_RunCallbacks()
{
    std::deque<FinishedCall> finished;
    finished.swap(g_store_finished);
    std::deque<FinishedCall> held;
    for (FinishedCall& done : finished) {
        if (done.dispatches_held > 0) {
            --done.dispatches_held;
            held.push_back(std::move(done));
        } else if (done.call == k_uAPICallInvalid) {
            store_deliver_callback(done);
        } else {
            store_deliver_call_result(done);
        }
    }
    // Held results finished before any that finished during this dispatch.
    std::move(g_store_finished.begin(), g_store_finished.end(), std::back_inserter(held));
    g_store_finished.swap(held);
}

ISteamRemoteStorage* SteamRemoteStorage()
{
    return store_is_open() ? &g_store_remote : nullptr;
}

ISteamUserStats* SteamUserStats()
{
    return store_is_open() ? &g_store_user_stats : nullptr;
}

// The local store has the user's stats at once; the answer still travels through the dispatch.
bool StoreUserStats::RequestCurrentStats()
{
    store_log_stats_call("RequestCurrentStats", nullptr, 0);
    if (!store_is_open()) return false;
    UserStatsReceived_t received{};
    received.m_nGameID = k_store_game_id;
    received.m_eResult = k_EResultOK;
    received.m_steamIDUser = CSteamID(store_local_user());
    store_post_callback(received);
    return true;
}

bool StoreUserStats::GetStat(const char* name, std::int32_t* value)
{
    if (value) *value = 0;
    bool ok = store_is_open() && store_valid_value_name(name) && value;
    if (ok) *value = store_value(g_store_stats, name);
    store_log_stats_call("GetStat", name, ok ? *value : 0);
    return ok;
}

bool StoreUserStats::SetStat(const char* name, std::int32_t value)
{
    store_log_stats_call("SetStat", name, value);
    if (!store_is_open() || !store_valid_value_name(name)) return false;
    g_store_stats[name] = value;
    g_store_values_unstored = true;
    return true;
}

bool StoreUserStats::GetAchievement(const char* name, bool* achieved)
{
    if (achieved) *achieved = false;
    bool ok = store_is_open() && store_valid_value_name(name) && achieved;
    if (ok) *achieved = store_value(g_store_achievements, name) != 0;
    store_log_stats_call("GetAchievement", name, ok && *achieved);
    return ok;
}

bool StoreUserStats::SetAchievement(const char* name)
{
    store_log_stats_call("SetAchievement", name, 1);
    if (!store_is_open() || !store_valid_value_name(name)) return false;
    std::int32_t& unlocked = g_store_achievements[name];
    if (unlocked == 0) {
        unlocked = 1;
        g_store_values_unstored = true;
        std::fprintf(stderr, "Achievement unlocked: %s\n", name);
        std::fflush(stderr);
    }
    return true;
}

bool StoreUserStats::IndicateAchievementProgress(const char* name, std::uint32_t current, std::uint32_t max)
{
    store_log_stats_call("IndicateAchievementProgress", name, current, max);
    if (!store_is_open() || !store_valid_value_name(name) || store_value(g_store_achievements, name) != 0)
        return false;
    std::fprintf(stderr, "Achievement progress: %s %u/%u\n", name, current, max);
    std::fflush(stderr);
    return true;
}

bool StoreUserStats::StoreStats()
{
    store_log_stats_call("StoreStats", nullptr, 0);
    if (!store_is_open()) return false;
    ++g_store_stats_stored;
    return store_save_stats();
}

// A missing file is a set with nothing in it: resetting it succeeds.
bool StoreUserStats::ResetAllStats(bool achievements_too)
{
    store_log_stats_call("ResetAllStats", nullptr, achievements_too);
    if (!store_is_open()) return false;
    g_store_stats.clear();
    bool ok = store_delete_values(store_stats_path());
    if (achievements_too) {
        g_store_achievements.clear();
        g_store_values_unstored = false;
        ok = store_delete_values(store_achievements_path()) && ok;
    }
    return ok;
}

void SteamAPI_RegisterCallResult(CCallbackBase* handler, SteamAPICall_t call)
{
    if (!handler || call == k_uAPICallInvalid) return;
    g_store_registrations.push_back({handler, call});
}

void SteamAPI_UnregisterCallResult(CCallbackBase* handler, SteamAPICall_t call)
{
    std::erase_if(g_store_registrations, [&](const CallRegistration& entry) {
        return entry.handler == handler && entry.call == call;
    });
}

void SteamAPI_RegisterCallback(CCallbackBase* handler, int callback_id)
{
    if (!handler) return;
    handler->m_iCallback = callback_id;
    if (std::find(g_store_callbacks.begin(), g_store_callbacks.end(), handler) == g_store_callbacks.end())
        g_store_callbacks.push_back(handler);
}

void SteamAPI_UnregisterCallback(CCallbackBase* handler)
{
    std::erase(g_store_callbacks, handler);
}

SteamAPICall_t store_finish_call(int callback_id, std::span<const std::uint8_t> result, bool io_failure)
{
    if (!store_is_open()) return k_uAPICallInvalid;
    SteamAPICall_t call = g_store_next_call++;
    g_store_finished.push_back(
        {call, callback_id, {result.begin(), result.end()}, io_failure, g_store_results_held});
    return call;
}

void seam_set_store_folder(std::string host_folder)
{
    g_store_seam_folder = std::move(host_folder);
}

std::int32_t seam_stats_stored_count()
{
    return g_store_stats_stored;
}

void seam_set_store_writes_fail(bool fail)
{
    g_store_writes_fail = fail;
}

const std::vector<StoreStatsCall>& seam_stats_call_log()
{
    return g_store_stats_calls;
}

bool seam_set_cloud_enabled_for_account(bool enabled)
{
    if (!store_is_open()) return false;
    g_store_cloud_account = enabled;
    return store_save_settings();
}

void seam_set_calls_fail(int callback_id, bool fail)
{
    std::erase(g_store_failing_calls, callback_id);
    if (fail) g_store_failing_calls.push_back(callback_id);
}

void seam_set_results_held(std::int32_t dispatches)
{
    g_store_results_held = std::max(dispatches, 0);
}

void seam_script_result_bytes(int callback_id, std::span<const std::uint8_t> record)
{
    g_store_scripted_results[callback_id].assign(record.begin(), record.end());
}

void seam_set_remote_deletes_fail(bool fail)
{
    g_store_remote_deletes_fail = fail;
}

void seam_set_remote_read_limit(std::int32_t bytes)
{
    g_store_remote_read_limit = bytes;
}
