#include "control/modem_link.h"

#include <utility>

#include "codec/smart_message_builder.h"
#include "modem/modem_engine.h"

namespace telvane {

namespace {

class ModemLink : public LinkEngine {
  public:
    explicit ModemLink(Timing timing) : engine_(timing) {}

    int Open(int portNumber, Callback callback) override {
        return engine_.Open(portNumber, std::move(callback));
    }
    std::string OpenError() const override { return engine_.OpenError(); }
    void SetServiceCentre(const std::u16string& number) override { engine_.SetScNumber(number); }
    std::u16string OperatorText() const override { return engine_.OperatorText(); }
    int SignalLevel() const override { return engine_.SignalLevel(); }
    void RequestSignalQuality() override { engine_.RequestSignalQuality(); }
    JobHandle ListMessages(int mode, JobDone done) override {
        return engine_.ListMessages(mode, std::move(done));
    }
    JobHandle DeleteMessages(int mode, int index, JobDone done) override {
        return engine_.DeleteMessages(mode, index, std::move(done));
    }
    JobHandle DeleteStoredMessage(const std::string& store, int index, JobDone done) override {
        return engine_.DeleteStoredMessage(store, index, std::move(done));
    }
    JobHandle QueryInformation(JobDone done) override {
        return engine_.QueryInformation(std::move(done));
    }
    JobHandle SendUssd(const std::u16string& text, JobDone done) override {
        return engine_.SendUssd(text, std::move(done));
    }
    JobHandle EndUssd(JobDone done) override { return engine_.EndUssd(std::move(done)); }
    bool UssdSessionOpen() const override { return engine_.UssdSessionOpen(); }
    int Rssi() const override { return engine_.Rssi(); }
    Registration RegistrationState() const override { return engine_.RegistrationState(); }
    JobHandle ReadPhonebook(JobDone done) override {
        return engine_.ReadPhonebook(std::move(done));
    }
    JobHandle WritePhonebook(JobDone done) override {
        return engine_.WritePhonebook(std::move(done));
    }
    JobHandle SendTextMessage(const std::u16string& number, const std::u16string& text,
                              const SubmitOptions& options, JobDone done) override {
        return engine_.SendTextMessage(number, text, options, std::move(done));
    }
    JobHandle SendSmartSegment(const std::u16string& number, int segment, JobDone done) override {
        return engine_.SendSmartSegment(number, segment, std::move(done));
    }
    int BuildSmartMessage(PictureKind kind, const std::u16string& pictureHex) override {
        SmartMessageBuilder& builder = engine_.SmartBuilder();
        switch (kind) {
            case PictureKind::kPictureMessage:
                return builder.BuildPictureMessage(pictureHex);
            case PictureKind::kOperatorLogo:
                // The logo is addressed to the network the modem is registered with.
                return builder.BuildOperatorLogo(pictureHex, engine_.OperatorText());
            case PictureKind::kScreenSaver:
                return builder.BuildScreenSaver(pictureHex);
        }
        return 0;
    }
    PhonebookTable& Phonebook() override { return engine_.Phonebook(); }
    std::unique_lock<std::mutex> LockPhonebook() override { return engine_.LockPhonebook(); }
    void SetSimCodes(const std::string& pin, const std::string& puk) override {
        engine_.SetSimCodes(pin, puk);
    }
    int PinAttempts() const override { return engine_.PinAttempts(); }
    int PukAttempts() const override { return engine_.PukAttempts(); }
    std::vector<SmsPart> TakeArrivedMessages() override { return engine_.TakeArrivedMessages(); }
    std::vector<StatusReport> TakeStatusReports() override { return engine_.TakeStatusReports(); }
    int StoreUsed() const override { return engine_.StoreUsed(); }
    std::u16string DetectedServiceCentre() const override { return engine_.DetectedScNumber(); }

  private:
    ModemEngine engine_;
};

}  // namespace

std::unique_ptr<LinkEngine> MakeModemLink(Timing timing) {
    return std::make_unique<ModemLink>(timing);
}

}  // namespace telvane
