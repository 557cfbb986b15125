// Interface strings: every text the user sees, in traditional Chinese and in English.
//
// Each text has two string ids, Chinese first, named once below:
// LoadUiString(ui_text::kConnecting) gives "連接中" or "Connecting" depending on the language flag.
#pragma once

#include <atomic>
#include <initializer_list>
#include <string>
#include <string_view>

namespace telvane {

// One text of the interface: its Chinese and its English string id.
struct UiText {
    int chinese;
    int english;
    friend constexpr bool operator==(UiText, UiText) = default;
};

// Named after the English text; a namespace of their own keeps short names like kInbox free.
namespace ui_text {
inline constexpr UiText kCompose{1, 2};
inline constexpr UiText kCopy{3, 4};
inline constexpr UiText kPaste{5, 6};
inline constexpr UiText kCut{7, 8};
inline constexpr UiText kDelete{9, 10};
inline constexpr UiText kSms{11, 12};
inline constexpr UiText kPhonebook{13, 14};
inline constexpr UiText kSettings{15, 16};
inline constexpr UiText kConnect{17, 18};
inline constexpr UiText kInbox{21, 22};
inline constexpr UiText kOutbox{23, 24};
inline constexpr UiText kSent{25, 26};
inline constexpr UiText kDraft{27, 28};
inline constexpr UiText kSave{29, 30};
inline constexpr UiText kReply{31, 32};
inline constexpr UiText kForward{33, 34};
inline constexpr UiText kSaveTo{35, 36};
inline constexpr UiText kPhone{37, 38};
inline constexpr UiText kTime{39, 40};
inline constexpr UiText kMessage{41, 42};
inline constexpr UiText kNumberColumn{43, 44};
inline constexpr UiText kTo{45, 46};
inline constexpr UiText kCannedMessage{47, 48};
inline constexpr UiText kSend{49, 50};
inline constexpr UiText kSim{51, 52};
inline constexpr UiText kContacts{53, 54};
inline constexpr UiText kName{55, 56};
inline constexpr UiText kEdit{57, 58};
inline constexpr UiText kOkay{59, 60};
inline constexpr UiText kCancel{61, 62};
inline constexpr UiText kCommunicationPort{63, 64};
inline constexpr UiText kOperatorSetting{65, 66};
inline constexpr UiText kAutoDetect{67, 68};
inline constexpr UiText kSmsCentre{69, 70};
inline constexpr UiText kLanguageSetting{71, 72};
inline constexpr UiText kSynchronisationSetting{73, 74};
inline constexpr UiText kSimPhonebook{77, 78};
inline constexpr UiText kInitializeFailed{88, 89};
inline constexpr UiText kNoNetwork{102, 103};
inline constexpr UiText kConnecting{104, 105};
inline constexpr UiText kAdd{106, 107};
inline constexpr UiText kPleaseConnectFirst{108, 110};
inline constexpr UiText kPleaseWait{111, 112};
inline constexpr UiText kDeleteFailed{113, 114};
inline constexpr UiText kInvalidPhoneNumber{117, 118};
inline constexpr UiText kPleaseInputMessage{119, 120};
inline constexpr UiText kSmsNumber{121, 122};
inline constexpr UiText kOffline{123, 124};
inline constexpr UiText kSendFailed{125, 126};
inline constexpr UiText kLoadingSms{141, 142};
inline constexpr UiText kLoadingSimPhonebook{143, 144};
inline constexpr UiText kReadSimPhonebook{145, 146};
inline constexpr UiText kWriteSimPhonebook{147, 148};
inline constexpr UiText kWritingSimPhonebook{149, 150};
inline constexpr UiText kLogo{151, 152};
inline constexpr UiText kText{153, 154};
inline constexpr UiText kInvert{155, 156};
inline constexpr UiText kAbout{157, 158};
inline constexpr UiText kPictureMessage{159, 160};
inline constexpr UiText kPhoneLogo{161, 162};
inline constexpr UiText kScreenSaver{163, 164};
inline constexpr UiText kSendComplete{165, 166};
inline constexpr UiText kCouldNotReadSimMessages{167, 168};
inline constexpr UiText kSimPhonebookNoAnswer{169, 170};
inline constexpr UiText kSentFull{171, 172};
inline constexpr UiText kSaveFailed{173, 174};
inline constexpr UiText kLoadFailed{175, 176};
inline constexpr UiText kEnterSimPin{177, 178};
inline constexpr UiText kEnterPukAndNewPin{179, 180};
inline constexpr UiText kAttemptsLeft{181, 182};  // %1: the count
inline constexpr UiText kNewPin{183, 184};
inline constexpr UiText kWrongPin{185, 186};
inline constexpr UiText kSimNeedsPuk{187, 188};
inline constexpr UiText kNewMessage{189, 190};
inline constexpr UiText kMoreOnSim{191, 192};  // %1: the count
inline constexpr UiText kRequestDeliveryReports{193, 194};
inline constexpr UiText kDelivered{195, 196};
inline constexpr UiText kNotDelivered{197, 198};
inline constexpr UiText kDeliveryPending{199, 200};
inline constexpr UiText kSimBlocked{201, 202};
inline constexpr UiText kPin{203, 204};
inline constexpr UiText kPuk{205, 206};
inline constexpr UiText kSendingCount{211, 212};  // %1 of %2
inline constexpr UiText kSomeNotSent{213, 214};
inline constexpr UiText kPartMissing{241, 242};    // %1: the part, %2: how many
inline constexpr UiText kDeletingCount{243, 244};  // %1: the one now, %2: how many
// Files: %1 the file, %2 the records read (or the copy kept), %3 the name of the copy to come.
inline constexpr UiText kFileDamaged{301, 302};
inline constexpr UiText kFileUnreadable{303, 304};  // %1: the reason, naming the file
inline constexpr UiText kDamagedOriginalKept{305, 306};
// Numbers: %1 the number as given (control characters shown by code), %2 why it is refused.
inline constexpr UiText kInvalidRecipient{307, 308};
inline constexpr UiText kInvalidServiceCentre{309, 310};  // %1: why
// Why a connect failed, after "Initialize failed: ".
inline constexpr UiText kModemSilent{311, 312};
inline constexpr UiText kNotAModem{313, 314};
inline constexpr UiText kNoSim{315, 316};
inline constexpr UiText kSimNotReady{317, 318};
inline constexpr UiText kNotRegistered{319, 320};
inline constexpr UiText kLinkLost{321, 322};
inline constexpr UiText kConnectCancelled{323, 324};
// Followed by one line per entry: its position, name and the SIM's reason.
inline constexpr UiText kPhonebookEntriesRefused{325, 326};
// The settings' centre under Auto Detect while the modem has not given one.
inline constexpr UiText kCentreNotDetected{327, 328};
inline constexpr UiText kLogoNeedsNetworkCode{329, 330};
inline constexpr UiText kModemRefusedJob{331, 332};
// A submission whose answer never came.
inline constexpr UiText kNotConfirmed{333, 334};
// The network's state on the status line; %1: the operator.
inline constexpr UiText kRoaming{340, 341};
inline constexpr UiText kSearchingNetwork{342, 343};
inline constexpr UiText kRegistrationDenied{344, 345};
inline constexpr UiText kNoRegistration{346, 347};
// The modem and the rest of the system.
inline constexpr UiText kPortInUse{371, 372};  // %1 the port, %2 the program, %3 its pid
inline constexpr UiText kAskModemManagerToLetGo{373, 374};
// %1: ModemManager's answer.
inline constexpr UiText kModemManagerRefused{375, 376};
inline constexpr UiText kModemUnplugged{377, 378};
inline constexpr UiText kWaitingForModem{379, 380};
inline constexpr UiText kReconnectWhenModemReturns{381, 382};
// The message history and its pages.
inline constexpr UiText kHistoryKeptAside{401, 402};  // %1: where the damaged file was kept
inline constexpr UiText kHistoryWriteFailed{403, 404};
inline constexpr UiText kConversations{407, 408};
inline constexpr UiText kHistory{409, 410};
inline constexpr UiText kSearch{411, 412};
inline constexpr UiText kDeleteFromHistory{413, 414};  // %1: how many messages
inline constexpr UiText kUnreadCount{417, 418};        // %1: the count
inline constexpr UiText kOlderMessages{419, 420};
inline constexpr UiText kDeleteConversation{421, 422};  // %1: the name or number
inline constexpr UiText kNoHistoryYet{423, 424};
// A message sent while offline waits in the Outbox.
inline constexpr UiText kQueuedForNextConnection{480, 481};
inline constexpr UiText kNameTooLongForSim{482, 483};  // %1: the counter, "20/14"
// Messages the Inbox cannot show, by store: the first store's count in full, the others after it.
inline constexpr UiText kMoreInPhone{484, 485};  // %1: the count
inline constexpr UiText kMoreInStore{486, 487};  // %1: the count, %2: the store's name
inline constexpr UiText kAlsoOnSim{488, 489};    // %1: the count
inline constexpr UiText kAlsoInPhone{490, 491};  // %1: the count
inline constexpr UiText kAlsoInStore{492, 493};  // %1: the count, %2: the store's name
inline constexpr UiText kListSeparator{494, 495};
// The Inbox's mark of a message kept elsewhere than on the SIM.
inline constexpr UiText kInPhoneMemory{496, 497};
inline constexpr UiText kInStoreMemory{498, 499};  // %1: the store's name
}  // namespace ui_text

// Nonzero: Chinese interface; 0: English.  Set through SetLanguage.
extern std::atomic<int> chineseUi;

// `language` as the settings store it: 1 Chinese, 0 English; any nonzero value counts as
// Chinese.
void SetLanguage(int language);

// The text the language flag selects; empty when the id has no text.
std::u16string LoadUiString(UiText text);
std::u16string LoadUiString(int chineseId, int englishId);
// The text with %1, %2, ... replaced by `values` in order (every occurrence of each).
std::u16string FormatUiString(UiText text, std::initializer_list<std::u16string_view> values);

// One string-table entry by id, whatever the language (the language drop-down's lines 79 and
// 80 are shown as they stand); empty when the id has no text.
std::u16string LoadStringById(int id);

}  // namespace telvane
