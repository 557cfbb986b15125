#include "codec/message_joiner.h"

#include <map>
#include <tuple>

namespace telvane {

namespace {

struct GroupKey {
    std::u16string number;
    bool outgoing;
    int32_t reference;
    int32_t referenceBits;
    int32_t total;

    bool operator<(const GroupKey& other) const {
        return std::tie(number, outgoing, reference, referenceBits, total) <
               std::tie(other.number, other.outgoing, other.reference, other.referenceBits,
                        other.total);
    }
};

bool IsOutgoing(const SmsRecord& record) {
    return record.status.rfind(u"STO", 0) == 0;
}

std::u16string Marker(std::u16string_view pattern, int32_t sequence, int32_t total) {
    std::u16string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == u'1' || pattern[i + 1] == u'2')) {
            std::string digits = std::to_string(pattern[i + 1] == u'1' ? sequence : total);
            out.append(digits.begin(), digits.end());
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

// Each part's text had its lone LFs made CR LF; a CR LF cut between two parts came out as CR,
// then CR LF.
void AppendPart(std::u16string& text, std::u16string_view part) {
    if (!text.empty() && text.back() == u'\r' && part.size() >= 2 && part[0] == u'\r' &&
        part[1] == u'\n') {
        part.remove_prefix(1);
    }
    text.append(part);
}

}  // namespace

std::vector<JoinedMessage> JoinParts(const std::vector<SmsPart>& parts,
                                     std::u16string_view missingMarker) {
    std::vector<JoinedMessage> messages;
    // For each joined message: the parts by sequence (index into `parts`, several for a repeat).
    std::vector<std::vector<std::vector<size_t>>> slots;
    std::map<GroupKey, size_t> groups;
    for (size_t i = 0; i < parts.size(); ++i) {
        const SmsPart& part = parts[i];
        if (!part.concat) {
            JoinedMessage single;
            single.record = part.record;
            single.indexes.push_back(part.record.index);
            messages.push_back(std::move(single));
            slots.emplace_back();
            continue;
        }
        const ConcatInfo& c = *part.concat;
        GroupKey key{part.record.number, IsOutgoing(part.record), c.reference, c.referenceBits,
                     c.total};
        auto [it, added] = groups.try_emplace(key, messages.size());
        if (added) {
            JoinedMessage joined;
            joined.concat = ConcatInfo{c.reference, c.referenceBits, c.total, 0};
            messages.push_back(std::move(joined));
            slots.emplace_back(static_cast<size_t>(c.total));
        }
        // The decoder only gives sequences within 1..total.
        slots[it->second][static_cast<size_t>(c.sequence - 1)].push_back(i);
    }
    for (size_t m = 0; m < messages.size(); ++m) {
        JoinedMessage& joined = messages[m];
        if (!joined.concat) continue;
        const int32_t total = joined.concat->total;
        bool first = true;
        bool unread = false;
        std::u16string text;
        for (int32_t sequence = 1; sequence <= total; ++sequence) {
            const std::vector<size_t>& here = slots[m][static_cast<size_t>(sequence - 1)];
            if (here.empty()) {
                ++joined.missingParts;
                text.append(Marker(missingMarker, sequence, total));
                continue;
            }
            const SmsRecord& record = parts[here.front()].record;
            if (first) {
                joined.record = record;
                first = false;
            }
            AppendPart(text, record.text);
            for (size_t p : here) {
                joined.indexes.push_back(parts[p].record.index);
                unread = unread || parts[p].record.status == u"REC UNREAD";
            }
        }
        joined.record.text = std::move(text);
        if (unread) joined.record.status = u"REC UNREAD";
    }
    return messages;
}

}  // namespace telvane
