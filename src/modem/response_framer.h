// Cuts the modem's received text into responses.  Every response is framed as CR LF, text,
// CR LF; what comes before the first CR LF (the echo of a command) goes with it.  Lines that
// arrive together with a later final "OK" form one block, and a listing is held back until its
// "OK" has arrived.  After a message, listing, toolkit or phonebook block (and while a send or
// write waits), lines are cut one at a time until the first empty line.
//
// Each received character is scanned once, however the text is split into batches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace telvane {

class ResponseFramer {
  public:
    // Text without a complete response beyond this is dropped.
    static constexpr size_t kMaxPending = 1024 * 1024;

    // Appends a received batch as 7-bit text.  A control byte (a NUL, anything below 0x20 but
    // CR, LF, Ctrl-Z and Esc) is dropped and damages the response it falls in.
    void Append(const uint8_t* bytes, size_t count);
    void Append(std::string_view text);

    // Cuts the next response into `response`: true when one was cut (it may be empty).
    // `sendOrWriteWaiting`: a send or write waits for its result.
    bool Extract(std::string& response, bool sendOrWriteWaiting);

    // True once after a response was cut whose text (or what came before it) had a control byte
    // dropped, or after such text was dropped unread.
    bool TakeDamaged();
    // Control bytes received so far damage nothing.
    void ForgetDamage();

    // Drops every character held, as if nothing had been received.
    void Clear();

    // After the responses of a batch were taken: drops text beyond kMaxPending and releases
    // what was consumed.
    void Trim();

    int ListMode() const { return listMode_; }
    int AfterBlank() const { return afterBlank_; }
    size_t PendingSize() const { return rx_.size() - start_; }
    std::string_view Pending() const { return std::string_view(rx_).substr(start_); }

  private:
    void Scan();
    bool Cut(std::string& response, bool sendOrWriteWaiting);

    std::string rx_;
    size_t start_ = 0;  // rx_ before this is consumed
    size_t crlfScanned_ = 0;
    size_t keywordScanned_ = 0;
    std::deque<size_t> crlfs_;                    // every CR LF at or after start_
    std::deque<size_t> oks_;                      // every "OK" CR LF
    size_t lastListKeyword_ = std::string::npos;  // the last "+CMGL:" or "+CPBR:"
    std::deque<size_t> damage_;                   // where control bytes were dropped
    bool damaged_ = false;
    int listMode_ = 0;
    int afterBlank_ = 0;
};

}  // namespace telvane
