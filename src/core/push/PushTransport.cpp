// The one way a push leaves the program: libcurl, only to the scheme the channel names.
#include <curl/curl.h>

#include <cstring>

#include "core/push/PushServices.h"

namespace tovi {
namespace {

constexpr std::size_t kMaxAnswerBytes = 64 * 1024;

struct Transfer {
    std::string answer;
    std::string upload;
    std::size_t uploaded = 0;
    CancelCheck cancel;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    const std::size_t n = size * count;
    const std::size_t room = kMaxAnswerBytes - std::min(kMaxAnswerBytes, t->answer.size());
    t->answer.append(data, std::min(n, room));
    return n;  // the rest of a long answer is read and dropped
}

std::size_t supply(char* buffer, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    const std::size_t n = std::min(size * count, t->upload.size() - t->uploaded);
    std::memcpy(buffer, t->upload.data() + t->uploaded, n);
    t->uploaded += n;
    return n;
}

int progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(self);
    return t->cancel && t->cancel() ? 1 : 0;
}

}  // namespace

PushAnswer sendPushRequest(const PushRequest& r, std::chrono::milliseconds timeout,
                           const CancelCheck& cancel) {
    PushAnswer answer;
    CURL* easy = curl_easy_init();
    if (!easy) {
        answer.error = "curl_easy_init";
        return answer;
    }
    Transfer t;
    t.cancel = cancel;
    char errorText[CURL_ERROR_SIZE] = {0};
    curl_slist* headers = nullptr;
    curl_slist* recipients = nullptr;
    curl_easy_setopt(easy, CURLOPT_URL, r.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, r.mail ? "smtp,smtps" : "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::min<long long>(timeout.count(), 10000)));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
    if (!r.user.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, r.user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, r.password.c_str());
    }
    if (r.mail) {
        curl_easy_setopt(easy, CURLOPT_USE_SSL,
                         static_cast<long>(r.requireTls ? CURLUSESSL_ALL : CURLUSESSL_TRY));
        const std::string from = "<" + r.mailFrom + ">";
        curl_easy_setopt(easy, CURLOPT_MAIL_FROM, from.c_str());
        for (const std::string& to : r.mailTo)
            recipients = curl_slist_append(recipients, ("<" + to + ">").c_str());
        curl_easy_setopt(easy, CURLOPT_MAIL_RCPT, recipients);
        t.upload = r.body;
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, supply);
        curl_easy_setopt(easy, CURLOPT_READDATA, &t);
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
    } else {
        for (const std::string& h : r.headers) headers = curl_slist_append(headers, h.c_str());
        headers = curl_slist_append(headers, "Expect:");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, r.body.c_str());
        if (!r.user.empty()) curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    }
    const CURLcode code = curl_easy_perform(easy);
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_off_t retry = 0;
    if (curl_easy_getinfo(easy, CURLINFO_RETRY_AFTER, &retry) == CURLE_OK && retry > 0)
        answer.retryAfter = retry;
    answer.completed = code == CURLE_OK;
    if (code != CURLE_OK) {
        answer.error = errorText[0] ? errorText : curl_easy_strerror(code);
        if (!r.mail) answer.status = 0;  // half an answer is no answer
    }
    answer.body = std::move(t.answer);
    curl_slist_free_all(headers);
    curl_slist_free_all(recipients);
    curl_easy_cleanup(easy);
    return answer;
}

}  // namespace tovi
