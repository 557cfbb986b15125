// Other projects' AT clients against the simulator: each reads the demo SIM's messages and
// phonebook and sends one text.  A client that is not installed is skipped.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "support/program.h"

namespace telvane::modemsim {
namespace {

namespace fs = std::filesystem;

using telvane::testing::Installed;
using telvane::testing::RunShell;

class RealClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartModem("demo-sim.ini");
        char folder[] = "/tmp/telvane-clients-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
    }
    // A fresh modem on one of the shipped scenarios.
    void StartModem(const std::string& file) {
        if (modem_) modem_->Stop();
        std::string error;
        auto scenario = LoadScenarioFile(std::string(TELVANE_SOURCE_DATA_DIR) + "/" + file, &error);
        ASSERT_TRUE(scenario) << error;
        modem_ = std::make_unique<SimulatedModem>(std::move(*scenario));
        device_ = modem_->Start();
        ASSERT_FALSE(device_.empty()) << modem_->Error();
    }
    void TearDown() override {
        if (modem_) modem_->Stop();
        if (!folder_.empty()) fs::remove_all(folder_);
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::string path = (folder_ / name).string();
        std::ofstream(path) << text;
        return path;
    }
    // Clients keep their own files under $HOME: give them the temporary folder.
    std::string Env() const { return "env HOME=" + folder_.string() + " "; }

    // What every client must have printed from the demo SIM's messages.
    static void ExpectDemoMessages(const std::string& out) {
        // gsmlib prints numbers without their '+'.
        for (const char* text :
             {"886912345678", "Meeting moved to 3pm, room 402.", "Mail me at amy@example.com.tw",
              "Your parcel is at the front desk.", "Thanks, I will call you tomorrow.",
              "0800080123"}) {
            EXPECT_NE(out.find(text), std::string::npos) << text << " missing in:\n" << out;
        }
    }
    static void ExpectDemoPhonebook(const std::string& out) {
        for (const char* text : {"Amy Chen", "+886912345678", "Wang Hsiao-Mei", "Fire/Ambulance",
                                 "Dad", "+886919876543"}) {
            EXPECT_NE(out.find(text), std::string::npos) << text << " missing in:\n" << out;
        }
    }
    void ExpectOneSubmission(const std::string& text) {
        auto sent = modem_->SubmittedPdus();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(SubmitDestination(sent[0]), "+886912345678");
        EXPECT_EQ(DecodeForTextMode(sent[0]).text, text);
    }

    std::unique_ptr<SimulatedModem> modem_;
    std::string device_;
    fs::path folder_;
};

TEST_F(RealClientTest, Gammu) {
    if (!Installed("gammu")) GTEST_SKIP() << "gammu is not installed";
    std::string rc = Write("gammurc", "[gammu]\ndevice = " + device_ + "\nconnection = at\n");
    std::string gammu = Env() + "gammu -c " + rc + " ";

    std::string messages = RunShell(gammu + "getallsms");
    ExpectDemoMessages(messages);
    EXPECT_NE(messages.find("今天晚上一起吃飯嗎？"), std::string::npos);
    EXPECT_NE(messages.find("the ticket is €25."), std::string::npos);
    // The phone's own store too.
    EXPECT_NE(messages.find("the booking code is 7Q4K"), std::string::npos);
    EXPECT_NE(messages.find("14 SMS parts in 14 SMS sequences"), std::string::npos);
    EXPECT_GE(modem_->CountCommands("+CMGL=4"), 1);

    std::string book = RunShell(gammu + "getallmemory SM");
    ExpectDemoPhonebook(book);
    EXPECT_GE(modem_->CountCommands("+CPBR="), 1);

    std::string sent = RunShell(gammu + "sendsms TEXT +886912345678 -text \"Hello from gammu\"");
    EXPECT_NE(sent.find("OK, message reference=1"), std::string::npos) << sent;
    ExpectOneSubmission("Hello from gammu");
}

// gammu names the modem and reads the network's USSD answer as text and as UCS2 hex (packed
// hex it decodes only for the modems it knows to send it).
TEST_F(RealClientTest, GammuIdentifiesAndAsksUssd) {
    if (!Installed("gammu")) GTEST_SKIP() << "gammu is not installed";
    std::string rc = Write("gammurc", "[gammu]\ndevice = " + device_ + "\nconnection = at\n");
    std::string gammu = Env() + "gammu -c " + rc + " ";
    const std::string identity = RunShell(gammu + "identify");
    for (const char* field :
         {"Telvane", "ModemSim 900", "1.03", "351234567890123", "466920123456789"})
        EXPECT_NE(identity.find(field), std::string::npos) << field << " in\n" << identity;

    for (const char* form : {"text", "ucs2"}) {
        SCOPED_TRACE(form);
        std::string error;
        auto scenario = ParseScenario(std::string("[modem]\nussd_form = ") + form +
                                          "\n[ussd]\n*100# = Your balance is 12.50\n",
                                      &error);
        ASSERT_TRUE(scenario) << error;
        modem_->Stop();
        modem_ = std::make_unique<SimulatedModem>(std::move(*scenario));
        device_ = modem_->Start();
        ASSERT_FALSE(device_.empty());
        rc = Write("gammurc", "[gammu]\ndevice = " + device_ + "\nconnection = at\n");
        const std::string ussd = RunShell(Env() + "gammu -c " + rc + " getussd \"*100#\"");
        EXPECT_NE(ussd.find("\"Your balance is 12.50\""), std::string::npos) << ussd;
    }
}

TEST_F(RealClientTest, Gnokii) {
    if (!Installed("gnokii")) GTEST_SKIP() << "gnokii is not installed";
    std::string rc = Write("gnokiirc", "[global]\nport = " + device_ +
                                           "\nmodel = AT\nconnection = serial\n"
                                           "serial_baudrate = 115200\n");
    std::string gnokii = Env() + "gnokii --config " + rc + " ";

    std::string messages = RunShell(gnokii + "--getsms SM 1 end");
    ExpectDemoMessages(messages);
    EXPECT_NE(messages.find("明天早上九點在台北車站見。"), std::string::npos);
    EXPECT_NE(messages.find("12. MO Message (Unsent)"), std::string::npos);

    std::string book = RunShell(gnokii + "--getphonebook SM 1 end");
    ExpectDemoPhonebook(book);

    std::string sent =
        RunShell("sh -c 'echo Hello from gnokii | " + gnokii + "--sendsms +886912345678'");
    EXPECT_NE(sent.find("Send succeeded"), std::string::npos) << sent;
    ExpectOneSubmission("Hello from gnokii");
}

// Names outside the GSM alphabet reach both clients through the modem's UCS2 character set.
TEST_F(RealClientTest, ChineseNamesReadThroughUcs2) {
    StartModem("demo-sim-zh.ini");
    struct Client {
        const char* program;
        std::string config;
        std::string command;
    } clients[] = {
        {"gammu", "gammurc", "gammu -c {rc} getallmemory SM"},
        {"gnokii", "gnokiirc", "gnokii --config {rc} --getphonebook SM 1 end"},
    };
    int ran = 0;
    for (Client& c : clients) {
        if (!Installed(c.program)) continue;
        ++ran;
        std::string rc =
            c.config == "gammurc"
                ? Write(c.config, "[gammu]\ndevice = " + device_ + "\nconnection = at\n")
                : Write(c.config,
                        "[global]\nport = " + device_ + "\nmodel = AT\nconnection = serial\n");
        std::string command = c.command;
        command.replace(command.find("{rc}"), 4, rc);
        std::string book = RunShell(Env() + command);
        for (const char* name : {"媽媽", "爸爸 Dad", "王小美", "Amy Chen"})
            EXPECT_NE(book.find(name), std::string::npos) << c.program << ": " << name << "\n"
                                                          << book;
    }
    EXPECT_GE(modem_->CountCommands("AT+CSCS=\"UCS2\""), ran);
    if (ran == 0) GTEST_SKIP() << "neither gammu nor gnokii is installed";
}

// Long messages both ways: gammu joins the parts our encoder stored, and the parts gammu sends
// are recorded and joined back by the modem.
TEST_F(RealClientTest, GammuLongMessagesBothWays) {
    if (!Installed("gammu")) GTEST_SKIP() << "gammu is not installed";
    StartModem("demo-sim-zh.ini");
    std::string rc = Write("gammurc", "[gammu]\ndevice = " + device_ + "\nconnection = at\n");
    std::string gammu = Env() + "gammu -c " + rc + " ";

    std::string messages = RunShell(gammu + "geteachsms");
    EXPECT_NE(messages.find("18 SMS parts in 15 SMS sequences"), std::string::npos) << messages;
    EXPECT_NE(messages.find("如果有人不能來，請在中午以前告訴我，我好通知餐廳改人數。另外，下週一開"
                            "始新的打卡系統，請記得帶員工證。謝謝大家的配合！"),
              std::string::npos)
        << messages;

    std::string text;
    for (int i = 0; text.size() < 300; ++i)
        text += "part " + std::to_string(i) + " of a long message {with extension characters} ";
    text.resize(300);
    std::string sent =
        RunShell(gammu + "sendsms TEXT +886912345678 -autolen 400 -textutf8 \"" + text + "\"");
    EXPECT_NE(sent.find("OK, message reference="), std::string::npos) << sent;
    auto submitted = modem_->SubmittedMessages();
    ASSERT_EQ(submitted.size(), 1u);
    EXPECT_EQ(submitted[0].recipient, "+886912345678");
    EXPECT_GE(submitted[0].parts, 2);
    EXPECT_EQ(submitted[0].received, submitted[0].parts);
    EXPECT_EQ(submitted[0].text, text);
    int recorded = 0;
    for (const TranscriptEntry& e : modem_->Transcript()) {
        recorded += e.kind == TranscriptEntry::Kind::Event && e.text.starts_with("part ") &&
                    e.text.ends_with(" to +886912345678");
    }
    EXPECT_EQ(recorded, submitted[0].parts);
}

TEST_F(RealClientTest, GsmLib) {
    if (!Installed("gsmsmsstore") || !Installed("gsmpb") || !Installed("gsmsendsms"))
        GTEST_SKIP() << "gsm-utils is not installed";
    // gsmlib drops DTR on open, which a pseudo-terminal refuses (ENOTTY); a preloaded shim
    // accepts the modem-line ioctls as a real serial port would.
    std::string shim = Write("nodtr.c", R"(#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdarg.h>
#include <sys/ioctl.h>
int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (request == TIOCMBIC || request == TIOCMBIS || request == TIOCMSET) return 0;
    if (request == TIOCMGET) {
        *(int*)arg = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
        return 0;
    }
    int (*real)(int, unsigned long, void*) =
        (int (*)(int, unsigned long, void*))dlsym(RTLD_NEXT, "ioctl");
    return real(fd, request, arg);
}
)");
    std::string library = (folder_ / "nodtr.so").string();
    std::string built = RunShell("cc -shared -fPIC -o " + library + " " + shim + " -ldl");
    if (!fs::exists(library)) GTEST_SKIP() << "cannot build the DTR shim: " << built;
    std::string env = Env() + "LD_PRELOAD=" + library + " ";

    std::string messages = RunShell(env + "gsmsmsstore -s " + device_ + " -t SM -l");
    ExpectDemoMessages(messages);
    EXPECT_NE(messages.find("Message type: SMS-SUBMIT"), std::string::npos);

    std::string book = RunShell(env + "gsmpb -s " + device_ + " -p SM -d -", 40);
    ExpectDemoPhonebook(book);

    std::string sent =
        RunShell(env + "gsmsendsms -d " + device_ + " +886912345678 \"Hello from gsmlib\"");
    EXPECT_EQ(sent.find("ERROR"), std::string::npos) << sent;
    ExpectOneSubmission("Hello from gsmlib");
}

}  // namespace
}  // namespace telvane::modemsim
