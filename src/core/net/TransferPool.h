#pragma once
// Page fetches that overlap: transfers run on a thread of their own (one libcurl multi handle,
// whose connections to a site are reused for as long as the pool lives), started in the order
// they were submitted. Two limits apply, each on its own: transfers in flight (at most a few per
// host), and pages fetched but not yet released by the caller (their count and their bytes), so
// that the pool runs as far ahead of the caller as memory allows and no further.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "core/net/CurlTransfer.h"

namespace tovi {

struct TransferLimits {
    static constexpr int kDefaultTransfers = 16;
    int transfers = kDefaultTransfers;  // in flight at once
    int perHost = 2;                    // in flight at once to one host (connections, for HTTP/1.1)
    int streamsPerHost = 6;  // in flight at once to a host that speaks HTTP/2 (streams on one connection)
    int heldPages = 256;     // started or fetched, not yet released
    // Bodies fetched and not yet released, and those still arriving: past it, transfers other
    // than the one the caller waits for stop receiving until pages are let go.
    std::size_t heldBytes = 64u << 20;

    // For this many transfers in flight: what is held ahead follows what can arrive at once
    // (4 MB and 16 pages per transfer, between 8 and 64 MB), so fewer fetches hold less.
    static TransferLimits forTransfers(int transfers);
};

class TransferPool {
public:
    explicit TransferPool(TransferLimits limits = {});
    ~TransferPool();  // cancels what is left and ends the thread
    TransferPool(const TransferPool&) = delete;
    TransferPool& operator=(const TransferPool&) = delete;

    struct Job;
    using Ticket = std::shared_ptr<Job>;

    // Queues a transfer for the host (its name as the URL gives it). When a transfer to a host
    // ends as too slow, the ones to that host submitted before then end at once with that
    // reason, without asking the site: a trickling site holds up the plans after it only once
    // per pass, not once for each of its plans. Later ones try again.
    Ticket submit(CurlGet request, std::string host);
    // Waits for the transfer's response; a true cancel check (asked every 50 ms) cancels every
    // transfer of the pool and gives a cancelled response.
    CurlResponse take(const Ticket& ticket, const CancelCheck& cancel);
    // The caller is done with the page (or never wants it): what it held goes to the transfers
    // after it; one that has not started never will.
    void release(const Ticket& ticket);
    void cancelAll();
    const TransferLimits& limits() const { return m_limits; }

private:
    void run();
    void admit();
    void holdBackDownloads();
    bool mayStart(const Job& job) const;
    bool givenUp(const Job& job) const;
    void wake();

    const TransferLimits m_limits;
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::deque<Ticket> m_waiting;
    std::map<void*, Ticket> m_running;  // by easy handle
    std::map<std::string, int> m_perHostRunning;
    std::set<std::string> m_multiplexing;            // hosts that answered over HTTP/2
    std::map<std::string, std::uint64_t> m_givenUp;  // host → last job submitted when it was
    std::uint64_t m_submitted = 0;
    int m_held = 0;               // started and not released
    std::size_t m_heldBytes = 0;  // bodies of fetched pages not released
    std::size_t m_arriving = 0;   // what the bodies of running transfers take so far (pool thread)
    bool m_stopping = false;
    bool m_cancelAll = false;
    void* m_multi = nullptr;
    std::thread m_thread;
};

}  // namespace tovi
