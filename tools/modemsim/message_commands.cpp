// The message store's commands (3GPP TS 27.005).
#include <algorithm>

#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "platform/text.h"

namespace telvane::modemsim {
namespace {

using Form = AtCommand::Form;

// 27.005 3.1 <stat>, by number; "ALL" lists every one.
const char* const kStatNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL"};
constexpr int kStatAll = 4;

}  // namespace

AtResult SimulatedModem::MessageFormat(const AtCommand& c) {
    if (c.form == Form::Read)
        return AtResult::Line(std::string("+CMGF: ") + (pduMode_ ? "0" : "1"));
    if (c.form == Form::Test) return AtResult::Line("+CMGF: (0-1)");
    if (c.form == Form::Set && (c.args == "0" || c.args == "1")) {
        pduMode_ = c.args == "0";
        return AtResult::Ok();
    }
    return AtResult::Fail(CmsError(302));
}

// 27.005 3.2.2: <mem1> is read and deleted from, <mem2> written and sent from, <mem3> receives.
// Status reports (SR) can only be read.
AtResult SimulatedModem::MessageStorage(const AtCommand& c) {
    auto fill = [&](const std::string& name) {
        return std::to_string(StoreNamed(name)->size()) + "," + std::to_string(CapacityOf(name));
    };
    if (c.form == Form::Test) {
        std::string stores = "\"SM\"";
        if (StoreNamed("ME")) stores += ",\"ME\"";
        std::string reads = stores + (StoreNamed("SR") ? ",\"SR\"" : "");
        return AtResult::Line("+CPMS: (" + reads + "),(" + stores + "),(" + stores + ")");
    }
    if (c.form == Form::Read) {
        std::string line = "+CPMS: ";
        for (int i = 0; i < 3; ++i)
            line += (i ? "," : "") + Quote(memories_[i]) + "," + fill(memories_[i]);
        return AtResult::Line(line);
    }
    if (c.form == Form::Set) {
        std::vector<std::string> a = SplitArguments(c.args);
        if (a.empty() || a.size() > 3) return AtResult::Fail(CmsError(302));
        std::string chosen[3] = {memories_[0], memories_[1], memories_[2]};
        for (size_t i = 0; i < a.size(); ++i) {
            chosen[i] = UpperAscii(a[i]);
            if (!StoreNamed(chosen[i]) || (i > 0 && chosen[i] == "SR"))
                return AtResult::Fail(CmsError(302));
        }
        std::string line = "+CPMS: ";
        for (int i = 0; i < 3; ++i) {
            memories_[i] = chosen[i];
            line += (i ? "," : "") + fill(chosen[i]);
        }
        return AtResult::Line(line);
    }
    return AtResult::Fail(CmsError(302));
}

AtResult SimulatedModem::ServiceCentre(const AtCommand& c) {
    std::string& sc = scenario_.serviceCentre;
    if (c.form == Form::Read)
        return AtResult::Line("+CSCA: " + Quote(sc) + "," +
                              (sc.rfind('+', 0) == 0 ? "145" : "129"));
    std::vector<std::string> a = SplitArguments(c.args);
    if (c.form == Form::Set && !a.empty()) sc = a[0];
    return AtResult::Ok();
}

AtResult SimulatedModem::TextParameters(const AtCommand& c) {
    if (c.form == Form::Read) return AtResult::Line("+CSMP: " + csmp_);
    if (c.form == Form::Set) csmp_ = c.args;
    return AtResult::Ok();
}

AtResult SimulatedModem::NewMessageIndications(const AtCommand& c) {
    if (c.form == Form::Read) {
        const Indications& n = cnmi_;
        return AtResult::Line("+CNMI: " + std::to_string(n.mode) + "," + std::to_string(n.mt) +
                              "," + std::to_string(n.bm) + "," + std::to_string(n.ds) + "," +
                              std::to_string(n.bfr));
    }
    if (c.form == Form::Test) return AtResult::Line("+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)");
    if (c.form != Form::Set) return AtResult::Ok();
    auto set = ParseIndications(c.args, cnmi_);
    if (!set) return AtResult::Fail(CmsError(303));
    cnmi_ = *set;
    // What the modem kept goes out after the OK, or is dropped when the client asks so with
    // <bfr> 1.
    if (cnmi_.mode != 0) {
        if (cnmi_.bfr == 0)
            releaseAfterAnswer_ = true;
        else
            heldIndications_.clear();
    }
    return AtResult::Ok();
}

AtResult SimulatedModem::MessageService(const AtCommand& c) {
    if (c.form == Form::Read) return AtResult::Line("+CSMS: 0,1,1,1");
    if (c.form == Form::Test) return AtResult::Line("+CSMS: (0,1)");
    return AtResult::Line("+CSMS: 1,1,1");
}

AtResult SimulatedModem::ListMessages(const AtCommand& c) {
    if (c.form == Form::Test) {
        return AtResult::Line(pduMode_ ? "+CMGL: (0-4)"
                                       : "+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\","
                                         "\"STO SENT\",\"ALL\")");
    }
    if (c.form == Form::Read) return AtResult::Fail("ERROR");
    int stat = 0;
    if (c.form == Form::Set) {
        // Numbers and the text-mode names are both taken, in either mode.
        std::vector<std::string> a = SplitArguments(c.args);
        std::string want = a.empty() ? "" : UpperAscii(a[0]);
        stat = -1;
        for (int i = 0; i <= kStatAll; ++i) {
            if (want == kStatNames[i] || want == std::to_string(i)) stat = i;
        }
        if (stat < 0 || a.size() > 2) return AtResult::Fail(CmsError(302));
    }
    AtResult r;
    for (StoredMessage& m : *StoreNamed(memories_[0])) {
        if (!m.rawHeader.empty()) {
            r.lines.push_back(m.rawHeader);
            r.lines.push_back(m.rawBody);
            continue;
        }
        if (stat != kStatAll && static_cast<int>(m.stat) != stat) continue;
        r.lines.push_back(ListingHeader("+CMGL: " + std::to_string(m.index) + ",", m));
        r.lines.push_back(ListingBody(m));
        // Listed messages count as read (27.005 3.4.2).
        if (m.stat == MessageStat::RecUnread) m.stat = MessageStat::RecRead;
    }
    return r;
}

AtResult SimulatedModem::ReadMessage(const AtCommand& c) {
    if (c.form == Form::Test) return AtResult::Ok();
    int index = 0;
    if (c.form != Form::Set || !ReadNumber(c.args, index)) return AtResult::Fail(CmsError(302));
    auto& store = *StoreNamed(memories_[0]);
    auto it = std::find_if(store.begin(), store.end(),
                           [&](const StoredMessage& m) { return m.index == index; });
    if (index < 1 || index > CapacityOf(memories_[0]) || it == store.end())
        return AtResult::Fail(CmsError(321));
    if (!it->rawHeader.empty()) return {{it->rawHeader, it->rawBody}, "OK", false};
    AtResult r;
    r.lines.push_back(ListingHeader("+CMGR: ", *it));
    r.lines.push_back(ListingBody(*it));
    if (it->stat == MessageStat::RecUnread) it->stat = MessageStat::RecRead;
    return r;
}

AtResult SimulatedModem::SendOrWrite(const AtCommand& c) {
    bool send = c.name == "+CMGS";
    if (c.form == Form::Test) return AtResult::Ok();
    std::vector<std::string> a = SplitArguments(c.args);
    if (c.form != Form::Set || a.empty()) return AtResult::Fail(CmsError(302));
    int stat = static_cast<int>(MessageStat::StoUnsent);
    if (pduMode_) {
        // 27.005 3.5.1: <length> counts the TPDU, at most 164 octets.
        int length = 0;
        if (!ReadNumber(a[0], length) || length < 1 || length > 164)
            return AtResult::Fail(CmsError(304));
        if (!send && a.size() > 1 && (!ReadNumber(a[1], stat) || stat > 3))
            return AtResult::Fail(CmsError(304));
        promptLength_ = length;
        prompt_ = send ? Prompt::Send : Prompt::Write;
    } else {
        promptAddress_ = a[0];
        prompt_ = send ? Prompt::SendText : Prompt::WriteText;
    }
    promptStat_ = stat;
    promptBuffer_.clear();
    AtResult r;
    r.prompt = true;
    return r;
}

AtResult SimulatedModem::SendFromStorage(const AtCommand& c) {
    if (c.form == Form::Test) return AtResult::Ok();
    std::vector<std::string> a = SplitArguments(c.args);
    int index = 0;
    if (c.form != Form::Set || a.empty() || !ReadNumber(a[0], index))
        return AtResult::Fail(CmsError(302));
    auto& store = *StoreNamed(memories_[1]);
    auto it = std::find_if(store.begin(), store.end(),
                           [&](const StoredMessage& m) { return m.index == index; });
    if (it == store.end()) return AtResult::Fail(CmsError(321));
    if (!it->rawHeader.empty()) return AtResult::Fail(CmsError(304));
    std::string pdu = it->pdu;
    AtResult r = Submit(pdu);
    // Submit may not touch the store, so `it` is still valid.
    if (r.final == "OK" && it->stat == MessageStat::StoUnsent) it->stat = MessageStat::StoSent;
    if (!r.lines.empty()) r.lines[0].replace(0, 6, "+CMSS:");
    return r;
}

AtResult SimulatedModem::DeleteMessage(const AtCommand& c) {
    auto& store = *StoreNamed(memories_[0]);
    if (c.form == Form::Test) {
        std::string list;
        for (const StoredMessage& m : store)
            list += (list.empty() ? "" : ",") + std::to_string(m.index);
        return AtResult::Line("+CMGD: (" + list + "),(0-4)");
    }
    std::vector<std::string> a = SplitArguments(c.args);
    int index = 0;
    int flag = 0;
    if (c.form != Form::Set || a.empty() || a.size() > 2 || !ReadNumber(a[0], index) ||
        (a.size() == 2 && (!ReadNumber(a[1], flag) || flag > 4)))
        return AtResult::Fail(CmsError(302));
    if (flag == 0) {
        if (index < 1 || index > CapacityOf(memories_[0])) return AtResult::Fail(CmsError(321));
        std::erase_if(store, [&](const StoredMessage& m) { return m.index == index; });
        return AtResult::Ok();
    }
    // Flags (27.005 3.5.4): 1 read, 2 read and sent, 3 all but unread, 4 all.
    std::erase_if(store, [&](const StoredMessage& m) {
        switch (m.stat) {
            case MessageStat::RecRead:
                return true;
            case MessageStat::StoSent:
                return flag >= 2;
            case MessageStat::StoUnsent:
                return flag >= 3;
            case MessageStat::RecUnread:
                return flag >= 4;
        }
        return false;
    });
    return AtResult::Ok();
}

std::string SimulatedModem::ListingHeader(const std::string& prefix, const StoredMessage& m) const {
    int stat = static_cast<int>(m.stat);
    if (pduMode_) return prefix + std::to_string(stat) + ",," + std::to_string(TpduLength(m.pdu));
    DecodedMessage d = DecodeForTextMode(m.pdu);
    std::string header = prefix + Quote(kStatNames[stat]) + "," + Quote(d.number) + ",";
    if (!d.time.empty()) header += "," + Quote(d.time);
    return header;
}

std::string SimulatedModem::ListingBody(const StoredMessage& m) const {
    if (pduMode_) return m.pdu;
    return DecodeForTextMode(m.pdu).text;
}

AtResult SimulatedModem::Submit(const std::string& pdu) {
    int reg = scenario_.simState == SimState::Ready ? scenario_.registration : 0;
    if (reg != 1 && reg != 5) return AtResult::Fail(CmsError(331));
    reachedNetwork_ = true;
    ++submissions_;
    auto fault = scenario_.faults.cmsErrorOnSubmission.find(submissions_);
    if (fault != scenario_.faults.cmsErrorOnSubmission.end()) {
        Record(TranscriptEntry::Kind::Event,
               "submission " + std::to_string(submissions_) + " refused");
        return AtResult::Fail(CmsError(fault->second));
    }
    Record(TranscriptEntry::Kind::Submitted, pdu);
    if (auto part = ConcatenationOf(pdu)) {
        Record(TranscriptEntry::Kind::Event, "part " + std::to_string(part->part) + " of " +
                                                 std::to_string(part->total) + " of message " +
                                                 std::to_string(part->reference) + " to " +
                                                 SubmitDestination(pdu));
    }
    int reference = NextMessageReference();
    submittedTo_[reference] = {SubmitDestination(pdu), CurrentTimestamp()};
    if (RequestsStatusReport(pdu)) {
        pendingReports_.push_back(
            {std::chrono::steady_clock::now() +
                 std::chrono::milliseconds(scenario_.submitDelayMs + scenario_.reportDelayMs),
             reference});
    }
    return AtResult::Line("+CMGS: " + std::to_string(reference));
}

AtResult SimulatedModem::FinishMessage(Prompt kind, const std::string& body) {
    std::string pdu;
    if (kind == Prompt::Send || kind == Prompt::Write) {
        pdu = UpperAscii(body);
        int tpdu = TpduLength(pdu);
        // The service-centre field may be left out; the length counts the TPDU only.
        if (tpdu != promptLength_) {
            if (tpdu >= 0 && static_cast<int>(pdu.size() / 2) == promptLength_)
                pdu = "00" + pdu;
            else
                return AtResult::Fail(CmsError(304));
        }
    } else {
        auto encoded = EncodeStoredSubmit(promptAddress_, Utf8ToU16(body));
        if (!encoded) return AtResult::Fail(CmsError(304));
        pdu = *encoded;
    }
    if (kind == Prompt::Send || kind == Prompt::SendText) return Submit(pdu);
    int index = StoreMessage(memories_[1], static_cast<MessageStat>(promptStat_), pdu);
    if (index < 0) return AtResult::Fail(CmsError(322));
    Record(TranscriptEntry::Kind::Written, pdu);
    return AtResult::Line("+CMGW: " + std::to_string(index));
}

}  // namespace telvane::modemsim
