#include "codec/message_joiner.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <map>
#include <optional>
#include <tuple>

namespace telvane {

namespace {

struct GroupKey {
    // Parts in different stores are never one message: their indexes could not be told apart.
    std::string store;
    std::u16string number;
    bool outgoing;
    int32_t reference;
    int32_t referenceBits;
    int32_t total;

    bool operator<(const GroupKey& other) const {
        return std::tie(store, number, outgoing, reference, referenceBits, total) <
               std::tie(other.store, other.number, other.outgoing, other.reference,
                        other.referenceBits, other.total);
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
// then CR LF.  Returns how much was appended.
int32_t AppendPart(std::u16string& text, std::u16string_view part) {
    if (!text.empty() && text.back() == u'\r' && part.size() >= 2 && part[0] == u'\r' &&
        part[1] == u'\n') {
        part.remove_prefix(1);
    }
    text.append(part);
    return static_cast<int32_t>(part.size());
}

void AppendNumber(std::u16string& out, int32_t value) {
    const std::string digits = std::to_string(value);
    out.append(digits.begin(), digits.end());
}

// A whole decimal number (a leading '-' allowed) from `text`, up to `stop` or the end.
std::optional<int32_t> TakeNumber(std::u16string_view& text, char16_t stop) {
    const size_t end = std::min(text.find(stop), text.size());
    std::string digits;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] > 0x7F) return std::nullopt;
        digits.push_back(static_cast<char>(text[i]));
    }
    int32_t value = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size())
        return std::nullopt;
    text.remove_prefix(end < text.size() ? end + 1 : end);
    return value;
}

constexpr std::u16string_view kNotePrefix = u"parts ";

// Seconds since 2000 of a "yy/MM/dd,hh:mm:ss" time stamp; nullopt when it is not one.
std::optional<int64_t> StampSeconds(std::u16string_view time) {
    int64_t field[6] = {};
    size_t at = 0;
    for (int64_t& value : field) {
        if (at + 2 > time.size()) return std::nullopt;
        for (size_t i = at; i < at + 2; ++i) {
            if (time[i] < u'0' || time[i] > u'9') return std::nullopt;
            value = value * 10 + (time[i] - u'0');
        }
        at += 3;
    }
    const int64_t year = 2000 + field[0];
    const int64_t month = field[1];
    const int64_t day = field[2];
    if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
    // Days from civil (proleptic Gregorian), shifted so that March starts the year.
    const int64_t y = month <= 2 ? year - 1 : year;
    const int64_t era = y / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return days * 86400 + field[3] * 3600 + field[4] * 60 + field[5];
}

// Parts of one message reach the SIM within this of each other; farther apart, the same sender
// and reference are another message.
constexpr int64_t kPartsSpreadSeconds = 24 * 3600;

// How far apart two parts' times are; 0 when either time is not known.
int64_t TimeApart(const SmsRecord& a, const SmsRecord& b) {
    const std::optional<int64_t> first = StampSeconds(a.time);
    const std::optional<int64_t> second = StampSeconds(b.time);
    if (!first || !second) return 0;
    return *first > *second ? *first - *second : *second - *first;
}

}  // namespace

std::vector<JoinedMessage> JoinParts(const std::vector<SmsPart>& parts,
                                     std::u16string_view missingMarker) {
    std::vector<JoinedMessage> messages;
    // For each joined message: the parts by sequence (index into `parts`, several for a repeat).
    std::vector<std::vector<std::vector<size_t>>> slots;
    // Every message of a key: two long messages may share sender, reference and total.
    std::map<GroupKey, std::vector<size_t>> groups;
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
        GroupKey key{part.record.store, part.record.number, IsOutgoing(part.record),
                     c.reference,       c.referenceBits,    c.total};
        // The decoder only gives sequences within 1..total.
        const auto sequence = static_cast<size_t>(c.sequence - 1);
        // The message this part belongs to: one whose place for it is free or holds the same
        // text (a part stored twice), with parts close in time; the closest of those.  A part
        // that would take another's place is another message.
        std::vector<size_t>& candidates = groups[key];
        std::optional<size_t> chosen;
        int64_t chosenApart = 0;
        for (const size_t m : candidates) {
            // An empty text is a repeat as a parts note gives it back: it takes no place.
            bool taken = false;
            for (const size_t p : slots[m][sequence])
                taken = taken || (!part.record.text.empty() && !parts[p].record.text.empty() &&
                                  parts[p].record.text != part.record.text);
            if (taken) continue;
            int64_t apart = -1;
            for (const std::vector<size_t>& placed : slots[m])
                for (const size_t p : placed)
                    apart = std::max(apart, TimeApart(parts[p].record, part.record));
            if (apart > kPartsSpreadSeconds) continue;
            if (!chosen || apart <= chosenApart) {
                chosen = m;
                chosenApart = apart;
            }
        }
        if (!chosen) {
            chosen = messages.size();
            candidates.push_back(*chosen);
            JoinedMessage joined;
            joined.concat = ConcatInfo{c.reference, c.referenceBits, c.total, 0};
            messages.push_back(std::move(joined));
            slots.emplace_back(static_cast<size_t>(c.total));
        }
        slots[*chosen][sequence].push_back(i);
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
                const std::u16string marker = Marker(missingMarker, sequence, total);
                text.append(marker);
                joined.segments.push_back({sequence, -1, static_cast<int32_t>(marker.size())});
                continue;
            }
            const SmsRecord& record = parts[here.front()].record;
            if (first) {
                joined.record = record;
                first = false;
            }
            int32_t length = AppendPart(text, record.text);
            for (size_t p : here) {
                joined.indexes.push_back(parts[p].record.index);
                joined.segments.push_back({sequence, parts[p].record.index, length});
                length = 0;
                unread = unread || parts[p].record.status == u"REC UNREAD";
            }
        }
        joined.record.text = std::move(text);
        joined.record.extra = FormatPartsNote(*joined.concat, joined.segments);
        if (unread) joined.record.status = u"REC UNREAD";
    }
    return messages;
}

std::vector<int32_t> PartsNote::Indexes() const {
    std::vector<int32_t> indexes;
    for (const JoinedSegment& segment : segments)
        if (segment.index >= 0) indexes.push_back(segment.index);
    return indexes;
}

std::u16string FormatPartsNote(const ConcatInfo& concat,
                               const std::vector<JoinedSegment>& segments) {
    std::u16string note(kNotePrefix);
    AppendNumber(note, concat.reference);
    note.push_back(u'/');
    AppendNumber(note, concat.referenceBits);
    note.push_back(u'/');
    AppendNumber(note, concat.total);
    for (const JoinedSegment& segment : segments) {
        note.push_back(u' ');
        AppendNumber(note, segment.sequence);
        note.push_back(u':');
        AppendNumber(note, segment.index);
        note.push_back(u':');
        AppendNumber(note, segment.length);
    }
    return note;
}

std::optional<PartsNote> ParsePartsNote(std::u16string_view extra) {
    if (!extra.starts_with(kNotePrefix) || extra.back() == u' ') return std::nullopt;
    std::u16string_view rest = extra.substr(kNotePrefix.size());
    PartsNote note;
    const auto reference = TakeNumber(rest, u'/');
    const auto bits = TakeNumber(rest, u'/');
    const auto total = TakeNumber(rest, u' ');
    if (!reference || !bits || !total) return std::nullopt;
    const int32_t referenceLimit = *bits == 8 ? 0xFF : 0xFFFF;
    if ((*bits != 8 && *bits != 16) || *reference < 0 || *reference > referenceLimit ||
        *total < 1 || *total > 255)
        return std::nullopt;
    note.concat = ConcatInfo{*reference, *bits, *total, 0};
    int32_t lastSequence = 0;
    while (!rest.empty()) {
        const auto sequence = TakeNumber(rest, u':');
        const auto index = TakeNumber(rest, u':');
        const auto length = TakeNumber(rest, u' ');
        if (!sequence || !index || !length || *sequence < lastSequence || *sequence > *total ||
            *sequence < 1 || *index < -1 || *length < 0)
            return std::nullopt;
        lastSequence = *sequence;
        note.segments.push_back({*sequence, *index, *length});
    }
    if (note.segments.empty()) return std::nullopt;
    return note;
}

std::vector<int32_t> SimIndexes(const SmsRecord& record) {
    if (const std::optional<PartsNote> note = ParsePartsNote(record.extra)) return note->Indexes();
    if (record.index < 0) return {};
    return {record.index};
}

std::vector<SmsPart> SplitJoined(const SmsRecord& record) {
    const std::optional<PartsNote> note = ParsePartsNote(record.extra);
    size_t covered = 0;
    if (note) {
        for (const JoinedSegment& segment : note->segments)
            covered += static_cast<size_t>(segment.length);
    }
    if (!note || covered != record.text.size()) return {SmsPart{record, std::nullopt}};
    std::vector<SmsPart> parts;
    size_t at = 0;
    for (const JoinedSegment& segment : note->segments) {
        const size_t length = static_cast<size_t>(segment.length);
        if (segment.index >= 0) {
            SmsPart part;
            part.record = record;
            part.record.index = segment.index;
            part.record.extra.clear();
            part.record.text = record.text.substr(at, length);
            part.concat = note->concat;
            part.concat->sequence = segment.sequence;
            parts.push_back(std::move(part));
        }
        at += length;
    }
    return parts;
}

}  // namespace telvane
