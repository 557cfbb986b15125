#include "control/operator_label.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "control/ui_strings.h"
#include "platform/text.h"

namespace telvane {

namespace {

struct NameEntry {
    int32_t code;  // mobile country code and network code as one number
    std::u16string_view name;
};

// Sorted by code.
constexpr NameEntry kEnglishNames[] = {
    {20201, u"Cosmote"},
    {20205, u"Panafon"},
    {20210, u"STET"},
    {20404, u"Libertel"},
    {20408, u"PTT Netherlands"},
    {20412, u"Telfort Holding NV"},
    {20416, u"Ben"},
    {20420, u"Dutchtone"},
    {20601, u"Proximus"},
    {20610, u"Mobistar"},
    {20620, u"KPN Orange"},
    {20801, u"France Telecom"},
    {20810, u"SFR"},
    {20820, u"Bouygues Telekom"},
    {21303, u"STA-Mobiland"},
    {21401, u"Airtel"},
    {21403, u"Amena"},
    {21407, u"Telefonica Spain"},
    {21601, u"Pannon GSM"},
    {21630, u"Westel 900"},
    {21670, u"Primatel/Vodafone"},
    {21805, u"Mobilna"},
    {21819, u"PTT Bosnia"},
    {21901, u"HR Cronet"},
    {21910, u"Vipnet"},
    {22001, u"Mobtel BK-PTT"},
    {22002, u"Pro Monte"},
    {22003, u"Telekom Serbia"},
    {22201, u"Telecom Italia Mobile"},
    {22210, u"Omnitel"},
    {22288, u"Wind"},
    {22298, u"Blu"},
    {22601, u"MobiFon"},
    {22610, u"MobilRom"},
    {22801, u"Natel-D"},
    {22802, u"diAx mobile"},
    {23001, u"Radio Mobil"},
    {23002, u"Eurotel Praha"},
    {23003, u"OSKAR"},
    {23101, u"Globtel"},
    {23102, u"Eurotel"},
    {23201, u"Mobilkom Austria"},
    {23203, u"max.mobil."},
    {23205, u"Connect Austria"},
    {23410, u"Cellnet"},
    {23415, u"Vodafone"},
    {23430, u"One2One"},
    {23433, u"Orange"},
    {23450, u"Jersey Telecom"},
    {23455, u"Guernsey Telecom"},
    {23458, u"Manx Telecom"},
    {23801, u"Tele Danmark Mobil"},
    {23802, u"Sonofon"},
    {23820, u"Telia"},
    {23830, u"Mobilix"},
    {24001, u"Telia Mobile"},
    {24007, u"Comviq"},
    {24008, u"Europolitan"},
    {24201, u"TeleNor Mobil"},
    {24202, u"NetCom"},
    {24403, u"Telia"},
    {24405, u"Radiolinja"},
    {24409, u"Finnet"},
    {24491, u"Sonera"},
    {24601, u"Omnitel"},
    {24602, u"Bite GSM"},
    {24701, u"LMT"},
    {24702, u"BALTCOM GSM"},
    {24801, u"EMT"},
    {24802, u"Radiolinja Eesti"},
    {24803, u"Q GSM"},
    {25001, u"Mobile Tele... Moscow"},
    {25002, u"NW GSM, St. Petersburg"},
    {25003, u"NCC"},
    {25005, u"SCS Rus"},
    {25007, u"BM Telecom"},
    {25010, u"Dontelekom"},
    {25012, u"Far Eastern Cell"},
    {25013, u"JSCKuban"},
    {25017, u"Ermak RMS"},
    {25028, u"Extel"},
    {25039, u"Uraltel"},
    {25044, u"North Caucasian"},
    {25093, u"XXI"},
    {25099, u"Beeline"},
    {25501, u"Mobile comms"},
    {25502, u"Radio Systems"},
    {25503, u"Kyivstar JSC"},
    {25505, u"Golden Telecom"},
    {25701, u"Velcom"},
    {25901, u"Voxtel"},
    {25902, u"Moldcell"},
    {26001, u"Plus GSM"},
    {26002, u"ERA GSM"},
    {26003, u"IDEA Centertel"},
    {26201, u"D1, DeTeMobil"},
    {26202, u"D2, Mannesmann"},
    {26203, u"E-Plus Mobilfunk"},
    {26207, u"Viag Interkom"},
    {26601, u"GibTel"},
    {26801, u"Telecel"},
    {26803, u"Optimus"},
    {26806, u"TMN"},
    {27001, u"P&T LUXGSM"},
    {27077, u"Tango"},
    {27201, u"Eircell"},
    {27202, u"Digifone"},
    {27203, u"Meteor"},
    {27401, u"Post & Simi"},
    {27402, u"TAL"},
    {27601, u"AMC"},
    {27801, u"Telecell"},
    {28001, u"CYTA"},
    {28201, u"Geocell"},
    {28202, u"Magticom"},
    {28301, u"Armentel"},
    {28401, u"MobilTel AD"},
    {28601, u"Turkcell"},
    {28602, u"Telsim"},
    {29001, u"Tele Greenland"},
    {29340, u"SI.Mobil"},
    {29341, u"Mobitel"},
    {29401, u"MobiMak"},
    {30237, u"Microcell"},
    {31001, u"Cellnet"},
    {31002, u"Sprint Spectrum"},
    {31011, u"Wireless 2000"},
    {31015, u"Bell South"},
    {31016, u"Omnipoint"},
    {31026, u"Voice Stream"},
    {31027, u"Powertel"},
    {31031, u"Aerial Comms."},
    {34001, u"Ameris"},
    {40001, u"Azercell"},
    {40002, u"JV Bakcell"},
    {40101, u"K-Mobile"},
    {40102, u"K-Cel"},
    {40405, u"Fascel Limited"},
    {40407, u"TATA"},
    {40410, u"Airtel"},
    {40411, u"Essar"},
    {40412, u"Escotel Haryana"},
    {40414, u"Spice Punjab"},
    {40415, u"Aircel Digilink"},
    {40419, u"Escotel Kerala"},
    {40420, u"Maxtouch"},
    {40421, u"BPL Mumbai"},
    {40422, u"AT&T Goa"},
    {40424, u"AT&T Guajarat"},
    {40427, u"BPL Maharshtra"},
    {40430, u"Command"},
    {40431, u"Spice Cell"},
    {40440, u"Skycell"},
    {40441, u"RPG MAA"},
    {40442, u"Aircell"},
    {40443, u"BPL Tamil Nadu"},
    {40444, u"Spice - Karnataka"},
    {40445, u"JTM Karnataka"},
    {40446, u"BPL Kerala"},
    {40449, u"JTM Andhra Pradesh"},
    {40456, u"Escotel UP"},
    {40470, u"Hexacom India"},
    {41001, u"Mobilink"},
    {41302, u"MTN Networks Pvt Ltd"},
    {41501, u"Cellis"},
    {41503, u"Libancell"},
    {41601, u"JMTS"},
    {41709, u"SYR MOBILE"},
    {41902, u"MTCNet"},
    {42001, u"Al Jawal"},
    {42007, u"EAE"},
    {42202, u"General Telecoms"},
    {42401, u"UAE ETISALAT-G1"},
    {42402, u"UAE ETISALAT-G2"},
    {42501, u"Partner Communications"},
    {42505, u"Jawwal"},
    {42601, u"Batelco"},
    {42701, u"Q-Net"},
    {43211, u"T.C.I."},
    {43401, u"Buztel"},
    {43404, u"Daewoo GSM"},
    {43405, u"Coscom"},
    {43701, u"Bitel Ltd"},
    {45201, u"MTSC"},
    {45202, u"DGPT"},
    {45400, u"Telecom CSL"},
    {45404, u"Orange"},
    {45406, u"SmarTone"},
    {45410, u"New World PCS"},
    {45412, u"Peoples Telephone"},
    {45416, u"Sunday"},
    {45501, u"CTM"},
    {45601, u"CamGSM"},
    {45602, u"Cambodia Samart"},
    {45701, u"Lao Shinawatra"},
    {46000, u"China Telecom"},
    {46001, u"China Unicom"},
    {46601, u"FarEasTone"},
    {46606, u"Tuntex"},
    {46611, u"Chunghwa"},
    {46688, u"KG Telecom"},
    {46692, u"LDTA"},
    {46693, u"Mobitai"},
    {46697, u"TWN"},
    {46699, u"TransAsia"},
    {47001, u"Grameen Phone Ltd"},
    {47002, u"TM International"},
    {50212, u"Maxis"},
    {50213, u"TM Touch"},
    {50216, u"Digi Telecom"},
    {50217, u"Time"},
    {50219, u"Celcom"},
    {50501, u"Telecom/Telstra"},
    {50502, u"Optus"},
    {50503, u"Vodafone"},
    {50508, u"One.Tel"},
    {51001, u"lit Palapa"},
    {51010, u"TELKOMSEL"},
    {51011, u"Excelcom"},
    {51501, u"Islacom"},
    {51502, u"Globe Telecom"},
    {51503, u"Smart"},
    {52001, u"TH AIS GSM"},
    {52010, u"WCS"},
    {52018, u"Total Access Comms"},
    {52023, u"Hello"},
    {52501, u"Singapore Telecom"},
    {52502, u"Sing Tel 1800"},
    {52503, u"MobileOne"},
    {52505, u"Starhub"},
    {52811, u"DSTCom"},
    {53001, u"Vodaphone NZ"},
    {54201, u"Vodafone"},
    {54411, u"Blue Sky"},
    {54601, u"Mobilis"},
    {54720, u"Tikiphone"},
    {60201, u"MobiNil"},
    {60202, u"SM"},
    {60301, u"AMN"},
    {60401, u"O.N.P.T."},
    {60502, u"Tunisian PTT"},
    {60801, u"Sonatel"},
    {60802, u"Sentel"},
    {61101, u"Mobilis"},
    {61102, u"Lagui"},
    {61201, u"Comstar"},
    {61203, u"Ivoiris"},
    {61205, u"Telecel"},
    {61301, u"OnaTel"},
    {61601, u"Libercom"},
    {61701, u"Cellplus"},
    {62001, u"ScanCom"},
    {62103, u"Celia"},
    {62401, u"PTT Cameroon Cellnet"},
    {62402, u"Mobilis"},
    {62501, u"Cabo Verde Telecom"},
    {63301, u"SEZ SEYCEL"},
    {63310, u"Airtel"},
    {63401, u"Telecom de Mocambique"},
    {63510, u"Rwandacell"},
    {63601, u"ETA"},
    {63701, u"Barakaat"},
    {63902, u"Safaricom"},
    {63903, u"Kencell"},
    {64001, u"Tritel"},
    {64101, u"Celtel Cellular"},
    {64110, u"MTN"},
    {64601, u"Madacom"},
    {64602, u"SMM"},
    {64603, u"Sacel"},
    {64710, u"SRR"},
    {64801, u"NET*ONE"},
    {64803, u"Telecel"},
    {64804, u"Econet"},
    {64901, u"MTC"},
    {65001, u"TNL"},
    {65101, u"Vodacom"},
    {65201, u"Mascom Wireless"},
    {65202, u"Vista Cellular"},
    {65501, u"Vodacom"},
    {65510, u"MTN"},
    {73401, u"Infonet"},
    {73402, u"Digitel"},
};

constexpr NameEntry kChineseNames[] = {
    {45400, u"香港電訊"},     {45404, u"Orange"},   {45406, u"數碼通"},
    {45410, u"新世界傳動網"}, {45412, u"萬眾電話"}, {45416, u"HK SUNDAY"},
};

constexpr bool ByCode(const NameEntry& a, const NameEntry& b) {
    return a.code < b.code;
}
static_assert(std::is_sorted(std::begin(kEnglishNames), std::end(kEnglishNames), ByCode));
static_assert(std::is_sorted(std::begin(kChineseNames), std::end(kChineseNames), ByCode));

template <size_t N>
const NameEntry* Find(const NameEntry (&table)[N], int32_t code) {
    const auto* end = std::end(table);
    const auto* it = std::lower_bound(std::begin(table), end, NameEntry{code, {}}, ByCode);
    return it != end && it->code == code ? it : nullptr;
}

std::u16string_view Trimmed(std::u16string_view text) {
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool AllDigits(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

}  // namespace

const std::u16string kNoNetworkText = u"No network";
const std::u16string kUnknownOperatorLabel = u"Nubo Ltd.";

std::u16string OperatorName(int32_t code, bool chinese) {
    if (chinese) {
        if (const auto* found = Find(kChineseNames, code)) return std::u16string(found->name);
    }
    if (const auto* found = Find(kEnglishNames, code)) return std::u16string(found->name);
    return {};
}

std::u16string OperatorLabel(const std::u16string& operatorText, bool online) {
    if (!online) return LoadUiString(ui_text::kOffline);
    if (operatorText == kNoNetworkText) return LoadUiString(ui_text::kNoNetwork);
    const std::u16string_view code = Trimmed(operatorText);
    // A modem asked for the numeric form may still answer with the operator's name: show it.
    if (!AllDigits(code)) return std::u16string(code);
    std::u16string name = OperatorName(ReadNumber(code), chineseUi.load() != 0);
    return name.empty() ? kUnknownOperatorLabel : name;
}

}  // namespace telvane
