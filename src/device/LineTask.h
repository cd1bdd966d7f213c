#pragma once

#ifndef Q_MOC_RUN // moc cannot read the standard library's concepts
#include <coroutine>
#endif
#include <exception>
#include <optional>
#include <utility>

// A job's coroutine on the window's thread: it starts at once, runs until its first wait (for the
// line, an exchange or a pause) and goes on when that ends; the window's thread never blocks in
// it. The caller may await the task (and get its result) or let it go: a task let go frees
// itself at its end.
namespace LineTaskDetail {

struct PromiseBase
{
    std::coroutine_handle<> continuation;
    bool detached = false;

    std::suspend_never initial_suspend() noexcept { return {}; }

    struct FinalAwaiter
    {
        bool await_ready() noexcept { return false; }
        template <typename Promise>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> self) noexcept
        {
            PromiseBase &promise = self.promise();
            const std::coroutine_handle<> next = promise.continuation ? promise.continuation : std::noop_coroutine();
            if (promise.detached)
                self.destroy();
            return next;
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { std::terminate(); }
};

template <typename T>
struct Promise;

template <typename T>
class Task
{
public:
    using promise_type = Promise<T>;

    explicit Task(std::coroutine_handle<Promise<T>> handle) : m_handle(handle) {}
    Task(Task &&other) noexcept : m_handle(std::exchange(other.m_handle, {})) {}
    Task(const Task &) = delete;
    Task &operator=(const Task &) = delete;
    Task &operator=(Task &&) = delete;
    ~Task()
    {
        if (!m_handle)
            return;
        if (m_handle.done())
            m_handle.destroy();
        else
            m_handle.promise().detached = true;
    }

    bool isDone() const { return !m_handle || m_handle.done(); }
    bool await_ready() const noexcept { return m_handle.done(); }
    void await_suspend(std::coroutine_handle<> awaiting) noexcept { m_handle.promise().continuation = awaiting; }
    T await_resume() { return m_handle.promise().take(); }
    // The result of a task that is done (once).
    T result() { return m_handle.promise().take(); }

private:
    std::coroutine_handle<Promise<T>> m_handle;
};

template <typename T>
struct Promise : PromiseBase
{
    std::optional<T> value;
    Task<T> get_return_object() { return Task<T>(std::coroutine_handle<Promise>::from_promise(*this)); }
    void return_value(T result) { value = std::move(result); }
    T take() { return std::move(*value); }
};

template <>
struct Promise<void> : PromiseBase
{
    Task<void> get_return_object() { return Task<void>(std::coroutine_handle<Promise>::from_promise(*this)); }
    void return_void() {}
    void take() {}
};

} // namespace LineTaskDetail

template <typename T = void>
using LineTask = LineTaskDetail::Task<T>;
