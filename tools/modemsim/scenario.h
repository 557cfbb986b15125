// What a simulated modem holds and how it misbehaves: the SIM, the network, the faults.
//
// A scenario is built in code or read from a hand-written text file:
//
//   # comment ('#' or ';' at the start of a line); blank lines are ignored; keys are
//   # case-insensitive; in [modem], [sim], [network] and [faults] a value may end in " ; note"
//   [modem]
//   manufacturer = Telvane
//   model = ModemSim 900
//   revision = 1.03
//   imei = 351234567890123
//   echo = on                     ; the stored profile's echo (ATZ, AT&F); some modems ship off
//   baud = 115200                 ; bytes go out no faster than this line (10 bits a byte);
//                                 ; 0 sends at once
//   ussd_form = text              ; USSD answers: text (dcs 15, in the character set of
//                                 ; +CSCS), packed (GSM 7-bit packed hex, dcs 15) or ucs2
//                                 ; (UCS2 hex, dcs 72)
//   cnmi = 0,0,0,0,0              ; the stored profile's new-message indications (ATZ, AT&F)
//   retries_query = both          ; +CPINR, +CPINC (a vendor's), both or none answered
//   [sim]
//   state = ready                 ; ready | pin | puk | blocked | absent
//   pin = 1234
//   puk = 12345678
//   pin_attempts = 3              ; left before the SIM asks for the PUK
//   puk_attempts = 10             ; left before the SIM is blocked for good
//   imsi = 466920123456789
//   service_centre = +886932400821
//   message_capacity = 30         ; of the SIM's store, SM
//   me_capacity = 0               ; of the phone's store, ME; 0: none offered
//   sr_capacity = 0               ; of the status reports' store, SR; 0: none offered, and
//                                 ; reports asked for with +CNMI ds 2 are stored with arrivals
//   new_message_store = ME        ; arrivals go there (+CMTI: "ME",n); unset: the third store
//                                 ; of AT+CPMS (SM until a client changes it); class 2: SM
//   [network]
//   registration = 1              ; +CREG stat: 0 none, 1 home, 2 searching, 3 denied, 5 roaming
//   operator = 46692
//   operator_name = LDTA
//   signal = 20                   ; +CSQ rssi 0-31, 99 unknown
//   technology = 2                ; the <AcT> +COPS? adds: 0 GSM, 2 UTRAN, 7 E-UTRAN; unset:
//                                 ; none
//   report_delay = 1000           ; a status report this long after a submission asking for one
//   report_status = 0             ; its TP-ST: 0 delivered, 32-63 still trying, 64 up failed
//   submit_delay = 0              ; +CMGS/+CMSS results this long after the PDU's Ctrl-Z (the
//                                 ; "> " prompt comes at once); unsolicited lines still go out
//                                 ; meanwhile, and what the client types is read only after it
//   [messages]
//   ; INDEX = STATUS | SENDER | YY/MM/DD,hh:mm:ss[+zz] | TEXT   (a received message)
//   ; INDEX = STATUS | RECIPIENT | | TEXT                       (a stored outgoing message)
//   ; INDEX = STATUS | PDU | HEX                                (any PDU, service centre first)
//   ; INDEX = raw:HEADER | BODY      (two lines, as they are, in every listing and read)
//   ; STATUS is REC UNREAD, REC READ, STO UNSENT, STO SENT or 0-3; TEXT is UTF-8, \n breaks a
//   ; line, \\ is a backslash; a TEXT too long for one message is stored as the parts of a
//   ; concatenated one at INDEX, INDEX+1, ... (references 1, 2, ... in file order)
//   1 = REC UNREAD | +886912345678 | 26/12/01,09:15:00+32 | See you at 7
//   [messages.ME]
//   ; the same lines for the ME store ([messages.SR]: the SR store; [messages.SM] is [messages];
//   ; "[messages ME]" is the same as "[messages.ME]")
//   1 = REC READ | +886955000111 | 26/12/02,10:00:00+32 | Kept on the phone
//   [phonebook]
//   capacity = 250
//   number_limit = 20
//   text_limit = 14               ; bytes of a name on the SIM: 14 GSM characters, 6 in UCS2
//   ucs2_form = plain             ; names in "UCS2": plain hex, or the SIM's own 80, 81 or 82 form
//   cpbr_range = (1-20000),20,14  ; AT+CPBR=? answers "+CPBR: " and this, whatever the above
//   ; INDEX = NUMBER | NAME, or INDEX = raw:LINE (LINE answers for that entry as it is)
//   3 = +886912345678 | Ann
//   4 = raw:+CPBR: 4,"0912000004"
//   [toolkit]
//   ; lines that answer AT+STGI=<type>, in order
//   0 = +STGI: "Services"
//   0 = +STGI: 1,2,"News",0
//   [ussd]
//   ; CODE = TEXT: the network's answer, +CUSD: 0 (the session ends); CODE = + TEXT: a menu,
//   ; +CUSD: 1, that waits for a reply; CODE REPLY [REPLY...] = ...: the answers to the replies
//   ; within that session.  A code or reply not listed: +CUSD: 4.  Without this section the
//   ; modem answers ERROR to AT+CUSD.
//   *100# = Your balance is 12.50
//   *149# = + 1 Balance\n2 Offers
//   *149# 2 = Offers: none today
//   [faults]
//   silent = yes                     ; never answer anything
//   cpin_busy = 3                    ; +CME ERROR: 515 for the first 3 +CPIN? queries
//   cms_error = 2:330                ; the 2nd submission (+CMGS/+CMSS) fails with +CMS ERROR: 330
//   mute = +CMGL 1                   ; no answer to the first +CMGL (count 0 or none: always)
//   refuse = +CSCA                   ; ERROR to every +CSCA, as from a modem without the command
//   cme = +CPMS 515 1                ; the first +CPMS is answered +CME ERROR: 515 (in the form
//                                    ; AT+CMEE asks; no count: every one); repeatable, the first
//                                    ; line for a command that still has answers left applies
//   delay = 50                       ; every answer waits 50 ms
//   delay +CPBR = 400                ; answers to +CPBR wait 400 ms
//   batches = 1 16                   ; answers go out in random pieces of 1 to 16 bytes
//   bit7 = 0.3                       ; each byte sent has bit 7 set with this probability
//   drop_after_bytes = 4000          ; the link drops once this many bytes were sent
//   drop_at = +CMGL 300              ; at +CMGL: send 300 bytes of the answer, then drop
//   cut = +CMGL 300                  ; at +CMGL: send 300 bytes of the answer and no more
//   endless = +CMGL                  ; the answer's lines repeat until the client sends a byte
//   inject = +CMGL 2 +CREG: 1        ; in every answer to +CMGL, the line +CREG: 1 after its 2nd
//                                    ; entry (a +CMGL/+CMGR entry is its header and PDU, others
//                                    ; one line; 0: before the first), in the answer's write;
//                                    ; "ok" instead of the number: after the final result code
//                                    ; (for +CMGS and +CMGW: in the result after the message)
//   inject_apart = +CPBR 1 +CSQ: 9,99 ; the same, the line in a write of its own between pauses
//   nul = +CMGL 1                    ; a NUL byte in every answer to +CMGL after its 1st entry
//                                    ; (inject, inject_apart and nul are repeatable)
//   seed = 7                         ; for the random pieces and noise
//   [unsolicited]
//   ; a line sent 2000 ms after start; a line sent after each answer to a command; a message
//   ; arriving 3000 ms after start (stored and announced as AT+CNMI asks; a long text arrives
//   ; as its parts), or arriving as a PDU
//   at 2000 = +CREG: 1,5
//   after +CMGS = +CMTI: "SM",3
//   incoming at 3000 = +886955000111 | 26/12/10,08:00:00+32 | Hi
//   incoming at 4000 = PDU | 0791...
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace telvane::modemsim {

// +CMGL/+CMGR status numbers (3GPP TS 27.005 3.1).
enum class MessageStat { RecUnread = 0, RecRead = 1, StoUnsent = 2, StoSent = 3 };

struct StoredMessage {
    int index = 0;
    MessageStat stat = MessageStat::RecRead;
    std::string pdu;  // upper-case hex, service-centre field first
    // When the header is not empty, the two lines that answer for this entry in every +CMGL
    // and +CMGR, as they are.
    std::string rawHeader;
    std::string rawBody;
};

struct Contact {
    int index = 0;
    std::string number;  // may start with '+' (type 145)
    std::string name;    // UTF-8
    std::string raw;     // when not empty, the line that answers for this entry as it is
};

struct TimedLine {
    int64_t atMs = 0;
    std::string line;
};

struct TriggeredLine {
    std::string command;  // e.g. "+CMGS", "Z", "+CPIN"
    std::string line;
};

struct IncomingMessage {
    int64_t atMs = 0;
    std::string pdu;
};

struct CmeFault {
    std::string command;
    int code = 0;
    int count = 0;  // answers given this error; 0: every one
};

// A line (or a NUL) put into the answers to a command.
struct Injection {
    std::string command;
    int afterEntry = 0;  // 0: before the first entry; -1: after the final result code
    std::string bytes;   // as sent
    std::string line;    // for the transcript; empty for a NUL
    bool apart = false;  // in a write of its own
};

struct Faults {
    bool silent = false;
    int cpinBusy = 0;
    std::map<int, int> cmsErrorOnSubmission;  // 1-based submission number -> error
    std::map<std::string, int> mute;          // command -> how many times; 0 = always
    std::set<std::string> refused;            // commands answered with ERROR
    std::vector<CmeFault> cme;                // in file order
    int delayMs = 0;
    std::map<std::string, int> commandDelayMs;
    int batchMin = 0;  // 0: answers go out whole
    int batchMax = 0;
    double bit7Probability = 0.0;
    int64_t dropAfterBytes = -1;  // -1: never
    std::string dropAtCommand;
    int dropAtBytes = 0;
    std::map<std::string, int> cutAfterBytes;  // command -> bytes of its answer sent
    std::string endlessCommand;
    std::vector<Injection> injections;
    uint32_t seed = 1;
};

enum class SimState { Ready, PinRequired, PukRequired, Blocked, Absent };

// How a modem shows a name outside the GSM alphabet in the "UCS2" character set: plain UCS2
// hex, or the SIM's record forms (3GPP TS 11.11 annex B) with their leading 80, 81 or 82.
enum class Ucs2Form { Plain, Form80, Form81, Form82 };

enum class RetriesQuery { Both, Cpinr, Cpinc, None };

// How the network's USSD text goes to the client (3GPP TS 27.007 7.15, 23.038 5).
enum class UssdForm { Text, Packed, Ucs2 };

struct UssdAnswer {
    bool more = false;  // +CUSD: 1, a menu waiting for a reply; else +CUSD: 0
    std::string text;   // UTF-8
};

// New-message indications, +CNMI=<mode>,<mt>,<bm>,<ds>,<bfr> (3GPP TS 27.005 3.4.1).
struct Indications {
    int mode = 0;  // 0 kept in the modem, 1 dropped while the line is busy, 2 held till it is free
    int mt = 0;    // messages: 0 none, 1 +CMTI, 2 +CMT (not stored), 3 +CMT for class 3 only
    int bm = 0;
    int ds = 0;  // status reports: 0 none, 1 +CDS, 2 stored and +CDSI
    int bfr = 0;
};
// "2,1,0,0,0" or its first values ("2,1"); the values left out or empty keep those of `base`.
// Nothing when a value is one the modem does not offer (mode 0-2, mt 0-3, bm 0 or 2, ds 0-2,
// bfr 0-1).
std::optional<Indications> ParseIndications(const std::string& text, Indications base);

struct Scenario {
    std::string manufacturer = "Telvane";
    std::string model = "ModemSim 900";
    std::string revision = "1.03";
    std::string imei = "351234567890123";
    bool echo = true;
    int baud = 115200;  // 0: unpaced
    Indications cnmi;
    RetriesQuery retriesQuery = RetriesQuery::Both;
    UssdForm ussdForm = UssdForm::Text;

    SimState simState = SimState::Ready;
    std::string pin = "1234";
    std::string puk = "12345678";
    int pinAttempts = 3;
    int pukAttempts = 10;
    std::string imsi = "466920123456789";
    std::string serviceCentre = "+886932400821";
    int messageCapacity = 30;
    std::vector<StoredMessage> messages;  // the SIM's store, SM
    // The phone's own store, ME, and the status reports' store, SR: offered only with a
    // capacity.  Without SR, stored reports go where arrivals go.
    int meCapacity = 0;
    std::vector<StoredMessage> meMessages;
    int srCapacity = 0;
    std::vector<StoredMessage> srMessages;
    std::string newMessageStore;  // "SM" or "ME"; empty: the third store AT+CPMS chose

    int registration = 1;
    std::string operatorCode = "46692";
    std::string operatorName = "LDTA";
    int technology = -1;  // <AcT> of +COPS?; -1: not given
    int signal = 20;
    int reportDelayMs = 1000;
    int reportStatus = 0;
    int submitDelayMs = 0;  // the network's answer to a submission comes this much later

    int phonebookCapacity = 250;
    std::string phonebookRange;  // replaces the answer to AT+CPBR=? after "+CPBR: " when set
    int numberLimit = 20;
    int textLimit = 14;
    Ucs2Form ucs2Form = Ucs2Form::Plain;
    std::vector<Contact> phonebook;

    std::map<int, std::vector<std::string>> toolkit;  // AT+STGI=<type> -> answer lines

    // "CODE" or "CODE REPLY ..." (single blanks) -> the network's answer.
    bool ussdOffered = false;  // a [ussd] section was given
    std::map<std::string, UssdAnswer> ussd;

    Faults faults;
    std::vector<TimedLine> timedLines;
    std::vector<TriggeredLine> triggeredLines;
    std::vector<IncomingMessage> incoming;
};

// Parses the text format above; sections may come in any order.  On a malformed line returns
// nothing and sets `error` to "line N: what".
std::optional<Scenario> ParseScenario(const std::string& text, std::string* error);
std::optional<Scenario> LoadScenarioFile(const std::string& path, std::string* error);

}  // namespace telvane::modemsim
