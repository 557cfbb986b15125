#include "modem/response_framer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace telvane {
namespace {

constexpr std::string_view kListKeywords[] = {"+CMGL:", "+CPBR:"};
constexpr size_t kListKeywordLength = 6;
// Blocks after which the lines that follow are cut one at a time.
constexpr std::string_view kOpenListMode[] = {"+CMGR:", "+CMGL:", "+STGI:", "+CPBR:"};

void PopBefore(std::deque<size_t>& positions, size_t limit) {
    while (!positions.empty() && positions.front() < limit)
        positions.pop_front();
}

}  // namespace

void ResponseFramer::Append(const uint8_t* bytes, size_t count) {
    if (!bytes || count == 0) return;
    const size_t old = rx_.size();
    rx_.resize(old + count);
    char* out = rx_.data() + old;
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = static_cast<char>(bytes[i] & 0x7F);
        // No answer holds a control byte; the echo of a PDU holds Ctrl-Z or Esc.  The rest of
        // the batch is still text, and the response around the byte is damaged.
        if (c < 0x20 && c != '\r' && c != '\n' && c != 0x1A && c != 0x1B) {
            if (damage_.empty() || damage_.back() != old + kept) damage_.push_back(old + kept);
            continue;
        }
        out[kept++] = c;
    }
    rx_.resize(old + kept);
    Scan();
}

void ResponseFramer::Append(std::string_view text) {
    Append(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Records the CR LF, "OK" CR LF and listing-keyword positions in the text that just arrived.
void ResponseFramer::Scan() {
    const char* d = rx_.data();
    const size_t n = rx_.size();
    size_t p = crlfScanned_;
    while (p + 1 < n) {
        const void* hit = std::memchr(d + p, '\r', n - 1 - p);
        if (!hit) {
            p = n - 1;
            break;
        }
        p = static_cast<size_t>(static_cast<const char*>(hit) - d);
        if (d[p + 1] == '\n') {
            crlfs_.push_back(p);
            // A whole line: "OK" at the end of a name or a message is no result.
            if (p >= 2 && d[p - 2] == 'O' && d[p - 1] == 'K' && (p == 2 || d[p - 3] == '\n'))
                oks_.push_back(p - 2);
        }
        ++p;
    }
    crlfScanned_ = std::max(crlfScanned_, p);

    size_t q = keywordScanned_;
    while (q + kListKeywordLength <= n) {
        const void* hit = std::memchr(d + q, '+', n - kListKeywordLength + 1 - q);
        if (!hit) {
            q = n - kListKeywordLength + 1;
            break;
        }
        q = static_cast<size_t>(static_cast<const char*>(hit) - d);
        const std::string_view word(d + q, kListKeywordLength);
        if (word == kListKeywords[0] || word == kListKeywords[1]) lastListKeyword_ = q;
        ++q;
    }
    keywordScanned_ = std::max(keywordScanned_, q);
}

bool ResponseFramer::Extract(std::string& response, bool sendOrWriteWaiting) {
    const size_t from = start_;
    const bool cut = Cut(response, sendOrWriteWaiting);
    // A control byte dropped in what was consumed (the echo before a response included).
    if (cut && start_ > from) {
        while (!damage_.empty() && damage_.front() <= start_) {
            damage_.pop_front();
            damaged_ = true;
        }
    }
    return cut;
}

bool ResponseFramer::TakeDamaged() {
    return std::exchange(damaged_, false);
}

void ResponseFramer::ForgetDamage() {
    damage_.clear();
    damaged_ = false;
}

bool ResponseFramer::Cut(std::string& response, bool sendOrWriteWaiting) {
    if (start_ >= rx_.size()) return false;
    PopBefore(crlfs_, start_);
    if (crlfs_.empty()) return false;
    const size_t a = crlfs_[0];

    if (listMode_ == 0) {
        // CR LFs never overlap, so the next one recorded is the next one at or after a + 2.
        if (crlfs_.size() < 2) return false;
        const size_t b = crlfs_[1];
        PopBefore(oks_, b + 2);
        const bool haveOk = !oks_.empty();
        // A listing is complete only with its final "OK".
        if (!haveOk && lastListKeyword_ != std::string::npos && lastListKeyword_ >= start_)
            return false;
        // An "OK" line is a final result of its own: taken into a block with the lines after it,
        // the command waiting for it would never see it.
        const bool okLine = b == a + 4 && rx_.compare(a + 2, 2, "OK") == 0;
        const size_t end = haveOk && !okLine ? std::max(b, oks_.front() - 2) : b;
        response.assign(rx_, a + 2, end - (a + 2));
        start_ = end;  // the CR LF at `end` opens the next response
        bool lineByLine = false;
        for (std::string_view keyword : kOpenListMode)
            lineByLine = lineByLine || response.find(keyword) != std::string::npos;
        // The final "OK" of a send or write ends it; it must not count as one of its lines.
        if (sendOrWriteWaiting && response != "OK") lineByLine = true;
        if (lineByLine) listMode_ = 1;
        return true;
    }

    response.assign(rx_, start_, a - start_);
    if (a > start_) start_ = a + 2;
    if (response.empty() && afterBlank_ == 0) {
        listMode_ = 0;
        afterBlank_ = 1;
        return true;
    }
    if (afterBlank_ == 0) return true;
    if (response.find("OK") != std::string::npos) listMode_ = 0;
    afterBlank_ = 0;
    return true;
}

void ResponseFramer::Clear() {
    damage_.clear();
    damaged_ = false;
    rx_.clear();
    crlfs_.clear();
    oks_.clear();
    start_ = crlfScanned_ = keywordScanned_ = 0;
    lastListKeyword_ = std::string::npos;
    listMode_ = afterBlank_ = 0;
}

void ResponseFramer::Trim() {
    if (rx_.size() - start_ > kMaxPending) start_ = rx_.size();
    if (start_ == 0) return;
    if (start_ >= rx_.size()) {
        if (!damage_.empty()) damaged_ = true;  // in text dropped unread
        damage_.clear();
        rx_.clear();
        crlfs_.clear();
        oks_.clear();
        start_ = crlfScanned_ = keywordScanned_ = 0;
        lastListKeyword_ = std::string::npos;
        return;
    }
    // Consumed text is released once it is most of the buffer, so that cutting stays linear.
    if (start_ < 65536 || start_ < rx_.size() / 2) return;
    const size_t cut = start_;
    rx_.erase(0, cut);
    const auto shift = [cut](std::deque<size_t>& positions) {
        PopBefore(positions, cut);
        for (size_t& p : positions)
            p -= cut;
    };
    shift(crlfs_);
    shift(oks_);
    shift(damage_);
    start_ = 0;
    crlfScanned_ = crlfScanned_ > cut ? crlfScanned_ - cut : 0;
    keywordScanned_ = keywordScanned_ > cut ? keywordScanned_ - cut : 0;
    lastListKeyword_ = lastListKeyword_ != std::string::npos && lastListKeyword_ >= cut
                           ? lastListKeyword_ - cut
                           : std::string::npos;
}

}  // namespace telvane
