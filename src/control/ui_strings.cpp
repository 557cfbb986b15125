#include "control/ui_strings.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>

namespace telvane {

std::atomic<int> chineseUi{0};

namespace {

struct UiString {
    int id;
    std::u16string_view text;
};

// The first id of each pair is Chinese, the second English; 79 and 80 name the languages.
// Sorted by id.
constexpr UiString kStrings[] = {
    {1, u"編寫"},
    {2, u"Compose"},
    {3, u"複製"},
    {4, u"Copy"},
    {5, u"貼上"},
    {6, u"Paste"},
    {7, u"剪下"},
    {8, u"Cut"},
    {9, u"刪除"},
    {10, u"Delete"},
    {11, u"短訊"},
    {12, u"SMS"},
    {13, u"電話簿"},
    {14, u"Phonebook"},
    {15, u"設定"},
    {16, u"Settings"},
    {17, u"連線"},
    {18, u"Connect"},
    {21, u"收件"},
    {22, u"Inbox"},
    {23, u"寄件"},
    {24, u"Outbox"},
    {25, u"送件"},
    {26, u"Sent"},
    {27, u"草稿"},
    {28, u"Draft"},
    {29, u"保存"},
    {30, u"Save"},
    {31, u"回覆"},
    {32, u"Reply"},
    {33, u"轉寄"},
    {34, u"Forward"},
    {35, u"存至"},
    {36, u"SaveTo"},
    {37, u"電話"},
    {38, u"Phone"},
    {39, u"時間"},
    {40, u"Time"},
    {41, u"訊息"},
    {42, u"Message"},
    {43, u"號"},
    {44, u"No."},
    {45, u"至:"},
    {46, u"To:"},
    {47, u"預設信息"},
    {48, u"Canned Message"},
    {49, u"發送"},
    {50, u"Send"},
    {51, u"智能卡"},
    {52, u"SIM"},
    {53, u"連絡人"},
    {54, u"Contacts"},
    {55, u"名稱"},
    {56, u"Name"},
    {57, u"修改"},
    {58, u"Edit"},
    {59, u"確定"},
    {60, u"Okay"},
    {61, u"取消"},
    {62, u"Cancel"},
    {63, u"連接埠:"},
    {64, u"Communication port:"},
    {65, u"電話經營商設定:"},
    {66, u"Operator Setting:"},
    {67, u"自動搜尋"},
    {68, u"Auto Detect"},
    {69, u"短訊服務中心:"},
    {70, u"SMS Centre:"},
    {71, u"語言設定:"},
    {72, u"Language Setting:"},
    {73, u"同步設定:"},
    {74, u"Synchronization Setting:"},
    {77, u"智能卡電話簿"},
    {78, u"SIM Phonebook"},
    {79, u"中文 "},
    {80, u"English"},
    {88, u"初始化失敗"},
    {89, u"Initialize failed"},
    {102, u"找不到網絡"},
    {103, u"No network"},
    {104, u"連接中"},
    {105, u"Connecting"},
    {106, u"加入"},
    {107, u"Add"},
    {108, u"請先連線"},
    {110, u"Please connect first"},
    {111, u"請稍候"},
    {112, u"Please wait"},
    {113, u"刪除失敗"},
    {114, u"Delete failed"},
    {117, u"電話號碼不正確﹐\r\n請重新輸入。"},
    {118, u"Invalid phone number"},
    {119, u"請輸入訊息。"},
    {120, u"Please input message"},
    {121, u"短訊編號"},
    {122, u"SMS no."},
    {123, u"離線"},
    {124, u"Offline"},
    {125, u"傳送失敗"},
    {126, u"Send failed"},
    {141, u"載入短訊..."},
    {142, u"Loading SMS..."},
    {143, u"載入智能卡電話薄..."},
    {144, u"Loading SIM phonebook..."},
    {145, u"讀取智能卡電話簿"},
    {146, u"Read SIM Phonebook"},
    {147, u"寫入智能卡電話簿"},
    {148, u"Write SIM Phonebook"},
    {149, u"寫入智能卡電話簿..."},
    {150, u"Write SIM phonebook..."},
    {151, u"圖像"},
    {152, u"Logo"},
    {153, u"文字"},
    {154, u"Text"},
    {155, u"反白"},
    {156, u"Invert"},
    {157, u"關於"},
    {158, u"About"},
    {159, u"圖像訊息"},
    {160, u"PictureMsg"},
    {161, u"手機圖像"},
    {162, u"PhoneLogo"},
    {163, u"屏幕保護"},
    {164, u"ScreenSaver"},
    {165, u"傳送完成"},
    {166, u"Send complete"},
    {167, u"無法讀取智能卡上的短訊"},
    {168, u"Could not read the messages on the SIM"},
    {169, u"智能卡電話簿沒有回應"},
    {170, u"The SIM phonebook did not answer"},
    {171, u"送件已滿：短訊留在寄件"},
    {172, u"Sent is full: the message stays in the Outbox"},
    {173, u"儲存失敗"},
    {174, u"Save failed"},
    {175, u"讀取失敗"},
    {176, u"Load failed"},
    {177, u"請輸入智能卡的 PIN 碼"},
    {178, u"Enter the SIM's PIN"},
    {179, u"智能卡已鎖：請輸入 PUK 碼及新的 PIN 碼"},
    {180, u"The SIM is locked: enter the PUK and a new PIN"},
    {181, u"尚餘 %1 次機會"},
    {182, u"%1 attempts left"},
    {183, u"新的 PIN 碼"},
    {184, u"New PIN"},
    {185, u"PIN 碼錯誤"},
    {186, u"Wrong PIN"},
    {187, u"智能卡已鎖，需要 PUK 碼"},
    {188, u"The SIM is locked and needs the PUK"},
    {189, u"新短訊"},
    {190, u"New message"},
    {191, u"智能卡上另有 %1 則短訊"},
    {192, u"%1 more messages on the SIM"},
    {193, u"要求傳送報告"},
    {194, u"Request delivery reports"},
    {195, u"已送達"},
    {196, u"Delivered"},
    {197, u"未能送達"},
    {198, u"Failed"},
    {199, u"等待送達"},
    {200, u"Pending"},
    {201, u"智能卡已封鎖"},
    {202, u"The SIM is blocked"},
    {203, u"PIN 碼"},
    {204, u"PIN"},
    {205, u"PUK 碼"},
    {206, u"PUK"},
    {211, u"正在傳送第 %1 則，共 %2 則"},
    {212, u"Sending %1 of %2"},
    {213, u"以下短訊未能傳送，仍留在寄件匣："},
    {214, u"Not sent (kept in the Outbox):"},
    {241, u"[第 %1 段遺失，共 %2 段]"},
    {242, u"[part %1 of %2 missing]"},
    {243, u"刪除中 %1 / %2"},
    {244, u"Deleting %1 of %2"},
    {301, u"%1 已損壞：只讀出 %2 筆。下次儲存前，原檔會保留為 %3。"},
    {302,
     u"%1 is damaged: %2 records could be read. Before it is next saved, the original is kept as "
     u"%3."},
    {303, u"無法讀取檔案，檔案保持原樣：%1"},
    {304, u"A file could not be read and is left as it is: %1"},
    {305, u"%1 的損壞原檔已保留為 %2"},
    {306, u"The damaged original of %1 is kept as %2"},
    {307, u"「%1」不是有效的電話號碼：%2"},
    {308, u"\"%1\" is not a valid phone number: %2"},
    {309, u"設定中的短訊中心號碼無效：%1"},
    {310, u"The SMS centre number in Settings is not valid: %1"},
    {311, u"數據機沒有回應：請檢查連接埠和線路"},
    {312, u"The modem does not answer: check the port and the cable"},
    {313, u"此連接埠上的裝置不是數據機：請檢查連接埠"},
    {314, u"The device on this port does not answer as a modem: check the port"},
    {315, u"數據機中沒有智能卡"},
    {316, u"No SIM card in the modem"},
    {317, u"智能卡未能就緒"},
    {318, u"The SIM card did not become ready"},
    {319, u"未登記到網絡"},
    {320, u"Not registered on a network"},
    {321, u"與數據機的連線中斷"},
    {322, u"The link to the modem dropped"},
    {323, u"已取消連線"},
    {324, u"Connect cancelled"},
    {325, u"智能卡拒絕了下列電話簿項目，它們仍標示為未寫入："},
    {326, u"The SIM refused these phonebook entries; they stay marked as not written:"},
    {327, u"未偵測到"},
    {328, u"Not detected"},
    {329, u"電信商標誌需要網路的數字代碼（例如 46692），目前的網路沒有提供"},
    {330,
     u"An operator logo needs the network's numeric code (such as 46692); the network gave none"},
    {331, u"數據機沒有接受這則短訊"},
    {332, u"the modem did not take the message"},
    {333, u"未確認：網路可能已收到，不會自動重送"},
    {334, u"not confirmed: the network may have it; it is not sent again by itself"},
    {340, u"%1（漫遊中）"},
    {341, u"%1 (roaming)"},
    {342, u"正在搜尋網路"},
    {343, u"Searching for a network"},
    {344, u"網路拒絕註冊"},
    {345, u"Registration denied by the network"},
    {346, u"未註冊到網路"},
    {347, u"Not registered on a network"},
    {371, u"連接埠 %1 正由 %2（pid %3）使用中"},
    {372, u"The port %1 is in use by %2 (pid %3)"},
    {373, u"ModemManager 正在管理這部數據機。要請它在連線期間放開數據機嗎？"},
    {374, u"ModemManager manages this modem. Ask it to let go of the modem while connected?"},
    {375,
     u"ModemManager 不肯放開數據機：%1\n請依 README「連接實體數據機」一節加入 udev 規則，"
     u"讓 ModemManager 不管這部數據機。"},
    {376,
     u"ModemManager would not let go of the modem: %1\nAdd the udev rule in the README's "
     u"\"Connecting a real modem\" so that ModemManager leaves this modem alone."},
    {377, u"數據機已拔除"},
    {378, u"Modem unplugged"},
    {379, u"等待數據機重新接上"},
    {380, u"Waiting for the modem to return"},
    {381, u"數據機接回時自動重新連線"},
    {382, u"Reconnect when the modem returns"},
    {401, u"訊息記錄檔已損壞，另存為 %1，已開始新的記錄"},
    {402, u"The message history was damaged: it was kept as %1 and a new one started"},
    {403, u"無法寫入訊息記錄"},
    {404, u"Could not write the message history"},
    {407, u"對話"},
    {408, u"Conversations"},
    {409, u"記錄"},
    {410, u"History"},
    {411, u"搜尋"},
    {412, u"Search"},
    {413, u"要從記錄中刪除 %1 則訊息嗎？刪除後無法復原。"},
    {414, u"Delete %1 messages from the history? This cannot be undone."},
    {417, u"%1 則未讀"},
    {418, u"%1 unread"},
    {419, u"較早的訊息"},
    {420, u"Older messages"},
    {421, u"要刪除與 %1 的整段對話嗎？刪除後無法復原。"},
    {422, u"Delete the whole conversation with %1? This cannot be undone."},
    {423, u"尚無訊息"},
    {424, u"No messages yet"},
    {480, u"已存入寄件匣，下次連線時傳送"},
    {481, u"In the Outbox: it goes at the next connection"},
    {482, u"名稱超過 SIM 卡能存的長度（%1）"},
    {483, u"the name is longer than the SIM holds (%1)"},
    {484, u"手機記憶體中另有 %1 則短訊"},
    {485, u"%1 more messages in the phone"},
    {486, u"%2 儲存區另有 %1 則短訊"},
    {487, u"%1 more messages in the %2 store"},
    {488, u"智能卡上 %1 則"},
    {489, u"%1 on the SIM"},
    {490, u"手機中 %1 則"},
    {491, u"%1 in the phone"},
    {492, u"%2 儲存區 %1 則"},
    {493, u"%1 in the %2 store"},
    {494, u"，"},
    {495, u", "},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const UiString& a, const UiString& b) { return a.id < b.id; }));

}  // namespace

void SetLanguage(int language) {
    chineseUi.store(language != 0 ? 1 : 0);
}

std::u16string LoadStringById(int id) {
    const auto* end = std::end(kStrings);
    const auto* it =
        std::lower_bound(std::begin(kStrings), end, id,
                         [](const UiString& entry, int key) { return entry.id < key; });
    if (it == end || it->id != id) return {};
    return std::u16string(it->text);
}

std::u16string LoadUiString(UiText text) {
    return LoadStringById(chineseUi.load() != 0 ? text.chinese : text.english);
}

std::u16string LoadUiString(int chineseId, int englishId) {
    return LoadUiString(UiText{chineseId, englishId});
}

std::u16string FormatUiString(UiText text, std::initializer_list<std::u16string_view> values) {
    const std::u16string pattern = LoadUiString(text);
    std::u16string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : u'\0';
        const size_t n = static_cast<size_t>(next - u'1');
        if (pattern[i] == u'%' && next >= u'1' && next <= u'9' && n < values.size()) {
            out += values.begin()[n];
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace telvane
