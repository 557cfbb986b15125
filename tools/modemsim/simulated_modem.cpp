#include "modemsim/simulated_modem.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "modemsim/at_command.h"
#include "modemsim/sim_pdu.h"

namespace telvane::modemsim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
// A pause between the pieces of a cut answer, so that they arrive in separate reads.
constexpr auto kBatchGap = std::chrono::milliseconds(2);
// An endless answer on an unpaced line repeats no faster than this.
constexpr auto kEndlessGap = std::chrono::milliseconds(5);

std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

}  // namespace

const char* KindName(TranscriptEntry::Kind kind) {
    switch (kind) {
        case TranscriptEntry::Kind::Command:
            return "command";
        case TranscriptEntry::Kind::Pdu:
            return "pdu";
        case TranscriptEntry::Kind::Submitted:
            return "submitted";
        case TranscriptEntry::Kind::Written:
            return "written";
        case TranscriptEntry::Kind::Unsolicited:
            return "unsolicited";
        case TranscriptEntry::Kind::Event:
            return "event";
    }
    return "?";
}

SimulatedModem::SimulatedModem(Scenario scenario)
    : scenario_(std::move(scenario)),
      random_(scenario_.faults.seed),
      pacer_(scenario_.baud),
      echo_(scenario_.echo),
      cnmi_(scenario_.cnmi) {}

SimulatedModem::~SimulatedModem() {
    Stop();
}

std::string SimulatedModem::Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable() || master_ >= 0) {
        error_ = "the modem is already started";
        return {};
    }
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        error_ = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return {};
    }
    // Raw slave: a client that does not set the line up itself still gets the bytes unchanged.
    termios tio{};
    if (tcgetattr(slave_, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B115200);
        cfsetospeed(&tio, B115200);
        tcsetattr(slave_, TCSANOW, &tio);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    int wake[2];
    if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        error_ = std::string("cannot create a pipe: ") + std::strerror(errno);
        close(master_);
        close(slave_);
        master_ = slave_ = -1;
        return {};
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    devicePath_ = name;
    started_ = Clock::now();
    stopping_ = false;
    linkUp_ = true;
    thread_ = std::thread([this] { Run(); });
    return devicePath_;
}

void SimulatedModem::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        if (wakeWrite_ >= 0) {
            char c = 1;
            [[maybe_unused]] ssize_t n = write(wakeWrite_, &c, 1);
        }
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    if (master_ >= 0) CloseLink("");
    if (wakeRead_ >= 0) close(wakeRead_);
    if (wakeWrite_ >= 0) close(wakeWrite_);
    wakeRead_ = wakeWrite_ = -1;
    changed_.notify_all();
}

std::string SimulatedModem::Error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

std::string SimulatedModem::DevicePath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return devicePath_;
}

bool SimulatedModem::LinkUp() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return linkUp_;
}

void SimulatedModem::SetTranscriptFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    transcriptPath_ = path;
    if (!path.empty()) {
        // Start the file afresh; entries are appended as they happen.
        if (std::FILE* f = std::fopen(path.c_str(), "w")) std::fclose(f);
    }
}

void SimulatedModem::PushUnsolicited(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    SendLine(line);
}

int SimulatedModem::DeliverMessage(const std::string& sender, const std::string& timestamp,
                                   const std::u16string& text, const std::string& store) {
    std::optional<std::vector<std::string>> parts;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        parts =
            EncodeDeliverParts(scenario_.serviceCentre, sender, timestamp, text, deliverReference_);
        if (parts && parts->size() > 1)
            deliverReference_ = kFirstDeliverReference + (deliverReference_ + 1) % 128;
    }
    if (!parts) return -1;
    int index = -1;
    for (const std::string& pdu : *parts) {
        index = DeliverPdu(pdu, store);
        if (index < 0) return -1;
    }
    return index;
}

int SimulatedModem::DeliverPdu(const std::string& pduHex, const std::string& store) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (TpduLength(pduHex) <= 0) return -1;
    std::string name = Upper(store);
    if (!name.empty() && (name == "SR" || !StoreNamed(name))) return -1;
    return Arrive(Upper(pduHex), name);
}

bool SimulatedModem::ReportStatus(int reference, int status) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!submittedTo_.contains(reference)) return false;
    SendReport(reference, status);
    return true;
}

void SimulatedModem::SetRegistration(int stat) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (scenario_.registration == stat) return;
    const std::vector<int> before = IndicatorValues();
    scenario_.registration = stat;
    if (cregMode_ != 0) {
        std::string line = "+CREG: " + std::to_string(stat);
        if (cregMode_ == 2 && (stat == 1 || stat == 5)) line += ",\"2AF5\",\"0B88\"";
        SendLine(line);
    }
    ReportIndicators(before);
}

void SimulatedModem::SetSignal(int rssi) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<int> before = IndicatorValues();
    scenario_.signal = rssi;
    ReportIndicators(before);
}

void SimulatedModem::DropLink() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (master_ >= 0) BeginDrop("link dropped");
}

std::vector<TranscriptEntry> SimulatedModem::Transcript() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return transcript_;
}

namespace {
std::vector<std::string> OfKind(const std::vector<TranscriptEntry>& entries,
                                TranscriptEntry::Kind kind) {
    std::vector<std::string> out;
    for (const TranscriptEntry& e : entries) {
        if (e.kind == kind) out.push_back(e.text);
    }
    return out;
}
}  // namespace

std::vector<std::string> SimulatedModem::Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return OfKind(transcript_, TranscriptEntry::Kind::Command);
}

std::vector<std::string> SimulatedModem::SubmittedPdus() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return OfKind(transcript_, TranscriptEntry::Kind::Submitted);
}

std::vector<SimulatedModem::SubmittedMessage> SimulatedModem::SubmittedMessages() const {
    std::vector<std::string> pdus = SubmittedPdus();
    struct Joining {
        SubmittedMessage message;
        std::map<int, std::string> texts;  // by part
        int reference = -1;
    };
    std::vector<Joining> joined;
    for (const std::string& pdu : pdus) {
        std::string recipient = SubmitDestination(pdu);
        std::string text = DecodeForTextMode(pdu).text;
        auto concatenation = ConcatenationOf(pdu);
        if (!concatenation) {
            joined.push_back({{recipient, text, 1, 1}, {{1, text}}, -1});
            continue;
        }
        auto it = std::find_if(joined.begin(), joined.end(), [&](const Joining& j) {
            return j.reference == concatenation->reference && j.message.recipient == recipient &&
                   j.message.parts == concatenation->total &&
                   !j.texts.contains(concatenation->part);
        });
        if (it == joined.end()) {
            joined.push_back(
                {{recipient, "", concatenation->total, 0}, {}, concatenation->reference});
            it = joined.end() - 1;
        }
        it->texts[concatenation->part] = text;
    }
    std::vector<SubmittedMessage> out;
    for (Joining& j : joined) {
        j.message.text.clear();
        for (const auto& [part, text] : j.texts)
            j.message.text += text;
        j.message.received = static_cast<int>(j.texts.size());
        out.push_back(j.message);
    }
    return out;
}

std::vector<std::string> SimulatedModem::WrittenPdus() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return OfKind(transcript_, TranscriptEntry::Kind::Written);
}

std::vector<StoredMessage> SimulatedModem::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return scenario_.messages;
}

std::vector<StoredMessage> SimulatedModem::Messages(const std::string& store) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto* found = const_cast<SimulatedModem*>(this)->StoreNamed(Upper(store));
    return found ? *found : std::vector<StoredMessage>{};
}

std::vector<StoredMessage>* SimulatedModem::StoreNamed(const std::string& name) {
    if (name == "SM") return &scenario_.messages;
    if (name == "ME" && scenario_.meCapacity > 0) return &scenario_.meMessages;
    if (name == "SR" && scenario_.srCapacity > 0) return &scenario_.srMessages;
    return nullptr;
}

int SimulatedModem::CapacityOf(const std::string& name) const {
    if (name == "SM") return scenario_.messageCapacity;
    if (name == "ME") return scenario_.meCapacity;
    if (name == "SR") return scenario_.srCapacity;
    return 0;
}

std::string SimulatedModem::ArrivalStore() const {
    return scenario_.newMessageStore.empty() ? memories_[2] : scenario_.newMessageStore;
}

std::vector<Contact> SimulatedModem::Phonebook() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return scenario_.phonebook;
}

int SimulatedModem::CountCommands(const std::string& text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (const TranscriptEntry& e : transcript_) {
        if (e.kind == TranscriptEntry::Kind::Command && e.text.find(text) != std::string::npos)
            ++count;
    }
    return count;
}

bool SimulatedModem::WaitForCommand(const std::string& text,
                                    std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        for (const TranscriptEntry& e : transcript_) {
            if (e.kind == TranscriptEntry::Kind::Command && e.text.find(text) != std::string::npos)
                return true;
        }
        return false;
    });
}

void SimulatedModem::Record(TranscriptEntry::Kind kind, const std::string& text) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_);
    transcript_.push_back({ms.count(), kind, text});
    if (!transcriptPath_.empty()) {
        if (std::FILE* f = std::fopen(transcriptPath_.c_str(), "a")) {
            std::fprintf(f, "%lld.%03lld %s %s\n", static_cast<long long>(ms.count() / 1000),
                         static_cast<long long>(ms.count() % 1000), KindName(kind), text.c_str());
            std::fclose(f);
        }
    }
    changed_.notify_all();
}

void SimulatedModem::Send(std::string bytes, int delayMs, bool dropAfter) {
    if (scenario_.faults.silent || master_ < 0 || dropping_) return;
    auto notBefore = Clock::now() + std::chrono::milliseconds(delayMs);
    // Answers never overtake each other.
    if (!output_.empty()) notBefore = std::max(notBefore, output_.back().notBefore);
    output_.push_back({std::move(bytes), notBefore, dropAfter});
    if (wakeWrite_ >= 0) {
        char c = 1;
        [[maybe_unused]] ssize_t n = write(wakeWrite_, &c, 1);
    }
}

void SimulatedModem::SendLine(const std::string& line) {
    if (master_ < 0) return;
    Record(TranscriptEntry::Kind::Unsolicited, line);
    std::string bytes = "\r\n" + line + "\r\n";
    // Lines due together leave in one block, as a modem's buffer would pass them on.
    if (!output_.empty() && output_.back().unsolicited && !scenario_.faults.silent && !dropping_) {
        output_.back().bytes += bytes;
        return;
    }
    size_t before = output_.size();
    Send(std::move(bytes));
    if (output_.size() > before) output_.back().unsolicited = true;
}

// Closing the master discards what the client has not read yet, so the line is hung up only
// once the last bytes were taken (or after a short grace period).
void SimulatedModem::BeginDrop(const std::string& why) {
    if (dropping_) return;
    dropping_ = true;
    dropReason_ = why;
    dropDeadline_ = Clock::now() + std::chrono::milliseconds(500);
    output_.clear();
    held_ = {};
    heldInput_.clear();
    if (wakeWrite_ >= 0) {
        char c = 1;
        [[maybe_unused]] ssize_t n = write(wakeWrite_, &c, 1);
    }
}

void SimulatedModem::CloseLink(const std::string& why) {
    dropping_ = false;
    if (!why.empty()) Record(TranscriptEntry::Kind::Event, why);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    master_ = slave_ = -1;
    linkUp_ = false;
    output_.clear();
    held_ = {};
    heldInput_.clear();
    changed_.notify_all();
}

bool SimulatedModem::WriteSome() {
    Output& front = output_.front();
    size_t n = front.bytes.size();
    const Faults& f = scenario_.faults;
    if (f.batchMax > 0) {
        std::uniform_int_distribution<int> size(f.batchMin, f.batchMax);
        n = std::min(n, static_cast<size_t>(size(random_)));
    }
    n = std::min(n, pacer_.Allowance(Clock::now()));
    bool dropNow = false;
    if (f.dropAfterBytes >= 0 && bytesSent_ + static_cast<int64_t>(n) >= f.dropAfterBytes) {
        n = static_cast<size_t>(f.dropAfterBytes - bytesSent_);
        dropNow = true;
    }
    std::string piece = front.bytes.substr(0, n);
    if (f.bit7Probability > 0) {
        std::bernoulli_distribution noise(f.bit7Probability);
        for (char& c : piece) {
            if (noise(random_)) c = static_cast<char>(c | 0x80);
        }
    }
    ssize_t written = piece.empty() ? 0 : write(master_, piece.data(), piece.size());
    if (written < 0) {
        if (errno == EAGAIN || errno == EINTR) return true;
        CloseLink("write failed");
        return false;
    }
    bytesSent_ += written;
    pacer_.Wrote(static_cast<size_t>(written), Clock::now());
    front.bytes.erase(0, static_cast<size_t>(written));
    if (dropNow && static_cast<size_t>(written) == n) {
        BeginDrop("link dropped after " + std::to_string(bytesSent_) + " bytes");
        return false;
    }
    if (front.bytes.empty()) {
        bool drop = front.dropAfter;
        output_.pop_front();
        if (!output_.empty() && output_.front().pauseMs > 0) {
            Output& next = output_.front();
            next.notBefore =
                std::max(next.notBefore, Clock::now() + std::chrono::milliseconds(next.pauseMs));
        }
        if (drop) {
            BeginDrop("link dropped");
            return false;
        }
    } else if (f.batchMax > 0) {
        front.notBefore = Clock::now() + kBatchGap;
    }
    return true;
}

void SimulatedModem::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    char buffer[4096];
    while (!stopping_ && master_ >= 0) {
        auto now = Clock::now();
        if (dropping_) {
            int unread = 0;
            // The pty hands written bytes on to the slave asynchronously: let them settle first.
            bool settled = now >= dropDeadline_ - std::chrono::milliseconds(470);
            if (settled &&
                (ioctl(slave_, FIONREAD, &unread) != 0 || unread == 0 || now >= dropDeadline_)) {
                CloseLink(dropReason_);
                break;
            }
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            lock.lock();
            continue;
        }
        auto elapsed = now - started_;
        // Scheduled lines and messages that are due.
        while (nextTimedLine_ < scenario_.timedLines.size() &&
               std::chrono::milliseconds(scenario_.timedLines[nextTimedLine_].atMs) <= elapsed) {
            SendLine(scenario_.timedLines[nextTimedLine_++].line);
        }
        while (nextIncoming_ < scenario_.incoming.size() &&
               std::chrono::milliseconds(scenario_.incoming[nextIncoming_].atMs) <= elapsed) {
            Arrive(scenario_.incoming[nextIncoming_++].pdu);
        }
        std::vector<int> dueReports;
        std::erase_if(pendingReports_, [&](const PendingReport& r) {
            if (r.at > now) return false;
            dueReports.push_back(r.reference);
            return true;
        });
        for (int reference : dueReports)
            SendReport(reference, scenario_.reportStatus);
        if (held_.active && held_.at <= now) ReleaseHeldAnswer();
        if (master_ < 0) break;

        Clock::time_point wakeAt = Clock::time_point::max();
        if (nextTimedLine_ < scenario_.timedLines.size())
            wakeAt =
                started_ + std::chrono::milliseconds(scenario_.timedLines[nextTimedLine_].atMs);
        if (nextIncoming_ < scenario_.incoming.size())
            wakeAt = std::min(wakeAt, started_ + std::chrono::milliseconds(
                                                     scenario_.incoming[nextIncoming_].atMs));
        for (const PendingReport& r : pendingReports_)
            wakeAt = std::min(wakeAt, r.at);
        if (held_.active) wakeAt = std::min(wakeAt, held_.at);
        if (output_.empty() && !endlessBody_.empty()) {
            Send(endlessBody_, pacer_.Paced() ? 0 : static_cast<int>(kEndlessGap.count()));
        }
        Clock::time_point dueAt = Clock::time_point::max();
        if (!output_.empty()) dueAt = std::max(output_.front().notBefore, pacer_.FreeAt());
        bool outputDue = dueAt <= now;
        if (!outputDue) wakeAt = std::min(wakeAt, dueAt);
        timespec timeout{};
        timespec* timeoutPointer = nullptr;
        if (wakeAt != Clock::time_point::max()) {
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wakeAt - now).count();
            ns = std::clamp<int64_t>(ns, 0, 60000000000LL);
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPointer = &timeout;
        }
        pollfd fds[2] = {{wakeRead_, POLLIN, 0},
                         {master_, static_cast<short>(POLLIN | (outputDue ? POLLOUT : 0)), 0}};
        lock.unlock();
        int ready = ppoll(fds, 2, timeoutPointer, nullptr);
        lock.lock();
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0 || stopping_ || master_ < 0) continue;
        if (fds[0].revents & POLLIN) {
            while (read(wakeRead_, buffer, sizeof buffer) > 0) {
            }
        }
        if (fds[1].revents & POLLIN) {
            ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) OnInput(buffer, static_cast<size_t>(n));
        }
        if (master_ >= 0 && (fds[1].revents & POLLOUT) && !output_.empty() &&
            std::max(output_.front().notBefore, pacer_.FreeAt()) <= Clock::now()) {
            WriteSome();
        }
    }
}

}  // namespace telvane::modemsim

namespace telvane::modemsim {

void SimulatedModem::OnInput(const char* data, size_t count) {
    // V.250 5.6.1: a character from the client aborts a command still answering.
    if (count > 0 && !endlessBody_.empty()) {
        endlessBody_.clear();
        Record(TranscriptEntry::Kind::Event, "endless answer interrupted");
    }
    std::string echo;
    auto flushEcho = [&] {
        if (echo_ && !echo.empty()) Send(echo);
        echo.clear();
    };
    for (size_t i = 0; i < count && master_ >= 0; ++i) {
        if (held_.active) {
            // Busy with a submission: the rest waits in the modem's buffer.
            constexpr size_t kInputLimit = 65536;
            heldInput_.append(data + i, std::min(count - i, kInputLimit - heldInput_.size()));
            break;
        }
        char c = data[i];
        if (prompt_ != Prompt::None) {
            if (c == kCtrlZ || c == kEsc) {
                flushEcho();
                FinishPdu(c == kEsc);
            } else if (c == '\r' && (prompt_ == Prompt::SendText || prompt_ == Prompt::WriteText)) {
                flushEcho();
                promptBuffer_ += '\n';
                Send("\r\n> ");
            } else if (c != '\r' && c != '\n' && promptBuffer_.size() < 4096) {
                promptBuffer_ += c;
                echo += c;
            }
            continue;
        }
        if (c == '\r') {
            echo += c;
            flushEcho();
            std::string line;
            line.swap(lineBuffer_);
            ExecuteLine(line);
        } else if (c == '\b') {
            if (!lineBuffer_.empty()) lineBuffer_.pop_back();
            echo += c;
        } else if (c != '\n' && c != kCtrlZ && c != kEsc && c != '\0') {
            // V.250 modems hold a line of limited length; what overflows is ignored.
            if (lineBuffer_.size() < 2048) lineBuffer_ += c;
            echo += c;
        }
    }
    flushEcho();
}

void SimulatedModem::ExecuteLine(const std::string& line) {
    if (line.find_first_not_of(' ') == std::string::npos) return;
    Record(TranscriptEntry::Kind::Command, line);
    // Anything before "AT" is noise a modem skips; a line without it gets no answer.
    size_t at = std::string::npos;
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        if ((line[i] == 'A' || line[i] == 'a') && (line[i + 1] == 'T' || line[i + 1] == 't')) {
            at = i;
            break;
        }
    }
    if (at == std::string::npos) return;
    const Faults& f = scenario_.faults;
    reachedNetwork_ = false;
    afterAnswer_.clear();
    auto commands = ParseCommandLine(line.substr(at + 2));
    int delayMs = f.delayMs;
    bool drop = false;
    int cutAt = -1;
    bool endless = false;
    if (commands) {
        for (const AtCommand& c : *commands) {
            auto muted = f.mute.find(c.name);
            if (muted != f.mute.end() && (muted->second == 0 || muted_[c.name] < muted->second)) {
                ++muted_[c.name];
                Record(TranscriptEntry::Kind::Event, "no answer to " + c.name);
                return;
            }
            auto delay = f.commandDelayMs.find(c.name);
            if (delay != f.commandDelayMs.end()) delayMs += delay->second;
            if (!f.dropAtCommand.empty() && c.name == f.dropAtCommand) drop = true;
            auto cut = f.cutAfterBytes.find(c.name);
            if (cut != f.cutAfterBytes.end()) cutAt = cut->second;
            if (c.name == f.endlessCommand) endless = true;
        }
    }
    std::string answer;
    std::vector<size_t> breaks;  // where the answer goes out in separate writes
    std::vector<std::string> executed;
    auto inject = [&](const std::string& name, int entry) { Inject(name, entry, answer, breaks); };
    std::string lines;  // the information lines of the answer, for the endless fault
    std::vector<std::string> triggers;
    bool prompted = false;
    std::string final = "OK";
    size_t finalAt = 0;
    if (!commands) {
        final = "ERROR";
        answer = "\r\nERROR\r\n";
    } else {
        for (const AtCommand& c : *commands) {
            AtResult r;
            if (f.refused.count(c.name)) {
                r = AtResult::Fail("ERROR");
            } else if (auto code = CmeFaultFor(c.name)) {
                // Refused before it did anything.
                Record(TranscriptEntry::Kind::Event,
                       "+CME ERROR: " + std::to_string(*code) + " to " + c.name);
                r = AtResult::Fail(CmeError(*code));
            } else {
                r = Execute(c);
            }
            // A message's entry is its header and its PDU (or text).
            size_t entryLines = c.name == "+CMGL" || c.name == "+CMGR" ? 2 : 1;
            // A submission's lines go with its result, after the message.
            if (!r.prompt) inject(c.name, 0);
            if (!r.lines.empty()) {
                answer += "\r\n";
                for (size_t i = 0; i < r.lines.size(); ++i) {
                    answer += r.lines[i];
                    answer += "\r\n";
                    lines += r.lines[i] + "\r\n";
                    if ((i + 1) % entryLines == 0)
                        inject(c.name, static_cast<int>((i + 1) / entryLines));
                }
            }
            executed.push_back(c.name);
            for (const TriggeredLine& t : scenario_.triggeredLines) {
                if (t.command == c.name) triggers.push_back(t.line);
            }
            if (r.prompt) {
                // The rest of the line is not read: the modem now waits for the message.
                prompted = true;
                promptCommand_ = c.name;
                promptDelayMs_ = delayMs;
                pendingTriggers_ = triggers;
                answer += "\r\n> ";
                break;
            }
            if (r.final != "OK") {
                final = r.final;
                break;
            }
        }
        finalAt = answer.size();
        if (!prompted) {
            answer += "\r\n" + final + "\r\n";
            for (const std::string& name : executed)
                inject(name, -1);
        }
    }
    if (drop) {
        Send(answer.substr(0, std::min<size_t>(answer.size(), f.dropAtBytes)), delayMs, true);
        return;
    }
    if (cutAt >= 0) {
        Record(TranscriptEntry::Kind::Event,
               "answer cut after " + std::to_string(cutAt) + " bytes");
        Send(answer.substr(0, std::min<size_t>(answer.size(), cutAt)), delayMs);
        return;
    }
    if (endless && !prompted) {
        // The answer's lines, then the same lines again for as long as the client listens.
        Record(TranscriptEntry::Kind::Event, "endless answer");
        Send(answer.substr(0, finalAt), delayMs);
        endlessBody_ = lines;
        return;
    }
    if (reachedNetwork_ && scenario_.submitDelayMs > 0 && !prompted) {
        HoldAnswer(std::move(answer), std::move(breaks), delayMs + scenario_.submitDelayMs,
                   std::move(triggers), releaseAfterAnswer_);
        releaseAfterAnswer_ = false;
        return;
    }
    SendAnswer(answer, breaks, delayMs);
    if (!prompted) {
        for (const std::string& t : triggers)
            SendLine(t);
    }
    for (const std::string& l : afterAnswer_)
        SendLine(l);
    afterAnswer_.clear();
    if (releaseAfterAnswer_) {
        releaseAfterAnswer_ = false;
        ReleaseHeldIndications();
    }
}

std::optional<int> SimulatedModem::CmeFaultFor(const std::string& command) {
    const std::vector<CmeFault>& faults = scenario_.faults.cme;
    cmeGiven_.resize(faults.size());
    for (size_t i = 0; i < faults.size(); ++i) {
        const CmeFault& fault = faults[i];
        if (fault.command != command || (fault.count > 0 && cmeGiven_[i] >= fault.count)) continue;
        ++cmeGiven_[i];
        return fault.code;
    }
    return std::nullopt;
}

void SimulatedModem::FinishPdu(bool cancelled) {
    Prompt kind = prompt_;
    prompt_ = Prompt::None;
    std::string body;
    body.swap(promptBuffer_);
    Record(TranscriptEntry::Kind::Pdu, body);
    std::vector<std::string> triggers;
    triggers.swap(pendingTriggers_);
    if (cancelled) {
        Record(TranscriptEntry::Kind::Event, "message cancelled");
        Send("\r\nOK\r\n", promptDelayMs_);
        if (cnmi_.mode == 2) ReleaseHeldIndications();
        return;
    }
    reachedNetwork_ = false;
    AtResult r = FinishMessage(kind, body);
    std::string answer;
    std::vector<size_t> breaks;
    Inject(promptCommand_, 0, answer, breaks);
    for (size_t i = 0; i < r.lines.size(); ++i) {
        answer += "\r\n" + r.lines[i] + "\r\n";
        Inject(promptCommand_, static_cast<int>(i + 1), answer, breaks);
    }
    answer += "\r\n" + r.final + "\r\n";
    Inject(promptCommand_, -1, answer, breaks);
    if (reachedNetwork_ && scenario_.submitDelayMs > 0) {
        HoldAnswer(std::move(answer), std::move(breaks), promptDelayMs_ + scenario_.submitDelayMs,
                   std::move(triggers), cnmi_.mode == 2);
        return;
    }
    SendAnswer(answer, breaks, promptDelayMs_);
    for (const std::string& t : triggers)
        SendLine(t);
    if (cnmi_.mode == 2) ReleaseHeldIndications();
}

void SimulatedModem::Inject(const std::string& command, int entry, std::string& answer,
                            std::vector<size_t>& breaks) {
    for (const Injection& j : scenario_.faults.injections) {
        if (j.command != command || j.afterEntry != entry) continue;
        if (j.apart) breaks.push_back(answer.size());
        answer += j.bytes;
        if (j.apart) breaks.push_back(answer.size());
        if (j.line.empty())
            Record(TranscriptEntry::Kind::Event, "NUL in the answer to " + command);
        else
            Record(TranscriptEntry::Kind::Unsolicited, j.line);
    }
}

void SimulatedModem::SendAnswer(const std::string& answer, std::vector<size_t> breaks,
                                int delayMs) {
    if (breaks.empty()) {
        Send(answer, delayMs);
        return;
    }
    // The pieces leave with pauses between them, so that they arrive in reads of their own.
    constexpr int kApartMs = 50;
    breaks.push_back(answer.size());
    size_t from = 0;
    for (size_t to : breaks) {
        if (to == from) continue;
        size_t queued = output_.size();
        Send(answer.substr(from, to - from), from == 0 ? delayMs : 0);
        if (from != 0 && output_.size() > queued) output_.back().pauseMs = kApartMs;
        from = to;
    }
}

void SimulatedModem::HoldAnswer(std::string bytes, std::vector<size_t> breaks, int delayMs,
                                std::vector<std::string> triggers, bool releaseIndications) {
    Record(TranscriptEntry::Kind::Event, "network answers in " + std::to_string(delayMs) + " ms");
    held_.active = true;
    held_.at = Clock::now() + std::chrono::milliseconds(delayMs);
    held_.bytes = std::move(bytes);
    held_.breaks = std::move(breaks);
    held_.triggers = std::move(triggers);
    held_.releaseIndications = releaseIndications;
}

void SimulatedModem::ReleaseHeldAnswer() {
    HeldAnswer held = std::move(held_);
    held_ = {};
    SendAnswer(held.bytes, std::move(held.breaks), 0);
    for (const std::string& t : held.triggers)
        SendLine(t);
    if (held.releaseIndications) ReleaseHeldIndications();
    std::string input;
    input.swap(heldInput_);
    if (!input.empty()) OnInput(input.data(), input.size());
}

int SimulatedModem::StoreMessage(const std::string& name, MessageStat stat,
                                 const std::string& pdu) {
    std::vector<StoredMessage>* found = StoreNamed(name);
    if (!found) return -1;
    auto& store = *found;
    int index = 1;
    auto it = store.begin();
    while (it != store.end() && it->index == index) {
        ++it;
        ++index;
    }
    if (index > CapacityOf(name)) return -1;
    store.insert(it, StoredMessage{index, stat, pdu, {}, {}});
    return index;
}

// 27.005 3.4.1: what <mt> asks for a message from the network.
int SimulatedModem::Arrive(const std::string& pdu, const std::string& store) {
    int messageClass = DeliverClass(pdu);
    // Class 2 belongs on the SIM whatever the client asked.
    bool handOver = messageClass != 2 && (cnmi_.mt == 2 || (cnmi_.mt == 3 && messageClass == 3));
    if (handOver) {
        Indicate("+CMT: ," + std::to_string(TpduLength(pdu)) + "\r\n" + pdu);
        return 0;
    }
    std::string name = messageClass == 2 ? "SM" : store.empty() ? ArrivalStore() : store;
    int index = StoreMessage(name, MessageStat::RecUnread, pdu);
    if (index < 0) {
        Record(TranscriptEntry::Kind::Event, "message lost: the store is full");
        return -1;
    }
    Record(TranscriptEntry::Kind::Event,
           "message stored at " + std::to_string(index) + (name == "SM" ? "" : " in " + name));
    if (cnmi_.mt != 0 || messageClass == 2)
        Indicate("+CMTI: " + Quote(name) + "," + std::to_string(index));
    return index;
}

// 27.005 3.4.1 <mode>: 0 keeps indications in the modem, 1 drops them while the line is busy
// (a message is being typed after "> "), 2 holds them until it is free.
void SimulatedModem::Indicate(const std::string& text) {
    constexpr size_t kHeldLimit = 32;  // a modem's buffer is small; the oldest go first
    bool busy = prompt_ != Prompt::None;
    if (cnmi_.mode == 0 || (busy && cnmi_.mode == 2)) {
        Record(TranscriptEntry::Kind::Event, "indication held: " + text);
        heldIndications_.push_back(text);
        if (heldIndications_.size() > kHeldLimit) heldIndications_.erase(heldIndications_.begin());
        return;
    }
    if (busy) {
        Record(TranscriptEntry::Kind::Event, "indication dropped: " + text);
        return;
    }
    SendLine(text);
}

void SimulatedModem::ReleaseHeldIndications() {
    std::vector<std::string> held;
    held.swap(heldIndications_);
    for (const std::string& text : held)
        SendLine(text);
}

// 27.005 3.4.1 <ds>: 0 no report, 1 +CDS: with the report, 2 stored and +CDSI:.
void SimulatedModem::SendReport(int reference, int status) {
    auto it = submittedTo_.find(reference);
    if (it == submittedTo_.end()) return;
    auto pdu = EncodeStatusReport(scenario_.serviceCentre, reference, it->second.recipient,
                                  it->second.time, CurrentTimestamp(), status);
    if (!pdu) {
        Record(TranscriptEntry::Kind::Event, "no status report for an alphanumeric recipient");
        return;
    }
    switch (cnmi_.ds) {
        case 1:
            Indicate("+CDS: " + std::to_string(TpduLength(*pdu)) + "\r\n" + *pdu);
            return;
        case 2: {
            std::string name = StoreNamed("SR") ? "SR" : ArrivalStore();
            int index = StoreMessage(name, MessageStat::RecUnread, *pdu);
            if (index < 0) {
                Record(TranscriptEntry::Kind::Event, "status report lost: the store is full");
                return;
            }
            Indicate("+CDSI: " + Quote(name) + "," + std::to_string(index));
            return;
        }
        default:
            Record(TranscriptEntry::Kind::Event,
                   "status report for " + std::to_string(reference) + " not routed");
            return;
    }
}

int SimulatedModem::NextMessageReference() {
    messageReference_ = (messageReference_ + 1) % 256;
    return messageReference_;
}

}  // namespace telvane::modemsim
