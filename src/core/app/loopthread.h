#pragma once
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace core {

// The thread an object runs its loop on, with what the object and its loop share.
// Declared last in the object, it goes first: it sets `stop` under `mutex`, wakes
// the loop through `wake` and waits for the thread to end.
class LoopThread
{
public:
    template <typename Loop>
    explicit LoopThread(Loop loop)
        : m_thread(QThread::create(std::move(loop)))
    {
    }

    ~LoopThread()
    {
        {
            const std::lock_guard lock(mutex);
            stop = true;
        }
        wake.notify_all();
        m_thread->wait();
    }

    LoopThread(const LoopThread &) = delete;
    LoopThread &operator=(const LoopThread &) = delete;

    // Once the object is set up.
    void start() { m_thread->start(); }

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;

private:
    std::unique_ptr<QThread> m_thread;
};

} // namespace core
