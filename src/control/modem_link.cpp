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
    int MessageReference() const override { return engine_.MessageReference(); }
    void RequestSignalQuality() override { engine_.RequestSignalQuality(); }
    int ListMessages(int mode) override { return engine_.ListMessages(mode); }
    int DeleteMessages(int mode, int index) override { return engine_.DeleteMessages(mode, index); }
    int ReadPhonebook() override { return engine_.ReadPhonebook(); }
    int WritePhonebook() override { return engine_.WritePhonebook(); }
    std::vector<int> SentReferences() const override {
        const std::vector<int32_t> references = engine_.SentReferences();
        return std::vector<int>(references.begin(), references.end());
    }
    std::string LastFailure() const override { return engine_.LastFailure(); }
    int SendTextMessage(const std::u16string& number, const std::u16string& text,
                        const SubmitOptions& options) override {
        return engine_.SendTextMessage(number, text, options);
    }
    int SendSmartSegment(const std::u16string& number, int segment) override {
        return engine_.SendSmartSegment(number, segment);
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
    const MessageListing& Listing() const override { return engine_; }
    std::vector<SmsPart> ListedParts() const override {
        std::vector<SmsPart> parts;
        for (int32_t i = 0; i < engine_.ListingSize(); ++i)
            parts.push_back(engine_.ListingPart(i));
        return parts;
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
    std::vector<PhonebookRefusal> PhonebookRefusals() const override {
        return engine_.PhonebookRefusals();
    }

  private:
    ModemEngine engine_;
};

}  // namespace

std::unique_ptr<LinkEngine> MakeModemLink(Timing timing) {
    return std::make_unique<ModemLink>(timing);
}

}  // namespace telvane
