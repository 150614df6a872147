#include "core/net/TransferPool.h"

#include <curl/curl.h>

#include "core/net/Url.h"
#include "core/text/Gbk.h"

namespace tovi {
namespace {

constexpr int kMaxIdleConnections = 128;

}  // namespace

struct TransferPool::Job {
    CurlGet request;
    std::string host;
    std::uint64_t order = 0;  // when it was submitted
    std::unique_ptr<CurlTransfer> transfer;
    CurlResponse response;
    bool done = false, released = false;
    bool wanted = false;  // the caller waits for it
    bool held = false;    // counts in m_held
    bool paused = false;  // receiving held back by the bytes bound
    std::chrono::steady_clock::time_point pausedSince;
    bool mayPause = true;       // false once held back as long as a site waits
    std::size_t heldBytes = 0;  // counts in m_heldBytes
};

TransferLimits TransferLimits::forTransfers(int transfers) {
    TransferLimits limits;
    limits.transfers = std::max(1, transfers);
    limits.heldBytes =
        std::clamp<std::size_t>(static_cast<std::size_t>(limits.transfers) * (4u << 20), 8u << 20, 64u << 20);
    limits.heldPages = std::clamp(limits.transfers * 16, 32, 256);
    return limits;
}

TransferPool::TransferPool(TransferLimits limits) : m_limits(limits) {
    initCurlOnce();
    m_multi = curl_multi_init();
    // The cache would shrink with the transfers in flight; kept at a size for the whole run,
    // a site's connections wait for the next cycle.
    curl_multi_setopt(static_cast<CURLM*>(m_multi), CURLMOPT_MAXCONNECTS,
                      static_cast<long>(kMaxIdleConnections));
    // Transfers to a site that speaks HTTP/2 share one connection as streams.
    curl_multi_setopt(static_cast<CURLM*>(m_multi), CURLMOPT_PIPELINING,
                      static_cast<long>(CURLPIPE_MULTIPLEX));
    m_thread = std::thread([this] { run(); });
}

TransferPool::~TransferPool() {
    {
        std::lock_guard g(m_mutex);
        m_stopping = true;
        m_cancelAll = true;
    }
    wake();
    m_thread.join();
    curl_multi_cleanup(static_cast<CURLM*>(m_multi));
}

void TransferPool::wake() { curl_multi_wakeup(static_cast<CURLM*>(m_multi)); }

TransferPool::Ticket TransferPool::submit(CurlGet request, std::string host) {
    auto job = std::make_shared<Job>();
    job->request = std::move(request);
    // A page waiting here is held as the site sent it; it is inflated when it is taken.
    job->request.keepCompressed = true;
    job->host = std::move(host);
    {
        std::lock_guard g(m_mutex);
        job->order = ++m_submitted;
        m_waiting.push_back(job);
    }
    wake();
    return job;
}

CurlResponse TransferPool::take(const Ticket& ticket, const CancelCheck& cancel) {
    std::unique_lock lock(m_mutex);
    if (!ticket->done && !ticket->wanted) {
        ticket->wanted = true;
        lock.unlock();
        wake();
        lock.lock();
    }
    while (!ticket->done) {
        if (cancel && cancel()) {
            lock.unlock();
            cancelAll();
            lock.lock();
            m_done.wait(lock, [&] { return ticket->done; });
            break;
        }
        m_done.wait_for(lock, std::chrono::milliseconds(50));
    }
    CurlResponse response = std::move(ticket->response);
    const std::size_t maxBody = ticket->request.limits.maxBodyBytes;
    lock.unlock();
    inflateHeldBody(response, maxBody);  // one page at a time, on the caller's thread
    return response;
}

void TransferPool::release(const Ticket& ticket) {
    if (!ticket) return;
    {
        std::lock_guard g(m_mutex);
        if (ticket->released) return;
        ticket->released = true;
        if (ticket->held) --m_held;
        m_heldBytes -= ticket->heldBytes;
        ticket->held = false;
        ticket->heldBytes = 0;
        // Not started: it never will be.
        for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it)
            if (*it == ticket) {
                m_waiting.erase(it);
                ticket->response = CurlTransfer::cancelled();
                ticket->done = true;
                break;
            }
    }
    wake();
}

void TransferPool::cancelAll() {
    {
        std::lock_guard g(m_mutex);
        m_cancelAll = true;
    }
    wake();
}

// Under the lock. The bound on held pages never keeps waiting the transfer the caller waits
// for, or the caller would wait for pages that wait for it.
bool TransferPool::mayStart(const Job& job) const {
    if (static_cast<int>(m_running.size()) >= m_limits.transfers) return false;
    if (!job.wanted && (m_held >= m_limits.heldPages || m_heldBytes + m_arriving >= m_limits.heldBytes))
        return false;
    auto host = m_perHostRunning.find(job.host);
    const int limit = m_multiplexing.count(job.host) ? std::max(m_limits.perHost, m_limits.streamsPerHost)
                                                     : m_limits.perHost;
    return host == m_perHostRunning.end() || host->second < limit;
}

// Under the lock.
bool TransferPool::givenUp(const Job& job) const {
    auto host = m_givenUp.find(job.host);
    return host != m_givenUp.end() && job.order <= host->second;
}

// Under the lock: starts waiting transfers, in order, skipping those whose host is busy.
void TransferPool::admit() {
    auto* multi = static_cast<CURLM*>(m_multi);
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        Ticket job = *it;
        if (givenUp(*job) && job->request.redirects == 0) {
            it = m_waiting.erase(it);
            job->response = CurlResponse{};
            job->response.result.error = gbk("网站太慢，已放弃（本轮前面访问该网站时已超时，不再等它）");
            job->done = true;
            continue;
        }
        if (!mayStart(*job)) {
            if (static_cast<int>(m_running.size()) >= m_limits.transfers) return;
            ++it;
            continue;
        }
        it = m_waiting.erase(it);
        job->transfer = std::make_unique<CurlTransfer>(job->request);
        job->paused = false;  // a new transfer (a redirect, a retry) starts receiving
        if (!job->held) ++m_held;
        job->held = true;
        if (!job->transfer->handle()) {  // refused before it started
            job->response = job->transfer->finish(CURLE_OK);
            job->transfer.reset();
            job->done = true;
            continue;
        }
        ++m_perHostRunning[job->host];
        m_running[job->transfer->handle()] = job;
        curl_multi_add_handle(multi, job->transfer->handle());
    }
}

// Under the lock, on the pool thread: pages still arriving count in the bytes bound as pages
// held do. Past it, every transfer but the one the caller waits for stops receiving (a paused
// transfer is not judged too slow) and goes on once pages are let go. A site gives up on a
// reader that stalls for long, so no transfer is held back longer than kMaxPause: then it goes
// on to its end, the page failing no pass for the sake of memory.
void TransferPool::holdBackDownloads() {
    constexpr auto kMaxPause = std::chrono::seconds(10);
    const auto now = std::chrono::steady_clock::now();
    m_arriving = 0;
    for (const auto& [handle, job] : m_running) m_arriving += job->transfer->receivedBytes();
    const bool over = m_heldBytes + m_arriving > m_limits.heldBytes;
    for (auto& [handle, job] : m_running) {
        if (job->paused && now - job->pausedSince > kMaxPause) job->mayPause = false;
        const bool pause = over && !job->wanted && job->mayPause;
        if (pause == job->paused) continue;
        job->paused = pause;
        job->pausedSince = now;
        curl_easy_pause(static_cast<CURL*>(handle), pause ? CURLPAUSE_RECV : CURLPAUSE_CONT);
    }
}

void TransferPool::run() {
    auto* multi = static_cast<CURLM*>(m_multi);
    for (;;) {
        {
            std::lock_guard g(m_mutex);
            if (m_cancelAll) {
                // Every transfer ends at once: running ones are abandoned, waiting ones never start.
                for (auto& [handle, job] : m_running) {
                    curl_multi_remove_handle(multi, handle);
                    job->response = CurlTransfer::cancelled();
                    job->transfer.reset();
                    job->done = true;
                    --m_perHostRunning[job->host];
                }
                m_running.clear();
                for (Ticket& job : m_waiting) {
                    job->response = CurlTransfer::cancelled();
                    job->done = true;
                }
                m_waiting.clear();
                m_cancelAll = false;
                m_done.notify_all();
                if (m_stopping) return;
            }
            admit();
            holdBackDownloads();
            m_done.notify_all();
        }
        int stillRunning = 0;
        curl_multi_perform(multi, &stillRunning);
        int pending = 0;
        bool finished = false;
        while (CURLMsg* msg = curl_multi_info_read(multi, &pending)) {
            if (msg->msg != CURLMSG_DONE) continue;
            CURL* handle = msg->easy_handle;
            const int code = msg->data.result;
            curl_multi_remove_handle(multi, handle);
            std::lock_guard g(m_mutex);
            auto it = m_running.find(handle);
            if (it == m_running.end()) continue;
            Ticket job = it->second;
            m_running.erase(it);
            job->response = job->transfer->finish(code);
            job->transfer.reset();
            --m_perHostRunning[job->host];
            if (job->response.multiplexed) m_multiplexing.insert(job->host);
            if (std::optional<CurlGet> again = retryOnFreshConnection(job->request, job->response)) {
                // A kept connection broke under it: once more at once, over a new one.
                job->request = std::move(*again);
                m_waiting.push_front(job);
                finished = true;
                continue;
            }
            if (code == CURLE_OPERATION_TIMEDOUT) m_givenUp[job->host] = m_submitted;
            finished = true;
            if (std::optional<CurlGet> next = followRedirect(job->request, job->response)) {
                // The redirect's target goes next, before anything else waiting, counted on the
                // host it goes to: redirects never get round the limit per site.
                job->request = std::move(*next);
                job->host = urlHost(job->request.url, false);
                m_waiting.push_front(job);
                continue;
            }
            job->response.leftOrigin = job->request.leftOrigin;
            if (!job->released) {
                job->heldBytes = job->response.result.body.size();
                m_heldBytes += job->heldBytes;
            } else if (job->held) {
                --m_held;
                job->held = false;
            }
            job->done = true;
        }
        if (finished) {
            std::lock_guard g(m_mutex);
            m_done.notify_all();
            continue;  // a slot may be free for the next transfer
        }
        // Held-back transfers are looked at again within a second.
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
}

}  // namespace tovi
