// The store platform's client services, as the programs call them: start and stop, the
// callback dispatch, remote (cloud) storage, user stats and leaderboards.
//
// The store is local: a folder of its own under the user's data home ($XDG_DATA_HOME, else
// ~/.local/share), "kro_store/". Remote files are plain files in its "remote/" folder, named
// as the program names them (any case); the account's and the application's cloud switches
// are kept in its "settings" file and are off until switched on. Leaderboards are files in
// its "boards/" folder, one a board. Stats and achievements are its "stats" and "achievements"
// files, lines "name<TAB>value" (an achievement 0 or 1) in UTF-8 with LF ends.
#pragma once

#include <cstdint>

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

// Callbacks: results that answer no handle (UserStatsReceived_t ...) go, by the dispatch, to
// every object registered for their callback id, with k_uAPICallInvalid as the call.
// Registering sets the object's m_iCallback.
void SteamAPI_RegisterCallback(CCallbackBase* handler, int callback_id);
void SteamAPI_UnregisterCallback(CCallbackBase* handler);

// Binds one asynchronous call to a member function of an object: Set drops the call it
// still waits for, and the handler runs once, from the dispatch, with the result record.
template <class T, class P> class CCallResult final : public CCallbackBase {
public:
    using func_t = void (T::*)(P* result, bool io_failure);

    CCallResult() { m_iCallback = P::k_iCallback; }
    ~CCallResult() { Cancel(); }
    CCallResult(const CCallResult&) = delete;
    CCallResult& operator=(const CCallResult&) = delete;

    // A call of k_uAPICallInvalid leaves the binding idle.
    void Set(SteamAPICall_t call, T* object, func_t handler)
    {
        Cancel();
        m_call = call;
        m_object = object;
        m_handler = handler;
        if (call != k_uAPICallInvalid) SteamAPI_RegisterCallResult(this, call);
    }
    bool IsActive() const { return m_call != k_uAPICallInvalid; }
    void Cancel()
    {
        if (IsActive()) SteamAPI_UnregisterCallResult(this, m_call);
        m_call = k_uAPICallInvalid;
    }
    void Run(void* param, bool io_failure, SteamAPICall_t call) override
    {
        if (call != m_call) return;
        m_call = k_uAPICallInvalid; // idle before the handler, which may bind the next call
        (m_object->*m_handler)(static_cast<P*>(param), io_failure);
    }

private:
    SteamAPICall_t m_call = k_uAPICallInvalid;
    T* m_object = nullptr;
    func_t m_handler = nullptr;
};

// Users. An id packs the account (bits 0-31), the instance (32-51), the account type (52-55)
// and the universe (56-63).
enum EUniverse { k_EUniverseInvalid = 0, k_EUniversePublic = 1 };
enum EAccountType { k_EAccountTypeIndividual = 1, k_EAccountTypeAnonGameServer = 4 };
constexpr std::uint32_t k_unSteamUserDesktopInstance = 1;

class CSteamID {
public:
    constexpr CSteamID() = default;
    constexpr explicit CSteamID(std::uint64_t id) : m_id(id) {}
    constexpr CSteamID(std::uint32_t account, std::uint32_t instance, EUniverse universe, EAccountType type)
        : m_id(account | std::uint64_t{instance & 0xFFFFF} << 32 | std::uint64_t{type & 0xFu} << 52 |
               std::uint64_t{universe & 0xFFu} << 56)
    {
    }
    constexpr std::uint64_t ConvertToUint64() const { return m_id; }

private:
    std::uint64_t m_id = 0;
};
static_assert(sizeof(CSteamID) == 8);

// Leaderboards. Each user has at most one entry a board; ranks count from 1 in the board's
// sort order, and a user's details are up to k_cLeaderboardDetailsMax words kept with the score.
using SteamLeaderboard_t = std::uint64_t;
using SteamLeaderboardEntries_t = std::uint64_t;
using UGCHandle_t = std::uint64_t;
constexpr UGCHandle_t k_UGCHandleInvalid = 0xFFFFFFFFFFFFFFFFull;
constexpr int k_cchLeaderboardNameMax = 128; // with the terminator
constexpr int k_cLeaderboardDetailsMax = 64;
constexpr int k_iSteamUserStatsCallbacks = 1100;

enum ELeaderboardUploadScoreMethod {
    k_ELeaderboardUploadScoreMethodKeepBest = 1, // a score that is not better leaves the entry
};
enum ELeaderboardDataRequest {
    k_ELeaderboardDataRequestGlobal = 0,           // ranks range start..range end
    k_ELeaderboardDataRequestGlobalAroundUser = 1, // offsets from the user's rank, shifted to fit
    k_ELeaderboardDataRequestFriends = 2,          // the user's friends and the user; no range
};

struct LeaderboardEntry_t {
    CSteamID m_steamIDUser;
    std::int32_t m_nGlobalRank;
    std::int32_t m_nScore;
    std::int32_t m_cDetails; // the entry's detail count, whatever was asked for
    UGCHandle_t m_hUGC;
};
static_assert(sizeof(LeaderboardEntry_t) == 32);

enum EResult {
    k_EResultOK = 1,
    k_EResultFail = 2,
};

// The one application the local store serves, as results name it: a game id holds the
// application id in its low 24 bits.
constexpr std::uint32_t k_store_app_id = 1;
constexpr std::uint64_t k_store_game_id = k_store_app_id;

// The answer to RequestCurrentStats, a callback: the user's stats are current.
struct UserStatsReceived_t {
    static constexpr int k_iCallback = k_iSteamUserStatsCallbacks + 1;
    std::uint64_t m_nGameID;
    EResult m_eResult;
    CSteamID m_steamIDUser;
};

struct LeaderboardFindResult_t {
    static constexpr int k_iCallback = k_iSteamUserStatsCallbacks + 4;
    SteamLeaderboard_t m_hSteamLeaderboard;
    std::uint8_t m_bLeaderboardFound;
};
static_assert(sizeof(LeaderboardFindResult_t) == 16);

struct LeaderboardScoresDownloaded_t {
    static constexpr int k_iCallback = k_iSteamUserStatsCallbacks + 5;
    SteamLeaderboard_t m_hSteamLeaderboard;
    SteamLeaderboardEntries_t m_hSteamLeaderboardEntries;
    std::int32_t m_cEntryCount;
};
static_assert(sizeof(LeaderboardScoresDownloaded_t) == 24);

struct LeaderboardScoreUploaded_t {
    static constexpr int k_iCallback = k_iSteamUserStatsCallbacks + 6;
    std::uint8_t m_bSuccess;
    SteamLeaderboard_t m_hSteamLeaderboard;
    std::int32_t m_nScore;              // as uploaded
    std::uint8_t m_bScoreChanged;       // the board now holds the uploaded score
    std::int32_t m_nGlobalRankNew;      // the user's rank after the upload
    std::int32_t m_nGlobalRankPrevious; // 0 when the user had no entry
};
static_assert(sizeof(LeaderboardScoreUploaded_t) == 32);

// User stats, achievements and leaderboards, kept in the store's "stats" and "achievements"
// files and its "boards/" folder. The leaderboard calls that return a handle answer through
// the dispatch; one that cannot be made (store closed, unknown board or entries handle, a
// value out of range) returns k_uAPICallInvalid and delivers nothing.
class ISteamUserStats {
public:
    // Makes the user's stats current; the local store has them at once and says so by the
    // UserStatsReceived_t callback. False while closed.
    virtual bool RequestCurrentStats() = 0;
    // Stats and achievements are held in memory from the store's opening on; a name never set
    // reads 0 or locked, and its first set makes it. A call that fails (store closed, no name,
    // no output) still leaves 0 or false in the output.
    virtual bool GetStat(const char* name, std::int32_t* value) = 0;
    // False also for a name holding a tab or a line end, which the store's files cannot keep.
    virtual bool SetStat(const char* name, std::int32_t value) = 0;
    virtual bool GetAchievement(const char* name, bool* achieved) = 0;
    // Unlocks; the first unlock shows a notice (one line on standard error).
    virtual bool SetAchievement(const char* name) = 0;
    // Shows a progress notice for an achievement still locked; false once it is unlocked.
    virtual bool IndicateAchievementProgress(const char* name, std::uint32_t current, std::uint32_t max) = 0;
    // Writes the stats and achievements held in memory to the store's files, each whole; the
    // values not yet stored are also written when the store closes. False while closed or
    // when a write fails.
    virtual bool StoreStats() = 0;
    // Clears every stat, and the achievements too when asked, in memory and in the files.
    virtual bool ResetAllStats(bool achievements_too) = 0;

    // LeaderboardFindResult_t. A board the store does not have yet is made, ascending and
    // empty; a name that is empty or too long is not found; an unreadable board file fails the call.
    virtual SteamAPICall_t FindLeaderboard(const char* name) = 0;
    // LeaderboardScoreUploaded_t for the local user's entry; details may be null when the count is 0.
    virtual SteamAPICall_t UploadLeaderboardScore(SteamLeaderboard_t board,
                                                  ELeaderboardUploadScoreMethod method, std::int32_t score,
                                                  const std::int32_t* details, int detail_count) = 0;
    // LeaderboardScoresDownloaded_t; the entries stay readable until the store closes.
    virtual SteamAPICall_t DownloadLeaderboardEntries(SteamLeaderboard_t board,
                                                      ELeaderboardDataRequest request, int range_start,
                                                      int range_end) = 0;
    // The board's entries now; 0 for an unknown board.
    virtual int GetLeaderboardEntryCount(SteamLeaderboard_t board) = 0;
    // Entry `index` of a download and up to `details_max` of its details; false for an unknown
    // handle or index.
    virtual bool GetDownloadedLeaderboardEntry(SteamLeaderboardEntries_t entries, int index,
                                               LeaderboardEntry_t* entry, std::int32_t* details,
                                               int details_max) = 0;

protected:
    ~ISteamUserStats() = default;
};

// Null while the store is not open.
ISteamUserStats* SteamUserStats();
