#include "ProgramSearch.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

namespace studentd {

SearchWorker::SearchWorker()
    : m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), m_thread(&SearchWorker::Run, this)
{}

SearchWorker::~SearchWorker()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

bool SearchWorker::Submit(Origin origin, int opid, const std::string& folder)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_jobs.size() >= kMaxWaiting)
            return false;
        m_jobs.push_back({{origin, opid}, folder});
    }
    m_cv.notify_one();
    return true;
}

bool SearchWorker::Cancel(Origin origin, int opid)
{
    const Key key{origin, opid};
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto waiting =
        std::find_if(m_jobs.begin(), m_jobs.end(), [&](const Job& j) { return j.key == key; });
    if (waiting != m_jobs.end()) {
        m_jobs.erase(waiting);
        return true;
    }
    const auto done = std::find_if(m_done.begin(), m_done.end(), [&](const Done& d) {
        return d.origin == origin && d.opid == opid;
    });
    if (done != m_done.end()) {
        m_done.erase(done);
        return true;
    }
    if (!m_running.count(key))
        return false;
    m_cancelled.insert(key);
    return true;
}

std::vector<SearchWorker::Done> SearchWorker::TakeFinished()
{
    uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(m_wake.get(), &count, sizeof count);
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_done, {});
}

void SearchWorker::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_stop)
            return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_running.insert(job.key);
        lock.unlock();
        ProgramListing listing = ListPrograms(job.folder);
        lock.lock();
        m_running.erase(job.key);
        if (m_cancelled.erase(job.key))
            continue;
        m_done.push_back({job.key.first, job.key.second, job.folder, std::move(listing)});
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake.get(), &one, sizeof one);
    }
}

} // namespace studentd
