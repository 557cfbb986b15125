#include "modem/modem_engine.h"

namespace telvane {

struct ModemEngine::State {
    mutable std::mutex phonebookMutex;
    PhonebookTable phonebook;
    std::string openError;
    std::u16string scNumber;
};

ModemEngine::ModemEngine(Timing timing) : timing_(timing), state_(std::make_unique<State>()) {}

ModemEngine::~ModemEngine() = default;

int ModemEngine::Open(int32_t, EngineCallback) {
    state_->openError = "the modem engine is not available yet";
    return 0;
}
std::string ModemEngine::OpenError() const {
    return state_->openError;
}
int ModemEngine::SendCommand(std::string_view) {
    return 0;
}
void ModemEngine::Pause(int32_t milliseconds) {
    timing_.Sleep(milliseconds);
}
int ModemEngine::WaitForOk(int32_t) {
    return 0;
}
int ModemEngine::RequestSignalQuality() {
    return 0;
}
int ModemEngine::SendTextMessage(std::u16string, std::u16string) {
    return 0;
}
int ModemEngine::SendSmartSegment(std::u16string, int32_t) {
    return 0;
}
int ModemEngine::WriteTextToSim(std::u16string, std::u16string) {
    return 0;
}
int ModemEngine::SendFromStore(int32_t) {
    return 0;
}
int ModemEngine::ListMessages(int32_t) {
    return 0;
}
int ModemEngine::DeleteMessages(int32_t, int32_t) {
    return 0;
}
int ModemEngine::ReadPhonebook() {
    return 0;
}
int ModemEngine::WritePhonebook() {
    return 0;
}
int ModemEngine::ReadOneMessage(int32_t) {
    return 0;
}
void ModemEngine::OnReceive(const uint8_t*, uint32_t) {}
int ModemEngine::ExtractResponse() {
    return 0;
}
void ModemEngine::ClassifyResponse() {}
void ModemEngine::SetScNumber(std::u16string number) {
    state_->scNumber = std::move(number);
}
std::u16string ModemEngine::ScNumber() const {
    return state_->scNumber;
}
std::u16string ModemEngine::OperatorText() const {
    return {};
}
int32_t ModemEngine::SignalLevel() const {
    return 0;
}
int32_t ModemEngine::MessageReference() const {
    return -1;
}
int32_t ModemEngine::WrittenIndex() const {
    return -1;
}
int32_t ModemEngine::StoreSendReference() const {
    return -1;
}
int32_t ModemEngine::NewMessageIndex() const {
    return -1;
}
int32_t ModemEngine::StoreUsed() const {
    return -1;
}
int32_t ModemEngine::SimState() const {
    return 0;
}
bool ModemEngine::Registered() const {
    return false;
}
bool ModemEngine::Started() const {
    return false;
}
bool ModemEngine::Enabled() const {
    return true;
}
int32_t ModemEngine::CallState() const {
    return 0;
}
std::u16string ModemEngine::CallerNumber() const {
    return {};
}
int32_t ModemEngine::WindIndication() const {
    return 0;
}
int32_t ModemEngine::ActivityStatus() const {
    return -1;
}
int32_t ModemEngine::LastCmeError() const {
    return 0;
}
SmsRecord ModemEngine::LastReadMessage() const {
    return {};
}
int32_t ModemEngine::ListingSize() const {
    return 0;
}
SmsRecord ModemEngine::ListingEntry(int32_t) const {
    return {};
}
PhonebookTable& ModemEngine::Phonebook() {
    return state_->phonebook;
}
std::unique_lock<std::mutex> ModemEngine::LockPhonebook() const {
    return std::unique_lock(state_->phonebookMutex);
}

}  // namespace telvane
