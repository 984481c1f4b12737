// The store platform's client services, as the programs call them: start and stop, the
// callback dispatch and remote (cloud) storage.
//
// The store is local: a folder of its own under the user's data home ($XDG_DATA_HOME, else
// ~/.local/share), "kro_store/". Remote files are plain files in its "remote/" folder, named
// as the program names them (any case); the account's and the application's cloud switches
// are kept in its "settings" file and are off until switched on.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// Opens the store, creating its folders; false when there is no data home or it cannot be
// made. Calling it again while open changes nothing.
bool SteamAPI_Init();
// Closes the store: interfaces become null, undelivered results and registrations are dropped.
void SteamAPI_Shutdown();
// Delivers the results of finished calls to the objects registered for them, in the order
// the calls finished, on the calling thread. Results that finish during the dispatch wait
// for the next one.
void SteamAPI_RunCallbacks();

// Remote storage. File names are flat (no folder separators), at most 259 bytes, and no
// longer than a host file name can be once in UTF-8 (255 bytes).
constexpr std::int32_t k_cchFilenameMax = 260;
constexpr std::int32_t k_unMaxCloudFileChunkSize = 100 * 1024 * 1024;

class ISteamRemoteStorage {
public:
    // Writes the file whole (it replaces an earlier one only once completely written);
    // false for a bad name, a size outside 0..k_unMaxCloudFileChunkSize or a failed write.
    virtual bool FileWrite(const char* file, const void* data, std::int32_t size) = 0;
    // Reads up to `size` bytes from the start; the count read, 0 when the file is missing.
    virtual std::int32_t FileRead(const char* file, void* data, std::int32_t size) = 0;
    virtual bool FileExists(const char* file) = 0;
    // 0 when the file is missing.
    virtual std::int32_t GetFileSize(const char* file) = 0;
    // false when there was no such file.
    virtual bool FileDelete(const char* file) = 0;
    virtual bool IsCloudEnabledForAccount() = 0;
    virtual bool IsCloudEnabledForApp() = 0;
    // The user's choice for this application; kept in the store.
    virtual void SetCloudEnabledForApp(bool enabled) = 0;

protected:
    ~ISteamRemoteStorage() = default;
};

// Null while the store is not open.
ISteamRemoteStorage* SteamRemoteStorage();

// User stats and achievements, kept in the store's "stats" and "achievements" files.
class ISteamUserStats {
public:
    // Makes the user's stats current; the local store has them at once. False while closed.
    virtual bool RequestCurrentStats() = 0;
    // Clears every stat, and the achievements too when asked.
    virtual bool ResetAllStats(bool achievements_too) = 0;

protected:
    ~ISteamUserStats() = default;
};

// Null while the store is not open.
ISteamUserStats* SteamUserStats();

// Call results. An asynchronous call returns a handle at once; its result record is handed
// later, by SteamAPI_RunCallbacks, to the object registered for that handle, exactly once.
using SteamAPICall_t = std::uint64_t;
constexpr SteamAPICall_t k_uAPICallInvalid = 0;

class CCallbackBase {
public:
    // `param` points at the result record; `io_failure` says the call itself failed.
    virtual void Run(void* param, bool io_failure, SteamAPICall_t call) = 0;

    int m_iCallback = 0; // the callback id of the result records it takes

protected:
    ~CCallbackBase() = default;
};

void SteamAPI_RegisterCallResult(CCallbackBase* handler, SteamAPICall_t call);
void SteamAPI_UnregisterCallResult(CCallbackBase* handler, SteamAPICall_t call);

// The store's own side of an asynchronous call (user stats, leaderboards): the call has
// finished now with this result record; it is delivered by the next dispatch. Returns the
// call's handle, or k_uAPICallInvalid while the store is not open.
SteamAPICall_t store_finish_call(int callback_id, std::span<const std::uint8_t> result, bool io_failure);

// Test seams. The store folder (a host path) used from the next SteamAPI_Init on; empty
// returns to the data home's.
void seam_set_store_folder(std::string host_folder);
// Switches the account's cloud storage of the open store; false while it is not open.
bool seam_set_cloud_enabled_for_account(bool enabled);
