#pragma once
// Page fetches that overlap: transfers run on a thread of their own (one libcurl multi handle),
// at most a few at a time and at most two per host, started in the order they were submitted.
// A transfer holds its slot until the caller releases it (its page processed), so the pages
// held in memory stay bounded by the number of slots.
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/net/CurlTransfer.h"

namespace tovi {

class TransferPool {
public:
    static constexpr int kDefaultSlots = 8;
    static constexpr int kPerHost = 2;

    explicit TransferPool(int slots = kDefaultSlots, int perHost = kPerHost);
    ~TransferPool();  // cancels what is left and ends the thread
    TransferPool(const TransferPool&) = delete;
    TransferPool& operator=(const TransferPool&) = delete;

    struct Job;
    using Ticket = std::shared_ptr<Job>;

    // Queues a transfer for the host (its name as the URL gives it).
    Ticket submit(CurlGet request, std::string host);
    // Waits for the transfer's response; a true cancel check (asked every 50 ms) cancels every
    // transfer of the pool and gives a cancelled response.
    CurlResponse take(const Ticket& ticket, const CancelCheck& cancel);
    // The page was processed: the slot goes to the next transfer.
    void release(const Ticket& ticket);
    void cancelAll();

private:
    void run();
    void admit();
    void wake();

    const int m_slots, m_perHost;
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::deque<Ticket> m_waiting;
    std::map<void*, Ticket> m_running;  // by easy handle
    std::map<std::string, int> m_perHostRunning;
    int m_held = 0;
    bool m_stopping = false;
    bool m_cancelAll = false;
    void* m_multi = nullptr;
    std::thread m_thread;
};

}  // namespace tovi
