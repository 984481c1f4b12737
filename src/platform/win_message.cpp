#include "platform/impl/win_handles.h"
#include "platform/impl/window_internal.h"
#include "platform/win_kernel.h"

#include <atomic>
#include <deque>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <unordered_map>

namespace {

constexpr int k_wait_slice_ms = 100; // an upper bound on any wait, in case a wake-up was missed

struct ThreadQueue;

// A message sent from another thread or process, or a call made on the thread's behalf.
struct SentCall {
    std::function<LRESULT()> call;
    int reply_fd = -1;                   // a sender in another process waits on this socket
    std::shared_ptr<ThreadQueue> sender; // a sender in this process waits for `done`
    std::atomic<bool> done{false};
    LRESULT result = 0;
};

struct ThreadQueue {
    explicit ThreadQueue(DWORD id) : thread_id(id), wake_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~ThreadQueue()
    {
        if (wake_fd >= 0) close(wake_fd);
    }

    DWORD thread_id;
    int wake_fd;
    std::mutex lock;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentCall>> sent;
    bool quit = false;
    int quit_code = 0;
};

std::mutex g_queue_lock;
std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> g_queues;

// The queue lives as long as its thread.
struct QueueOwner {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueOwner()
    {
        if (!queue) return;
        std::lock_guard lock(g_queue_lock);
        g_queues.erase(queue->thread_id);
    }
};
thread_local QueueOwner t_queue;

ThreadQueue& current_queue()
{
    if (!t_queue.queue) {
        t_queue.queue = std::make_shared<ThreadQueue>(GetCurrentThreadId());
        std::lock_guard lock(g_queue_lock);
        g_queues[t_queue.queue->thread_id] = t_queue.queue;
    }
    return *t_queue.queue;
}

std::shared_ptr<ThreadQueue> queue_of(DWORD thread_id)
{
    std::lock_guard lock(g_queue_lock);
    auto found = g_queues.find(thread_id);
    return found == g_queues.end() ? nullptr : found->second;
}

void wake(const ThreadQueue& queue)
{
    std::uint64_t one = 1;
    (void)!write(queue.wake_fd, &one, sizeof one);
    // The thread that reads SDL's events waits on SDL, not on the counter.
    if (video_started() && queue.thread_id == video_thread_id() && queue.thread_id != GetCurrentThreadId())
        events_wake_video_thread();
}

void drain_wake(const ThreadQueue& queue)
{
    std::uint64_t count;
    while (read(queue.wake_fd, &count, sizeof count) > 0) {
    }
}

void finish(SentCall& sent, LRESULT result)
{
    if (sent.reply_fd >= 0) {
        ipc_answer_send(sent.reply_fd, result);
        return;
    }
    sent.result = result;
    sent.done.store(true, std::memory_order_release);
    if (sent.sender) wake(*sent.sender);
}

// Runs every call sent to the thread; they come before anything posted, as on the platform.
void deliver_sent(ThreadQueue& queue)
{
    for (;;) {
        std::shared_ptr<SentCall> sent;
        {
            std::lock_guard lock(queue.lock);
            if (queue.sent.empty()) return;
            sent = std::move(queue.sent.front());
            queue.sent.pop_front();
        }
        finish(*sent, sent->call());
    }
}

bool push_call(DWORD thread_id, const std::shared_ptr<SentCall>& sent)
{
    auto target = queue_of(thread_id);
    if (!target) return false;
    {
        std::lock_guard lock(target->lock);
        target->sent.push_back(sent);
    }
    wake(*target);
    return true;
}

void wait_on_own_queue(const ThreadQueue& queue)
{
    pollfd fd{queue.wake_fd, POLLIN, 0};
    poll(&fd, 1, k_wait_slice_ms);
    drain_wake(queue);
}

// Waits for an SDL event, a wake-up, or the end of a slice.
void wait_for_activity(const ThreadQueue& queue)
{
    if (video_thread_is_current()) {
        events_wait(k_wait_slice_ms);
        drain_wake(queue);
    } else {
        wait_on_own_queue(queue);
    }
}

bool in_range(UINT message, UINT first, UINT last)
{
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

bool passes(const MSG& message, HWND filter, UINT first, UINT last)
{
    if (filter == reinterpret_cast<HWND>(-1)) return !message.hwnd && in_range(message.message, first, last);
    return (!filter || message.hwnd == filter) && in_range(message.message, first, last);
}

bool valid_filter(HWND filter)
{
    if (!filter || filter == reinterpret_cast<HWND>(-1)) return true;
    auto window = window_find(filter);
    return window && window->thread_id == GetCurrentThreadId();
}

bool take_message(ThreadQueue& queue, MSG* out, HWND filter, UINT first, UINT last, bool remove)
{
    {
        std::unique_lock lock(queue.lock);
        for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
            if (!passes(*it, filter, first, last)) continue;
            *out = *it;
            if (remove) queue.posted.erase(it);
            lock.unlock();
            if (remove) keys_note_retrieved(*out);
            return true;
        }
        if (queue.quit && in_range(WM_QUIT, first, last)) {
            *out = message_make(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quit_code), 0);
            if (remove) queue.quit = false;
            return true;
        }
    }
    if (!in_range(WM_PAINT, first, last) || filter == reinterpret_cast<HWND>(-1)) return false;
    HWND painting = window_needing_paint(queue.thread_id, filter);
    if (!painting) return false;
    *out = message_make(painting, WM_PAINT, 0, 0);
    return true;
}

bool has_message(ThreadQueue& queue)
{
    {
        std::lock_guard lock(queue.lock);
        if (!queue.posted.empty() || queue.quit) return true;
    }
    return window_needing_paint(queue.thread_id, nullptr) != nullptr;
}

// Reads what has arrived: SDL's events (video thread only) and calls sent to the thread.
void gather(ThreadQueue& queue)
{
    if (video_thread_is_current()) events_pump();
    deliver_sent(queue);
}

} // namespace

// ---- Shared with the other sources of the window layer --------------------------------------

void message_ensure_queue()
{
    current_queue();
}

MSG message_make(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    return {window, message, wparam, lparam, timeGetTime(), events_cursor_position()};
}

bool message_post_to_thread(DWORD thread_id, const MSG& message)
{
    auto target = queue_of(thread_id);
    if (!target) return false;
    {
        std::lock_guard lock(target->lock);
        target->posted.push_back(message);
    }
    wake(*target);
    return true;
}

bool message_queue_call(DWORD thread_id, std::function<LRESULT()> call, int reply_fd)
{
    auto sent = std::make_shared<SentCall>();
    sent->call = std::move(call);
    sent->reply_fd = reply_fd;
    return push_call(thread_id, sent);
}

LRESULT message_call_on_thread(DWORD thread_id, std::function<LRESULT()> call)
{
    ThreadQueue& own = current_queue();
    auto sent = std::make_shared<SentCall>();
    sent->call = std::move(call);
    sent->sender = t_queue.queue;
    if (!push_call(thread_id, sent)) return 0;
    // Calls sent to this thread meanwhile are run, so two threads sending to each other go on.
    while (!sent->done.load(std::memory_order_acquire)) {
        deliver_sent(own);
        if (sent->done.load(std::memory_order_acquire)) break;
        wait_on_own_queue(own);
    }
    return sent->result;
}

LRESULT message_deliver(HWND handle, UINT message, WPARAM wparam, LPARAM lparam)
{
    auto window = window_find(handle);
    if (!window || window->thread_id != GetCurrentThreadId()) return 0;
    return window->proc(handle, message, wparam, lparam);
}

bool message_may_cross_processes(UINT message)
{
    return message >= WM_USER || message == WM_NULL || message == WM_CLOSE || message == WM_COMMAND ||
           message == WM_SYSCOMMAND;
}

bool window_serve_request(HWND handle, const IpcRequest& request, int connection)
{
    IpcReply reply = ipc_reply_refused();
    auto window = window_find(handle);
    if (!window || window->destroying) {
        ipc_answer(connection, reply);
        return false;
    }
    DWORD owner = window->thread_id;
    switch (static_cast<IpcKind>(request.kind)) {
    case IpcKind::query:
        window_fill_reply(*window, reply);
        break;
    case IpcKind::post:
        if (message_may_cross_processes(request.message))
            reply.ok = message_post_to_thread(owner, message_make(handle, request.message, request.wparam,
                                                                  static_cast<LPARAM>(request.lparam)));
        break;
    case IpcKind::send: {
        if (!message_may_cross_processes(request.message)) break;
        UINT message = request.message;
        WPARAM wparam = request.wparam;
        auto lparam = static_cast<LPARAM>(request.lparam);
        if (message_queue_call(
                owner, [=] { return message_deliver(handle, message, wparam, lparam); }, connection))
            return true;
        break;
    }
    case IpcKind::show: {
        window_fill_reply(*window, reply);
        reply.result = (reply.state & IPC_STATE_VISIBLE) ? 1 : 0;
        int command = request.show_command;
        reply.ok = message_queue_call(
            owner, [=] { return ShowWindow(handle, command); }, -1);
        break;
    }
    case IpcKind::activate:
        reply.ok = message_queue_call(
            owner, [=] { return SetForegroundWindow(handle); }, -1);
        break;
    }
    ipc_answer(connection, reply);
    return false;
}

// ---- The message queue ----------------------------------------------------------------------

BOOL PeekMessageA(MSG* message, HWND filter, UINT first, UINT last, UINT remove)
{
    if (!message) return FALSE;
    if (!valid_filter(filter)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    ThreadQueue& queue = current_queue();
    gather(queue);
    return take_message(queue, message, filter, first, last, remove & PM_REMOVE) ? TRUE : FALSE;
}

BOOL GetMessageA(MSG* message, HWND filter, UINT first, UINT last)
{
    if (!message || !valid_filter(filter)) {
        SetLastError(message ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return -1;
    }
    ThreadQueue& queue = current_queue();
    for (;;) {
        gather(queue);
        if (take_message(queue, message, filter, first, last, true))
            return message->message == WM_QUIT ? 0 : 1;
        wait_for_activity(queue);
    }
}

BOOL WaitMessage()
{
    ThreadQueue& queue = current_queue();
    for (;;) {
        gather(queue);
        if (has_message(queue)) return TRUE;
        wait_for_activity(queue);
    }
}

BOOL TranslateMessage(const MSG* message)
{
    if (!message) return FALSE;
    switch (message->message) {
    case WM_KEYDOWN: {
        BYTE character = 0;
        switch (message->wParam) {
        case VK_RETURN:
            character = '\r';
            break;
        case VK_BACK:
            character = '\b';
            break;
        case VK_TAB:
            character = '\t';
            break;
        case VK_ESCAPE:
            character = 0x1B;
            break;
        }
        if (character) PostMessageA(message->hwnd, WM_CHAR, character, message->lParam);
        return TRUE;
    }
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT DispatchMessageA(const MSG* message)
{
    if (!message || !message->hwnd) return 0;
    return message_deliver(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL PostMessageA(HWND handle, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (!handle) {
        ThreadQueue& queue = current_queue();
        std::lock_guard lock(queue.lock);
        queue.posted.push_back(message_make(nullptr, message, wparam, lparam));
        return TRUE;
    }
    if (auto window = window_find(handle)) {
        if (message_post_to_thread(window->thread_id, message_make(handle, message, wparam, lparam)))
            return TRUE;
    } else if (!window_is_local_handle(handle)) {
        if (!message_may_cross_processes(message)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        auto reply = ipc_request(handle, IpcKind::post, message, wparam, lparam);
        if (reply && reply->ok) return TRUE;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

LRESULT SendMessageA(HWND handle, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (auto window = window_find(handle)) {
        if (window->thread_id == GetCurrentThreadId()) return window->proc(handle, message, wparam, lparam);
        return message_call_on_thread(window->thread_id,
                                      [=] { return message_deliver(handle, message, wparam, lparam); });
    }
    if (handle && !window_is_local_handle(handle)) {
        if (!message_may_cross_processes(message)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
        ThreadQueue& own = current_queue();
        auto result = ipc_send(handle, message, wparam, lparam, own.wake_fd, [&own] {
            drain_wake(own);
            deliver_sent(own);
        });
        if (result) return *result;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

void PostQuitMessage(int exit_code)
{
    ThreadQueue& queue = current_queue();
    std::lock_guard lock(queue.lock);
    queue.quit = true;
    queue.quit_code = exit_code;
}
