// Program search on this machine, for the student application and for the
// teacher: the launchers and executables of one folder, answered as a
// search-result programs document. Listing runs on a thread of its own, so
// a slow folder (a network mount) never holds up the daemon's loop.
#ifndef TAV_STUDENTD_PROGRAMSEARCH_H
#define TAV_STUDENTD_PROGRAMSEARCH_H

#include "ProgramListing.h"
#include "UniqueFd.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace studentd {

using tavtools::ListPrograms;
using tavtools::ProgramListing;

class SearchWorker {
public:
    // Whose operation id an answer carries: the application's and the
    // teacher's are counted apart.
    enum class Origin { Application, Teacher };

    struct Done {
        Origin origin;
        int opid;
        std::string folder;
        ProgramListing listing;
    };

    SearchWorker();
    ~SearchWorker();
    SearchWorker(const SearchWorker&) = delete;
    SearchWorker& operator=(const SearchWorker&) = delete;

    // False when too many searches wait already.
    bool Submit(Origin origin, int opid, const std::string& folder);
    // Drops the answer of a waiting or running search; false when there is
    // none with that id.
    bool Cancel(Origin origin, int opid);

    // Readable while finished searches wait for TakeFinished().
    int WakeFd() const { return m_wake.get(); }
    // The searches finished since the last call, cancelled ones left out.
    std::vector<Done> TakeFinished();

    static constexpr std::size_t kMaxWaiting = 16;

private:
    using Key = std::pair<Origin, int>;
    struct Job {
        Key key;
        std::string folder;
    };

    void Run();

    tavd::UniqueFd m_wake;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Job> m_jobs;
    std::set<Key> m_running;   // taken by the thread, not finished
    std::set<Key> m_cancelled; // of those, the ones whose answer is dropped
    std::vector<Done> m_done;
    bool m_stop = false;
    std::thread m_thread; // last: starts once everything above exists
};

} // namespace studentd

#endif
