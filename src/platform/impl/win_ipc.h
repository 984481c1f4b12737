// The transport that carries window requests between the processes of the user. Every
// published top-level window listens on a Unix-domain socket
// "<runtime folder>/kro.window.<class in lower case>.<handle in hex>"; the runtime folder is
// private to the user (runtime_dir.h), and connections from other users are refused as well.
// A request is one IpcRequest record on a fresh connection and is answered by one IpcReply.
// A transport thread accepts the requests and hands them to the window layer
// (window_serve_request), which answers at once, or, for a sent message, once the window's
// own thread has run the window procedure.
#pragma once

#include "platform/win_window.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

enum class IpcKind : std::uint32_t {
    query = 1,    // the window's owner, class, title and state
    post = 2,     // queue a message for the window
    send = 3,     // run the window procedure and answer with its result
    show = 4,     // ShowWindow by the window's thread, answered with the visibility before
    activate = 5, // SetForegroundWindow by the window's thread
};

struct IpcRequest {
    std::uint32_t magic;
    std::uint32_t kind;
    std::uint64_t window;
    std::uint32_t message;
    std::int32_t show_command;
    std::uint64_t wparam;
    std::int64_t lparam;
};

constexpr std::uint32_t IPC_STATE_VISIBLE = 0x1;
constexpr std::uint32_t IPC_STATE_ICONIC = 0x2;
constexpr std::uint32_t IPC_STATE_ACTIVE = 0x4;

struct IpcReply {
    std::uint32_t magic;
    std::uint32_t ok; // 0: the window is gone or the request was refused
    std::int64_t result;
    std::uint32_t process;
    std::uint32_t thread;
    std::uint32_t style;
    std::uint32_t state; // IPC_STATE_ bits
    char class_name[256];
    char title[256];
};

// A reply that says "refused" until filled in.
IpcReply ipc_reply_refused();

// ---- The window's side ----
// Starts listening for the window; false when there is no runtime folder, the socket path is
// too long for the host or the socket cannot be made (errno tells why).
bool ipc_publish(HWND window, std::string_view class_name);
// Stops listening and removes the socket; requests already accepted are still answered.
void ipc_unpublish(HWND window);
// Provided by the window layer and run on the transport thread: answers the request on the
// connection and returns false, or keeps the connection to answer later with ipc_answer_send
// and returns true.
bool window_serve_request(HWND window, const IpcRequest& request, int connection);
bool ipc_answer(int connection, const IpcReply& reply);
// The late answer to a sent message; closes the connection.
void ipc_answer_send(int connection, LRESULT result);

// ---- The caller's side ----
// Other processes' published windows of the class (any class for null), newest process first.
// A window may have died since; a request to it then fails and removes its socket.
std::vector<HWND> ipc_list_windows(const char* class_name);
// One request answered by the transport thread; empty when the window cannot be reached.
std::optional<IpcReply> ipc_request(HWND window, IpcKind kind, UINT message = 0, WPARAM wparam = 0,
                                    LPARAM lparam = 0, int show_command = 0);
// A sent message: waits for the window procedure's result without a time limit, calling
// on_wake whenever wake_fd becomes readable (so the waiting thread can serve messages sent to
// its own windows). Empty when the window cannot be reached; 0 when it dies before answering.
std::optional<LRESULT> ipc_send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, int wake_fd,
                                const std::function<void()>& on_wake);
