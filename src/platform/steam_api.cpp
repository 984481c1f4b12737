#include "platform/steam_api.h"

#include "platform/host_folders.h"
#include "platform/sjis.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
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

class StoreUserStats final : public ISteamUserStats {
public:
    bool RequestCurrentStats() override;
    bool ResetAllStats(bool achievements_too) override;
};

constexpr const char* k_store_name = "kro_store";
constexpr std::string_view k_account_switch = "CloudEnabledForAccount";
constexpr std::string_view k_app_switch = "CloudEnabledForApp";

std::string g_store_seam_folder;
std::string g_store_folder; // empty while the store is closed
bool g_store_cloud_account = false;
bool g_store_cloud_app = false;
StoreRemoteStorage g_store_remote;
StoreUserStats g_store_user_stats;

std::deque<FinishedCall> g_store_finished;
std::vector<CallRegistration> g_store_registrations;
SteamAPICall_t g_store_next_call = 1;

bool store_is_open()
{
    return !g_store_folder.empty();
}

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

// Writes a temporary file in the store's own "tmp/" folder and renames it onto the target,
// so a reader sees the old file or the new one, never a part.
bool store_write_whole(const std::string& target, const void* data, std::size_t size)
{
    std::string temp = g_store_folder + "/tmp/write.XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = store_write_all(fd, static_cast<const std::uint8_t*>(data), size) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
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

} // namespace

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
    auto* out = static_cast<std::uint8_t*>(data);
    std::int32_t done = 0;
    while (done < size) {
        ssize_t count = read(fd, out + done, static_cast<std::size_t>(size - done));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        done += static_cast<std::int32_t>(count);
    }
    close(fd);
    return done;
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
    return path && unlink(path->c_str()) == 0;
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
    if (!store_make_folders(folder + "/remote") || !store_make_folder(folder + "/tmp")) return false;
    g_store_folder = folder;
    store_load_settings();
    return true;
}

void SteamAPI_Shutdown()
{
    g_store_folder.clear();
    g_store_cloud_account = false;
    g_store_cloud_app = false;
    g_store_finished.clear();
    g_store_registrations.clear();
}

void SteamAPI_RunCallbacks()
{
    std::deque<FinishedCall> finished;
    finished.swap(g_store_finished);
    for (FinishedCall& done : finished) {
        // Looked up at delivery, so a handler may unregister another during the dispatch.
        auto registration = std::find_if(
            g_store_registrations.begin(), g_store_registrations.end(), [&](const CallRegistration& entry) {
                return entry.call == done.call && entry.handler->m_iCallback == done.callback_id;
            });
        if (registration == g_store_registrations.end()) continue;
        CCallbackBase* handler = registration->handler;
        g_store_registrations.erase(registration);
        handler->Run(done.result.data(), done.io_failure, done.call);
    }
}

ISteamRemoteStorage* SteamRemoteStorage()
{
    return store_is_open() ? &g_store_remote : nullptr;
}

ISteamUserStats* SteamUserStats()
{
    return store_is_open() ? &g_store_user_stats : nullptr;
}

bool StoreUserStats::RequestCurrentStats()
{
    return store_is_open();
}

// A missing file is a set with nothing in it: resetting it succeeds.
bool StoreUserStats::ResetAllStats(bool achievements_too)
{
    if (!store_is_open()) return false;
    bool ok = unlink((g_store_folder + "/stats").c_str()) == 0 || errno == ENOENT;
    if (achievements_too) ok = (unlink((g_store_folder + "/achievements").c_str()) == 0 || errno == ENOENT) && ok;
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

SteamAPICall_t store_finish_call(int callback_id, std::span<const std::uint8_t> result, bool io_failure)
{
    if (!store_is_open()) return k_uAPICallInvalid;
    SteamAPICall_t call = g_store_next_call++;
    g_store_finished.push_back({call, callback_id, {result.begin(), result.end()}, io_failure});
    return call;
}

void seam_set_store_folder(std::string host_folder)
{
    g_store_seam_folder = std::move(host_folder);
}

bool seam_set_cloud_enabled_for_account(bool enabled)
{
    if (!store_is_open()) return false;
    g_store_cloud_account = enabled;
    return store_save_settings();
}
